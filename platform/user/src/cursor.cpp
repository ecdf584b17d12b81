// The cursor shown over the process's windows. Nothing is shown here, but a
// test sees which cursor a program put up and in which order (a wait cursor
// around a long call, the hand over a link).
#include <mutex>
#include <vector>

#include "platform/core.h"
#include "platform/user_ctl.h"

namespace platform::user {
namespace {

struct Cursors {
    std::mutex lock;
    HCURSOR current = nullptr;
    std::vector<HCURSOR> history;
};

Cursors& C() {
    static Cursors* c = new Cursors;
    return *c;
}

void ResetCursors() {
    std::lock_guard lock(C().lock);
    C().current = nullptr;
    C().history.clear();
}

void EnsureReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetCursors), true);
    (void)registered;
}

} // namespace
} // namespace platform::user

namespace platform::user::test {

std::vector<HCURSOR> CursorHistory() {
    std::lock_guard lock(C().lock);
    return C().history;
}

} // namespace platform::user::test

using namespace platform::user;

extern "C" {

HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    EnsureReset();
    std::lock_guard lock(C().lock);
    HCURSOR old = C().current;
    if (hCursor != old) C().history.push_back(hCursor);
    C().current = hCursor;
    return old;
}

HCURSOR WINAPI GetCursor() {
    std::lock_guard lock(C().lock);
    return C().current;
}

} // extern "C"
