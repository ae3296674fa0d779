// Benchmarks of the module update, each against a baseline that does the same
// work in the tightest form, measured in the same run with the rounds
// interleaved (launcher, baseline, launcher, baseline, ... after a warm-up):
//   1. the update check when everything is current (CollectUpdateFiles),
//      against hashing the same files with the platform's MD5 and large reads,
//      and the same check in a build with publisher keys (the signed list);
//   2. a full install from the loopback server (InstallModule), against a
//      plain WinInet loop per archive, the same extractors and the MD5 of every
//      unpacked file with large reads; with the install's phases;
//   3. how far the working set grows over the idle process during one install
//      (and during one baseline), each in a fresh process of its own;
// and the figures a user feels, the real OrvinLauncher.exe started with a
// launch command line against the loopback shop server and watched from
// outside, each against an empty dialog program started the same way:
//   4. the time until its progress window is visible;
//   5. the time until the editor module's Initialize is entered when
//      everything is current;
//   6. its peak working set during a run with a full install.
// Every figure is printed as min / median / max over the rounds.
//
//   launcher_bench.exe [--mb MB] [--files N] [--rounds R]
//
// Run through `make bench` (BENCH_ARGS passes options).

#include <windows.h>
#include <bcrypt.h>
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/message_pump.h"
#include "inet/download.h"
#include "launch/startup_file_xml.h"
#include "support/publisher_trust.h"
#include "resources/resource.h"
#include "support/logger.h"
#include "support/platform.h"
#include "support/scoped.h"
#include "testing/http_test_server.h"
#include "testing/test_support.h"
#include "tools/bench/bench_names.h"
#include "tools/bench/watched_process.h"
#include "tools/manifest_producer/producer.h"
#include "tools/shop_server/shop.h"
#include "update/archive_extract.h"
#include "update/module_installer.h"
#include "update/update_file_xml.h"

namespace {

using testing_support::TempDir;

constexpr int kArchives = 3;
const wchar_t* const kArchiveNames[kArchives] = {L"core.cab", L"data1.zip", L"data2.zip"};
// The floor's read size: 256 KiB and 1 MiB reads measured no faster here.
constexpr DWORD kFloorBlock = 64 * 1024;

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

struct Options {
    int files = 300;
    size_t megabytes = 100;
    int rounds = 7;
};

// min / median / max of a set of samples.
struct Spread {
    double min = 0, median = 0, max = 0;
};

Spread SpreadOf(std::vector<double> samples) {
    Spread s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    s.min = samples.front();
    s.max = samples.back();
    const size_t n = samples.size();
    s.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    return s;
}

std::string Show(const Spread& s, const char* unit, int decimals) {
    char text[96];
    snprintf(text, sizeof(text), "%.*f %s (%.*f-%.*f)", decimals, s.median, unit, decimals, s.min, decimals,
             s.max);
    return text;
}

// Files of mixed sizes and compressibility, about `bytes` in all.
std::vector<std::wstring> MakeModule(const std::wstring& folder, int files, size_t bytes) {
    std::mt19937 random(12345);
    std::vector<std::wstring> names;
    const size_t average = bytes / static_cast<size_t>(files);
    std::vector<char> data;
    for (int i = 0; i < files; ++i) {
        size_t size = average / 2 + random() % average;
        data.resize(size);
        // Half random bytes (do not compress), half text-like (compress well).
        for (size_t k = 0; k < size; ++k) {
            data[k] =
                (k < size / 2) ? static_cast<char>(random()) : static_cast<char>('a' + (k * 7 + i) % 26);
        }
        wchar_t name[32];
        _snwprintf(name, 31, L"part%04d.bin", i);
        name[31] = 0;
        testing_support::WriteFileBytes(folder + name, data.data(), data.size());
        names.push_back(name);
    }
    return names;
}

// The tightest MD5 of whole files the platform offers: one algorithm handle,
// one hash object and large reads per file.
// BCrypt digests of every file, each file read once and every block fed to
// each algorithm: the floor of a check that needs those digests.
bool HashFloor(const std::vector<std::wstring>& paths, const std::vector<const wchar_t*>& algorithmNames) {
    std::vector<BCRYPT_ALG_HANDLE> algorithms;
    bool ok = true;
    for (const wchar_t* name : algorithmNames) {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        ok = ok && BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0));
        if (algorithm) algorithms.push_back(algorithm);
    }
    std::vector<unsigned char> buffer(kFloorBlock);
    unsigned char digest[64];
    for (const std::wstring& path : paths) {
        if (!ok) break;
        std::vector<BCRYPT_HASH_HANDLE> hashes(algorithms.size(), nullptr);
        for (size_t i = 0; i < algorithms.size(); ++i)
            BCryptCreateHash(algorithms[i], &hashes[i], nullptr, 0, nullptr, 0, 0);
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ok = ok && file != INVALID_HANDLE_VALUE;
        DWORD read = 0;
        while (ReadFile(file, buffer.data(), kFloorBlock, &read, nullptr) && read > 0)
            for (BCRYPT_HASH_HANDLE hash : hashes) BCryptHashData(hash, buffer.data(), read, 0);
        CloseHandle(file);
        for (size_t i = 0; i < hashes.size(); ++i) {
            DWORD length = 0, got = 0;
            BCryptGetProperty(algorithms[i], BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                              sizeof(length), &got, 0);
            BCryptFinishHash(hashes[i], digest, length, 0);
            BCryptDestroyHash(hashes[i]);
        }
    }
    for (BCRYPT_ALG_HANDLE algorithm : algorithms) BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok;
}

bool Md5Floor(const std::vector<std::wstring>& paths) {
    return HashFloor(paths, {BCRYPT_MD5_ALGORITHM});
}

// One GET with WinInet's own calls, read in the HTTP layer's chunk size.
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

// The files below folder, archives excluded.
void ListUnpacked(const std::wstring& folder, std::vector<std::wstring>& paths) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListUnpacked(folder + name + L"\\", paths);
            continue;
        }
        bool archive = false;
        for (const wchar_t* a : kArchiveNames) archive = archive || name == a;
        if (!archive) paths.push_back(folder + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

struct BaselineTimes {
    double fetch = 0, extraction = 0, hash = 0;
};

// The work an install cannot avoid: every archive fetched, unpacked with the
// same extractors, and every unpacked file hashed.
bool PlainInstall(const std::wstring& filesUrl, const std::wstring& folder, BaselineTimes& times) {
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* a : kArchiveNames) {
        const std::wstring path = folder + a;
        double t0 = Now();
        if (!PlainFetch(filesUrl + a, path)) return false;
        double t1 = Now();
        const bool cab = std::wstring(a).find(L".cab") != std::wstring::npos;
        if (!(cab ? ExtractCabinet(path, folder, L"", L"") : ExtractZip(path, folder, L"", L"")))
            return false;
        times.fetch += t1 - t0;
        times.extraction += Now() - t1;
    }
    double t0 = Now();
    std::vector<std::wstring> unpacked;
    ListUnpacked(folder, unpacked);
    const bool hashed = Md5Floor(unpacked);
    times.hash = Now() - t0;
    return hashed;
}

size_t WorkingSet(bool peak) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

// In a process of its own: the working set when idle (everything loaded, the
// window made), then one install or one baseline, then the peak. Writes
// "idle peak-before peak-after" in bytes to the result file.
int RunProbe(int argc, wchar_t** argv) {
    if (argc < 8) return 2;
    const std::wstring kind = argv[2], result = argv[3], work = argv[4];
    startup_file_xml startup;
    startup.install_path = argv[5];
    startup.update_url = argv[6];
    startup.update_files_url = argv[7];
    Logger::Instance()->SetFilePath(work + L"probe.log");
    QuietDialog dialog;
    PumpMessages();
    const size_t idle = WorkingSet(false);
    const size_t before = WorkingSet(true);
    bool ok;
    if (kind == L"install") {
        std::wstring module;
        ok = InstallModule(dialog, startup, module);
    } else {
        BaselineTimes ignored;
        ok = PlainInstall(startup.update_files_url, startup.install_path, ignored);
    }
    const size_t after = WorkingSet(true);
    FILE* out = _wfopen(result.c_str(), L"w");
    if (!out) return 3;
    fprintf(out, "%zu %zu %zu\n", idle, before, after);
    fclose(out);
    return ok ? 0 : 1;
}

struct ProbeResult {
    bool ok = false;
    double idle = 0, growth = 0;  // MB
};

ProbeResult Probe(const std::wstring& kind, const std::wstring& work, const std::wstring& folder,
                  const startup_file_xml& startup) {
    ProbeResult r;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring result = work + L"probe-" + kind + L".txt";
    // A backslash before the closing quote would escape it: doubled.
    auto quoted = [](const std::wstring& text) {
        return L" \"" + text + (!text.empty() && text.back() == L'\\' ? L"\\\"" : L"\"");
    };
    std::wstring command = quoted(self).substr(1) + L" --probe " + kind + quoted(result) + quoted(work) +
                           quoted(folder) + quoted(startup.update_url) + quoted(startup.update_files_url);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return r;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    FILE* in = _wfopen(result.c_str(), L"r");
    if (!in) return r;
    unsigned long long idle = 0, before = 0, after = 0;
    const bool read = fscanf(in, "%llu %llu %llu", &idle, &before, &after) == 3;
    fclose(in);
    r.ok = read && code == 0;
    if (!r.ok) printf("probe %ls: exit code %lu\n", kind.c_str(), static_cast<unsigned long>(code));
    r.idle = static_cast<double>(idle) / 1048576.0;
    r.growth = (static_cast<double>(after) - static_cast<double>(idle)) / 1048576.0;
    return r;
}

// The real launcher's journey: a shop on loopback whose startup document names
// the bench editor module, and the command-line recorder as the browser (it
// notes the return page it was given and ends, so no real browser opens).
struct Journey {
    std::wstring launcherLine, dialogLine, fetchingDialogLine, startupUrl, install, browserRecord;
};

constexpr wchar_t kLaunchKey[] = L"bench";

std::string StartupDocument(const std::wstring& browser) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<startup>\r\n"
           "  <install_path>OrvinBench\\editor</install_path>\r\n"
           "  <update_url ssl=\"\">$(SERVER)/shop/update/</update_url>\r\n"
           "  <todo>new_work</todo>\r\n  <editor_id>bench-editor</editor_id>\r\n"
           "  <config_url>$(SERVER)/shop/config</config_url>\r\n  <rsid>R-1</rsid>\r\n  <count>1</count>\r\n"
           "  <return_url>$(SERVER)/shop/return</return_url>\r\n"
           "  <return2_url>$(SERVER)/shop/cart</return2_url>\r\n"
           "  <setkey_url>$(SERVER)/shop/launch</setkey_url>\r\n"
           "  <agent type=\"file\">" +
           testing_support::WideToUtf8String(browser) +
           "</agent>\r\n"
           "  <app_title>" +
           testing_support::WideToUtf8String(ORVIN_BENCH_WINDOW_TITLE) +
           "</app_title>\r\n"
           "</startup>\r\n";
}

// One run of the real launcher to its end; false unless it reached the
// browser return (the recorder's note appears) with `archives` archives
// fetched.
bool RunLauncher(const Journey& journey, shop::ShopServer& shop, HANDLE signal, DWORD samplePeriodMs,
                 size_t archives, WatchResult& run) {
    shop.clear_requests();
    const size_t carts = shop.cart_requests().size();
    DeleteFileW(journey.browserRecord.c_str());
    WatchRequest request;
    request.commandLine = journey.launcherLine;
    request.signal = signal;
    request.samplePeriodMs = samplePeriodMs;
    run = RunWatched(request);
    bool returned = false;
    for (int i = 0; i < 200 && !(returned = testing_support::FileExists(journey.browserRecord)); ++i)
        Sleep(25);
    size_t fetched = 0;
    for (const wchar_t* a : kArchiveNames)
        fetched += shop.count("/shop/update/" + testing_support::WideToUtf8String(a));
    const bool ok = run.ended && run.visible >= 0 && run.signalled >= 0 && returned && fetched == archives &&
                    shop.cart_requests().size() == carts + 1;
    if (!ok) {
        printf(
            "launcher run failed: ended %d, visible %.3f, Initialize %.3f, browser return %d, archives %zu\n",
            run.ended, run.visible, run.signalled, returned, fetched);
    }
    return ok;
}

bool RunEmptyDialog(const std::wstring& commandLine, HANDLE signal, DWORD samplePeriodMs, WatchResult& run) {
    WatchRequest request;
    request.commandLine = commandLine;
    request.signal = signal;
    request.closeWhenDone = true;
    request.samplePeriodMs = samplePeriodMs;
    run = RunWatched(request);
    const bool ok = run.ended && run.visible >= 0 && run.signalled >= 0;
    if (!ok) printf("empty dialog run failed\n");
    return ok;
}

struct UserFigures {
    std::vector<double> visible, dialogVisible, startupFetch, visibleBaseline, visibleRatio;
    std::vector<double> fetchingDialogVisible;
    std::vector<double> initialize, dialogTick, floor, initializeBaseline, initializeRatio;
    std::vector<double> peak, dialogPeak;
};

// 6 first (each run installs anew, the last leaves the module current), then
// 4 and 5 from the same runs with everything current.
bool MeasureUserFigures(const Journey& journey, shop::ShopServer& shop, int rounds, int probes,
                        const std::wstring& work, UserFigures& figures) {
    const ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, ORVIN_BENCH_EVENT));
    if (!event) return false;
    HANDLE signal = event.get();
    // Often enough to see the peak of an install whose buffers live for
    // milliseconds; each reading is one small request to the system.
    constexpr DWORD kPeakSampleMs = 5;
    constexpr size_t kNone = 0;
    bool ok = true;
    printf("real launcher, full install: %d runs, each followed by the empty dialog...\n", probes);
    fflush(stdout);
    for (int r = 0; ok && r < probes; ++r) {
        testing_support::RemoveTree(journey.install);
        WatchResult launcher, dialog;
        ok = RunLauncher(journey, shop, signal, kPeakSampleMs, kArchives, launcher) &&
             RunEmptyDialog(journey.dialogLine, signal, kPeakSampleMs, dialog);
        if (!ok) break;
        figures.peak.push_back(launcher.peakMb);
        figures.dialogPeak.push_back(dialog.peakMb);
    }
    if (!ok) return false;
    printf("real launcher, everything current: 1 warm-up + %d rounds, interleaved with the baselines...\n",
           rounds);
    fflush(stdout);
    std::vector<std::wstring> installed;
    ListUnpacked(journey.install, installed);
    const std::wstring fetched = work + L"startup.xml";
    for (int r = 0; ok && r <= rounds; ++r) {
        WatchResult launcher, dialog, fetchingDialog;
        ok = RunLauncher(journey, shop, signal, 0, kNone, launcher) &&
             RunEmptyDialog(journey.dialogLine, signal, 0, dialog) &&
             RunEmptyDialog(journey.fetchingDialogLine, signal, 0, fetchingDialog);
        if (!ok) break;
        double t0 = Now();
        ok = PlainFetch(journey.startupUrl, fetched);
        const double tFetch = Now() - t0;
        t0 = Now();
        ok = ok && Md5Floor(installed);
        const double tFloor = Now() - t0;
        if (!ok) printf("startup fetch or hashing floor failed\n");
        if (r == 0) continue;
        const double visibleBaseline = dialog.visible + tFetch;
        const double initializeBaseline = dialog.signalled + tFetch + tFloor;
        figures.visible.push_back(launcher.visible);
        figures.dialogVisible.push_back(dialog.visible);
        figures.startupFetch.push_back(tFetch);
        figures.fetchingDialogVisible.push_back(fetchingDialog.visible);
        figures.visibleBaseline.push_back(visibleBaseline);
        figures.visibleRatio.push_back(launcher.visible / visibleBaseline);
        figures.initialize.push_back(launcher.signalled);
        figures.dialogTick.push_back(dialog.signalled);
        figures.floor.push_back(tFloor);
        figures.initializeBaseline.push_back(initializeBaseline);
        figures.initializeRatio.push_back(launcher.signalled / initializeBaseline);
    }
    return ok;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (i + 1 >= argc) return false;
        const long value = wcstol(argv[++i], nullptr, 10);
        if (value <= 0) return false;
        if (arg == L"--mb") {
            options.megabytes = static_cast<size_t>(value);
        } else if (arg == L"--files") {
            options.files = static_cast<int>(value);
        } else if (arg == L"--rounds") {
            options.rounds = static_cast<int>(value);
        } else {
            return false;
        }
    }
    return options.files >= kArchives;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc >= 2 && std::wstring(argv[1]) == L"--probe") return RunProbe(argc, argv);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        printf("usage: launcher_bench.exe [--mb MB] [--files N] [--rounds R]\n");
        return 2;
    }

    TempDir work;
    Logger::Instance()->SetFilePath(work / L"bench.log");
    const std::wstring source = work / L"module\\";
    const std::wstring published = work / L"published\\";
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW(published.c_str(), nullptr);

    printf("preparing %d files, about %zu MB, in %d archives...\n", options.files, options.megabytes,
           kArchives);
    fflush(stdout);
    std::vector<std::wstring> names = MakeModule(source, options.files, options.megabytes << 20);
    producer::ProducerOptions producerOptions;
    producerOptions.sourceFolder = source;
    producerOptions.outputFolder = published;
    producerOptions.module = names[0];
    for (int a = 0; a < kArchives; ++a) {
        producer::PackageSpec package;
        package.name = kArchiveNames[a];
        for (int i = a; i < options.files; i += kArchives)
            package.files.push_back(names[static_cast<size_t>(i)]);
        producerOptions.packages.push_back(package);
    }
    // Signed with the test publisher's key too, for the pinned check (the
    // list is one more file beside the manifest: unpinned checks ignore it).
    const std::wstring signing = testing_support::ExecutableFolder() + L"signing\\";
    producerOptions.signCert = signing + L"publisher.pem";
    producerOptions.signKey = signing + L"publisher.key";
    const std::vector<unsigned char> pinBytes = testing_support::ReadFileBytes(signing + L"publisher.pin");
    const std::wstring pin =
        testing_support::Utf8ToWideString(std::string(pinBytes.begin(), pinBytes.end()).substr(0, 64));
    std::wstring error;
    if (producer::ProduceManifest(producerOptions, error) != producer::ProduceResult::ok) {
        printf("producer failed: %s\n", testing_support::WideToUtf8String(error).c_str());
        return 1;
    }
    producerOptions.signCert.clear();
    producerOptions.signKey.clear();
    // The same files with the bench editor module, for the real launcher: the
    // module travels in the cabinet.
    const std::wstring bin = testing_support::ExecutableFolder();
    const std::wstring shopRoot = work / L"shop\\";
    const std::wstring browser = work / L"browser\\";
    for (const std::wstring& f : {shopRoot, shopRoot + L"startup\\", shopRoot + L"update\\", browser})
        CreateDirectoryW(f.c_str(), nullptr);
    if (!CopyFileW((bin + L"BenchEditor.dll").c_str(), (source + L"BenchEditor.dll").c_str(), FALSE) ||
        !CopyFileW((bin + L"cart_test_recorder.exe").c_str(), (browser + L"browser.exe").c_str(), FALSE)) {
        printf("bench editor module or browser recorder missing beside the benchmark\n");
        return 1;
    }
    producerOptions.outputFolder = shopRoot + L"update\\";
    producerOptions.module = L"BenchEditor.dll";
    producerOptions.packages[0].files.push_back(L"BenchEditor.dll");
    if (producer::ProduceManifest(producerOptions, error) != producer::ProduceResult::ok) {
        printf("producer failed: %s\n", testing_support::WideToUtf8String(error).c_str());
        return 1;
    }
    testing_support::RemoveTree(source);
    if (!testing_support::WriteFileText(shopRoot + L"startup\\" + kLaunchKey + L".xml",
                                        StartupDocument(browser + L"browser.exe"))) {
        printf("cannot write the startup document\n");
        return 1;
    }
    shop::ShopServer shop(shopRoot);
    Journey journey;
    journey.launcherLine = L"\"" + bin + L"OrvinLauncher.exe\" \"orvin://key=" + kLaunchKey + L"&svr=" +
                           shop.launch_url() + L"\"";
    journey.dialogLine = L"\"" + bin + L"bench_empty_dialog.exe\"";
    journey.startupUrl = shop.launch_url() + L"?key=" + kLaunchKey + L"&field=startup";
    journey.fetchingDialogLine = L"\"" + bin + L"bench_fetching_dialog.exe\" " + journey.startupUrl;
    const std::wstring installRoot = GetDataRootFolder() + L"\\OrvinBench\\";
    journey.install = installRoot + L"editor\\";
    journey.browserRecord = browser + L"recorded.txt";

    testing_support::HttpTestServer server;
    server.serve_file("/update/activeupdate.xml", published + L"activeupdate.xml");
    server.serve_file("/update/activeupdate.sig", published + L"activeupdate.sig");
    for (const wchar_t* a : kArchiveNames) {
        server.serve_file("/files/" + testing_support::WideToUtf8String(a), published + a);
    }
    startup_file_xml startup;
    startup.update_url = server.url("update/");
    startup.update_files_url = server.url("files/");
    QuietDialog dialog;

    // 2: full installs and baselines, interleaved; round 0 is the warm-up and
    // its install stays for the update check.
    printf("installing: 1 warm-up + %d rounds, launcher and baseline interleaved...\n", options.rounds);
    fflush(stdout);
    const std::wstring kept = work / L"installed\\";
    std::vector<double> install, plain, installRatio;
    std::vector<double> download, extraction, hashCheck, moves, cleanup, other;
    std::vector<double> plainFetch, plainExtraction, plainHash;
    for (int r = 0; r <= options.rounds; ++r) {
        startup.install_path = r == 0 ? kept : work / L"install\\";
        std::wstring module;
        InstallPhaseTimes phases;
        SetInstallPhaseTimes(&phases);
        double t0 = Now();
        const bool installed = InstallModule(dialog, startup, module);
        const double tInstall = Now() - t0;
        SetInstallPhaseTimes(nullptr);
        if (!installed) {
            printf("install failed\n");
            return 1;
        }
        const std::wstring folder = work / L"plain\\";
        BaselineTimes baseline;
        t0 = Now();
        const bool done = PlainInstall(startup.update_files_url, folder, baseline);
        const double tPlain = Now() - t0;
        if (!done) {
            printf("baseline failed\n");
            return 1;
        }
        if (r > 0) testing_support::RemoveTree(startup.install_path);
        testing_support::RemoveTree(folder);
        if (r == 0) continue;
        install.push_back(tInstall);
        plain.push_back(tPlain);
        installRatio.push_back(tInstall / tPlain);
        download.push_back(phases.download);
        extraction.push_back(phases.extraction);
        hashCheck.push_back(phases.hashCheck);
        moves.push_back(phases.moves);
        cleanup.push_back(phases.cleanup);
        other.push_back(tInstall - phases.download - phases.extraction - phases.hashCheck - phases.moves -
                        phases.cleanup);
        plainFetch.push_back(baseline.fetch);
        plainExtraction.push_back(baseline.extraction);
        plainHash.push_back(baseline.hash);
    }

    // 1: the check when everything is current, against the hashing floor.
    printf("update check: 1 warm-up + %d rounds, interleaved...\n", options.rounds);
    fflush(stdout);
    std::vector<std::wstring> installed;
    for (const std::wstring& n : names) installed.push_back(kept + n);
    // The same check in a build that pins the publisher's key.
    const PublisherTrust pinnedTrust(L"", pin);
    std::vector<double> pinnedCheck, pinnedRatio, pinnedFloor, pinnedFloorRatio;
    std::vector<double> check, floor, checkRatio, hashes, manifestTimes;
    std::vector<double> manifestFetches, manifestReads, plainManifestFetches, lookups, beyondHashing;
    for (int r = 0; r <= options.rounds; ++r) {
        std::wstring module;
        std::vector<update_file_entry> list;
        double t0 = Now();
        if (!CollectUpdateFiles(kept, startup.update_url, module, list) || !list.empty()) {
            printf("update check failed\n");
            return 1;
        }
        const double tCheck = Now() - t0;
        const PublisherTrust* unpinned = PublisherTrust::Use(&pinnedTrust);
        t0 = Now();
        const bool pinnedChecked = CollectUpdateFiles(kept, startup.update_url, module, list) && list.empty();
        const double tPinned = Now() - t0;
        PublisherTrust::Use(unpinned);
        if (!pinnedChecked) {
            printf("pinned update check failed\n");
            return 1;
        }
        t0 = Now();
        if (!Md5Floor(installed)) {
            printf("hashing floor failed\n");
            return 1;
        }
        const double tFloor = Now() - t0;
        t0 = Now();
        if (!HashFloor(installed, {BCRYPT_MD5_ALGORITHM, BCRYPT_SHA256_ALGORITHM})) {
            printf("pinned hashing floor failed\n");
            return 1;
        }
        const double tPinnedFloor = Now() - t0;
        t0 = Now();
        for (const std::wstring& path : installed) ComputeFileMd5(path);
        const double tHashes = Now() - t0;
        t0 = Now();
        ByteBuffer manifestBytes;
        update_file_xml manifest;
        const bool fetched = FetchDocument(startup.update_url + L"activeupdate.xml", manifestBytes);
        const double tFetch = Now() - t0;
        if (!fetched || !manifest.Load(manifestBytes.data(), manifestBytes.length)) {
            printf("manifest failed\n");
            return 1;
        }
        const double tManifest = Now() - t0;
        t0 = Now();
        if (!PlainFetch(startup.update_url + L"activeupdate.xml", work / L"activeupdate.xml")) {
            printf("plain manifest fetch failed\n");
            return 1;
        }
        const double tPlainFetch = Now() - t0;
        // The name check's part that touches the disk: one lookup per name.
        t0 = Now();
        for (const update_file_entry& entry : manifest.files) GetFileAttributesW((kept + entry.name).c_str());
        const double tLookups = Now() - t0;
        if (r == 0) continue;
        hashes.push_back(tHashes);
        manifestTimes.push_back(tManifest);
        manifestFetches.push_back(tFetch);
        manifestReads.push_back(tManifest - tFetch);
        plainManifestFetches.push_back(tPlainFetch);
        lookups.push_back(tLookups);
        beyondHashing.push_back(tCheck - tHashes);
        check.push_back(tCheck);
        pinnedCheck.push_back(tPinned);
        pinnedRatio.push_back(tPinned / tCheck);
        pinnedFloor.push_back(tPinnedFloor);
        pinnedFloorRatio.push_back(tPinned / tPinnedFloor);
        floor.push_back(tFloor);
        checkRatio.push_back(tCheck / tFloor);
    }

    // 3: installs and baselines, each in a fresh process.
    constexpr int kProbes = 3;
    printf("memory: %d installs and %d baselines, each in a process of its own...\n", kProbes, kProbes);
    fflush(stdout);
    std::vector<double> idleInstall, growthInstall, idlePlain, growthPlain;
    for (int r = 0; r < kProbes; ++r) {
        const std::wstring installFolder = work / L"probe-install\\", plainFolder = work / L"probe-plain\\";
        const ProbeResult probeInstall = Probe(L"install", work.path(), installFolder, startup);
        const ProbeResult probePlain = Probe(L"baseline", work.path(), plainFolder, startup);
        testing_support::RemoveTree(installFolder);
        testing_support::RemoveTree(plainFolder);
        if (!probeInstall.ok || !probePlain.ok) {
            printf("memory probe failed\n");
            return 1;
        }
        idleInstall.push_back(probeInstall.idle);
        growthInstall.push_back(probeInstall.growth);
        idlePlain.push_back(probePlain.idle);
        growthPlain.push_back(probePlain.growth);
    }

    // 4 to 6: the real launcher, watched from outside.
    UserFigures user;
    const bool measured = MeasureUserFigures(journey, shop, options.rounds, kProbes, work.path(), user);
    testing_support::RemoveTree(installRoot);
    if (!measured) return 1;

    const Spread c = SpreadOf(check), f = SpreadOf(floor), cr = SpreadOf(checkRatio);
    const Spread i = SpreadOf(install), p = SpreadOf(plain), ir = SpreadOf(installRatio);
    printf(
        "\nmodule: %d files, %zu MB in %d archives (%s); %d rounds after a warm-up, launcher and baseline "
        "interleaved\n",
        options.files, options.megabytes, kArchives, "1 cabinet, 2 zip", options.rounds);
    printf("figures: median (min-max)\n\n");
    printf("1. update check, all current (CollectUpdateFiles)\n");
    printf("   launcher  %s\n", Show(c, "s", 3).c_str());
    printf("   baseline  %s   BCrypt MD5 of the same files, %u KiB reads\n", Show(f, "s", 3).c_str(),
           static_cast<unsigned>(kFloorBlock / 1024));
    printf("   ratio     %s\n", Show(cr, "", 3).c_str());
    printf(
        "   pinned    %s   the same check with publisher keys: activeupdate.sig fetched and verified,\n"
        "             SHA-256 from the same read as the MD5\n",
        Show(SpreadOf(pinnedCheck), "s", 3).c_str());
    printf("   pinned baseline  %s   BCrypt MD5 and SHA-256 of the same files, one read\n",
           Show(SpreadOf(pinnedFloor), "s", 3).c_str());
    printf("   pinned / its baseline  %s\n", Show(SpreadOf(pinnedFloorRatio), "", 3).c_str());
    printf("   pinned / launcher  %s\n", Show(SpreadOf(pinnedRatio), "", 3).c_str());
    printf("   the check beyond its hashing (per round: the check less ComputeFileMd5 of every file)  %s\n",
           Show(SpreadOf(beyondHashing), "s", 4).c_str());
    printf("   parts of the check, each driven alone in the same rounds:\n");
    printf("     ComputeFileMd5 of every file     %s\n", Show(SpreadOf(hashes), "s", 3).c_str());
    printf("     manifest fetch and decryption    %s\n", Show(SpreadOf(manifestTimes), "s", 3).c_str());
    printf("       fetch (FetchDocument)          %s\n", Show(SpreadOf(manifestFetches), "s", 4).c_str());
    printf("       reading (update_file_xml::Load: log echo, decryption, parsing)  %s\n",
           Show(SpreadOf(manifestReads), "s", 4).c_str());
    printf("     plain WinInet fetch of the manifest   %s   its floor\n",
           Show(SpreadOf(plainManifestFetches), "s", 4).c_str());
    printf("     one attribute lookup per name (GetFileAttributesW)  %s\n",
           Show(SpreadOf(lookups), "s", 4).c_str());
    printf("2. full install from loopback (InstallModule)\n");
    printf("   launcher  %s\n", Show(i, "s", 3).c_str());
    printf("     download    %s\n", Show(SpreadOf(download), "s", 3).c_str());
    printf("     extraction  %s\n", Show(SpreadOf(extraction), "s", 3).c_str());
    printf("     hash check  %s\n", Show(SpreadOf(hashCheck), "s", 3).c_str());
    printf("     moves       %s\n", Show(SpreadOf(moves), "s", 3).c_str());
    printf("     clean-up    %s\n", Show(SpreadOf(cleanup), "s", 3).c_str());
    printf("     the rest    %s   manifest, update check, progress\n", Show(SpreadOf(other), "s", 3).c_str());
    printf("   baseline  %s   plain WinInet loop + same extractors + BCrypt MD5 of every unpacked file\n",
           Show(p, "s", 3).c_str());
    printf("     fetch       %s\n", Show(SpreadOf(plainFetch), "s", 3).c_str());
    printf("     extraction  %s\n", Show(SpreadOf(plainExtraction), "s", 3).c_str());
    printf("     hash        %s\n", Show(SpreadOf(plainHash), "s", 3).c_str());
    printf("   ratio     %s\n", Show(ir, "", 3).c_str());
    printf("3. peak working set over the idle process during one install (fresh process each, %d runs)\n",
           kProbes);
    printf("   launcher  grows by %s   idle %s\n", Show(SpreadOf(growthInstall), "MB", 1).c_str(),
           Show(SpreadOf(idleInstall), "MB", 1).c_str());
    printf("   baseline  grows by %s   idle %s\n", Show(SpreadOf(growthPlain), "MB", 1).c_str(),
           Show(SpreadOf(idlePlain), "MB", 1).c_str());
    printf("4. progress window visible, from CreateProcess of OrvinLauncher.exe (everything current)\n");
    printf("   launcher  %s\n", Show(SpreadOf(user.visible), "s", 3).c_str());
    printf("   baseline  %s   empty dialog visible + startup fetch\n",
           Show(SpreadOf(user.visibleBaseline), "s", 3).c_str());
    printf("     empty dialog visible  %s   same dialog template, started the same way\n",
           Show(SpreadOf(user.dialogVisible), "s", 3).c_str());
    printf("     startup fetch         %s   plain WinInet GET of the same startup URL\n",
           Show(SpreadOf(user.startupFetch), "s", 3).c_str());
    printf("   ratio     %s\n", Show(SpreadOf(user.visibleRatio), "", 3).c_str());
    printf("   for comparison: the empty dialog fetching the startup document itself before it shows\n");
    printf("     (WinInet's first request in a fresh process)  %s\n",
           Show(SpreadOf(user.fetchingDialogVisible), "s", 3).c_str());
    printf(
        "5. editor module's Initialize entered, from CreateProcess (everything current: check, load, "
        "call)\n");
    printf("   launcher  %s\n", Show(SpreadOf(user.initialize), "s", 3).c_str());
    printf("   baseline  %s   empty dialog's first 100 ms timer tick + startup fetch + hashing floor\n",
           Show(SpreadOf(user.initializeBaseline), "s", 3).c_str());
    printf("     empty dialog's tick   %s   timer set when shown, as the launch timer\n",
           Show(SpreadOf(user.dialogTick), "s", 3).c_str());
    printf("     startup fetch         %s\n", Show(SpreadOf(user.startupFetch), "s", 3).c_str());
    printf("     hashing floor         %s   BCrypt MD5 of the installed files, %u KiB reads\n",
           Show(SpreadOf(user.floor), "s", 3).c_str(), static_cast<unsigned>(kFloorBlock / 1024));
    printf("   ratio     %s\n", Show(SpreadOf(user.initializeRatio), "", 3).c_str());
    printf(
        "6. peak working set of OrvinLauncher.exe over a run with a full install, read from outside (%d "
        "runs)\n",
        kProbes);
    printf("   launcher  %s\n", Show(SpreadOf(user.peak), "MB", 1).c_str());
    printf("   baseline  %s   empty dialog, read the same way\n",
           Show(SpreadOf(user.dialogPeak), "MB", 1).c_str());
    return 0;
}
