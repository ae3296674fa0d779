// A DLL that a test editor module imports from, kept only beside that module,
// so that loading the module shows where its dependencies are looked for. A
// plain C export: the import needs no stdcall decoration.

#include <windows.h>

extern "C" __declspec(dllexport) int OrvinTestHelperValue(void) {
    return 4217;
}
