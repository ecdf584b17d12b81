// The per-job prompts that the job-prompt program runs for a job being
// rendered: the user ID prompt, the department ID prompt, the job type prompt
// and the job information prompt. Each loads Modelsmith and Resbundle for
// the printer, shows one ownerless, topmost dialog centred on the desktop,
// writes the answers into the caller's record and frees both libraries.
#pragma once

#include <string>

#include "ui/job_prompt_records.h"
#include "win/user.h"

namespace sheetwright {

// 1 when answered (or nothing was asked), 0 when cancelled or not shown.
INT InputJobSpoolUserPwdInfo(HANDLE printer, LPVOID modelData, JobAuthRecord* record);
// Always 1: the prompt cannot be cancelled.
INT InputDeptCodeInfo(HANDLE printer, LPVOID modelData, DeptCodeRecord* record);
// 1 when answered (or nothing was asked), 0 when cancelled or not shown.
INT InputJobSpoolExt(HANDLE printer, LPVOID modelData, JobAuthRecord* auth, JobInfoRecord* info,
                     DeptCodeRecord* dept);
// Always 1: the prompt cannot be cancelled.
INT InputUserJobInformation(HANDLE printer, LPVOID modelData, JobInfoRecord* record);

// Bytes a text takes in the system's ANSI code page.
int AnsiByteLength(const std::u16string& text);
// An edit whose typing and pasting stop at `limit` ANSI bytes.
BOOL AttachByteLimit(HWND edit, DWORD limit);

// Dialog templates and controls of the prompts.
inline constexpr UINT kUserIdPrompt = 1350;
inline constexpr UINT kDeptPrompt = 1360;
inline constexpr UINT kJobTypePrompt = 1370;
inline constexpr UINT kJobInfoPrompt = 1250;

} // namespace sheetwright
