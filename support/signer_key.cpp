#include "support/signer_key.h"

#include <bcrypt.h>

#include <vector>

#include "support/crypt_scoped.h"
#include "support/file_digest.h"

bool SignerKeyHash(PCCERT_CONTEXT cert, std::wstring& hex) {
    BYTE* encoded = nullptr;
    DWORD size = 0;
    if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                               &cert->pCertInfo->SubjectPublicKeyInfo, CRYPT_ENCODE_ALLOC_FLAG, nullptr,
                               &encoded, &size)) {
        return false;
    }
    const ScopedLocalMemory owner(encoded);
    HashStream sha256(BCRYPT_SHA256_ALGORITHM);
    sha256.Add(encoded, size);
    hex = sha256.Text();
    return hex != L"-1";
}

bool ReadSignedMessage(const unsigned char* data, size_t size, std::string& content, std::wstring& signerKey,
                       DWORD& status) {
    status = 0;
    if (!data || size == 0 || size > 0x7FFFFFFF) {
        status = static_cast<DWORD>(CRYPT_E_ASN1_EOD);
        return false;
    }
    CRYPT_VERIFY_MESSAGE_PARA para = {};
    para.cbSize = sizeof(para);
    para.dwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    // The content is never longer than the message that carries it.
    std::vector<BYTE> decoded(size);
    DWORD decodedSize = static_cast<DWORD>(size);
    PCCERT_CONTEXT rawSigner = nullptr;
    const BOOL verified = ::CryptVerifyMessageSignature(&para, 0, data, static_cast<DWORD>(size), decoded.data(),
                                                        &decodedSize, &rawSigner);
    const ScopedCertContext signer(rawSigner);  // keeps the verification's error
    if (!verified) {
        status = ::GetLastError();
        return false;
    }
    std::wstring key;
    if (!signer || !SignerKeyHash(signer.get(), key)) {
        status = static_cast<DWORD>(TRUST_E_NOSIGNATURE);
        return false;
    }
    content.assign(reinterpret_cast<const char*>(decoded.data()), decodedSize);
    signerKey = key;
    return true;
}
