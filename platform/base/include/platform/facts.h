// The settable environment facts of the platform: what the version, name,
// time, locale, folder and session functions answer. Each starts from the
// host (names, clock) or from a fixed default (Windows 10, United States
// English) and is put back by platform::test::ResetForTests.
#pragma once

#include <string>
#include <string_view>

#include "win/environment.h"

namespace platform {

struct OsVersion {
    DWORD major = 10;
    DWORD minor = 0;
    DWORD build = 19045;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    std::u16string servicePack; // szCSDVersion, e.g. u"Service Pack 3"
    WORD servicePackMajor = 0;
    WORD servicePackMinor = 0;
    WORD suiteMask = 0x0100; // VER_SUITE_SINGLEUSERTS
    BYTE productType = VER_NT_WORKSTATION;
};

// Current values, for the other components of the platform.
OsVersion CurrentOsVersion();
std::u16string CurrentUserName();
std::u16string CurrentComputerName();

} // namespace platform

namespace platform::test {

void SetOsVersion(const OsVersion& version);
// A plain NT version; build 0 takes that release's usual build number
// (5.0 2195, 5.1 2600, 5.2 3790, 6.0 6002, 6.1 7601, 6.2 9200, 6.3 9600,
// 10.0 19045).
void SetOsVersion(DWORD major, DWORD minor, DWORD build = 0);

void SetComputerName(std::u16string_view name);
void SetUserName(std::u16string_view name);

// Freezes the wall clock so that GetLocalTime answers exactly `local`; the
// clock then moves only with AdvanceTime (or Sleep while the tick count is
// frozen too). False (and nothing changed) for a date that does not exist.
bool SetLocalTime(const SYSTEMTIME& local);
// Minutes to add to local time to get UTC (the system's bias: -60 for UTC+1).
// Without it the host's time zone applies.
void SetTimeZoneBias(LONG minutes);
// Freezes the tick count at `ticks` milliseconds.
void FreezeTickCount(ULONGLONG ticks);
// Moves a frozen tick count and a frozen wall clock forward.
void AdvanceTime(ULONGLONG milliseconds);

// The user's and the system's locale: one of 0x0409 (en-US, the default),
// 0x0809 (en-GB), 0x0407 (de-DE), 0x040C (fr-FR), 0x0411 (ja-JP). False for
// another LCID. Clears the overrides below.
bool SetLocale(LCID lcid);
// Overrides of the current locale's data (not seen with LOCALE_NOUSEROVERRIDE
// or through another locale's LCID).
void SetCountryCode(DWORD code);
void SetDecimalSeparator(std::u16string_view separator);
void SetThousandSeparator(std::u16string_view separator);
void SetMeasureSystem(DWORD measure); // 0 metric, 1 U.S.

// The session of every process (ProcessIdToSessionId; default 1) and of the
// console (WTSGetActiveConsoleSessionId; default 1, 0xFFFFFFFF for none).
void SetSessionId(DWORD session);
void SetConsoleSessionId(DWORD session);

} // namespace platform::test
