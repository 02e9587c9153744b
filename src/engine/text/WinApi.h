#pragma once
// <windows.h> with the defines every Windows-only part of the program wants
// (no min/max macros, the lean set of headers). Empty elsewhere.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
