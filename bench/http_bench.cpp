// Download throughput and peak memory of one download from a URL into a file:
//   http_bench thttp URL FILE     through the updater's HTTP module (THttp::GetToFile)
//   http_bench wininet URL FILE   through WinINet, as a vendor's downloader would do it
//   http_bench bare URL FILE      a bare blocking Winsock loop (recv into 256 KiB, WriteFile,
//                                 nothing else): the floor under the same Wine
// Prints one line: the way, the bytes written, the seconds, MiB/s and the process's peak
// working set in KiB.
#include "HttpMod.h"

#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>

namespace {

bool WinInetToFile(const char* path, const char* url) {
    const HINTERNET session =
        InternetOpenA("http_bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session)
        return false;
    bool ok = false;
    if (const HINTERNET request = InternetOpenUrlA(
            session, url, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)) {
        FileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        static char buffer[64 * 1024];
        DWORD read = 0, written = 0;
        ok = static_cast<bool>(file);
        while (ok && InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0)
            ok = WriteFile(file.get(), buffer, read, &written, nullptr) && written == read;
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return ok;
}

// The reply header is skipped; its status is not looked at.
bool BareToFile(const char* path, const char* url) {
    const THttpUrl parts = SplitUrl(url, 80);
    const unsigned long address = inet_addr(parts.Host.c_str());
    if (address == INADDR_NONE)
        return false;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    bool ok = false;
    {
        const SocketHandle sock(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<u_short>(parts.Port));
        peer.sin_addr.s_addr = address;
        const AnsiString request =
            "GET " + parts.Target + " HTTP/1.0\r\nHost: " + parts.Host + "\r\n\r\n";
        FileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        ok = sock && file &&
             connect(sock.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 &&
             send(sock.get(), request.data(), static_cast<int>(request.size()), 0) ==
                 static_cast<int>(request.size());
        static char buffer[256 * 1024];
        TReplyHeader header;
        DWORD written = 0;
        int n;
        while (ok && (n = recv(sock.get(), buffer, sizeof buffer, 0)) > 0) {
            const std::size_t used = header.Complete() ? 0 : header.Feed(buffer, n);
            const DWORD rest = static_cast<DWORD>(n - used);
            ok = rest == 0 ||
                 (WriteFile(file.get(), buffer + used, rest, &written, nullptr) && written == rest);
        }
        ok = ok && header.Complete();
    }
    WSACleanup();
    return ok;
}

long long FileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

int main(int argc, char** argv) {
    const AnsiString way = argc == 4 ? argv[1] : "";
    if (way != "thttp" && way != "wininet" && way != "bare") {
        std::fprintf(stderr, "usage: http_bench thttp|wininet|bare URL FILE\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool ok;
    if (way == "thttp") {
        THttp http(nullptr);
        ok = http.GetToFile(argv[3], argv[2]);
    } else if (way == "wininet") {
        ok = WinInetToFile(argv[3], argv[2]);
    } else {
        ok = BareToFile(argv[3], argv[2]);
    }
    QueryPerformanceCounter(&end);
    if (!ok) {
        std::fprintf(stderr, "http_bench: the download failed\n");
        return 1;
    }
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    const long long bytes = FileSize(argv[3]);
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("%-8s %11lld bytes %8.3f s %8.1f MiB/s  peak %7lu KiB\n", argv[1], bytes, seconds,
                bytes / seconds / (1024.0 * 1024.0),
                static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024));
    return 0;
}
