// The escapes the driver answers through a job's device context: the private
// ones the printer interface and UI libraries send at document events, and
// the two standard ones.
#pragma once

#include "win/types.h"

namespace inkforge {

constexpr ULONG kEscQuerySupport = 8;
constexpr ULONG kEscSetCopyCount = 17;
constexpr ULONG kEscGetDriverDevmode = 32762;
constexpr ULONG kEscGetJobState = 32764;
constexpr ULONG kEscMarkJobCancelled = 32765;
constexpr ULONG kEscCompleteOutputFile = 32766;
constexpr ULONG kEscSetOutputFileName = 32767;

constexpr DWORD kMaxCopies = 999;

// Job state bits of GETJOBSTATE.
constexpr DWORD kStateStarted = 2;
constexpr DWORD kStatePageBegun = 4;
constexpr DWORD kStateSpoolSide = 8;

} // namespace inkforge
