// Benchmarks of the module update, each against a baseline measured in the
// same run, for a module of 300 files (about 100 MB) in 3 archives:
//   1. the update check when everything is current, against hashing the same
//      files with the platform's MD5 in a tight loop;
//   2. a full install from the loopback server, against fetching the same
//      archives with one plain WinInet loop and extracting them with the same
//      extractor;
//   3. the process's peak working set during a full install.
// Prints its figures; run through `make bench`.

#include <windows.h>
#include <bcrypt.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "launch/startup_file_xml.h"
#include "resources/resource.h"
#include "support/logger.h"
#include "testing/http_test_server.h"
#include "testing/test_support.h"
#include "tools/manifest_producer/producer.h"
#include "update/archive_extract.h"
#include "inet/download.h"
#include "update/module_installer.h"
#include "update/update_file_xml.h"

namespace {

using testing_support::TempDir;

constexpr int kFiles = 300;
constexpr int kArchives = 3;
constexpr size_t kTotalBytes = 100u * 1024 * 1024;

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// A window for the progress messages, as the installer expects one.
class QuietDialog : public CDialog {
public:
    QuietDialog() : CDialog(IDD_ORVINLAUNCHER_DIALOG, nullptr) {
        m_hWnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ORVINLAUNCHER_DIALOG),
                                      nullptr, QuietProc, 0);
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
    ~QuietDialog() override { ::DestroyWindow(m_hWnd); }
};

// Files of mixed sizes and compressibility, about kTotalBytes in all.
std::vector<std::wstring> MakeModule(const std::wstring& folder) {
    std::mt19937 random(12345);
    std::vector<std::wstring> names;
    const size_t average = kTotalBytes / kFiles;
    std::vector<char> data;
    for (int i = 0; i < kFiles; ++i) {
        size_t size = average / 2 + random() % average;
        data.resize(size);
        // Half random bytes (do not compress), half text-like (compress well).
        for (size_t k = 0; k < size; ++k) {
            data[k] =
                (k < size / 2) ? static_cast<char>(random()) : static_cast<char>('a' + (k * 7 + i) % 26);
        }
        wchar_t name[32];
        _snwprintf(name, 31, L"part%03d.bin", i);
        name[31] = 0;
        testing_support::WriteFileBytes(folder + name, data.data(), data.size());
        names.push_back(name);
    }
    return names;
}

std::wstring Md5Floor(const std::vector<std::wstring>& paths) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0);
    std::vector<unsigned char> buffer(1024);
    unsigned char digest[16];
    std::wstring last;
    for (const std::wstring& path : paths) {
        BCRYPT_HASH_HANDLE hash = nullptr;
        BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD read = 0;
        while (ReadFile(file, buffer.data(), 1024, &read, nullptr) && read > 0)
            BCryptHashData(hash, buffer.data(), read, 0);
        CloseHandle(file);
        BCryptFinishHash(hash, digest, 16, 0);
        BCryptDestroyHash(hash);
        last.assign(1, static_cast<wchar_t>(digest[0]));
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return last;
}

bool PlainFetch(const std::wstring& url, const std::wstring& path) {
    HINTERNET session = InternetOpenW(L"bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    bool ok = request != nullptr;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::vector<char> buffer(8096);
    DWORD read = 0;
    while (ok && InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read) &&
           read > 0) {
        DWORD written = 0;
        WriteFile(file, buffer.data(), read, &written, nullptr);
    }
    CloseHandle(file);
    if (request) InternetCloseHandle(request);
    InternetCloseHandle(session);
    return ok;
}

size_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize;
}

size_t WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.WorkingSetSize;
}

}  // namespace

int main() {
    TempDir work;
    Logger::Instance()->SetFilePath(work / L"bench.log");
    const std::wstring source = work / L"module\\";
    const std::wstring published = work / L"published\\";
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW(published.c_str(), nullptr);

    printf("preparing %d files, about %zu MB, in %d archives...\n", kFiles, kTotalBytes >> 20, kArchives);
    std::vector<std::wstring> names = MakeModule(source);
    producer::ProducerOptions options;
    options.sourceFolder = source;
    options.outputFolder = published;
    options.module = names[0];
    const wchar_t* archives[kArchives] = {L"core.cab", L"data1.zip", L"data2.zip"};
    for (int a = 0; a < kArchives; ++a) {
        producer::PackageSpec spec;
        spec.name = archives[a];
        for (int i = a; i < kFiles; i += kArchives) spec.files.push_back(names[static_cast<size_t>(i)]);
        options.packages.push_back(spec);
    }
    std::wstring error;
    if (producer::ProduceManifest(options, error) != producer::ProduceResult::ok) {
        printf("producer failed: %s\n", testing_support::WideToUtf8String(error).c_str());
        return 1;
    }

    testing_support::HttpTestServer server;
    server.serve_file("/update/activeupdate.xml", published + L"activeupdate.xml");
    for (const wchar_t* a : archives) {
        server.serve_file("/files/" + testing_support::WideToUtf8String(a), published + a);
    }
    startup_file_xml startup;
    startup.update_url = server.url("update/");
    startup.update_files_url = server.url("files/");
    QuietDialog dialog;

    // 2 and 3: a full install, then the plain loop over the same archives.
    size_t baseline = WorkingSet();
    const int rounds = 3;
    double install = 1e9, plain = 1e9;
    for (int r = 0; r < rounds; ++r) {
        startup.install_path = work / (L"install" + std::to_wstring(r) + L"\\");
        std::wstring module;
        double t0 = Now();
        if (!InstallModule(dialog, startup, module)) {
            printf("install failed\n");
            return 1;
        }
        install = std::min(install, Now() - t0);

        std::wstring folder = work / (L"plain" + std::to_wstring(r) + L"\\");
        CreateDirectoryW(folder.c_str(), nullptr);
        t0 = Now();
        for (const wchar_t* a : archives) {
            std::wstring path = folder + a;
            PlainFetch(startup.update_files_url + a, path);
            bool cab = std::wstring(a).find(L".cab") != std::wstring::npos;
            if (!(cab ? ExtractCabinet(path, folder, L"", L"") : ExtractZip(path, folder, L"", L""))) {
                printf("plain extraction failed\n");
                return 1;
            }
        }
        plain = std::min(plain, Now() - t0);
    }
    size_t peak = PeakWorkingSet();

    // 1: the check when everything is current, against the hashing floor.
    std::vector<std::wstring> installed;
    for (const std::wstring& n : names) installed.push_back(startup.install_path + n);
    double check = 1e9, floor = 1e9;
    for (int r = 0; r < rounds; ++r) {
        std::wstring module;
        std::vector<update_file_entry> list;
        double t0 = Now();
        if (!CollectUpdateFiles(startup.install_path, startup.update_url, module, list) || !list.empty()) {
            printf("update check failed\n");
            return 1;
        }
        check = std::min(check, Now() - t0);
        t0 = Now();
        Md5Floor(installed);
        floor = std::min(floor, Now() - t0);
    }

    const double mb = static_cast<double>(kTotalBytes) / (1024.0 * 1024.0);
    printf("\nbenchmark                          launcher      baseline      ratio\n");
    printf(
        "1. update check, all current     %8.3f s    %8.3f s    %6.2f   (baseline: BCrypt MD5 of the same "
        "files)\n",
        check, floor, check / floor);
    printf(
        "2. full install from loopback    %8.3f s    %8.3f s    %6.2f   (baseline: plain WinInet loop + same "
        "extractor)\n",
        install, plain, install / plain);
    printf(
        "3. peak working set              %8.1f MB   %8.1f MB   %6.2f   (baseline: working set before the "
        "installs)\n",
        static_cast<double>(peak) / 1048576.0, static_cast<double>(baseline) / 1048576.0,
        static_cast<double>(peak) / static_cast<double>(baseline));
    printf("   module: %d files, %.0f MB in %d archives; best of %d rounds\n", kFiles, mb, kArchives, rounds);
    return 0;
}
