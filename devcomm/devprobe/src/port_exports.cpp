// Devprobe's port exports: the port-information record, which in this
// library also knows USB ports, and the older address lookup.
#include <cstring>
#include <string>

#include "devcomm/devprobe.h"
#include "devprobe_internal.h"

namespace {

// The older lookup's Windows classes: 1 Windows 9x 4.x, 2 NT 4, 4 NT 5.0,
// 8 everything later.
devcomm::PortValueNames OlderValueNames() {
    switch (devcomm::WindowsVersionClass()) {
    case 1:
        return devcomm::PortValueNamesFor(1);
    case 2:
        return devcomm::PortValueNamesFor(2);
    default:
        return devcomm::PortValueNamesFor(8);
    }
}

} // namespace

DLLEXPORT SelPortInfo* WINAPI MPMakeSelPortInfo(LPCSTR portName, int kind) {
    return devprobe::Guard<SelPortInfo*>(
        nullptr, [&] { return devcomm::MakeSelPortInfo(portName, kind, true); });
}

DLLEXPORT int WINAPI Get_PrinterIP(LPCSTR portName, LPSTR address) {
    return devprobe::Guard(0, [&] {
        if (!portName || !*portName || !address) return 0;
        std::string found;
        if (!devcomm::LookupPortAddress(portName, OlderValueNames(), &found) || found.size() > 15)
            return 0;
        std::memcpy(address, found.c_str(), found.size() + 1);
        return 1;
    });
}
