// Tallyport's department-code query: does the device manage department
// codes, and may a job with department-code counting print.
#pragma once

#include "devcomm/port_info.h"
#include "win/types.h"

// Request modes.
#define DEPTCODE_MODE_MANAGED 0 // does the device manage department codes
#define DEPTCODE_MODE_COUNTED 1 // may a job with department-code counting print

// Answers.
#define DEPTCODE_ANSWER_NO 0      // mode 0: not managed; mode 1: may print
#define DEPTCODE_ANSWER_MANAGED 1 // mode 0: the device manages department codes
#define DEPTCODE_ANSWER_REFUSED 2 // mode 1: the device's management stands in the way

// Return codes of MPDeptcode: 0 answered (or not a network device, answer
// untouched); the others leave the answer untouched.
#define DEPTCODE_OK 0
#define DEPTCODE_FAILED 0xFFFF       // the device could not be asked: no answer, a malformed one
#define DEPTCODE_BAD_ARGUMENT 0xFFFE // a missing pointer, a short record for a network device
#define DEPTCODE_UNEXPECTED_ANSWER 0xFFFD // the object answered with another type

// Deptcode's result when the device query library cannot be loaded.
#define DEPTCODE_NO_LIBRARY 1

// Tallyport's string table: the device query library's file name per platform.
#define IDS_TALLYPORT_DEVPROBE_32 1
#define IDS_TALLYPORT_DEVPROBE_X64 2
#define IDS_TALLYPORT_DEVPROBE_IA64 3

// Declared once, here: the library defines the export against this
// declaration, and callers binding it by name call through its type.
extern "C" {
DLLEXPORT [[nodiscard]] WORD WINAPI MPDeptcode(SelPortInfo* info, SHORT* mode, SHORT* answer);
typedef decltype(&MPDeptcode) PFN_MPDeptcode;
DLLEXPORT [[nodiscard]] WORD WINAPI Deptcode(LPCSTR host, SHORT* mode, SHORT* answer);
typedef decltype(&Deptcode) PFN_Deptcode;
}
