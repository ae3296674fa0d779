// BenchEditor.dll: the editor module of the launcher benchmarks. Initialize
// signals the benchmark's event first thing (the moment being timed); the
// work entry returns a finished result at once, so the run goes on to the
// cart and the browser return and ends by itself.

#define ORVIN_EDITOR_MODULE_EXPORTS
#include "sdk/orvin_editor_module.h"
#include "tools/bench/bench_names.h"

namespace {
// Read by the launcher after Uninitialize: static storage.
constexpr wchar_t kResult[] = L"{\"exit_code\":\"0\",\"uploaded_list\":[\"bench-work\"]}";
}  // namespace

ORVIN_EDITOR_API int WINAPI Initialize(HWND, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) {
    if (HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, ORVIN_BENCH_EVENT)) {
        ::SetEvent(event);
        ::CloseHandle(event);
    }
    return 1;
}

ORVIN_EDITOR_API int WINAPI NewWork(const wchar_t*, const wchar_t*, const wchar_t*, int,
                                    const wchar_t** result) {
    *result = kResult;
    return 1;
}

ORVIN_EDITOR_API void WINAPI Uninitialize(void) {}
