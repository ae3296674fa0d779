#pragma once
// Small platform helpers shared by the subsystems: text decoding and code-page
// conversion, the last error as text, folder creation and the per-user data
// root folder.

#include <windows.h>

#include <memory>
#include <string>

// Bytes of a downloaded document to wide text: UTF-8 or UTF-16LE byte-order
// marks, an XML declaration naming utf-8, otherwise the ANSI code page.
[[nodiscard]] bool DecodeText(const unsigned char* bytes, int length, std::wstring& out);
bool DeclaresUtf8(const unsigned char* bytes, int count);

// The one code-page conversion, in both directions. A count of -1 converts up
// to and including the terminator, which the result leaves out; an explicit
// count keeps embedded NULs. flags and usedDefault go to the converter as
// given (a UTF-8 code page takes no usedDefault). False when the converter
// gives no output (an empty input included) or memory runs out; out is then
// untouched.
[[nodiscard]] bool MultiByteToWide(UINT codePage, const char* bytes, int count, std::wstring& out);
[[nodiscard]] bool WideToMultiByte(UINT codePage, const wchar_t* text, int count, std::string& out, DWORD flags = 0,
                                   BOOL* usedDefault = nullptr);

// Each returns a new zero-filled, NUL-terminated buffer, or null when the
// system converter reports no output.
std::unique_ptr<wchar_t[]> Utf8ToWide(const char* bytes, int count);
std::unique_ptr<wchar_t[]> AnsiToWide(const char* bytes, int count);
std::unique_ptr<char[]> WideToUtf8(const wchar_t* text, int count);
std::unique_ptr<char[]> WideToAnsi(const wchar_t* text);

// Well-formed UTF-8 in the sense of RFC 3629 (no overlong forms, no
// surrogates, nothing above U+10FFFF, no truncated sequence), up to the first
// zero byte or the end. A leading EF BB BF counts as UTF-8 whatever follows
// when acceptBom is set.
bool IsUtf8Text(const unsigned char* bytes, size_t length, bool acceptBom);

std::wstring LastErrorText();
[[nodiscard]] bool EnsureDirectory(const std::wstring& path);
bool IsVistaOrLater();
DWORD GetShellVersion();
// Loads a Windows DLL from System32 only, never from the program's folder
// (where a browser may have saved a DLL of the same name); free it with
// FreeLibrary.
HMODULE LoadSystemLibrary(const wchar_t* name);
// The user's LocalLow folder (or the program-files fallback); never ends in
// a backslash; empty when nothing could be found.
std::wstring GetDataRootFolder();
