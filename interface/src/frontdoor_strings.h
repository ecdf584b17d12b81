// Identifiers of Frontdoor's string table. The graphics library loads the
// caption and the print-error texts from this library by number.
#pragma once

#define IDS_ERROR_CAPTION 100
#define IDS_FILES_MISSING 101
#define IDS_DISK_FULL 102
#define IDS_PRINT_FAILED 103
#define IDS_NO_MEMORY 104
