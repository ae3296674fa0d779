#pragma once
// Fuzzing build: the CNG names that the handle owners of support/scoped.h use;
// no parser reaches them (they abort).
#include <windows.h>

typedef void* BCRYPT_ALG_HANDLE;
typedef void* BCRYPT_HASH_HANDLE;
typedef LONG NTSTATUS;
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags);
NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash);
