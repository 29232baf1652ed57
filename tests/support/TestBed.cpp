#include "TestBed.h"

#include <cstdlib>

AnsiString TestBedValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}
