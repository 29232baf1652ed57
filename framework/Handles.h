// Owners for Win32 handles: each closes its handle exactly once.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <utility>

template <typename Traits> class UniqueHandle {
  public:
    using handle_type = typename Traits::handle_type;
    UniqueHandle() = default;
    explicit UniqueHandle(handle_type h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    handle_type get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::invalid(); }
    handle_type release() { return std::exchange(h_, Traits::invalid()); }
    void reset(handle_type h = Traits::invalid()) {
        if (h_ != Traits::invalid())
            Traits::close(h_);
        h_ = h;
    }

  private:
    handle_type h_ = Traits::invalid();
};

// CreateFile results: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// Kernel objects whose failure value is null (mutexes, events, processes).
struct KernelHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

// FindFirstFile searches: INVALID_HANDLE_VALUE means none; ended by FindClose.
struct FindHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// Modules loaded to read their resources; the language library a program runs with is never
// freed, and has no owner of this kind.
struct ModuleHandleTraits {
    using handle_type = HMODULE;
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE h) { FreeLibrary(h); }
};
using ModuleHandle = UniqueHandle<ModuleHandleTraits>;

struct RegKeyTraits {
    using handle_type = HKEY;
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) { RegCloseKey(h); }
};
using RegKey = UniqueHandle<RegKeyTraits>;

struct WindowTraits {
    using handle_type = HWND;
    static HWND invalid() { return nullptr; }
    static void close(HWND h) { DestroyWindow(h); }
};
using WindowHandle = UniqueHandle<WindowTraits>;

struct FontTraits {
    using handle_type = HFONT;
    static HFONT invalid() { return nullptr; }
    static void close(HFONT h) { DeleteObject(h); }
};
using FontHandle = UniqueHandle<FontTraits>;

// Winsock sockets: INVALID_SOCKET means none.
struct SocketTraits {
    using handle_type = SOCKET;
    static SOCKET invalid() { return INVALID_SOCKET; }
    static void close(SOCKET s) { closesocket(s); }
};
using SocketHandle = UniqueHandle<SocketTraits>;
