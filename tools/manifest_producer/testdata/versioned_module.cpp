// A module with a version resource and nothing else, packed by the producer
// tests so that a real file version travels through the manifest.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
