// The producer's look at the module's signature, through the same check a
// pinned launcher makes.

#include <windows.h>

#include "editor/module_signature.h"
#include "tools/manifest_producer/producer.h"

namespace producer {

bool ReadModuleSigner(const ProducerOptions& options, std::wstring& signerKey, long& status) {
    status = 0;
    std::wstring path = options.sourceFolder;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    path += options.module;
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    ModuleSignature signature;
    const bool read = ReadModuleSignature(file.get(), path, signature);
    status = signature.status;
    if (read) signerKey = signature.signerKey;
    return read;
}

}  // namespace producer
