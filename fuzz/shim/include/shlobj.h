#pragma once
// Fuzzing build: the shell declarations live in the stand-in <windows.h>.
#include <windows.h>
