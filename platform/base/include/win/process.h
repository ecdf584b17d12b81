// Processes, waits, the interactive session's user and security descriptors.
//
// A process is a host process started with posix_spawn; its program is a
// Windows path mapped onto the machine root (or Z:\ for the host's own files).
// Process and thread handles live in the handle table and close with
// CloseHandle. Handles are not inherited: a child opens what it needs by name
// (a named file mapping, a file).
#pragma once

#include "win/types.h"

#ifndef INFINITE
#define INFINITE 0xFFFFFFFF
#endif

// Results of the wait functions.
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

// The exit code of a process that is still running.
#define STILL_ACTIVE 259L

// Process creation flags (those without an effect here are accepted and
// ignored: there are no consoles and no scheduling classes).
#define DEBUG_PROCESS 0x00000001
#define DEBUG_ONLY_THIS_PROCESS 0x00000002
#define CREATE_SUSPENDED 0x00000004
#define DETACHED_PROCESS 0x00000008
#define CREATE_NEW_CONSOLE 0x00000010
#define NORMAL_PRIORITY_CLASS 0x00000020
#define IDLE_PRIORITY_CLASS 0x00000040
#define HIGH_PRIORITY_CLASS 0x00000080
#define REALTIME_PRIORITY_CLASS 0x00000100
#define CREATE_NEW_PROCESS_GROUP 0x00000200
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define BELOW_NORMAL_PRIORITY_CLASS 0x00004000
#define ABOVE_NORMAL_PRIORITY_CLASS 0x00008000
#define CREATE_DEFAULT_ERROR_MODE 0x04000000
#define CREATE_NO_WINDOW 0x08000000

// STARTUPINFO dwFlags.
#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESIZE 0x00000002
#define STARTF_USEPOSITION 0x00000004
#define STARTF_USESTDHANDLES 0x00000100

// Show commands carried by STARTUPINFO wShowWindow.
#ifndef SW_HIDE
#define SW_HIDE 0
#endif
#ifndef SW_SHOWNORMAL
#define SW_SHOWNORMAL 1
#endif
#ifndef SW_SHOW
#define SW_SHOW 5
#endif
#ifndef SW_SHOWDEFAULT
#define SW_SHOWDEFAULT 10
#endif

typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

static_assert(sizeof(STARTUPINFOW) == 104 && sizeof(STARTUPINFOA) == 104);
static_assert(offsetof(STARTUPINFOW, lpDesktop) == 16 && offsetof(STARTUPINFOW, dwFlags) == 60);
static_assert(offsetof(STARTUPINFOW, wShowWindow) == 64 && offsetof(STARTUPINFOW, hStdInput) == 80);
static_assert(sizeof(PROCESS_INFORMATION) == 24 &&
              offsetof(PROCESS_INFORMATION, dwProcessId) == 16);

// Security descriptors, in their absolute form. Objects of this platform are
// always private to their owner: a descriptor is accepted where the system
// takes one, and its DACL (a NULL DACL included) never widens access.
#define SECURITY_DESCRIPTOR_REVISION 1
#define SECURITY_DESCRIPTOR_REVISION1 1

typedef PVOID PSID;

typedef struct _ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
} ACL, *PACL;

typedef WORD SECURITY_DESCRIPTOR_CONTROL;
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008

typedef struct _SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
} SECURITY_DESCRIPTOR, *PISECURITY_DESCRIPTOR;
typedef PVOID PSECURITY_DESCRIPTOR;

#define SECURITY_DESCRIPTOR_MIN_LENGTH (sizeof(SECURITY_DESCRIPTOR))

static_assert(sizeof(ACL) == 8 && sizeof(SECURITY_DESCRIPTOR) == 40);
static_assert(offsetof(SECURITY_DESCRIPTOR, Dacl) == 32);

extern "C" {

// Starts a program. The program is lpApplicationName when given (no
// extension is added), else the first word of lpCommandLine (".exe" is added
// to a name without extension; an unquoted path with blanks is tried word by
// word, as the system does). The arguments the program sees are lpCommandLine
// split by the system's rules (quotes, backslashes). lpEnvironment must be
// NULL: the child gets this process's environment, with the machine root.
BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                           LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation);
BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation);
// As CreateProcessW, as the user of hToken (from WTSQueryUserToken) in that
// user's session. The host process runs as this process's own host user; the
// user and session it stands for are recorded (platform/process_ctl.h).
BOOL WINAPI CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                 LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                 LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                 DWORD dwCreationFlags, LPVOID lpEnvironment,
                                 LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                 LPPROCESS_INFORMATION lpProcessInformation);
// This process's start-up information: the interactive desktop, nothing else set.
void WINAPI GetStartupInfoW(LPSTARTUPINFOW lpStartupInfo);
// The process's command line as its creator gave it, program name first.
LPWSTR WINAPI GetCommandLineW();

// Waits on a process or thread handle (a thread ends with its process).
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// STILL_ACTIVE while the process runs; then its exit code (0 to 255 from a
// host exit status), TerminateProcess's code, or for a process ended by a
// signal the system's status for that fault: 0xC0000005 SIGSEGV,
// 0xC0000006 SIGBUS, 0xC000001D SIGILL, 0xC0000094 SIGFPE, 3 SIGABRT,
// 0xC000013A SIGINT, 1 any other.
BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
// Ends the process; its exit code becomes uExitCode. A process that has
// already ended gives ERROR_ACCESS_DENIED.
BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);

// The user token of a session's logged-on user (ERROR_NO_TOKEN when the
// session does not exist or nobody is logged on to it). The console session
// (WTSGetActiveConsoleSessionId, win/environment.h) has this process's user.
BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken);

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         DWORD dwRevision);
BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                                      PACL pDacl, BOOL bDaclDefaulted);

} // extern "C"
