// The handle owners: each closes once, keeps the last error, moves and
// releases.

#include <gtest/gtest.h>

#include "support/scoped.h"
#include "testing/test_support.h"

namespace {

TEST(ScopedObject, ClosesOnceAndKeepsTheLastError) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    {
        ScopedHandle owner(event);
        EXPECT_TRUE(owner.valid());
        ScopedHandle moved(std::move(owner));
        EXPECT_FALSE(owner.valid());
        SetLastError(1234);
    }
    EXPECT_EQ(1234u, GetLastError());
    // The handle is gone: waiting on it fails.
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(event, 0));

    ScopedFindHandle find;
    EXPECT_FALSE(find.valid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, find.get());
    HANDLE released;
    {
        ScopedHandle kept(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        released = kept.release();
    }
    EXPECT_NE(WAIT_FAILED, WaitForSingleObject(released, 0));
    CloseHandle(released);
}

TEST(ScopedInternetHandle, ClosesAndKeepsTheLastError) {
    HINTERNET raw = InternetOpenW(L"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(nullptr, raw);
    {
        ScopedInternetHandle owner(raw);
        SetLastError(1234);
    }
    EXPECT_EQ(1234u, GetLastError());
    ScopedInternetHandle a(InternetOpenW(L"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ScopedInternetHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_TRUE(b);
    HINTERNET released = b.release();
    EXPECT_FALSE(b);
    EXPECT_TRUE(InternetCloseHandle(released));
}

TEST(ScopedBCrypt, AlgorithmAndHashAreClosedByTheirOwners) {
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    ASSERT_TRUE(BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0)));
    ScopedBCryptAlgorithm algorithm(rawAlgorithm);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    ASSERT_TRUE(BCRYPT_SUCCESS(BCryptCreateHash(algorithm.get(), &rawHash, nullptr, 0, nullptr, 0, 0)));
    {
        ScopedBCryptHash hash(rawHash);
        ScopedBCryptHash moved(std::move(hash));
        EXPECT_FALSE(hash);
        EXPECT_TRUE(moved);
        SetLastError(4321);
    }
    EXPECT_EQ(4321u, GetLastError());
}

TEST(ScopedFileStream, ClosesTheStream) {
    testing_support::TempDir dir;
    const std::wstring path = dir / L"stream.txt";
    {
        ScopedFileStream file(_wfopen(path.c_str(), L"wb"));
        ASSERT_TRUE(file);
        fputs("kept", file.get());
    }
    // Closed and flushed: the file can be removed and holds what was written.
    EXPECT_EQ(4u, testing_support::ReadFileBytes(path).size());
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

}  // namespace
