// Facts about the machine, its user and its clock: version, names, time and
// tick count, locale, shell folders, environment variables, process and
// session ids. Tests set each fact through platform/facts.h.
#pragma once

#include "win/types.h"
#include "win/errors.h"

struct HWND__;
typedef struct HWND__* HWND;

typedef DWORD LCID;
typedef WORD LANGID;
typedef DWORD LCTYPE;

#ifndef INFINITE
#define INFINITE 0xFFFFFFFF
#endif

// ---- version ----

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003

typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW;

typedef struct _OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;

static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284);
static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156);
static_assert(offsetof(OSVERSIONINFOW, dwPlatformId) == 16 &&
              offsetof(OSVERSIONINFOW, szCSDVersion) == 20);
static_assert(offsetof(OSVERSIONINFOEXW, wServicePackMajor) == 276 &&
              offsetof(OSVERSIONINFOEXW, wSuiteMask) == 280 &&
              offsetof(OSVERSIONINFOEXW, wProductType) == 282);
static_assert(offsetof(OSVERSIONINFOEXA, wServicePackMajor) == 148 &&
              offsetof(OSVERSIONINFOEXA, wSuiteMask) == 152 &&
              offsetof(OSVERSIONINFOEXA, wProductType) == 154);

// ---- names ----

#define MAX_COMPUTERNAME_LENGTH 15
#define UNLEN 256

// ---- locale ----

#ifndef LANG_NEUTRAL
#define LANG_NEUTRAL 0x00
#endif
#ifndef LANG_INVARIANT
#define LANG_INVARIANT 0x7f
#endif
#ifndef LANG_ENGLISH
#define LANG_ENGLISH 0x09
#endif
#ifndef LANG_FRENCH
#define LANG_FRENCH 0x0c
#endif
#ifndef LANG_GERMAN
#define LANG_GERMAN 0x07
#endif
#ifndef LANG_JAPANESE
#define LANG_JAPANESE 0x11
#endif
#ifndef SUBLANG_NEUTRAL
#define SUBLANG_NEUTRAL 0x00
#endif
#ifndef SUBLANG_DEFAULT
#define SUBLANG_DEFAULT 0x01
#endif
#ifndef SUBLANG_SYS_DEFAULT
#define SUBLANG_SYS_DEFAULT 0x02
#endif
#ifndef SUBLANG_ENGLISH_US
#define SUBLANG_ENGLISH_US 0x01
#endif
#ifndef SUBLANG_ENGLISH_UK
#define SUBLANG_ENGLISH_UK 0x02
#endif
#ifndef SORT_DEFAULT
#define SORT_DEFAULT 0x0
#endif
#ifndef MAKELANGID
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#endif
#ifndef PRIMARYLANGID
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#endif
#ifndef SUBLANGID
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#endif
#ifndef MAKELCID
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#endif
#ifndef LANGIDFROMLCID
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#endif

#define LOCALE_NEUTRAL 0x0000
#define LOCALE_INVARIANT 0x007F
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_CUSTOM_DEFAULT 0x0C00
#define LOCALE_CUSTOM_UNSPECIFIED 0x1000
#define LOCALE_CUSTOM_UI_DEFAULT 0x1400

// Flags combined with an LCTYPE.
#define LOCALE_NOUSEROVERRIDE 0x80000000
#define LOCALE_USE_CP_ACP 0x40000000
#define LOCALE_RETURN_NUMBER 0x20000000

#define LOCALE_ILANGUAGE 0x00000001
#define LOCALE_SLANGUAGE 0x00000002
#define LOCALE_SABBREVLANGNAME 0x00000003
#define LOCALE_ICOUNTRY 0x00000005
#define LOCALE_SCOUNTRY 0x00000006
#define LOCALE_IDEFAULTCODEPAGE 0x0000000B
#define LOCALE_IMEASURE 0x0000000D
#define LOCALE_SDECIMAL 0x0000000E
#define LOCALE_STHOUSAND 0x0000000F
#define LOCALE_SISO639LANGNAME 0x00000059
#define LOCALE_SISO3166CTRYNAME 0x0000005A
#define LOCALE_SNAME 0x0000005C
#define LOCALE_SENGLANGUAGE 0x00001001
#define LOCALE_SENGCOUNTRY 0x00001002
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004

// ---- shell folders ----

#define CSIDL_PERSONAL 0x0005
#define CSIDL_MYDOCUMENTS CSIDL_PERSONAL
#define CSIDL_APPDATA 0x001A
#define CSIDL_LOCAL_APPDATA 0x001C
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROFILE 0x0028
#define CSIDL_FLAG_DONT_VERIFY 0x4000
#define CSIDL_FLAG_CREATE 0x8000
#define CSIDL_FLAG_MASK 0xFF00

#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

#define KF_FLAG_DEFAULT 0x00000000
#define KF_FLAG_DONT_VERIFY 0x00004000
#define KF_FLAG_CREATE 0x00008000

inline constexpr KNOWNFOLDERID FOLDERID_LocalAppDataLow = {
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};
inline constexpr KNOWNFOLDERID FOLDERID_LocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
inline constexpr KNOWNFOLDERID FOLDERID_RoamingAppData = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};
inline constexpr KNOWNFOLDERID FOLDERID_Documents = {
    0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};
inline constexpr KNOWNFOLDERID FOLDERID_Profile = {
    0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};
inline constexpr KNOWNFOLDERID FOLDERID_ProgramData = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
inline constexpr KNOWNFOLDERID FOLDERID_Windows = {
    0xF38BF404, 0x1D43, 0x42F2, {0x93, 0x05, 0x67, 0xDE, 0x0B, 0x28, 0xFC, 0x23}};
inline constexpr KNOWNFOLDERID FOLDERID_System = {
    0x1AC14E77, 0x02E7, 0x4E5D, {0xB7, 0x44, 0x2E, 0xB1, 0xAE, 0x51, 0x98, 0xB7}};

extern "C" {

// GetVersionEx fails with ERROR_INSUFFICIENT_BUFFER unless dwOSVersionInfoSize
// is the size of the plain or the EX record; the EX fields are filled only for
// the EX record.
BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
// Major version in the low byte, minor in the next, build in the high word
// (its top bit set for a platform other than NT).
DWORD WINAPI GetVersion(void);

// *nSize counts characters with the NUL going in. On success it receives the
// length without the NUL; when the buffer is too small the call fails with
// ERROR_BUFFER_OVERFLOW and *nSize receives the size needed with the NUL.
BOOL WINAPI GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize);
BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
// *pcbBuffer counts characters with the NUL, going in and coming out; a short
// buffer fails with ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL WINAPI GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer);
BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer);

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
DWORD WINAPI GetTickCount(void);
ULONGLONG WINAPI GetTickCount64(void);
// While a test holds the tick count frozen, Sleep advances it (and a frozen
// clock) instead of waiting.
void WINAPI Sleep(DWORD dwMilliseconds);

// The size protocol: cchData 0 returns the size needed (with the NUL); a
// short buffer fails with ERROR_INSUFFICIENT_BUFFER; an unknown LCTYPE with
// ERROR_INVALID_FLAGS; an unknown locale with ERROR_INVALID_PARAMETER.
int WINAPI GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData);
int WINAPI GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData);
LCID WINAPI GetUserDefaultLCID(void);
LCID WINAPI GetSystemDefaultLCID(void);
LANGID WINAPI GetUserDefaultLangID(void);
LANGID WINAPI GetSystemDefaultLangID(void);
LANGID WINAPI GetUserDefaultUILanguage(void);
LANGID WINAPI GetSystemDefaultUILanguage(void);

// Shell folders are Windows paths under the machine root (C:\Users\<user>\...),
// created on first use. The known-folder path is freed with CoTaskMemFree.
HRESULT WINAPI SHGetKnownFolderPath(REFKNOWNFOLDERID rfid, DWORD dwFlags, HANDLE hToken,
                                    PWSTR* ppszPath);
HRESULT WINAPI SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath);
HRESULT WINAPI SHGetFolderPathA(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR pszPath);
// The length without the NUL, or the size needed with the NUL when uSize is
// too small.
UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);

// The process's Windows environment: the usual variables derived from the
// facts (USERNAME, USERPROFILE, APPDATA, SystemRoot, TEMP, ...) and whatever
// SetEnvironmentVariableW set. Names are compared without regard to case.
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);
BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);
// Replaces each %NAME% of a defined variable; returns the size with the NUL
// (the size needed when nSize is too small).
DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize);

DWORD WINAPI GetCurrentProcessId(void);
DWORD WINAPI GetCurrentThreadId(void);
BOOL WINAPI ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId);
// 0xFFFFFFFF when no session is attached to the console.
DWORD WINAPI WTSGetActiveConsoleSessionId(void);
}
