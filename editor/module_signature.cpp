// Authenticode verification of the editor module against the publisher's
// key pins.

#include "editor/module_signature.h"

#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "support/logger.h"
#include "support/publisher_trust.h"
#include "support/signer_key.h"

namespace {

// Results that say only that the chain does not end at a root this machine
// trusts: the configured key decides instead, so a publisher may sign with a
// certificate of its own.
bool IsChainOnly(LONG status) {
    return status == CERT_E_UNTRUSTEDROOT || status == CERT_E_CHAINING;
}

}  // namespace

bool ReadModuleSignature(HANDLE file, const std::wstring& path, ModuleSignature& signature) {
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;  // the held handle is what gets verified
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    // No revocation or network look-ups: the run is unattended, and a key is
    // withdrawn by building the launcher without it.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    signature.status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    signature.signerKey.clear();

    bool read = false;
    if (signature.status == 0 || IsChainOnly(signature.status)) {
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer =
            provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        CRYPT_PROVIDER_CERT* cert = signer ? ::WTHelperGetProvCertFromChain(signer, 0) : nullptr;
        read = cert && cert->pCert && SignerKeyHash(cert->pCert, signature.signerKey);
        if (!read) signature.status = TRUST_E_NOSIGNATURE;
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return read;
}

bool VerifyEditorModule(const std::wstring& path, ScopedHandle& hold) {
    const PublisherTrust& trust = PublisherTrust::Current();
    if (!trust.PinsKeys()) return true;

    // Readers may share the file (the loader among them); writers, renames
    // and deletes wait until the module is mapped.
    hold.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hold) {
        Logger::Instance()->Write(L"*오류 : 모듈 파일을 열지 못했습니다. (path:%s, 0x%08x)", path.c_str(),
                                  ::GetLastError());
        return false;
    }
    ModuleSignature signature;
    if (!ReadModuleSignature(hold.get(), path, signature)) {
        Logger::Instance()->Write(L"*오류 : 모듈의 서명이 올바르지 않습니다. (path:%s, 0x%08x)", path.c_str(),
                                  static_cast<DWORD>(signature.status));
        hold.reset();
        return false;
    }
    if (!trust.AllowsKey(signature.signerKey)) {
        Logger::Instance()->Write(L"*오류 : 허용되지 않은 서명자의 모듈입니다. (path:%s, key:%s)",
                                  path.c_str(), signature.signerKey.c_str());
        hold.reset();
        return false;
    }
    return true;
}
