#include "framework/message_pump.h"

#include <windows.h>

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}
