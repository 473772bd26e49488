// The desktop program's one door to the Windows headers. The platform headers spell Windows'
// constants as typed C++ constants of the same names; they are read before <windows.h> turns
// those names into macros, so every ui file includes this header first.
#pragma once

#include "platform/platform.h"
#include "platform/records.h"
#include "platform/types.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on
