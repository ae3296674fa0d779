#pragma once
// Tells the shop's cart service about the finished work and sends the user
// back to the shop in the browser they came from.

#include <windows.h>

#include <string>

class CDialog;

// True when the service confirmed; false for an empty URL or when the user
// declined to try again.
bool SendCartKey(const std::wstring& cartUrl, CDialog& owner);
void OpenReturnPage(const std::wstring& agent, const std::wstring& browserUrl, const std::wstring& agentType);

// The shell call OpenReturnPage makes. Tests put a recorder in its place to
// see which program, parameters and verb a browser choice leads to; null
// puts ShellExecuteW back. Returns the call used before.
using ShellExecuteCall = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
ShellExecuteCall SetShellExecuteCall(ShellExecuteCall call);
