#pragma once
// Fuzzing build: the WinInet names that the handle owners of support/scoped.h
// use; no parser reaches them (they abort).
#include <windows.h>

typedef void* HINTERNET;
typedef void(CALLBACK* INTERNET_STATUS_CALLBACK)(HINTERNET, std::uintptr_t, DWORD, void*, DWORD);
INTERNET_STATUS_CALLBACK InternetSetStatusCallbackW(HINTERNET internet, INTERNET_STATUS_CALLBACK callback);
BOOL InternetCloseHandle(HINTERNET internet);
