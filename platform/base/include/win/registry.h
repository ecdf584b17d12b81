// The registry: keys under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER (and
// HKEY_CLASSES_ROOT, which is HKEY_LOCAL_MACHINE\SOFTWARE\Classes), kept in
// the machine root's database. Every call answers an error number (LSTATUS)
// and leaves the last error alone, as the system's registry functions do.
#pragma once

#include "win/types.h"
#include "win/errors.h"

// Only passed through; the registry keeps no security descriptors.
struct _SECURITY_ATTRIBUTES;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

// Value types. Data is kept exactly as given: no terminator is added to or
// removed from strings, and a REG_DWORD may have any length.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

// Access rights of a key handle. A handle can do only what it was opened for
// (a KEY_READ handle cannot set values: ERROR_ACCESS_DENIED).
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
// The registry views of a 64-bit machine, for RegOpenKeyEx, RegCreateKeyEx and
// RegDeleteKeyEx: in the 32-bit view HKLM\SOFTWARE is HKLM\SOFTWARE\Wow6432Node;
// the 64-bit view (and no flag, for our 64-bit processes) sees the keys as
// named. Every other key, HKEY_CURRENT_USER included, is the same in both.
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_EXECUTE 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_RESERVED 0x00000000
#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_OPTION_CREATE_LINK 0x00000002
#define REG_OPTION_BACKUP_RESTORE 0x00000004
#define REG_OPTION_OPEN_LINK 0x00000008

// Dispositions of RegCreateKeyEx.
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

extern "C" {

// Creates every missing key of a nested path ("a\b\c"); an existing key is
// opened. A path starting with a backslash fails with ERROR_BAD_PATHNAME.
LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition);
LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition);
// ERROR_FILE_NOT_FOUND when the key (or a key on its path) does not exist.
// A NULL or empty lpSubKey opens a new handle to hKey's own key.
LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult);
LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult);
LSTATUS WINAPI RegCloseKey(HKEY hKey);

// The two-call size protocol: with lpData NULL, *lpcbData receives the size;
// with a buffer that is too small the answer is ERROR_MORE_DATA and *lpcbData
// receives the size needed. A NULL or empty name is the key's default value.
// The A form converts string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) to
// and from the ANSI code page; sizes are then those of the ANSI text.
LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData);
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData);
LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData);
LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData);
LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// Deletes a key and its values. A key that still has subkeys is refused with
// ERROR_ACCESS_DENIED. Open handles to a deleted key answer ERROR_KEY_DELETED.
LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved);

// Subkeys enumerate in the order of their upper-cased names, values in the
// order they were created. Past the end: ERROR_NO_MORE_ITEMS. A name buffer
// too small for the name and its NUL: ERROR_MORE_DATA. *lpcchName counts
// characters, in without and out without the NUL.
LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime);
LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
// Name lengths are in characters without the NUL; the longest data in bytes.
LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
}
