#include "emf_recorder.h"

#include <cstring>

#include "emf_job.h"
#include "pdev.h"

namespace inkforge {

void RecorderState::Reset() {
    selected[static_cast<int>(ObjectKind::Pen)] = kStockBlackPen;
    selected[static_cast<int>(ObjectKind::Brush)] = 0;
    selected[static_cast<int>(ObjectKind::Font)] = kStockDeviceDefaultFont;
    textColor = 0;
    backgroundColor = 0xFFFFFF;
    backgroundMode = OPAQUE;
    rop2 = R2_COPYPEN;
    polyFillMode = ALTERNATE;
    stretchMode = 1;
    graphicsMode = 1;
    textAlign = 0;
    miterLimit = 10.0f;
    transform = XFORM{1, 0, 0, 1, 0, 0};
    clipped = false;
    clip.clear();
    highest = 0;
    freeIndexes.clear();
}

} // namespace inkforge
