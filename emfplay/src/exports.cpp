// Metaweave's exports and its library entry, each entered through the
// package's export barrier.
#include "emf_job.h"
#include "emfplay/metaweave.h"
#include "export_barrier.h"
#include "localize.h"
#include "rcb_export.h"
#include "win/base.h"
#include "win/loader.h"

namespace {

DWORD UpdateOwnRcbFile(HMODULE module) {
    return sheetwright::UpdateRCBFileOfModule(module ? module : metaweave::MetaweaveModule());
}

} // namespace

#define METAWEAVE_EXPORT DLLEXPORT

DECLARE_EXPORT_ORDINALS({METAWEAVE_ORDINAL_ZORPRINTEMF, "ZORPrintEMF"},
                        {METAWEAVE_ORDINAL_UPDATERCBFILE, "UpdateRCBFile"});

METAWEAVE_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    return export_barrier::RunGuarded<BOOL>(FALSE, [&] {
        metaweave::SetAttachState(instance, metaweave::ComputeVersionWord());
        return TRUE;
    });
}

METAWEAVE_EXPORT DWORD WINAPI ZORPrintEMF(EmfJobRecord* record, ModelBlock* model) {
    // 1 when the job was replayed: a failure inside answers 0, never an error
    // number that would read as a result.
    return export_barrier::ExportGuard<&metaweave::PrintEmf>::Call(record, model);
}

METAWEAVE_EXPORT DWORD WINAPI UpdateRCBFile(HMODULE module) {
    return export_barrier::ExportGuard<&UpdateOwnRcbFile, FALSE>::Call(module);
}
