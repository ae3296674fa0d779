// The editor module host: the module's exports are called by name in a fixed
// order with the Win32 standard calling convention.

#include "editor/module_host.h"

#define ORVIN_EDITOR_HOST
#include <shlwapi.h>

#include "framework/dialog.h"
#include "launch/startup_file_xml.h"
#include "sdk/orvin_editor_module.h"
#include "support/contained_path.h"
#include "support/logger.h"

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

enum class WorkEntry { kNone, kNewWork, kOpenWork, kOpenLocalWork, kOpenStorage, kDownloadWorks };

// Exact, case-sensitive comparison of the whole text.
WorkEntry SelectWorkEntry(const std::wstring& todo) {
    if (todo == L"new_work") return WorkEntry::kNewWork;
    if (todo == L"open_work") return WorkEntry::kOpenWork;
    if (todo == L"open_local_work") return WorkEntry::kOpenLocalWork;
    if (todo == L"open_storage") return WorkEntry::kOpenStorage;
    if (todo == L"download_work") return WorkEntry::kDownloadWorks;
    return WorkEntry::kNone;
}

// Looks up and calls the selected work entry point. False with a record when
// it is missing; otherwise `succeeded` holds whether it returned non-zero.
bool CallWorkEntry(HMODULE module, WorkEntry entry, const startup_file_xml& s, const wchar_t** result,
                   bool& succeeded) {
    switch (entry) {
        case WorkEntry::kNewWork: {
            auto call = Lookup<OrvinNewWorkProc>(module, ORVIN_EXPORT_NEW_WORK);
            if (!call) {
                LogMissing(L"NewWork");
                return false;
            }
            succeeded = call(s.config_url.c_str(), s.editor_id.c_str(), s.rsid.c_str(), s.count, result) != 0;
            return true;
        }
        case WorkEntry::kOpenWork: {
            auto call = Lookup<OrvinOpenWorkProc>(module, ORVIN_EXPORT_OPEN_WORK);
            if (!call) {
                LogMissing(L"OpenWork");
                return false;
            }
            succeeded = call(s.config_url.c_str(), s.editor_id.c_str(), s.rsid.c_str(), s.count, result) != 0;
            return true;
        }
        case WorkEntry::kOpenLocalWork: {
            auto call = Lookup<OrvinOpenLocalWorkProc>(module, ORVIN_EXPORT_OPEN_LOCAL_WORK);
            if (!call) {
                LogMissing(L"OpenLocalWork");
                return false;
            }
            succeeded = call(s.lsid.c_str(), s.editor_id.c_str(), result) != 0;
            return true;
        }
        case WorkEntry::kOpenStorage: {
            auto call = Lookup<OrvinOpenStorageProc>(module, ORVIN_EXPORT_OPEN_STORAGE);
            if (!call) {
                LogMissing(L"OpenStorage");
                return false;
            }
            succeeded = call(s.config_url.c_str(), s.editor_id.c_str(), result) != 0;
            return true;
        }
        case WorkEntry::kDownloadWorks: {
            auto call = Lookup<OrvinDownloadWorksProc>(module, ORVIN_EXPORT_DOWNLOAD_WORKS);
            if (!call) {
                LogMissing(L"DownloadWorks");
                return false;
            }
            succeeded = call(s.rsid.c_str(), s.user_id.c_str(), s.storage_url.c_str(), result) != 0;
            return true;
        }
        case WorkEntry::kNone:
            break;
    }
    succeeded = false;
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
    if (!CallWorkEntry(module, SelectWorkEntry(startup.todo), startup, &result, succeeded)) return false;

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
    // No system error box for a damaged or foreign file: the run is unattended
    // until the editor shows itself, and the failure is logged below.
    DWORD previousMode = 0;
    const bool quiet =
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode) != FALSE;
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD error = ::GetLastError();
    if (quiet) ::SetThreadErrorMode(previousMode, nullptr);
    if (!module) {
        Logger::Instance()->Write(L"* 오류: 모듈을 로딩하지 못했습니다. (path:%s, 0x%08x)", path.c_str(),
                                  error);
        return false;
    }
    const bool result = CallEditorEntryPoints(dialog, module, startup, editResult);
    ::FreeLibrary(module);
    return result;
}
