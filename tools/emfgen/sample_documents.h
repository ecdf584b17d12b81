// The sample documents: enhanced metafiles of lines, shapes, fills and
// clipped drawing on A4 pages at 600 dpi, made record by record so that each
// record kind the platform plays appears in them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "win/types.h"

namespace emfgen {

// Relative path ("lines.emf", "brochure/page-1.emf") to the metafile's bytes.
std::map<std::string, std::vector<BYTE>> SampleDocuments();

} // namespace emfgen
