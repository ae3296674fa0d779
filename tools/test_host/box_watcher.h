#pragma once
// Watches for message boxes (dialog class #32770) of one process, or of any
// process, and answers each in turn: the k-th box gets buttons[k], the last
// button again for every box after. Records the text of each box answered.

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_host {

class BoxWatcher {
public:
    // process 0: boxes of any process.
    BoxWatcher(DWORD process, std::vector<int> buttons);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    int Count() const { return m_count; }
    std::vector<std::wstring> Texts() const;

private:
    void Run();
    const DWORD m_process;
    const std::vector<int> m_buttons;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_count{0};
    mutable std::mutex m_lock;
    std::vector<std::wstring> m_texts;
    std::thread m_thread;
};

}  // namespace test_host
