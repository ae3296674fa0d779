#pragma once

// Dispatches every queued message of the calling thread until the queue is
// empty. A WM_QUIT ends the loop and is dropped (neither dispatched nor posted
// again).
void PumpMessages();
