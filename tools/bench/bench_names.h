#pragma once
// Names the benchmark shares with the programs it starts and watches from
// outside: the window title it looks for, and the event a watched program
// signals at the moment the benchmark times.

// The launcher's progress window takes this title from the startup document;
// the empty dialog sets the same one.
#define ORVIN_BENCH_WINDOW_TITLE L"Orvin bench"
// Signalled by the bench editor module on entering Initialize, and by the
// empty dialog at the first tick of its launch-like timer.
#define ORVIN_BENCH_EVENT L"OrvinBenchSignal"
