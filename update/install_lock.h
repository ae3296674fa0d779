#pragma once
// One module update at a time per install folder, across launcher processes:
// a second launcher started on the same folder (a link clicked twice) waits
// for the first one's update to end instead of writing into the same files.

#include <windows.h>

#include <string>

#include "support/scoped.h"

class InstallLock {
public:
    InstallLock() = default;
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

    // Takes the lock of installFolder, waiting with the thread's messages
    // pumped while another process holds it; a holder that died leaves it to
    // this one. False when the lock cannot be had (logged).
    [[nodiscard]] bool Acquire(const std::wstring& installFolder);

    // The system-wide name of a folder's lock: the same for every spelling of
    // the folder's full path that differs in letter case or a final backslash.
    static std::wstring NameFor(const std::wstring& installFolder);

private:
    ScopedHandle m_mutex;
    bool m_owned = false;
};
