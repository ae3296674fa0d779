// Test helper: writes the command line it was started with, as UTF-16, to
// "recorded.txt" beside itself, so that a test can see what the shell ran.
// The text appears all at once (written under another name, then renamed).

#include <windows.h>

#include <string>

int main() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L'\\') + 1);
    const std::wstring partial = folder + L"recorded.part";
    const std::wstring finished = folder + L"recorded.txt";

    const wchar_t* commandLine = GetCommandLineW();
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    DWORD written = 0;
    BOOL ok = WriteFile(file, commandLine, static_cast<DWORD>(wcslen(commandLine) * sizeof(wchar_t)),
                        &written, nullptr);
    CloseHandle(file);
    if (!ok || !MoveFileExW(partial.c_str(), finished.c_str(), MOVEFILE_REPLACE_EXISTING)) return 3;
    return 0;
}
