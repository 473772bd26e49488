// The one place <windows.h> is included from; everything Windows-specific goes through here.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// clang-format off
#include <winternl.h>
#include <tlhelp32.h>
#include <psapi.h>
#include <shlobj.h>
// clang-format on
