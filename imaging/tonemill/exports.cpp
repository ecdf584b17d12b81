// Tonemill's exports and their table, bound by ordinal or by name. Each goes
// through the export barrier; a failure inside answers the routine's own
// failure value: not white, 255 (nothing mapped), matrix unchanged, FALSE, not
// converted.
#include "export_barrier.h"
#include "imaging/tonemill.h"
#include "routines.h"
#include "win/loader.h"

using export_barrier::ExportGuard;

DLLEXPORT int WINAPI icAllWhiteCheck(const icImage* image) {
    return ExportGuard<&tonemill::AllWhiteCheck, 0>::Call(image);
}

DLLEXPORT int WINAPI icAllWhiteCheck_W0B1(const icImage* image) {
    return ExportGuard<&tonemill::AllWhiteCheckW0B1, 0>::Call(image);
}

DLLEXPORT int WINAPI icGammaCorrection(const BYTE* table, icImage* image) {
    return ExportGuard<&tonemill::GammaCorrection, 255>::Call(table, image);
}

DLLEXPORT int WINAPI icGammaInv(const BYTE* table, icThresholdMatrix* matrix) {
    return ExportGuard<&tonemill::GammaInv, 0>::Call(table, matrix);
}

DLLEXPORT BOOL WINAPI icImageTypeConvertTo256Gray_speed(void* unused, const icImage* source,
                                                        icImage* destination) {
    return ExportGuard<&tonemill::ConvertTo256Gray, FALSE>::Call(unused, source, destination);
}

DLLEXPORT int WINAPI icImageTypeConvertToBWDitherHalftone_speed(SHORT* columnPhase, SHORT* rowPhase,
                                                                const icThresholdMatrix* matrix,
                                                                const icImage* source,
                                                                icImage* destination) {
    return ExportGuard<&tonemill::ConvertToBWHalftone, 0>::Call(columnPhase, rowPhase, matrix,
                                                                source, destination);
}

DECLARE_EXPORT_ORDINALS({TONEMILL_ORDINAL_ALLWHITECHECK, "icAllWhiteCheck"},
                        {TONEMILL_ORDINAL_ALLWHITECHECK_W0B1, "icAllWhiteCheck_W0B1"},
                        {TONEMILL_ORDINAL_GAMMACORRECTION, "icGammaCorrection"},
                        {TONEMILL_ORDINAL_GAMMAINV, "icGammaInv"},
                        {TONEMILL_ORDINAL_CONVERTTO256GRAY, "icImageTypeConvertTo256Gray_speed"},
                        {TONEMILL_ORDINAL_CONVERTTOBWHALFTONE,
                         "icImageTypeConvertToBWDitherHalftone_speed"});
