#pragma once
// Stand-in for <windows.h> in the native Linux fuzzing build only. It declares
// just what the parsers and their helpers reach, with the same meanings:
//
// - wchar_t stays 32-bit here (glibc and libstdc++ assume it), but every wide
//   text that the conversions produce holds UTF-16 code units, one per
//   wchar_t, with characters beyond U+FFFF as surrogate pairs. The parsers
//   therefore see the same code-unit sequence as on Windows. A wide character
//   above 0xFFFF handed to a conversion is a harness error and aborts.
// - CP_ACP is Windows-1252; CP_UTF8 follows the Windows converters (flags 0:
//   ill-formed input becomes U+FFFD, a lone surrogate encodes as U+FFFD).
// - Calls that only file and shell work reach (folders, libraries, message
//   texts) are stubs; the ones no parser should ever reach abort, so a fuzz
//   target that wanders into platform work shows up as a crash.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef long LONG;
typedef unsigned long ULONG;
typedef std::int32_t HRESULT;
typedef WORD LANGID;
typedef wchar_t WCHAR;
typedef char CHAR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef const CHAR* LPCCH;
typedef const WCHAR* LPCWCH;
typedef BOOL* LPBOOL;
typedef void* LPVOID;
typedef void* HANDLE;
typedef HANDLE HMODULE;
typedef HANDLE HINSTANCE;
typedef HANDLE HWND;
typedef HANDLE HICON;
typedef void* HLOCAL;
typedef HANDLE HGDIOBJ;
typedef HANDLE HDC;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
typedef std::intptr_t INT_PTR;
typedef INT_PTR(WINAPI* FARPROC)();

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
typedef const GUID& REFKNOWNFOLDERID;

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};

struct DLLVERSIONINFO {
    DWORD cbSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformID;
};

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_EXISTS 80L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400

#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

#define LANG_KOREAN 0x12
#define PRIMARYLANGID(lgid) (static_cast<WORD>(lgid) & 0x3ff)
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define CSIDL_PROGRAM_FILES 0x0026

// Code-page conversion (implemented for CP_UTF8, and for CP_ACP, which is
// code page 1252 here; MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS with CP_UTF8).
UINT GetACP();
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int byteCount, LPWSTR wide, int wideCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR bytes, int byteCount,
                        LPCCH defaultChar, LPBOOL usedDefaultChar);

// Comparisons.
int lstrcmpiW(LPCWSTR a, LPCWSTR b);
int CompareStringOrdinal(LPCWCH a, int aCount, LPCWCH b, int bCount, BOOL ignoreCase);
int _wcsicmp(const wchar_t* a, const wchar_t* b);
int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t count);

// Errors and memory.
DWORD GetLastError();
void SetLastError(DWORD code);
inline void SecureZeroMemory(void* p, size_t n) {
    volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
    while (n--) *v++ = 0;
}
void* LocalFree(void* p);
void CoTaskMemFree(void* p);

// Paths: a model of the Win32 rules on a fixed current folder C:\fuzz\.
DWORD GetFullPathNameW(LPCWSTR path, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart);

// The data root folder's way: Windows 10, and shell32's SHGetKnownFolderPath
// answering C:\Users\fuzz\AppData\LocalLow.
BOOL GetVersionExW(OSVERSIONINFOW* info);
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
HWND GetDesktopWindow();
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL create);

// The file system of the fuzzing build is empty: nothing exists.
DWORD GetFileAttributesW(LPCWSTR path);

// Reached only by file and message work, never by a parser: these abort.
// (The handle owners of support/scoped.h name the release calls.)
BOOL CloseHandle(HANDLE handle);
BOOL FindClose(HANDLE handle);
BOOL DestroyIcon(HICON icon);
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
LANGID GetUserDefaultLangID();
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, void* arguments);
int _scwprintf(const wchar_t* format, ...);
int _snwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...);
BOOL CreateDirectoryW(LPCWSTR path, void* security);
BOOL RemoveDirectoryW(LPCWSTR path);
BOOL DeleteFileW(LPCWSTR path);
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
int SHCreateDirectory(HWND owner, LPCWSTR path);
