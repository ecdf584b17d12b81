// What the user-interface libraries read of the model data file beside the
// query codes, layouts and records that "model/model_queries.h" names.
#pragma once

#include <cstddef>

#include "model/model_file_header.h"
#include "model/model_queries.h"

namespace sheetwright {

// The file's own header (magic, size, offset table) is named once, with its
// check, in "model/model_file_header.h".
constexpr size_t kComponentEntrySize = sizeof(model::ComponentFileEntry);
constexpr size_t kComponentNameSize = sizeof(model::ComponentFileEntry::nameTemplate);

// Text answers (codes 11, 14, 15 and the like) are asked with layout 1.
constexpr int kTextLayout = 1;

} // namespace sheetwright
