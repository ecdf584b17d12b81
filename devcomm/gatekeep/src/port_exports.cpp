// Gatekeep's port-information record: network ports only.
#include "devcomm/export_guard.h"
#include "devcomm/port_info.h"

DLLEXPORT SelPortInfo* WINAPI MPMakeSelPortInfo(LPCSTR portName, int kind) {
    return devcomm::Guard<SelPortInfo*>(
        nullptr, [&] { return devcomm::MakeSelPortInfo(portName, kind, false); });
}
