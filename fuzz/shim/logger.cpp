// The log writer of the fuzzing build: the same interface as
// support/logger.cpp, but records are only formatted, never written. Every
// argument is read the way the Microsoft runtime's wide printf reads it (%s a
// wide string, %S a narrow one), so a record that names a dangling or
// unterminated text is caught by the address sanitizer, and an argument
// list that does not fit its format aborts.

#include "support/logger.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
Logger* g_logger = nullptr;
size_t g_formatted = 0;  // keeps the formatting from being optimised away

[[noreturn]] void Fault(const char* what, const wchar_t* format) {
    std::fprintf(stderr, "logger shim: %s in format \"%ls\"\n", what, format);
    std::abort();
}

std::wstring Format(const wchar_t* format, va_list args) {
    std::wstring out;
    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == L'%') {
            out += L'%';
            continue;
        }
        while (*p == L'-' || *p == L'+' || *p == L' ' || *p == L'#' || *p == L'0') ++p;
        while (*p >= L'0' && *p <= L'9') ++p;
        if (*p == L'.') {
            ++p;
            while (*p >= L'0' && *p <= L'9') ++p;
        }
        int longs = 0;
        while (*p == L'l' || *p == L'h') longs += *p++ == L'l';
        switch (*p) {
            case L's': {
                const wchar_t* s = va_arg(args, const wchar_t*);
                out += s ? s : L"(null)";
                break;
            }
            case L'S': {
                const char* s = va_arg(args, const char*);
                if (s) out.append(s, s + std::strlen(s));
                break;
            }
            case L'd':
            case L'i':
            case L'u':
            case L'x':
            case L'X':
            case L'c': {
                unsigned long long v = longs >= 2 ? va_arg(args, unsigned long long) : va_arg(args, unsigned);
                out += std::to_wstring(v);
                break;
            }
            case L'p':
                out += std::to_wstring(reinterpret_cast<std::uintptr_t>(va_arg(args, void*)));
                break;
            default:
                Fault("unknown conversion", format);
        }
        if (!*p) Fault("format ends inside a conversion", format);
    }
    return out;
}
}  // namespace

Logger* Logger::Instance() {
    if (!g_logger) g_logger = new Logger();
    return g_logger;
}

void Logger::Release() {
    delete g_logger;
    g_logger = nullptr;
}

Logger::Logger() = default;
Logger::~Logger() = default;

void Logger::SetName(const std::wstring& name) {
    m_name = name;
}

void Logger::SetFilePath(const std::wstring& path) {
    m_filePath = path;
}

std::wstring Logger::GetFilePath() {
    return m_filePath;
}

void Logger::ComputeFallbackPath() {}

void Logger::Write(const wchar_t* format, ...) {
    if (!format) Fault("null format", L"");
    va_list args;
    va_start(args, format);
    g_formatted += Format(format, args).size();
    va_end(args);
}
