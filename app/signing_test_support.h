#pragma once
// Helpers of the tests of pinned builds: the keys, signed modules and lists
// that testing/sign_test_modules.sh made for this build.

#include <string>

#include "testing/test_support.h"

namespace signing_test {

inline std::string Utf8(const std::wstring& text) {
    return testing_support::WideToUtf8String(text);
}

// A file of the build's signing folder (bin\signing\).
inline std::wstring Signing(const std::wstring& name) {
    return testing_support::ExecutableFolder() + L"signing\\" + name;
}

}  // namespace signing_test
