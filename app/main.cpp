#include <windows.h>

#include "app/OrvinLauncher.h"

COrvinLauncherApp theApp;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearch();
    return AfxWinMain();
}
