// The publisher's signature over the signed file list: CMS SignedData with
// the content and the signing certificate inside, made with the platform's
// cryptography from a PEM certificate and its RSA key (as openssl writes
// them), so that a launcher verifies it with the same platform.

#include <windows.h>
#include <wincrypt.h>

#include "support/crypt_scoped.h"
#include "tools/manifest_producer/producer.h"

namespace producer {

namespace {

// The DER inside a PEM block, whatever its label.
bool PemToDer(const std::string& pem, std::string& der) {
    DWORD size = 0;
    if (!::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                                &size, nullptr, nullptr) ||
        size == 0)
        return false;
    der.resize(size);
    return ::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                  reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr) != FALSE;
}

bool Decode(LPCSTR type, const BYTE* data, DWORD size, ScopedLocalMemory& decoded, DWORD& decodedSize) {
    void* raw = nullptr;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, type, data, size, CRYPT_DECODE_ALLOC_FLAG,
                               nullptr, &raw, &decodedSize))
        return false;
    decoded.reset(raw);
    return true;
}

// One DER element at data[at]: its tag, and where its content starts and ends.
bool DerElement(const std::string& data, size_t at, unsigned char& tag, size_t& start, size_t& end) {
    if (at + 2 > data.size()) return false;
    tag = static_cast<unsigned char>(data[at]);
    size_t length = static_cast<unsigned char>(data[at + 1]);
    start = at + 2;
    if (length & 0x80) {
        const size_t bytes = length & 0x7F;
        if (bytes == 0 || bytes > 3 || start + bytes > data.size()) return false;
        length = 0;
        for (size_t i = 0; i < bytes; ++i) length = (length << 8) | static_cast<unsigned char>(data[start + i]);
        start += bytes;
    }
    end = start + length;
    return end <= data.size();
}

// The RSAPrivateKey inside a PKCS #8 PrivateKeyInfo ("BEGIN PRIVATE KEY",
// openssl's default), which not every platform version decodes itself:
// SEQUENCE { INTEGER version, SEQUENCE algorithm, OCTET STRING key }.
bool UnwrapPkcs8(const std::string& der, std::string& rsa) {
    static const char kRsaEncryption[] = "\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01";
    unsigned char tag = 0;
    size_t start = 0, end = 0, at = 0;
    if (!DerElement(der, 0, tag, start, end) || tag != 0x30) return false;
    at = start;
    size_t itemStart = 0, itemEnd = 0;
    if (!DerElement(der, at, tag, itemStart, itemEnd) || tag != 0x02) return false;
    at = itemEnd;
    if (!DerElement(der, at, tag, itemStart, itemEnd) || tag != 0x30 ||
        der.compare(itemStart, sizeof(kRsaEncryption) - 1, kRsaEncryption) != 0)
        return false;
    at = itemEnd;
    if (!DerElement(der, at, tag, itemStart, itemEnd) || tag != 0x04 || itemEnd > end) return false;
    rsa = der.substr(itemStart, itemEnd - itemStart);
    return true;
}

// A PKCS #8 or PKCS #1 ("BEGIN RSA PRIVATE KEY") RSA key into the
// platform's key blob.
bool RsaKeyBlob(const std::string& der, ScopedLocalMemory& blob, DWORD& blobSize) {
    std::string rsa;
    if (!UnwrapPkcs8(der, rsa)) rsa = der;
    return Decode(PKCS_RSA_PRIVATE_KEY, reinterpret_cast<const BYTE*>(rsa.data()), static_cast<DWORD>(rsa.size()),
                  blob, blobSize);
}

}  // namespace

bool SignFileList(const std::string& certPem, const std::string& keyPem, const std::string& document,
                  std::string& signedData, std::wstring& error) {
    std::string certDer, keyDer;
    if (!PemToDer(certPem, certDer)) {
        error = L"the signing certificate is not a PEM certificate";
        return false;
    }
    const ScopedCertContext cert(::CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(certDer.data()), static_cast<DWORD>(certDer.size())));
    if (!cert) {
        error = L"the signing certificate cannot be read";
        return false;
    }
    ScopedLocalMemory blob;
    DWORD blobSize = 0;
    if (!PemToDer(keyPem, keyDer) || !RsaKeyBlob(keyDer, blob, blobSize)) {
        error = L"the signing key is not an RSA private key in PEM";
        return false;
    }
    HCRYPTPROV rawProvider = 0;
    if (!::CryptAcquireContextW(&rawProvider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        error = L"the platform's RSA provider is not available";
        return false;
    }
    const ScopedCryptProvider provider(rawProvider);
    HCRYPTKEY rawKey = 0;
    if (!::CryptImportKey(provider.get(), static_cast<const BYTE*>(blob.get()), blobSize, 0, 0, &rawKey)) {
        error = L"the signing key cannot be imported";
        return false;
    }
    const ScopedCryptKey key(rawKey);

    // A key that is not the certificate's would make a list no launcher accepts.
    DWORD publicSize = 0;
    ::CryptExportPublicKeyInfo(provider.get(), AT_KEYEXCHANGE, X509_ASN_ENCODING, nullptr, &publicSize);
    std::string publicInfo(publicSize, '\0');
    if (publicSize == 0 ||
        !::CryptExportPublicKeyInfo(provider.get(), AT_KEYEXCHANGE, X509_ASN_ENCODING,
                                    reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(&publicInfo[0]), &publicSize) ||
        !::CertComparePublicKeyInfo(X509_ASN_ENCODING, reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(&publicInfo[0]),
                                    &cert.get()->pCertInfo->SubjectPublicKeyInfo)) {
        error = L"the signing key does not belong to the signing certificate";
        return false;
    }

    CMSG_SIGNER_ENCODE_INFO signer = {};
    signer.cbSize = sizeof(signer);
    signer.pCertInfo = cert.get()->pCertInfo;
    signer.hCryptProv = provider.get();
    signer.dwKeySpec = AT_KEYEXCHANGE;  // where the blob of an RSA key lands
    signer.HashAlgorithm.pszObjId = const_cast<LPSTR>(szOID_NIST_sha256);
    CERT_BLOB certBlob = {cert.get()->cbCertEncoded, cert.get()->pbCertEncoded};
    CMSG_SIGNED_ENCODE_INFO info = {};
    info.cbSize = sizeof(info);
    info.cSigners = 1;
    info.rgSigners = &signer;
    info.cCertEncoded = 1;
    info.rgCertEncoded = &certBlob;
    const ScopedCryptMessage message(::CryptMsgOpenToEncode(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CMSG_SIGNED,
                                                            &info, nullptr, nullptr));
    DWORD size = 0;
    if (!message ||
        !::CryptMsgUpdate(message.get(), reinterpret_cast<const BYTE*>(document.data()),
                          static_cast<DWORD>(document.size()), TRUE) ||
        !::CryptMsgGetParam(message.get(), CMSG_CONTENT_PARAM, 0, nullptr, &size) || size == 0) {
        error = L"the file list cannot be signed";
        return false;
    }
    std::string encoded(size, '\0');
    if (!::CryptMsgGetParam(message.get(), CMSG_CONTENT_PARAM, 0, &encoded[0], &size)) {
        error = L"the file list cannot be signed";
        return false;
    }
    encoded.resize(size);
    signedData.swap(encoded);
    return true;
}

}  // namespace producer
