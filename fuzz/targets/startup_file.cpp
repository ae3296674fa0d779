// startup_file_xml::Load on a downloaded body, as the startup request hands
// it over; then what the other steps rely on after an accepted load.

#include <windows.h>

#include <cwchar>

#include "fuzz_support.h"
#include "launch/startup_file_xml.h"

namespace {
const wchar_t kRoot[] = L"C:\\Users\\fuzz\\AppData\\LocalLow";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    // The body as the HTTP layer holds it: a buffer of exactly its size.
    std::vector<unsigned char> body(data, data + size);
    startup_file_xml startup;
    const bool ok = startup.Load(body.empty() ? nullptr : body.data(), static_cast<int>(body.size()));
    if (!ok) return 0;
    if (!startup.install_path.empty()) {
        FUZZ_CHECK(StartsWith(startup.install_path, kRoot));
        FUZZ_CHECK(startup.install_path.back() == L'\\');
        FUZZ_CHECK(startup.install_path.find(L'/') == std::wstring::npos);
        // The folder resolves below the data root (a model of the Win32 path rules).
        const DWORD needed = GetFullPathNameW(startup.install_path.c_str(), 0, nullptr, nullptr);
        FUZZ_CHECK(needed > 0);
        std::vector<wchar_t> buffer(needed);
        wchar_t* full = buffer.data();
        const DWORD n = GetFullPathNameW(startup.install_path.c_str(), needed, full, nullptr);
        FUZZ_CHECK(n > 0 && n < needed);
        FUZZ_CHECK(_wcsnicmp(full, kRoot, std::wcslen(kRoot)) == 0);
        FUZZ_CHECK(full[std::wcslen(kRoot)] == L'\\' || full[std::wcslen(kRoot)] == 0);
    }
    for (const std::wstring* url : {&startup.update_url, &startup.update_files_url}) {
        FUZZ_CHECK(url->empty() || StartsWith(*url, L"http://") || StartsWith(*url, L"https://"));
        FUZZ_CHECK(url->empty() || url->back() == L'/');
    }
    // A second load replaces everything.
    startup_file_xml again;
    FUZZ_CHECK(again.Load(body.data(), static_cast<int>(body.size())));
    FUZZ_CHECK(again.params == startup.params && again.module == startup.module);
    return 0;
}
