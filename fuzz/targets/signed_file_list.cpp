// The publisher's signed file list as the launcher reads it after its
// signature is verified: one reading or none. An accepted document is
// written back byte for byte, reads the same again, and names only files the
// install folder may hold, each once; a refused one leaves the list as it was.

#include <windows.h>

#include "fuzz_support.h"
#include "support/contained_path.h"
#include "update/signed_file_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    SignedFileList list;
    list.serial = 7;
    if (!ParseSignedFileList(reinterpret_cast<const char*>(data), size, list)) {
        FUZZ_CHECK(list.serial == 7 && list.files.empty());
        return 0;
    }
    FUZZ_CHECK(!list.files.empty());
    const std::string written = FormatSignedFileList(list);
    FUZZ_CHECK(written == std::string(reinterpret_cast<const char*>(data), size));
    SignedFileList again;
    FUZZ_CHECK(ParseSignedFileList(written.data(), written.size(), again));
    FUZZ_CHECK(again.serial == list.serial && again.expires == list.expires &&
               again.files.size() == list.files.size());
    std::int64_t expires = 0;
    FUZZ_CHECK(ParseUtcTime(FormatUtcTime(list.expires), expires) && expires == list.expires);
    for (const SignedFile& file : list.files) {
        FUZZ_CHECK(IsContainedName(file.name) && !ResolvedComponents(file.name).empty());
        FUZZ_CHECK(file.sha256.size() == 64);
        FUZZ_CHECK(list.Find(file.name) == &file);
    }
    return 0;
}
