// Test helper: prints what WinVerifyTrust says of a file's Authenticode
// signature and the signer's key, as "status=0x... key=<sha-256 hex>";
// exits 0 only for a sound signature.

#include <windows.h>

#include <cstdio>
#include <string>

#include "editor/module_signature.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: signature_probe FILE\n");
        return 2;
    }
    ScopedHandle file(::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        std::fprintf(stderr, "cannot open the file (0x%08lx)\n", ::GetLastError());
        return 2;
    }
    ModuleSignature signature;
    const bool sound = ReadModuleSignature(file.get(), argv[1], signature);
    std::printf("status=0x%08lx key=%ls\n", static_cast<unsigned long>(signature.status), signature.signerKey.c_str());
    return sound && signature.status == 0 ? 0 : 1;
}
