// Test helper: a program that loads the DLLs named on its command line by
// their bare names, as a program that imports them does; beside planted
// copies it loads those.

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    int missing = 0;
    for (int i = 1; i < argc; ++i) {
        if (!LoadLibraryW(argv[i])) ++missing;
    }
    return missing;
}
