// What the UI core names of the model data beside the query codes, layouts
// and records that "model/model_queries.h" names (the file's own header is
// in "model_data_header.h").
#pragma once

#include <cstddef>

#include "model/model_queries.h"
#include "model_data_header.h"

namespace sheetwright {

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
