// The editor module host: the module's exports are called by name in a fixed
// order with the Win32 standard calling convention.

#include "editor/module_host.h"

#define ORVIN_EDITOR_HOST
#include <shlwapi.h>

#include "editor/module_signature.h"
#include "framework/dialog.h"
#include "launch/startup_file_xml.h"
#include "sdk/orvin_editor_module.h"
#include "support/contained_path.h"
#include "support/logger.h"
#include "support/scoped.h"

namespace {

// Casts through the declared type so the call uses WINAPI: on 32-bit x86 the
// module removes its own arguments, and a cdecl call would unbalance the stack.
template <typename Proc>
Proc Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

void LogMissing(const wchar_t* function) {
    const DWORD error = ::GetLastError();
    Logger::Instance()->Write(L"* 오류: %s()함수가 존재하지 않습니다. (0x%08x)", function, error);
}

// The work entry points, chosen by the exact, case-sensitive todo text. Each
// row looks its export up by name and calls it through the declared type.
struct WorkEntry {
    const wchar_t* todo;
    const char* exportName;
    const wchar_t* functionName;
    int (*call)(HMODULE module, const char* exportName, const startup_file_xml& s, const wchar_t** result);
};

const WorkEntry kWorkEntries[] = {
    {L"new_work", ORVIN_EXPORT_NEW_WORK, L"NewWork",
     [](HMODULE m, const char* name, const startup_file_xml& s, const wchar_t** result) {
         auto call = Lookup<OrvinNewWorkProc>(m, name);
         return call ? (call(s.config_url.c_str(), s.editor_id.c_str(), s.rsid.c_str(), s.count, result) != 0) : -1;
     }},
    {L"open_work", ORVIN_EXPORT_OPEN_WORK, L"OpenWork",
     [](HMODULE m, const char* name, const startup_file_xml& s, const wchar_t** result) {
         auto call = Lookup<OrvinOpenWorkProc>(m, name);
         return call ? (call(s.config_url.c_str(), s.editor_id.c_str(), s.rsid.c_str(), s.count, result) != 0) : -1;
     }},
    {L"open_local_work", ORVIN_EXPORT_OPEN_LOCAL_WORK, L"OpenLocalWork",
     [](HMODULE m, const char* name, const startup_file_xml& s, const wchar_t** result) {
         auto call = Lookup<OrvinOpenLocalWorkProc>(m, name);
         return call ? (call(s.lsid.c_str(), s.editor_id.c_str(), result) != 0) : -1;
     }},
    {L"open_storage", ORVIN_EXPORT_OPEN_STORAGE, L"OpenStorage",
     [](HMODULE m, const char* name, const startup_file_xml& s, const wchar_t** result) {
         auto call = Lookup<OrvinOpenStorageProc>(m, name);
         return call ? (call(s.config_url.c_str(), s.editor_id.c_str(), result) != 0) : -1;
     }},
    {L"download_work", ORVIN_EXPORT_DOWNLOAD_WORKS, L"DownloadWorks",
     [](HMODULE m, const char* name, const startup_file_xml& s, const wchar_t** result) {
         auto call = Lookup<OrvinDownloadWorksProc>(m, name);
         return call ? (call(s.rsid.c_str(), s.user_id.c_str(), s.storage_url.c_str(), result) != 0) : -1;
     }},
};

// Calls the work entry point that todo names. False with a record when it is
// missing; otherwise `succeeded` holds whether it returned non-zero. A todo
// that names none calls nothing and does not succeed.
bool CallWorkEntry(HMODULE module, const startup_file_xml& startup, const wchar_t** result, bool& succeeded) {
    succeeded = false;
    for (const WorkEntry& entry : kWorkEntries) {
        if (startup.todo != entry.todo) continue;
        const int outcome = entry.call(module, entry.exportName, startup, result);
        if (outcome < 0) {
            LogMissing(entry.functionName);
            return false;
        }
        succeeded = outcome != 0;
        return true;
    }
    return true;
}

}  // namespace

std::wstring GetUrlHost(const std::wstring& url) {
    const size_t slashes = url.find(L"//");
    if (slashes == std::wstring::npos) return std::wstring();
    const size_t start = slashes + 2;
    const size_t end = url.find(L'/', start);
    return url.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

bool CallEditorEntryPoints(CDialog& dialog, HMODULE module, const startup_file_xml& startup,
                           std::wstring& editResult) {
    // The window stays the owner of the editor's windows but shows nothing:
    // a 1 x 1 window whose only pixel its region cuts away.
    dialog.SetWindowPos(nullptr, -1, -1, 1, 1, SWP_NOMOVE);
    dialog.CenterWindow();

    auto initialize = Lookup<OrvinInitializeProc>(module, ORVIN_EXPORT_INITIALIZE);
    if (!initialize) {
        LogMissing(L"Initialize");
        return false;
    }
    const std::wstring host = GetUrlHost(startup.config_url);
    if (initialize(dialog.GetSafeHwnd(), L"modal", startup.install_path.c_str(), L"", host.c_str()) == 0) {
        Logger::Instance()->Write(L"* 오류: Initialize()함수호출에 실패 했습니다.");
        return false;
    }

    if (auto internalCall = Lookup<OrvinInternalCallProc>(module, ORVIN_EXPORT_INTERNAL_CALL)) {
        for (const auto& param : startup.params) internalCall(param.first.c_str(), param.second.c_str(), L"");
    }

    const wchar_t* result = nullptr;
    bool succeeded = false;
    if (!CallWorkEntry(module, startup, &result, succeeded)) return false;

    auto uninitialize = Lookup<OrvinUninitializeProc>(module, ORVIN_EXPORT_UNINITIALIZE);
    if (!uninitialize) {
        LogMissing(L"Uninitialize");
        return false;
    }
    uninitialize();

    // The module keeps its text valid until it is unloaded.
    if (result) editResult = result;
    return succeeded;
}

bool RunEditorModule(CDialog& dialog, const startup_file_xml& startup, const std::wstring& moduleName,
                     std::wstring& editResult) {
    const std::wstring path = startup.install_path + moduleName;
    // The name comes from the server (the startup document or the manifest):
    // only a file inside the install folder is ever loaded.
    if (!IsContainedName(moduleName) || ::PathIsRelativeW(path.c_str())) {
        Logger::Instance()->Write(L"* 오류: 모듈 파일 이름이 올바르지 않습니다. (path:%s)", path.c_str());
        return false;
    }
    // A launcher built with publisher keys loads only the publisher's module,
    // and the checked file stays held until the loader has mapped it.
    ScopedHandle checked;
    if (!VerifyEditorModule(path, checked)) return false;
    // No system error box for a damaged or foreign file: the run is unattended
    // until the editor shows itself, and the failure is logged below.
    DWORD previousMode = 0;
    const bool quiet =
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode) != FALSE;
    // Its companions come from its own folder or System32, never from the
    // launcher's folder; Windows 7 without KB2533623 knows only the older
    // flag, which searches the module's folder in place of the program's.
    HMODULE loaded =
        ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!loaded && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        loaded = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    ScopedModule module(loaded);
    const DWORD error = ::GetLastError();
    if (quiet) ::SetThreadErrorMode(previousMode, nullptr);
    checked.reset();
    if (!module) {
        Logger::Instance()->Write(L"* 오류: 모듈을 로딩하지 못했습니다. (path:%s, 0x%08x)", path.c_str(),
                                  error);
        return false;
    }
    return CallEditorEntryPoints(dialog, module.get(), startup, editResult);
}
