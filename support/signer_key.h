#pragma once
// The one way a signer is named against the publisher's pinned keys.

#include <windows.h>
#include <wincrypt.h>

#include <string>

// The key hash that publishers compute with openssl from their certificate:
// SHA-256 over the DER of SubjectPublicKeyInfo, lower-case hex. False when
// the certificate's key cannot be encoded or hashed.
[[nodiscard]] bool SignerKeyHash(PCCERT_CONTEXT cert, std::wstring& hex);

// Verifies a CMS/PKCS#7 SignedData message that carries its content (as
// `openssl cms -sign -nodetach` and CryptSignMessage make it) with its first
// signer's certificate, which the message holds. content receives what was
// signed, signerKey that signer's key hash. The chain and the certificate's
// dates are not looked at: the pinned key decides. False with the platform's
// error in status.
[[nodiscard]] bool ReadSignedMessage(const unsigned char* data, size_t size, std::string& content,
                                     std::wstring& signerKey, DWORD& status);
