// Wall clock, time zone and tick count, each of which a test can freeze.
// Times are counted as the system counts them: 100-nanosecond intervals
// since 1 January 1601 (UTC).
#include <time.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/core.h"
#include "platform/facts.h"
#include "win/environment.h"
#include "win/errors.h"

namespace {

constexpr ULONGLONG kTicksPerMillisecond = 10000;
constexpr ULONGLONG kTicksPerSecond = 10000000;
constexpr ULONGLONG kTicksPerMinute = 60 * kTicksPerSecond;
constexpr ULONGLONG kTicksPerDay = 24 * 60 * kTicksPerMinute;
constexpr ULONGLONG kUnixEpoch = 116444736000000000ULL; // 1970-01-01 in 1601 ticks
constexpr ULONGLONG kMaxFileTime = 0x7FFFFFFFFFFFFFFFULL;

struct Clock {
    bool wallFrozen = false;
    ULONGLONG wallUtc = 0;
    bool biasSet = false;
    LONG bias = 0;
    bool tickFrozen = false;
    ULONGLONG tick = 0;
};

std::mutex gMutex;
Clock gClock;

void ResetClock() {
    std::lock_guard lock(gMutex);
    gClock = Clock{};
}

void Changing() {
    static std::once_flag once;
    std::call_once(once, [] { platform::RegisterResetHook(&ResetClock); });
}

ULONGLONG HostUtc() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return kUnixEpoch + static_cast<ULONGLONG>(ts.tv_sec) * kTicksPerSecond +
           static_cast<ULONGLONG>(ts.tv_nsec) / 100;
}

// The host time zone's bias at the given moment.
LONG HostBias(ULONGLONG utc) {
    time_t t =
        static_cast<time_t>((static_cast<LONGLONG>(utc) - static_cast<LONGLONG>(kUnixEpoch)) /
                            static_cast<LONGLONG>(kTicksPerSecond));
    tm local{};
    if (!localtime_r(&t, &local)) return 0;
    return static_cast<LONG>(-local.tm_gmtoff / 60);
}

ULONGLONG NowUtc() {
    std::lock_guard lock(gMutex);
    return gClock.wallFrozen ? gClock.wallUtc : HostUtc();
}

LONG BiasAt(ULONGLONG utc) {
    {
        std::lock_guard lock(gMutex);
        if (gClock.biasSet) return gClock.bias;
    }
    return HostBias(utc);
}

LONGLONG BiasTicks(LONG bias) {
    return static_cast<LONGLONG>(bias) * static_cast<LONGLONG>(kTicksPerMinute);
}

// Days from 1601-01-01 and back, by the proleptic Gregorian calendar.
LONGLONG DaysFromCivil(LONGLONG y, unsigned m, unsigned d) {
    y -= m <= 2;
    LONGLONG era = (y >= 0 ? y : y - 399) / 400;
    auto yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<LONGLONG>(doe) - 719468 + 134774; // 1970 -> 1601 epoch
}

void CivilFromDays(LONGLONG days, LONGLONG* y, unsigned* m, unsigned* d) {
    LONGLONG z = days - 134774 + 719468;
    LONGLONG era = (z >= 0 ? z : z - 146096) / 146097;
    auto doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<LONGLONG>(yoe) + era * 400 + (*m <= 2);
}

SYSTEMTIME ToSystemTime(ULONGLONG t) {
    ULONGLONG days = t / kTicksPerDay;
    ULONGLONG rest = t % kTicksPerDay;
    LONGLONG year;
    unsigned month, day;
    CivilFromDays(static_cast<LONGLONG>(days), &year, &month, &day);
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDayOfWeek = static_cast<WORD>((days + 1) % 7); // 1601-01-01 was a Monday
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(rest / (60 * kTicksPerMinute));
    st.wMinute = static_cast<WORD>(rest / kTicksPerMinute % 60);
    st.wSecond = static_cast<WORD>(rest / kTicksPerSecond % 60);
    st.wMilliseconds = static_cast<WORD>(rest / kTicksPerMillisecond % 1000);
    return st;
}

bool IsLeap(unsigned y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

bool FromSystemTime(const SYSTEMTIME& st, ULONGLONG* t) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999)
        return false;
    unsigned monthDays = kDays[st.wMonth - 1] + (st.wMonth == 2 && IsLeap(st.wYear) ? 1 : 0);
    if (st.wDay > monthDays) return false;
    auto days = static_cast<ULONGLONG>(DaysFromCivil(st.wYear, st.wMonth, st.wDay));
    *t = days * kTicksPerDay + st.wHour * 60 * kTicksPerMinute + st.wMinute * kTicksPerMinute +
         st.wSecond * kTicksPerSecond + st.wMilliseconds * kTicksPerMillisecond;
    return true;
}

FILETIME ToFileTime(ULONGLONG t) {
    return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFF), static_cast<DWORD>(t >> 32)};
}

ULONGLONG FromFileTime(const FILETIME& ft) {
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

ULONGLONG HostTick() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<ULONGLONG>(ts.tv_sec) * 1000 + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000;
}

} // namespace

namespace platform::test {

bool SetLocalTime(const SYSTEMTIME& local) {
    ULONGLONG t;
    if (!FromSystemTime(local, &t)) return false;
    Changing();
    LONG bias = BiasAt(t);
    std::lock_guard lock(gMutex);
    // The bias is pinned with the clock, so that GetLocalTime answers `local` exactly.
    gClock.biasSet = true;
    gClock.bias = bias;
    gClock.wallFrozen = true;
    gClock.wallUtc = static_cast<ULONGLONG>(static_cast<LONGLONG>(t) + BiasTicks(bias));
    return true;
}

void SetTimeZoneBias(LONG minutes) {
    Changing();
    std::lock_guard lock(gMutex);
    if (gClock.wallFrozen && gClock.biasSet) // keep the frozen local time where it was
        gClock.wallUtc = static_cast<ULONGLONG>(static_cast<LONGLONG>(gClock.wallUtc) +
                                                BiasTicks(minutes - gClock.bias));
    gClock.biasSet = true;
    gClock.bias = minutes;
}

void FreezeTickCount(ULONGLONG ticks) {
    Changing();
    std::lock_guard lock(gMutex);
    gClock.tickFrozen = true;
    gClock.tick = ticks;
}

void AdvanceTime(ULONGLONG milliseconds) {
    Changing();
    std::lock_guard lock(gMutex);
    if (gClock.tickFrozen) gClock.tick += milliseconds;
    if (gClock.wallFrozen) gClock.wallUtc += milliseconds * kTicksPerMillisecond;
}

} // namespace platform::test

extern "C" {

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    if (lpSystemTimeAsFileTime) *lpSystemTimeAsFileTime = ToFileTime(NowUtc());
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime) *lpSystemTime = ToSystemTime(NowUtc());
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime) return;
    ULONGLONG utc = NowUtc();
    *lpSystemTime =
        ToSystemTime(static_cast<ULONGLONG>(static_cast<LONGLONG>(utc) - BiasTicks(BiasAt(utc))));
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
    if (!lpFileTime || !lpSystemTime || FromFileTime(*lpFileTime) > kMaxFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpSystemTime = ToSystemTime(FromFileTime(*lpFileTime));
    return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    ULONGLONG t;
    if (!lpSystemTime || !lpFileTime || !FromSystemTime(*lpSystemTime, &t)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpFileTime = ToFileTime(t);
    return TRUE;
}

// Both directions use the bias in force now, as the system does.
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
    if (!lpFileTime || !lpLocalFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LONGLONG t = static_cast<LONGLONG>(FromFileTime(*lpFileTime)) - BiasTicks(BiasAt(NowUtc()));
    if (t < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpLocalFileTime = ToFileTime(static_cast<ULONGLONG>(t));
    return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
    if (!lpLocalFileTime || !lpFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LONGLONG t =
        static_cast<LONGLONG>(FromFileTime(*lpLocalFileTime)) + BiasTicks(BiasAt(NowUtc()));
    if (t < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpFileTime = ToFileTime(static_cast<ULONGLONG>(t));
    return TRUE;
}

ULONGLONG WINAPI GetTickCount64(void) {
    std::lock_guard lock(gMutex);
    return gClock.tickFrozen ? gClock.tick : HostTick();
}

DWORD WINAPI GetTickCount(void) {
    return static_cast<DWORD>(GetTickCount64());
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    {
        std::lock_guard lock(gMutex);
        if (gClock.tickFrozen) {
            gClock.tick += dwMilliseconds;
            if (gClock.wallFrozen) gClock.wallUtc += dwMilliseconds * kTicksPerMillisecond;
            return;
        }
    }
    if (dwMilliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

} // extern "C"
