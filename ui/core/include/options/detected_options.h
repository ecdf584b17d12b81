// What the device reports of itself (a memory size, a finisher's model name)
// turned into installed entries of the installed-option list. Only the
// entries' states change; writing the list back is the caller's.
#pragma once

#include "install_option.h"

namespace sheetwright {

// Marks the standard modules and the optional ones that make up `size`
// (megabytes). TRUE when they add up to it exactly; FALSE when memory is
// left over or none fitted (the smallest module is then marked), and FALSE
// without a change when the binding or the list is missing or size is 0.
BOOL SetInstalledMemory(const ModelBlock* binding, CInstallOption* list, DWORD size);

// Marks the finisher whose model records carry `name` (byte for byte), with
// its punch and staple units; `punch` is non-zero when the device reports a
// punch unit. FALSE when no record carries the name (finisher 99 is then
// marked when the list has it), and without a change when an argument is
// missing or the name is empty.
BOOL FindFinisherByName(const ModelBlock* binding, CInstallOption* list, LPCSTR name, DWORD punch);

} // namespace sheetwright
