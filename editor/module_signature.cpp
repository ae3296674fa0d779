// Authenticode verification of the editor module against the publisher's
// key pins.

#include "editor/module_signature.h"

#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "support/crypt_scoped.h"
#include "support/logger.h"
#include "support/publisher_trust.h"
#include "support/signer_key.h"

namespace {

// Results that say only that the chain does not end at a root this machine
// trusts: the configured key decides instead, so a publisher may sign with a
// certificate of its own. WinVerifyTrust reports the missing root before an
// expired or misused certificate, so the chain is judged again below.
bool IsChainOnly(LONG status) {
    return status == CERT_E_UNTRUSTEDROOT || status == CERT_E_CHAINING;
}

// The signer's chain for code signing at the signature's time: the timestamp's
// when a counter-signature vouches for it, else now. Only a missing trusted
// root (and revocation that the cache cannot tell) is forgiven; the status of
// anything else wrong is returned, 0 when nothing is.
LONG JudgeSignerChain(const CRYPT_PROVIDER_SGNR& signer, PCCERT_CONTEXT cert) {
    const bool timestamped = signer.csCounterSigners > 0 && signer.pasCounterSigners &&
                             signer.pasCounterSigners[0].dwError == 0;
    FILETIME at = signer.sftVerifyAsOf;
    LPSTR codeSigning[] = {const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING)};
    CERT_CHAIN_PARA para = {};
    para.cbSize = sizeof(para);
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = codeSigning;
    PCCERT_CHAIN_CONTEXT rawChain = nullptr;
    if (!::CertGetCertificateChain(nullptr, cert, timestamped ? &at : nullptr, cert->hCertStore, &para,
                                   CERT_CHAIN_REVOCATION_CHECK_CHAIN | CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY,
                                   nullptr, &rawChain)) {
        return CERT_E_CHAINING;
    }
    const ScopedCertChain chain(rawChain);
    const DWORD forgiven = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                           CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    const DWORD errors = chain.get()->TrustStatus.dwErrorStatus & ~forgiven;
    if (errors == 0) return 0;
    if (errors & CERT_TRUST_IS_REVOKED) return CERT_E_REVOKED;
    if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return CERT_E_EXPIRED;
    if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return CERT_E_WRONG_USAGE;
    return CERT_E_CHAINING;
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
        if (!read) {
            signature.status = TRUST_E_NOSIGNATURE;
        } else if (const LONG chainStatus = JudgeSignerChain(*signer, cert->pCert)) {
            signature.status = chainStatus;
            signature.signerKey.clear();
            read = false;
        }
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
