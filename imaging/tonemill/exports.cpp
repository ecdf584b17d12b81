// Tonemill's export table, bound by ordinal or by name.
#include "imaging/tonemill.h"
#include "win/loader.h"

DECLARE_EXPORT_ORDINALS({TONEMILL_ORDINAL_ALLWHITECHECK, "icAllWhiteCheck"},
                        {TONEMILL_ORDINAL_ALLWHITECHECK_W0B1, "icAllWhiteCheck_W0B1"},
                        {TONEMILL_ORDINAL_GAMMACORRECTION, "icGammaCorrection"},
                        {TONEMILL_ORDINAL_GAMMAINV, "icGammaInv"},
                        {TONEMILL_ORDINAL_CONVERTTO256GRAY, "icImageTypeConvertTo256Gray_speed"},
                        {TONEMILL_ORDINAL_CONVERTTOBWHALFTONE,
                         "icImageTypeConvertToBWDitherHalftone_speed"});
