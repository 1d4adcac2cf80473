// <windows.h> as every Windows file of Kestrava includes it: the lean set of
// headers, no min/max macros, and the ANSI names throughout, since the
// system's texts are code page 932 bytes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#undef UNICODE
#undef _UNICODE

#include <windows.h>
