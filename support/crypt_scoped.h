#pragma once
// Owners for CryptoAPI objects, in the manner of support/scoped.h (kept apart
// because the parsers' native fuzzing build has no CryptoAPI).

#include <windows.h>
#include <wincrypt.h>

#include "support/scoped.h"

struct CertContextTraits {
    using Handle = PCCERT_CONTEXT;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CertFreeCertificateContext(h); }
};
struct CertChainTraits {
    using Handle = PCCERT_CHAIN_CONTEXT;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CertFreeCertificateChain(h); }
};
struct CryptProviderTraits {
    using Handle = HCRYPTPROV;
    static Handle Empty() { return 0; }
    static bool IsValid(Handle h) { return h != 0; }
    static void Close(Handle h) { CryptReleaseContext(h, 0); }
};
struct CryptKeyTraits {
    using Handle = HCRYPTKEY;
    static Handle Empty() { return 0; }
    static bool IsValid(Handle h) { return h != 0; }
    static void Close(Handle h) { CryptDestroyKey(h); }
};
struct CryptMessageTraits {
    using Handle = HCRYPTMSG;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CryptMsgClose(h); }
};

using ScopedCertContext = ScopedObject<CertContextTraits>;
using ScopedCertChain = ScopedObject<CertChainTraits>;
using ScopedCryptProvider = ScopedObject<CryptProviderTraits>;
using ScopedCryptKey = ScopedObject<CryptKeyTraits>;
using ScopedCryptMessage = ScopedObject<CryptMessageTraits>;
