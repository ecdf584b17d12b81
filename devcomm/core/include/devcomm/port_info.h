// The port-information record: how the device behind a printer's port is
// reached (a network address, or the USB port itself), and the lookups that
// find a port's address through its monitor.
#pragma once

#include <cstddef>
#include <string>

#include "win/types.h"

// Allocated with GlobalAlloc(GMEM_ZEROINIT) by the library that makes it and
// freed by the caller with GlobalFree. A short record (kind 1) ends after the
// port name.
struct SelPortInfo {
    INT kind;       // 2 full record, 1 short record
    INT connection; // 3 network, 2 USB
    CHAR portName[128];
    CHAR address[128]; // full records only: the device's address text
};
static_assert(sizeof(SelPortInfo) == 264);
static_assert(offsetof(SelPortInfo, connection) == 4 && offsetof(SelPortInfo, portName) == 8);
static_assert(offsetof(SelPortInfo, address) == 136);

#define SELPORT_KIND_SHORT 1
#define SELPORT_KIND_FULL 2
#define SELPORT_SHORT_SIZE 136
#define SELPORT_FULL_SIZE 264
#define SELPORT_CONNECTION_USB 2
#define SELPORT_CONNECTION_NETWORK 3

namespace devcomm {

// The Windows version classes of the port lookup: 1 Windows 9x 4.x, 2 NT 4,
// 4 NT 5.0, 8 NT 5.1 and 5.2, 16 anything else.
int WindowsVersionClass();

// The value names a port's monitor key is read by, in order; `third` may be
// nullptr.
struct PortValueNames {
    const char* first;
    const char* second;
    const char* third;
};
// The names for a Windows version class.
PortValueNames PortValueNamesFor(int windowsClass);

// Finds the port's key below the monitors' key and reads its address; a host
// name is resolved to its first IPv4 address. false when nothing is found.
bool LookupPortAddress(const char* portName, const PortValueNames& names, std::string* address);

// Four decimal numbers 0 to 255 separated by single dots, 7 to 15 characters.
bool IsDottedAddress(const char* text);

// The first IPv4 address of a host name as "%u.%u.%u.%u".
bool ResolveToDotted(const char* hostName, std::string* dotted);

// Asks the port's monitor for "IPAddress" through the spooler's transceive
// call. serverName may be empty (the local spooler).
bool QueryXcvAddress(const std::u16string& serverName, const std::u16string& portName,
                     std::u16string* answer);

// Makes a record for the port. acceptUsb: ports named "USB..." (at least four
// characters) become USB records when no address is found.
SelPortInfo* MakeSelPortInfo(const char* portName, int kind, bool acceptUsb);

} // namespace devcomm

// The port-information record for a port name (kind 0 or 2 full, 1 short),
// exported alike by Devprobe, Gatekeep and Tallyport and declared once here.
DLLEXPORT SelPortInfo* WINAPI MPMakeSelPortInfo(LPCSTR portName, int kind);
typedef decltype(&MPMakeSelPortInfo) PFN_MPMakeSelPortInfo;
