// Metaweave's exports and its library entry.
#include "emf_job.h"
#include "localize.h"
#include "win/base.h"
#include "win/loader.h"

#define METAWEAVE_EXPORT DLLEXPORT

DECLARE_EXPORT_ORDINALS({1, "ZORPrintEMF"}, {2, "UpdateRCBFile"});

METAWEAVE_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        metaweave::SetAttachState(instance, metaweave::ComputeVersionWord());
    return TRUE;
}

METAWEAVE_EXPORT DWORD WINAPI ZORPrintEMF(metaweave::EmfJobRecord* record,
                                          metaweave::ModelBlock* model) {
    return metaweave::PrintEmf(record, model);
}

METAWEAVE_EXPORT DWORD WINAPI UpdateRCBFile(HMODULE module) {
    return sheetwright::UpdateRCBFileOfModule(module ? module : metaweave::MetaweaveModule());
}
