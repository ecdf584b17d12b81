// The tone routines behind Tonemill's exports (tonemill/exports.cpp puts each
// through the export barrier); their results are those of the exports.
#pragma once

#include "imaging/tonemill.h"

namespace tonemill {

int AllWhiteCheck(const icImage* image);
int AllWhiteCheckW0B1(const icImage* image);
int GammaCorrection(const BYTE* table, icImage* image);
int GammaInv(const BYTE* table, icThresholdMatrix* matrix);
BOOL ConvertTo256Gray(void* unused, const icImage* source, icImage* destination);
int ConvertToBWHalftone(SHORT* columnPhase, SHORT* rowPhase, const icThresholdMatrix* matrix,
                        const icImage* source, icImage* destination);

} // namespace tonemill
