// shop_server ROOT [--port-file FILE] [--cart-failures N] [--package-delay MS] [--seconds S]
//
// Serves a shop folder on 127.0.0.1 (see shop.h) until ROOT\stop appears,
// the time runs out, or the console is interrupted. Prints every request.

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/shop_server/shop.h"
#include "testing/test_support.h"

namespace {
volatile LONG g_interrupted = 0;

BOOL WINAPI OnConsoleEvent(DWORD) {
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;
}

int Usage() {
    fwprintf(stderr,
             L"usage: shop_server ROOT [--port-file FILE] [--cart-failures N] [--package-delay MS] [--seconds S]\n");
    return 2;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    std::wstring root = argv[1];
    std::wstring portFile;
    int cartFailures = 0;
    DWORD packageDelay = 0;
    DWORD seconds = 3600;
    for (int i = 2; i < argc; ++i) {
        std::wstring option = argv[i];
        if (i + 1 >= argc) return Usage();
        if (option == L"--port-file") {
            portFile = argv[++i];
        } else if (option == L"--cart-failures") {
            cartFailures = _wtoi(argv[++i]);
        } else if (option == L"--package-delay") {
            packageDelay = static_cast<DWORD>(_wtoi(argv[++i]));
        } else if (option == L"--seconds") {
            seconds = static_cast<DWORD>(_wtoi(argv[++i]));
        } else {
            return Usage();
        }
    }
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    if (!testing_support::FileExists(root)) {
        fwprintf(stderr, L"shop_server: no folder %ls\n", root.c_str());
        return 1;
    }
    const std::wstring stopFile = root + L"stop";
    DeleteFileW(stopFile.c_str());

    shop::ShopServer server(root);
    if (server.port() == 0) {
        fwprintf(stderr, L"shop_server: cannot listen on 127.0.0.1\n");
        return 1;
    }
    server.set_cart_failures(cartFailures);
    server.set_package_delay(packageDelay);
    server.on_request([](const std::string& line) {
        printf("shop_server: %s\n", line.c_str());
        fflush(stdout);
    });
    if (!portFile.empty()) {
        std::string port = std::to_string(server.port());
        testing_support::WriteFileText(portFile, port);
    }
    printf("shop_server: listening on %s (root %s)\n",
           testing_support::WideToUtf8String(server.base()).c_str(),
           testing_support::WideToUtf8String(root).c_str());
    fflush(stdout);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);

    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (!g_interrupted && GetTickCount64() < deadline && !testing_support::FileExists(stopFile))
        Sleep(100);
    DeleteFileW(stopFile.c_str());
    printf("shop_server: stopped\n");
    return 0;
}
