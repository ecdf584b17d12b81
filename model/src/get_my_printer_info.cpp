// Dispatch of the model queries by code.
#include <new>

#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "query.h"

namespace model {
namespace {

DWORD Dispatch(const Query& q) {
    switch (q.code) {
    case kQueryModelText1:
    case kQueryModelText2:
    case kQueryModelText3:
    case kQueryModelText4:
    case kQuerySupportFile:
    case kQueryWatermarkPrefix:
    case kQuerySupportText:
    case kQueryModelName:
    case kQueryFamilyName:
    case kQueryFirstModelName:
    case kQuerySupportText2:
    case kQuerySupportText3:
        return AnswerString(q);
    case kQueryComponents:
        return AnswerComponents(q);
    case kQuerySupportLinks:
        return AnswerLinks(q);
    case kQueryPapers:
        return AnswerPapers(q);
    case kQueryCustomPaperLimits:
    case kQueryLongPaperLimits:
        return AnswerPaperLimits(q);
    case kQueryMediaTypes:
        return AnswerMediaTypes(q);
    case kQueryPaperSources:
        return AnswerTrays(q);
    case kQueryInstallable:
        return AnswerInstallable(q);
    case kQueryTrayGroups:
        return AnswerFeeders(q);
    case kQueryFinishers:
        return AnswerFinishers(q);
    case kQueryOption32:
        return AnswerCode32(q);
    case kQueryOption33:
        return AnswerCode33(q);
    case kQueryOutputBins:
        return AnswerBins(q);
    case kQueryHardDisk:
        return AnswerHardDisk(q);
    case kQueryMemory:
        return AnswerMemory(q);
    case kQueryOptionDirectory:
        return AnswerOptionDirectory(q);
    case kQueryDeviceFonts:
        return AnswerFonts(q);
    case kQueryResolutions:
        return AnswerResolutions(q);
    case kQueryQualityModes:
        return AnswerQualities(q);
    case kQueryMatrices:
        return AnswerMatrices(q);
    case kQueryToner:
        return AnswerCode46(q);
    case kQueryHalftones:
        return AnswerHalftones(q);
    case kQueryPortModelNames:
        return AnswerModelNames(q);
    case kQueryJobSetup:
        return AnswerJobSetup(q);
    case kQueryPjlLines:
        return AnswerPjl(q);
    case kQueryToneCurves:
        return AnswerCode69(q);
    case kQueryResourceIds:
        return AnswerResourceIds(q);
    case kQueryPriorPrint:
        return AnswerPorts(q);
    case kQueryKeys:
        return AnswerKeys(q);
    case kQueryRulePairs:
        return AnswerRulePairs(q);
    default:
        if (q.code >= kQueryIdListFirst && q.code <= kQueryIdListLast) return AnswerIdLists(q);
        return AnswerFixed(q);
    }
}

} // namespace

DWORD Answer(const ModelFile& f, int code, int index, int layout, void* out, DWORD* length,
             DWORD* count) {
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

DWORD GetMyPrinterInfo(const void* modelData, int code, int index, int layout, void* out,
                       DWORD* length, DWORD* count) {
    if (!length) return ERROR_INVALID_PARAMETER;
    // The export's whole body: nothing thrown may reach the caller.
    try {
        ModelFile f(nullptr, 0);
        if (DWORD r = OpenModelFile(modelData, &f)) return r;
        return Answer(f, static_cast<std::int16_t>(code), static_cast<std::int16_t>(index), layout,
                      out, length, count);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INVALID_DATA;
    }
}

} // namespace model
