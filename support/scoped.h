#pragma once
// Move-only owners for Win32 handles: one traits type per release call, each
// knowing its empty value. Closing keeps the thread's last error intact so the
// code logged after a failure is the failure's own.

#include <windows.h>
#include <bcrypt.h>
#include <wininet.h>

#include <cstdio>
#include <utility>

template <typename Traits>
class ScopedObject {
public:
    using Handle = typename Traits::Handle;

    ScopedObject() = default;
    explicit ScopedObject(Handle h) : m_handle(h) {}
    ~ScopedObject() { reset(); }
    ScopedObject(ScopedObject&& other) noexcept : m_handle(other.release()) {}
    ScopedObject& operator=(ScopedObject&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedObject(const ScopedObject&) = delete;
    ScopedObject& operator=(const ScopedObject&) = delete;

    Handle get() const { return m_handle; }
    bool valid() const { return Traits::IsValid(m_handle); }
    explicit operator bool() const { return valid(); }

    Handle release() {
        Handle h = m_handle;
        m_handle = Traits::Empty();
        return h;
    }
    void reset(Handle h = Traits::Empty()) {
        if (Traits::IsValid(m_handle)) {
            DWORD error = GetLastError();
            Traits::Close(m_handle);
            SetLastError(error);
        }
        m_handle = h;
    }

private:
    Handle m_handle = Traits::Empty();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Handle h) { FindClose(h); }
};
struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};
struct IconTraits {
    using Handle = HICON;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DestroyIcon(h); }
};
struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteDC(h); }
};

// The status callback is unhooked before the handle is closed, so no
// notification reaches an object that is going away.
struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) {
        InternetSetStatusCallbackW(h, nullptr);
        InternetCloseHandle(h);
    }
};
struct BCryptAlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct BCryptHashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { BCryptDestroyHash(h); }
};
struct FileStreamTraits {
    using Handle = FILE*;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { fclose(h); }
};

// Memory the system allocated for the caller (FormatMessage's buffer,
// CommandLineToArgvW, CryptEncodeObjectEx with its allocation flag).
struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { LocalFree(h); }
};

using ScopedHandle = ScopedObject<KernelHandleTraits>;
using ScopedFindHandle = ScopedObject<FindHandleTraits>;
using ScopedModule = ScopedObject<ModuleTraits>;
using ScopedIcon = ScopedObject<IconTraits>;
using ScopedGdiObject = ScopedObject<GdiObjectTraits>;
using ScopedMemoryDc = ScopedObject<MemoryDcTraits>;
using ScopedInternetHandle = ScopedObject<InternetHandleTraits>;
using ScopedBCryptAlgorithm = ScopedObject<BCryptAlgorithmTraits>;
using ScopedBCryptHash = ScopedObject<BCryptHashTraits>;
using ScopedFileStream = ScopedObject<FileStreamTraits>;
using ScopedLocalMemory = ScopedObject<LocalMemoryTraits>;

// Selects an object into a DC and reselects the previous one when it ends.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object)
        : m_dc(dc), m_old(object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelectObject() {
        if (m_old) SelectObject(m_dc, m_old);
    }
    ScopedSelectObject(ScopedSelectObject&& other) noexcept : m_dc(other.m_dc), m_old(other.m_old) {
        other.m_old = nullptr;
    }
    ScopedSelectObject& operator=(ScopedSelectObject&&) = delete;
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};
