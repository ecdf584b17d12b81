// Metaweave's export ZORPrintEMF and the job record the graphics library
// hands it. Declared once, here: Metaweave defines the export against this
// declaration, and the graphics library calls it through its type after
// binding it by name.
#pragma once

#include <cstddef>

#include "model/modelsmith.h"
#include "win/types.h"

// What the graphics library hands over at the end of a spool-side document.
struct EmfJobRecord {
    DWORD spoolId;
    DWORD flags;
    CHAR workingFolder[260];
};
static_assert(sizeof(EmfJobRecord) == 268 && offsetof(EmfJobRecord, flags) == 4 &&
              offsetof(EmfJobRecord, workingFolder) == 8);

// Replays the recorded job into a new job on the same printer: 1 when it
// was replayed, 0 otherwise.
DLLEXPORT [[nodiscard]] DWORD WINAPI ZORPrintEMF(EmfJobRecord* record, ModelBlock* model);
typedef decltype(&ZORPrintEMF) PFN_ZORPrintEMF;

#define METAWEAVE_ORDINAL_ZORPRINTEMF 1
#define METAWEAVE_ORDINAL_UPDATERCBFILE 2
