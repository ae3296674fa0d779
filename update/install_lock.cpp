#include "update/install_lock.h"

#include <vector>

#include "framework/message_pump.h"
#include "support/file_digest.h"
#include "support/logger.h"

namespace {

void LogLockFailure(const std::wstring& folder, DWORD error) {
    Logger::Instance()->Write(L"* 오류: 설치 폴더의 잠금을 얻을 수 없습니다. (path:%s, err:0x%08x)",
                              folder.c_str(), error);
}

}  // namespace

InstallLock::~InstallLock() {
    if (m_owned) ::ReleaseMutex(m_mutex.get());
}

std::wstring InstallLock::NameFor(const std::wstring& installFolder) {
    std::wstring path = installFolder;
    const DWORD size = ::GetFullPathNameW(installFolder.c_str(), 0, nullptr, nullptr);
    if (size > 0) {
        std::vector<wchar_t> full(size);
        const DWORD length = ::GetFullPathNameW(installFolder.c_str(), size, full.data(), nullptr);
        if (length > 0 && length < size) path.assign(full.data(), length);
    }
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    // The file system ignores letter case; a path is longer than a mutex name
    // may be and holds backslashes, so the name carries its digest.
    if (!path.empty()) ::CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    HashStream digest(BCRYPT_SHA256_ALGORITHM);
    digest.Add(path.data(), path.size() * sizeof(wchar_t));
    return L"Local\\OrvinLauncher.install." + digest.Text();
}

bool InstallLock::Acquire(const std::wstring& installFolder) {
    const std::wstring name = NameFor(installFolder);
    m_mutex.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
    if (!m_mutex) {
        LogLockFailure(installFolder, ::GetLastError());
        return false;
    }
    HANDLE mutex = m_mutex.get();
    DWORD result = ::WaitForSingleObject(mutex, 0);
    if (result == WAIT_TIMEOUT) {
        Logger::Instance()->Write(
            L"*알림 : 다른 런처가 같은 설치 폴더를 업데이트하고 있어 끝나기를 기다립니다. (path:%s)",
            installFolder.c_str());
        // The progress window keeps painting while the other update runs.
        do {
            result = ::MsgWaitForMultipleObjects(1, &mutex, FALSE, INFINITE, QS_ALLINPUT);
            if (result == WAIT_OBJECT_0 + 1) PumpMessages();
        } while (result == WAIT_OBJECT_0 + 1);
    }
    // An abandoned lock belongs to a launcher that died during its update:
    // the folder is checked again anyway, so it is simply taken over.
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED_0) {
        LogLockFailure(installFolder, result == WAIT_FAILED ? ::GetLastError() : result);
        return false;
    }
    m_owned = true;
    return true;
}
