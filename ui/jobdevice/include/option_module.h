// The installed options as the device-option module of newer systems
// reports them (model component 252, its option file component 250, both
// beside the model library): the routines, the answers' node and its
// application.
#pragma once

#include <string>
#include <vector>

#include "install_option.h"

namespace sheetwright {

// The device-option module (model components 252, its option file 250) asked
// at installation and on a configuration change: 0 when options were read and
// applied, -1 otherwise.
int QuerySchemaOptions(const ModelBlock* binding, LPCWSTR printerName, CInstallOption* list,
                       DWORD flags);
// The configuration change names the key that changed: 1 when the module
// answered it, 0 otherwise.
int RequerySchemaOptions(const ModelBlock* binding, LPCWSTR printerName, CInstallOption* list,
                         LPCWSTR changedKey);

// One answer of the module.
struct SchemaNode {
    DWORD kind = 0;
    std::vector<std::string> texts; // ANSI, kind 7 only
    DWORD second = 0;
    DWORD value = 0;
};

// The option a kind stands for (0: none).
WORD SchemaKindToOption(DWORD kind);
// Applies the nodes of one query to the list.
void ApplySchemaOptions(const ModelOptionPair* pair, const std::vector<SchemaNode>& nodes);

} // namespace sheetwright
