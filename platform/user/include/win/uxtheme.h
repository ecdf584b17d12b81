// Visual styles ("uxtheme.dll"): whether the themed look is on.
#pragma once

#include "win/types.h"

extern "C" {
// Non-zero while visual styles are on (platform::user::test::SetThemeActive).
BOOL WINAPI IsThemeActive(void);
}
