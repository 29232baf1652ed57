// Holds a file open with no sharing, as a program that uses the file would:
//
//     holdfile <path> [<access> <share mode>]
//
// Opens the existing file with share mode 0 (or with the access and share mode given, as numbers
// in C notation), writes "held" and a line end to standard output
// and keeps the file open until standard input ends (the starter closes its end of the pipe)
// or the process is killed. When the file cannot be opened it writes "error <code>" and exits
// with code 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: holdfile <path> [<access> <share mode>]\n");
        return 2;
    }
    // Read access is enough: share mode 0 alone keeps every other opener out, and it lets a
    // read-only file be held as well.
    const auto access = argc == 4 ? std::strtoul(argv[2], nullptr, 0) : GENERIC_READ;
    const auto share = argc == 4 ? std::strtoul(argv[3], nullptr, 0) : 0;
    HANDLE file =
        CreateFileA(argv[1], access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("error %lu\n", GetLastError());
        std::fflush(stdout);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);

    char buf[256];
    DWORD got = 0;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0) {
    }
    CloseHandle(file);
    return 0;
}
