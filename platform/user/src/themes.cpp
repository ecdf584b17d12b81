// The visual-styles library: a system module ("uxtheme.dll") that programs
// load by name and ask whether the themed look is on. A test switches it.
#include <atomic>

#include "platform/core.h"
#include "platform/user_ctl.h"
#include "win/uxtheme.h"

namespace platform::user {
namespace {

// Styles are on, as on a desktop of the system, until a test turns them off.
std::atomic<bool> gThemeActive{true};

void ResetTheme() {
    gThemeActive = true;
}

void EnsureReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetTheme), true);
    (void)registered;
}

} // namespace
} // namespace platform::user

namespace platform::user::test {

void SetThemeActive(bool active) {
    EnsureReset();
    gThemeActive = active;
}

} // namespace platform::user::test

extern "C" BOOL WINAPI IsThemeActive(void) {
    return platform::user::gThemeActive ? TRUE : FALSE;
}
