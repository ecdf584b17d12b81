// The installed options as the device-option module of newer systems
// reports them (model component 252, its option file component 250, both
// beside the model library). The routines are declared with the other
// detection routines (option_detection.h); the answers' node and its
// application are here.
#pragma once

#include <string>
#include <vector>

#include "install_option.h"

namespace sheetwright {

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
