// The check before a job's first page goes to the printer: the department
// code against the device (Tallyport's MPDeptcode) and the device's state,
// paper and tray against the job (Gatekeep's MPPreCheck), with the questions
// that let the user go on or stop.
#pragma once

#include "ui/job_prompt_records.h"
#include "devmode_private.h"
#include "win/user.h"

namespace sheetwright {

// 1 when the job may print, 0 when it must not. Mode 1 takes Resbundle's
// texts and runs the device check too; other modes only the department check.
BOOL CheckPriorPrint(HANDLE printer, HWND owner, LPCWSTR port, DEVMODEW* devmode,
                     LPVOID privateBlock, LPVOID modelData, DWORD mode);

// Whether a person can see a message box from this process: not so in the
// services' session, where the spooler runs. There each question takes its
// fixed answer, which goes to the standard error stream instead.
bool CanAskUser();

} // namespace sheetwright
