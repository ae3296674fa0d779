#include "tools/manifest_producer/producer.h"

#include <windows.h>

#include <shlwapi.h>

#include <cwctype>

#include "support/contained_path.h"
#include "support/platform.h"
#include "tools/publish/archive_writer.h"
#include "inet/download.h"
#include "update/manifest_crypto.h"
#include "tools/publish/manifest_encrypt.h"
#include "update/signed_file_list.h"
#include "update/update_file_xml.h"
#include "support/signer_key.h"

namespace producer {

namespace {

const wchar_t kManifestName[] = L"activeupdate.xml";
const wchar_t kSignedListName[] = L"activeupdate.sig";

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

std::wstring Slashes(std::wstring name) {
    for (wchar_t& c : name) {
        if (c == L'/') c = L'\\';
    }
    return name;
}

bool IsAscii(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsRegularFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsCabinetName(const std::wstring& name) {
    // The launcher picks the format the same way: the extension, ".cab" in any case.
    return lstrcmpiW(PathFindExtensionW(name.c_str()), L".cab") == 0;
}

bool ParseWord(const std::wstring& text, std::uint32_t& value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long long parsed = wcstoull(text.c_str(), &end, 0);
    if (errno != 0 || !end || *end != L'\0' || parsed > 0xFFFFFFFFull || text[0] == L'-') return false;
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

// Splits at commas; empty parts are kept so that they are refused later.
std::vector<std::wstring> SplitList(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(L',', start);
        parts.push_back(text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    return parts;
}

// Fresh header words: they only seed the mask, so time and process are enough.
void FreshHeader(std::uint32_t& h0, std::uint32_t& h1) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    h0 = now.dwLowDateTime ^ static_cast<std::uint32_t>(counter.QuadPart) ^ (GetCurrentProcessId() << 16);
    h1 = now.dwHighDateTime ^ static_cast<std::uint32_t>(counter.QuadPart >> 32) ^ GetTickCount();
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const BOOL closed = CloseHandle(file);
    return ok && closed && written == bytes.size();
}

std::string ReadWholeFile(const std::wstring& path, bool& ok) {
    ok = false;
    std::string bytes;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart < 16 * 1024 * 1024) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = bytes.empty() || (ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                               read == bytes.size());
    }
    CloseHandle(file);
    return bytes;
}

std::wstring Utf8ToWideText(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    std::unique_ptr<wchar_t[]> wide = Utf8ToWide(bytes.data(), static_cast<int>(bytes.size()));
    return wide ? std::wstring(wide.get()) : std::wstring();
}

std::string WideToUtf8Text(const std::wstring& text) {
    if (text.empty()) return std::string();
    std::unique_ptr<char[]> bytes = WideToUtf8(text.c_str(), -1);
    return bytes ? std::string(bytes.get()) : std::string();
}

// Reads the package list's next name: a run of non-blank characters or a
// double-quoted run. False for an unterminated quote.
bool NextListName(const std::wstring& line, size_t& pos, std::wstring& name, bool& found) {
    found = false;
    while (pos < line.size() && (line[pos] == L' ' || line[pos] == L'\t')) ++pos;
    if (pos >= line.size()) return true;
    if (line[pos] == L'"') {
        const size_t close = line.find(L'"', pos + 1);
        if (close == std::wstring::npos) return false;
        name = line.substr(pos + 1, close - pos - 1);
        pos = close + 1;
    } else {
        const size_t start = pos;
        while (pos < line.size() && line[pos] != L' ' && line[pos] != L'\t') ++pos;
        name = line.substr(start, pos - start);
    }
    found = true;
    return true;
}

}  // namespace

bool CheckInstallName(const std::wstring& name, bool allowFolders, std::wstring& error) {
    const std::wstring shown = L"\"" + name + L"\"";
    if (name.empty()) {
        error = L"an empty name";
        return false;
    }
    if (name.size() >= MAX_PATH) {
        error = shown + L" is too long";
        return false;
    }
    // What leaves the install folder is the launcher's own rule; the rest
    // keeps published names in the one form the launcher reads back as written.
    if (!IsContainedName(name)) {
        error = shown + L" would leave the install folder";
        return false;
    }
    const std::vector<std::wstring> resolved = ResolvedComponents(name);
    if (!resolved.empty() &&
        CompareStringOrdinal(resolved[0].c_str(), -1, L"download", -1, TRUE) == CSTR_EQUAL) {
        error = shown + L" lies in the launcher's download folder, which every update removes";
        return false;
    }
    const wchar_t first = name.front(), last = name.back();
    if (first == L' ' || first == L'\t' || last == L' ' || last == L'\t') {
        error = shown + L" begins or ends with white space, which the launcher trims";
        return false;
    }
    if (first == L'\\' || first == L'/') {
        error = shown + L" begins with a separator and would leave the install folder";
        return false;
    }
    for (wchar_t c : name) {
        if (c < 0x20 || c == 0x7F) {
            error = shown + L" holds a control character";
            return false;
        }
        if (wcschr(L"<>\"|?*", c)) {
            error = shown + L" holds a character Windows refuses in file names";
            return false;
        }
        if (c == L'&') {
            error = shown + L" holds \"&\", which the launcher's reader does not decode";
            return false;
        }
    }
    size_t start = 0;
    int components = 0;
    for (;;) {
        const size_t sep = name.find_first_of(L"\\/", start);
        const std::wstring part =
            name.substr(start, sep == std::wstring::npos ? std::wstring::npos : sep - start);
        ++components;
        if (part.empty()) {
            error = shown + L" has an empty path component";
            return false;
        }
        if (part == L".") {
            error = shown + L" has a \".\" component";
            return false;
        }
        if (part.back() == L'.' || part.back() == L' ') {
            error = shown + L" has a component ending in a dot or a space, which Windows drops";
            return false;
        }
        if (sep == std::wstring::npos) break;
        start = sep + 1;
    }
    if (!allowFolders && components > 1) {
        error = shown + L" must be a plain file name without folders";
        return false;
    }
    return true;
}

bool ParseProducerArguments(const std::vector<std::wstring>& args, ProducerOptions& options,
                            std::wstring& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        auto value = [&](std::wstring& out) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = arg + L" needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::wstring v;
        if (arg == L"--source") {
            if (!value(options.sourceFolder)) return false;
        } else if (arg == L"--output") {
            if (!value(options.outputFolder)) return false;
        } else if (arg == L"--module") {
            if (!value(v)) return false;
            options.module = Slashes(v);
        } else if (arg == L"--package") {
            if (!value(v)) return false;
            const size_t eq = v.find(L'=');
            if (eq == std::wstring::npos || eq == 0 || eq + 1 == v.size()) {
                error = L"--package takes NAME=FILE[,FILE...], not \"" + v + L"\"";
                return false;
            }
            PackageSpec package;
            package.name = v.substr(0, eq);
            for (const std::wstring& file : SplitList(v.substr(eq + 1)))
                package.files.push_back(Slashes(file));
            options.packages.push_back(package);
        } else if (arg == L"--list") {
            if (!value(v)) return false;
            if (!ReadPackageList(v, options.packages, error)) return false;
        } else if (arg == L"--allow-folders") {
            options.allowFolders = true;
        } else if (arg == L"--require-signed") {
            options.requireSigned = true;
        } else if (arg == L"--sign-cert") {
            if (!value(options.signCert)) return false;
        } else if (arg == L"--sign-key") {
            if (!value(options.signKey)) return false;
        } else if (arg == L"--serial" || arg == L"--sign-days") {
            if (!value(v)) return false;
            wchar_t* end = nullptr;
            errno = 0;
            const unsigned long long parsed = wcstoull(v.c_str(), &end, 10);
            const bool days = arg == L"--sign-days";
            if (errno != 0 || !end || *end != L'\0' || !iswdigit(v[0]) || parsed == 0 || (days && parsed > 36500)) {
                error = arg + L" takes a positive number, not \"" + v + L"\"";
                return false;
            }
            if (days) {
                options.signDays = static_cast<int>(parsed);
            } else {
                options.serial = parsed;
            }
        } else if (arg == L"--header") {
            if (!value(v)) return false;
            const size_t colon = v.find(L':');
            if (colon == std::wstring::npos || !ParseWord(v.substr(0, colon), options.h0) ||
                !ParseWord(v.substr(colon + 1), options.h1)) {
                error = L"--header takes H0:H1 (two 32-bit numbers), not \"" + v + L"\"";
                return false;
            }
            options.fixedHeader = true;
        } else {
            error = L"unknown argument \"" + arg + L"\"";
            return false;
        }
    }
    if (options.signCert.empty() != options.signKey.empty()) {
        error = L"--sign-cert and --sign-key go together";
        return false;
    }
    return true;
}

bool ReadPackageList(const std::wstring& path, std::vector<PackageSpec>& packages, std::wstring& error) {
    bool ok = false;
    std::string bytes = ReadWholeFile(path, ok);
    if (!ok) {
        error = L"cannot read the package list \"" + path + L"\"";
        return false;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    if (!IsUtf8Text(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), false) ||
        bytes.find('\0') != std::string::npos) {
        error = L"the package list \"" + path + L"\" is not UTF-8 text";
        return false;
    }
    const std::wstring text = Utf8ToWideText(bytes);
    size_t lineStart = 0;
    int lineNumber = 0;
    std::vector<PackageSpec> read;
    while (lineStart <= text.size()) {
        size_t lineEnd = text.find(L'\n', lineStart);
        if (lineEnd == std::wstring::npos) lineEnd = text.size();
        std::wstring line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        size_t pos = 0;
        while (pos < line.size() && (line[pos] == L' ' || line[pos] == L'\t')) ++pos;
        if (pos >= line.size() || line[pos] == L'#') continue;

        const std::wstring where = L"package list line " + std::to_wstring(lineNumber);
        std::wstring head;
        bool found = false;
        PackageSpec package;
        if (line[pos] == L'"') {
            if (!NextListName(line, pos, head, found)) {
                error = where + L": unterminated quote";
                return false;
            }
            while (pos < line.size() && (line[pos] == L' ' || line[pos] == L'\t')) ++pos;
            if (pos >= line.size() || line[pos] != L':') {
                error = where + L": a quoted package name must be followed by \":\"";
                return false;
            }
            package.name = head;
        } else {
            const size_t colon = line.find(L':', pos);
            if (colon == std::wstring::npos) {
                error = where + L": expected \"package: file file ...\"";
                return false;
            }
            package.name = line.substr(pos, colon - pos);
            while (!package.name.empty() && (package.name.back() == L' ' || package.name.back() == L'\t'))
                package.name.pop_back();
            pos = colon;
        }
        ++pos;  // the colon
        for (;;) {
            std::wstring name;
            if (!NextListName(line, pos, name, found)) {
                error = where + L": unterminated quote";
                return false;
            }
            if (!found) break;
            package.files.push_back(Slashes(name));
        }
        if (package.name.empty() || package.files.empty()) {
            error = where + L": a package needs a name and at least one file";
            return false;
        }
        read.push_back(package);
    }
    packages.insert(packages.end(), read.begin(), read.end());
    return true;
}

bool ValidateOptions(const ProducerOptions& options, std::wstring& error) {
    if (options.sourceFolder.empty() || !IsDirectory(options.sourceFolder)) {
        error = L"the source folder \"" + options.sourceFolder + L"\" does not exist";
        return false;
    }
    if (options.outputFolder.empty()) {
        error = L"no output folder (--output)";
        return false;
    }
    if (options.packages.empty()) {
        error = L"no package (--package or --list)";
        return false;
    }
    if (options.module.empty()) {
        error = L"no module file (--module)";
        return false;
    }
    const std::wstring source = WithBackslash(options.sourceFolder);
    std::vector<std::wstring> seenFiles;
    bool moduleListed = false;
    for (size_t p = 0; p < options.packages.size(); ++p) {
        const PackageSpec& package = options.packages[p];
        std::wstring why;
        if (!CheckInstallName(package.name, false, why)) {
            error = L"package name refused: " + why;
            return false;
        }
        for (const wchar_t* published : {kManifestName, kSignedListName}) {
            if (EqualsIgnoringCase(package.name, published)) {
                error = L"a package cannot be called " + std::wstring(published);
                return false;
            }
        }
        for (size_t q = 0; q < p; ++q) {
            // Distinct for the launcher, but one file in any Windows folder.
            if (EqualsIgnoringCase(options.packages[q].name, package.name)) {
                error = L"package \"" + package.name + L"\" is given twice";
                return false;
            }
        }
        if (package.files.empty()) {
            error = L"package \"" + package.name + L"\" lists no file";
            return false;
        }
        for (const std::wstring& file : package.files) {
            if (!CheckInstallName(file, true, why)) {
                error = L"file name refused: " + why;
                return false;
            }
            if (IsCabinetName(package.name) && !IsAscii(file)) {
                error = L"file \"" + file +
                        L"\" has a non-ASCII name: the setup library that unpacks cabinets "
                        L"reads stored names in the ANSI code page (put it in a zip package)";
                return false;
            }
            if (file.find_first_of(L"\\/") != std::wstring::npos) {
                if (IsCabinetName(package.name)) {
                    error = L"file \"" + file +
                            L"\" is in a folder: the launcher unpacks cabinets without creating "
                            L"folders (put it in a zip package)";
                    return false;
                }
                if (!options.allowFolders) {
                    error = L"file \"" + file +
                            L"\" is in a folder: the launcher does not create folders in the "
                            L"install folder (--allow-folders when the folder exists there)";
                    return false;
                }
            }
            for (const std::wstring& seen : seenFiles) {
                if (EqualsIgnoringCase(Slashes(seen), Slashes(file))) {
                    error = L"file \"" + file + L"\" is listed twice";
                    return false;
                }
            }
            seenFiles.push_back(file);
            const std::wstring path = source + file;
            if (path.size() >= MAX_PATH) {
                error = L"the path \"" + path + L"\" is too long";
                return false;
            }
            if (!IsRegularFile(path)) {
                error = L"file \"" + file + L"\" is missing from the source folder";
                return false;
            }
            if (EqualsIgnoringCase(Slashes(file), Slashes(options.module))) moduleListed = true;
        }
    }
    if (!moduleListed) {
        error = L"the module file \"" + options.module + L"\" is not listed in any package";
        return false;
    }
    return true;
}

std::wstring BuildInnerManifest(const std::vector<ManifestFile>& files) {
    std::vector<std::wstring> order;
    for (const ManifestFile& file : files) {
        bool seen = false;
        for (const std::wstring& name : order) seen = seen || name == file.package;
        if (!seen) order.push_back(file.package);
    }
    std::wstring text = L"<?xml version=\"1.0\" encoding=\"utf-8\"?><update>";
    for (const std::wstring& package : order) {
        text += L"<files name=\"" + package + L"\">";
        for (const ManifestFile& file : files) {
            if (file.package != package) continue;
            text += L"<file ";
            if (file.isModule) text += L"id=\"module\" ";
            text +=
                L"hash=\"" + file.hash + L"\" version=\"" + file.version + L"\">" + file.name + L"</file>";
        }
        text += L"</files>";
    }
    text += L"</update>";
    return text;
}

std::wstring BuildOuterManifest(const std::wstring& encryptedValue) {
    // The launcher needs the explicit closing tag.
    return L"<?xml version=\"1.0\" encoding=\"utf-8\"?><update data=\"" + encryptedValue + L"\"></update>";
}

namespace {

// Written under a temporary name and moved over, so that a published file is
// never left half-written.
ProduceResult WriteInPlace(const std::wstring& target, const std::string& bytes, std::wstring& error) {
    const std::wstring temporary = target + L".tmp~";
    if (!WriteWholeFile(temporary, bytes) ||
        !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        error = L"cannot write \"" + target + L"\"";
        return ProduceResult::failed;
    }
    return ProduceResult::ok;
}

// Signs the list of the packed files and writes activeupdate.sig, read back
// through the launcher's own verification first.
ProduceResult WriteSignedList(const ProducerOptions& options, const std::wstring& output, SignedFileList& list,
                              std::wstring& error) {
    bool certRead = false, keyRead = false;
    const std::string certPem = ReadWholeFile(options.signCert, certRead);
    const std::string keyPem = ReadWholeFile(options.signKey, keyRead);
    if (!certRead || !keyRead) {
        error = L"cannot read \"" + (certRead ? options.signKey : options.signCert) + L"\"";
        return ProduceResult::refused;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::int64_t seconds = static_cast<std::int64_t>(
        (((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - 116444736000000000ULL) /
        10000000ULL);
    list.serial = options.serial != 0 ? options.serial : static_cast<std::uint64_t>(seconds);
    list.expires = seconds + static_cast<std::int64_t>(options.signDays) * 86400;
    const std::string document = FormatSignedFileList(list);
    std::string signedData;
    if (!SignFileList(certPem, keyPem, document, signedData, error)) return ProduceResult::refused;

    std::string content;
    std::wstring signerKey;
    DWORD status = 0;
    SignedFileList check;
    if (!ReadSignedMessage(reinterpret_cast<const unsigned char*>(signedData.data()), signedData.size(), content,
                           signerKey, status) ||
        content != document || !ParseSignedFileList(content.data(), content.size(), check) ||
        check.files.size() != list.files.size()) {
        error = L"the launcher's verification does not accept the signed file list";
        return ProduceResult::failed;
    }
    return WriteInPlace(output + kSignedListName, signedData, error);
}

ProduceResult ProduceManifestBody(const ProducerOptions& given, std::wstring& error) {
    // One separator everywhere, so that names compare and read back alike.
    ProducerOptions options = given;
    options.module = Slashes(options.module);
    for (PackageSpec& package : options.packages) {
        for (std::wstring& file : package.files) file = Slashes(file);
    }
    if (!ValidateOptions(options, error)) return ProduceResult::refused;
    const std::wstring source = WithBackslash(options.sourceFolder);
    const std::wstring output = WithBackslash(options.outputFolder);
    if (!EnsureDirectory(output)) {
        error = L"cannot create the output folder \"" + output + L"\"";
        return ProduceResult::failed;
    }

    std::vector<ManifestFile> files;
    SignedFileList signedList;
    for (const PackageSpec& package : options.packages) {
        std::vector<ArchiveItem> items;
        for (const std::wstring& name : package.files) {
            items.push_back(ArchiveItem{source + name, name});
            ManifestFile file;
            file.name = name;
            file.package = package.name;
            SignedFile listed;
            listed.name = name;
            ComputeFileDigests(source + name, file.hash, listed.sha256, listed.size);
            signedList.files.push_back(listed);
            if (file.hash.size() != 32) {
                error = L"cannot hash \"" + source + name + L"\"";
                return ProduceResult::failed;
            }
            file.version = GetFileVersionText(source + name);
            file.isModule = EqualsIgnoringCase(name, options.module);
            files.push_back(file);
        }
        const std::wstring archive = output + package.name;
        const bool written =
            IsCabinetName(package.name) ? WriteCabinet(archive, items) : WriteZip(archive, items);
        if (!written) {
            error = L"cannot write the package \"" + archive + L"\"";
            return ProduceResult::failed;
        }
    }

    std::uint32_t h0 = options.h0, h1 = options.h1;
    if (!options.fixedHeader) FreshHeader(h0, h1);
    std::wstring value;
    if (!EncryptManifestData(BuildInnerManifest(files), h0, h1, value)) {
        error = L"cannot encrypt the file list";
        return ProduceResult::failed;
    }
    const std::string document = WideToUtf8Text(BuildOuterManifest(value));

    // Read back through the launcher's own reader before the file is put in
    // place: what it would read must be exactly what was packed.
    update_file_xml check;
    if (!check.Load(reinterpret_cast<const unsigned char*>(document.data()),
                    static_cast<int>(document.size())) ||
        check.files.size() != files.size()) {
        error = L"the launcher's reader does not accept the written manifest";
        return ProduceResult::failed;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const update_file_entry& got = check.files[i];
        if (got.name != files[i].name || got.package != files[i].package || got.hash != files[i].hash ||
            got.version != files[i].version) {
            error = L"the launcher's reader reads \"" + got.name + L"\" differently";
            return ProduceResult::failed;
        }
        if (files[i].isModule && check.module != files[i].name) {
            error = L"the launcher's reader does not find the module";
            return ProduceResult::failed;
        }
    }

    // The list first: a launcher that fetches in between finds the new list
    // with the old manifest and refuses that one run, never the reverse.
    if (!options.signCert.empty()) {
        const ProduceResult listed = WriteSignedList(options, output, signedList, error);
        if (listed != ProduceResult::ok) return listed;
    }

    return WriteInPlace(output + kManifestName, document, error);
}

}  // namespace

ProduceResult ProduceManifest(const ProducerOptions& options, std::wstring& error) {
    try {
        return ProduceManifestBody(options, error);
    } catch (...) {
        error = L"out of memory";
        return ProduceResult::failed;
    }
}

std::wstring ProducerUsage() {
    return L"usage: manifest_producer --source DIR --output DIR --module FILE\n"
           L"                         (--package NAME=FILE[,FILE...] | --list LISTFILE)...\n"
           L"                         [--allow-folders] [--header H0:H1] [--require-signed]\n"
           L"                         [--sign-cert CERT.pem --sign-key KEY.pem [--serial N] [--sign-days D]]\n"
           L"\n"
           L"Packs the files of DIR into the named packages (\".cab\": cabinet, else zip)\n"
           L"in the output folder and writes activeupdate.xml beside them.\n"
           L"  --module   the editor module's file; it must be listed in a package\n"
           L"  --package  a package and its files, relative to the source folder\n"
           L"  --list     a UTF-8 file with lines \"package.cab: file1.dll sub\\file2.dat\"\n"
           L"             (names with spaces in double quotes, \"#\" starts a comment)\n"
           L"  --allow-folders  accept files in folders (zip packages only); the launcher\n"
           L"             installs them only where the folder already exists\n"
           L"  --header   the two header words that seed the mask (default: fresh ones)\n"
           L"  --require-signed  refuse a module without a sound Authenticode signature\n"
           L"             (otherwise a warning: launchers built with publisher keys refuse it)\n"
           L"  --sign-cert, --sign-key  the publisher's code-signing certificate and its RSA\n"
           L"             key (PEM): also write activeupdate.sig, the signed list of every file\n"
           L"             (SHA-256, size) that launchers built with publisher keys require\n"
           L"  --serial   the list's serial (default: the time in seconds since 1970); such\n"
           L"             launchers refuse a list older than one they accepted\n"
           L"  --sign-days  days until the list expires (default 365): publish again before\n"
           L"Exit codes: 0 written, 1 refused (bad arguments or input), 2 writing failed.\n";
}

}  // namespace producer
