#pragma once
// The publisher's signature on the editor module, checked before the module
// is loaded when the launcher is built with publisher keys.

#include <windows.h>

#include <string>

#include "support/scoped.h"

struct ModuleSignature {
    LONG status = 0;        // WinVerifyTrust's result for the file
    std::wstring signerKey;  // SHA-256 (lower-case hex) of the signer's SubjectPublicKeyInfo
};

// Reads the Authenticode signature of an open file (path names it in the
// verification only). False when the file carries no verifiable signature:
// signature.status then says why. On success signerKey is set.
[[nodiscard]] bool ReadModuleSignature(HANDLE file, const std::wstring& path, ModuleSignature& signature);

// With publisher keys configured: opens the module so that nobody can write,
// rename or delete it, and true only when its signature is sound and made by
// a configured key (false after a refusal record). `hold` keeps the file open
// and must live until the module is mapped. Without keys: true at once.
[[nodiscard]] bool VerifyEditorModule(const std::wstring& path, ScopedHandle& hold);
