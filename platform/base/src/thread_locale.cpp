// MulDiv and the thread's locale.
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>

#include "platform/core.h"
#include "win/errors.h"
#include "win/system_messages.h"

namespace {

// A thread's own locale lasts until the platform is reset (a new test), as a
// new process starts with the user's.
std::atomic<unsigned> gGeneration{0};

struct ThreadLocale {
    unsigned generation = 0;
    LCID lcid = 0; // 0: the user's default
};
thread_local ThreadLocale tLocale;

void ResetThreadLocales() {
    ++gGeneration;
}

void EnsureReset() {
    static std::once_flag once;
    std::call_once(once, [] { platform::RegisterResetHook(&ResetThreadLocales); });
}

} // namespace

extern "C" {

int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
    if (nDenominator == 0) return -1;
    int64_t product = static_cast<int64_t>(nNumber) * nNumerator;
    int64_t d = nDenominator;
    // Halves round away from zero.
    bool negative = (product < 0) != (d < 0);
    uint64_t p = product < 0 ? static_cast<uint64_t>(-product) : static_cast<uint64_t>(product);
    uint64_t q = d < 0 ? static_cast<uint64_t>(-d) : static_cast<uint64_t>(d);
    uint64_t r = (p + q / 2) / q;
    if (r > static_cast<uint64_t>(std::numeric_limits<int>::max()) + (negative ? 1u : 0u))
        return -1;
    return negative ? static_cast<int>(-static_cast<int64_t>(r)) : static_cast<int>(r);
}

LCID WINAPI GetThreadLocale(void) {
    EnsureReset();
    if (tLocale.generation == gGeneration && tLocale.lcid) return tLocale.lcid;
    return GetUserDefaultLCID();
}

BOOL WINAPI SetThreadLocale(LCID Locale) {
    EnsureReset();
    // Only locales the machine has data for can be taken.
    if (Locale == LOCALE_USER_DEFAULT)
        Locale = GetUserDefaultLCID();
    else if (Locale == LOCALE_SYSTEM_DEFAULT)
        Locale = GetSystemDefaultLCID();
    if (GetLocaleInfoW(Locale, LOCALE_SLANGUAGE, nullptr, 0) <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    tLocale = {gGeneration, Locale};
    return TRUE;
}

} // extern "C"
