#pragma once
// Tells the shop's cart service about the finished work and sends the user
// back to the shop in the browser they came from.

#include <string>

class CDialog;

// True when the service confirmed; false for an empty URL or when the user
// declined to try again.
bool SendCartKey(const std::wstring& cartUrl, CDialog& owner);
void OpenReturnPage(const std::wstring& agent, const std::wstring& browserUrl, const std::wstring& agentType);
