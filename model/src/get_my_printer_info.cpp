// Dispatch of the model queries by code.
#include <new>

#include "model/modelsmith.h"
#include "query.h"

namespace model {
namespace {

DWORD Dispatch(const Query& q) {
    switch (q.code) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 10: case 11: case 14: case 15: case 16: case 17:
        return AnswerString(q);
    case 7: return AnswerComponents(q);
    case 18: return AnswerLinks(q);
    case 20: return AnswerPapers(q);
    case 21: case 75: return AnswerPaperLimits(q);
    case 22: return AnswerMediaTypes(q);
    case 24: return AnswerTrays(q);
    case 25: return AnswerInstallable(q);
    case 26: return AnswerFeeders(q);
    case 27: return AnswerFinishers(q);
    case 32: return AnswerCode32(q);
    case 33: return AnswerCode33(q);
    case 34: return AnswerBins(q);
    case 35: return AnswerHardDisk(q);
    case 36: return AnswerMemory(q);
    case 37: return AnswerOptionDirectory(q);
    case 39: return AnswerFonts(q);
    case 41: return AnswerResolutions(q);
    case 42: return AnswerQualities(q);
    case 43: return AnswerMatrices(q);
    case 46: return AnswerCode46(q);
    case 47: return AnswerHalftones(q);
    case 51: return AnswerModelNames(q);
    case 53: return AnswerJobSetup(q);
    case 65: return AnswerPjl(q);
    case 69: return AnswerCode69(q);
    case 70: return AnswerResourceIds(q);
    case 71: return AnswerPorts(q);
    case 76: return AnswerKeys(q);
    case 95: return AnswerRulePairs(q);
    default:
        if (q.code >= 80 && q.code <= 94) return AnswerIdLists(q);
        return AnswerFixed(q);
    }
}

} // namespace

DWORD Answer(const ModelFile& f, int code, int index, int layout, void* out, DWORD* length, DWORD* count) {
    try {
        Query q{f, code, index, layout, static_cast<std::uint8_t*>(out), length, count};
        return Dispatch(q);
    } catch (const Malformed&) {
        return ERROR_NOT_SUPPORTED;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_NOT_SUPPORTED;
    }
}

DWORD GetMyPrinterInfo(const void* modelData, int code, int index, int layout, void* out, DWORD* length,
                       DWORD* count) {
    if (!length) return ERROR_INVALID_PARAMETER;
    ModelFile f(nullptr, 0);
    if (DWORD r = OpenModelFile(modelData, &f)) return r;
    return Answer(f, static_cast<std::int16_t>(code), static_cast<std::int16_t>(index), layout, out, length, count);
}

} // namespace model
