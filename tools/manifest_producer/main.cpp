// manifest_producer: writes an update server's packages and activeupdate.xml.

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/logger.h"
#include "support/platform.h"
#include "support/scoped.h"
#include "tools/manifest_producer/producer.h"

namespace {

// Console text as the console wants it; redirected text as UTF-8.
void Print(DWORD which, const std::wstring& text) {
    HANDLE out = GetStdHandle(which);
    if (!out || out == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::unique_ptr<char[]> bytes = WideToUtf8(text.c_str(), -1);
    if (bytes) WriteFile(out, bytes.get(), static_cast<DWORD>(strlen(bytes.get())), &written, nullptr);
}

// The libraries underneath log through the launcher's writer; the tool keeps
// those records apart from any launcher log.
std::wstring ToolLogPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH, temp);
    std::wstring folder = (n > 0 && n < MAX_PATH) ? std::wstring(temp) : std::wstring(L".\\");
    return folder + L"manifest_producer.log";
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) {
        Print(STD_ERROR_HANDLE, L"manifest_producer: cannot read the command line\n");
        return 1;
    }
    const ScopedLocalMemory argvOwner(argv);
    std::vector<std::wstring> args(argv + (argc > 0 ? 1 : 0), argv + argc);

    if (args.empty() || args[0] == L"--help" || args[0] == L"-h" || args[0] == L"/?") {
        Print(args.empty() ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, producer::ProducerUsage());
        return args.empty() ? 1 : 0;
    }

    const std::wstring logPath = ToolLogPath();
    Logger::Instance()->SetFilePath(logPath);

    producer::ProducerOptions options;
    std::wstring error;
    if (!producer::ParseProducerArguments(args, options, error)) {
        Print(STD_ERROR_HANDLE, L"manifest_producer: " + error + L"\n\n" + producer::ProducerUsage());
        Logger::Release();
        return 1;
    }
    // Launchers built with publisher keys refuse an unsigned module: say so
    // before it reaches users, and show the key a signed one carries.
    std::wstring signerKey;
    long signatureStatus = 0;
    if (producer::ReadModuleSigner(options, signerKey, signatureStatus)) {
        Print(STD_OUTPUT_HANDLE,
              L"manifest_producer: " + options.module + L" is signed with the key " + signerKey + L"\n");
    } else if (signatureStatus != 0) {
        wchar_t code[16] = {};
        _snwprintf(code, 15, L"0x%08x", static_cast<unsigned>(signatureStatus));
        const std::wstring notice = options.module + L" carries no sound Authenticode signature (" + code +
                                    L"); launchers built with publisher keys will not run it";
        if (options.requireSigned) {
            Print(STD_ERROR_HANDLE, L"manifest_producer: refused: " + notice + L"\n");
            Logger::Release();
            return 1;
        }
        Print(STD_ERROR_HANDLE, L"manifest_producer: warning: " + notice + L"\n");
    }
    const producer::ProduceResult result = producer::ProduceManifest(options, error);
    Logger::Release();
    switch (result) {
        case producer::ProduceResult::ok:
            Print(STD_OUTPUT_HANDLE, L"manifest_producer: wrote activeupdate.xml and " +
                                         std::to_wstring(options.packages.size()) + L" package(s) to " +
                                         options.outputFolder + L"\n");
            return 0;
        case producer::ProduceResult::refused:
            Print(STD_ERROR_HANDLE, L"manifest_producer: refused: " + error + L"\n");
            return 1;
        default:
            Print(STD_ERROR_HANDLE,
                  L"manifest_producer: failed: " + error + L" (details in " + logPath + L")\n");
            return 2;
    }
}
