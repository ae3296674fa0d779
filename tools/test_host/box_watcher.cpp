#include "tools/test_host/box_watcher.h"

namespace test_host {

namespace {

struct FindContext {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
    auto* context = reinterpret_cast<FindContext*>(param);
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (context->process != 0 && pid != context->process) return TRUE;
    // Message boxes carry a static text control (id 0xFFFF).
    if (!GetDlgItem(hwnd, 0xFFFF)) return TRUE;
    context->found = hwnd;
    return FALSE;
}

}  // namespace

BoxWatcher::BoxWatcher(DWORD process, std::vector<int> buttons)
    : m_process(process), m_buttons(buttons.empty() ? std::vector<int>{IDOK} : std::move(buttons)) {
    m_thread = std::thread([this] { Run(); });
}

BoxWatcher::~BoxWatcher() {
    m_stop = true;
    m_thread.join();
}

std::vector<std::wstring> BoxWatcher::Texts() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_texts;
}

void BoxWatcher::Run() {
    while (!m_stop) {
        FindContext context{m_process, nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&context));
        if (context.found) {
            wchar_t text[1024] = {};
            GetDlgItemTextW(context.found, 0xFFFF, text, 1024);
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_texts.push_back(text);
            }
            const size_t turn = static_cast<size_t>(m_count++);
            const int button = m_buttons[turn < m_buttons.size() ? turn : m_buttons.size() - 1];
            PostMessageW(context.found, WM_COMMAND, static_cast<WPARAM>(button), 0);
            // Wait for it to go away before looking again.
            for (int i = 0; i < 200 && IsWindow(context.found) && IsWindowVisible(context.found); ++i)
                Sleep(10);
        }
        Sleep(20);
    }
}

}  // namespace test_host
