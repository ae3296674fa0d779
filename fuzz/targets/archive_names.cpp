// The item-name rules for cabinet and zip items: StripItemName leaves no
// drive prefix, no leading separator and no climbing sequence, and is
// stable; ComposeItemTarget only accepts names that stay inside the folder.

#include <windows.h>

#include <cwchar>

#include "fuzz_support.h"
#include "update/archive_names.h"

namespace {

const wchar_t kBase[] = L"C:\\fuzz\\dest\\";

bool HasParentComponent(const std::wstring& name) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = name.size();
        if (name.compare(start, end - start, L"..") == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::wstring stored = fuzz::Text(data, size);
    const std::wstring name = StripItemName(stored);

    FUZZ_CHECK(name.size() <= stored.size());
    FUZZ_CHECK(name.empty() || (name[0] != L'\\' && name[0] != L'/'));
    FUZZ_CHECK(name.size() < 2 || name[1] != L':');
    for (const wchar_t* climb : {L"\\..\\", L"\\../", L"/../", L"/..\\"}) {
        FUZZ_CHECK(name.find(climb) == std::wstring::npos);
    }
    FUZZ_CHECK(StripItemName(name) == name);

    std::wstring target = L"untouched";
    if (ComposeItemTarget(kBase, name, target)) {
        FUZZ_CHECK(target == kBase + name);
        FUZZ_CHECK(target.size() < MAX_PATH);
        FUZZ_CHECK(!HasParentComponent(name));
    } else {
        FUZZ_CHECK(target == L"untouched");
    }
    return 0;
}
