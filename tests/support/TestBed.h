// What the test command hands the tests about the test bed, through the environment: the
// ports of its nginx and squid (QUEN6_NGINX_PORT, QUEN6_SQUID_PORT) and nginx's folder of
// served files (QUEN6_NGINX_ROOT).
#pragma once

#include "SysUtils.h"

// The value of that variable; empty when the test bed did not set it.
AnsiString TestBedValue(const char* name);
