// What the UI core needs of the model data file's own header, beside the
// query codes, layouts and records that "model/model_queries.h" names.
#pragma once

#include <cstddef>

#include "model/model_queries.h"

namespace sheetwright {

// Model data file header: magic, u32 file size at 4, u32 at 8 below the size,
// u32 offset of the offset table at 12.
constexpr char kModelDataMagic[4] = {'N', 'K', 'S', 'P'};
constexpr size_t kModelDataSizeOffset = 4;
constexpr size_t kModelDataBoundOffset = 8;
constexpr size_t kModelDataOffsetTable = 12;
constexpr size_t kComponentEntrySize = sizeof(model::ComponentFileEntry);
constexpr size_t kComponentNameSize = sizeof(model::ComponentFileEntry::nameTemplate);

// Text answers (codes 11, 14, 15 and the like) are asked with layout 1.
constexpr int kTextLayout = 1;

// Option classes of the installed-option list: the query code of the table
// that describes the class. The two memory classes are named as the
// installed-option list counts them (class 35 and class 36, both sized in
// megabytes); the model tables name 35 the hard disk and 36 the memory, so
// kOptionMemory35 is the hard disk's class.
enum OptionClass : WORD {
    kOption25 = model::kQueryInstallable,
    kOptionTray = model::kQueryTrayGroups,
    kOptionFinisher = model::kQueryFinishers,
    kOptionMemory35 = model::kQueryHardDisk,
    kOptionMemory36 = model::kQueryMemory,
    kOption63 = model::kQueryDepartmentPrompt,
};

} // namespace sheetwright
