// Devprobe's device queries by port-information record: what a printer has
// installed and how it describes itself, over SNMP for a network device and
// from the status block of its IEEE 1284 device ID for a USB one.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "devcomm/device_columns.h"
#include "devcomm/devprobe.h"
#include "devcomm/legacy_engine.h"
#include "devcomm/snmp_walk.h"
#include "devcomm/usb_status.h"
#include "devprobe_internal.h"

namespace devprobe {

namespace {

namespace col = devcomm::columns;
using devcomm::Probe;
using devcomm::UsbStatus;
using devcomm::WalkEnd;

constexpr std::size_t kMaxTrayName = 32;   // longer names are not copied
constexpr std::size_t kMaxUsbIdField = 32; // manufacturer and model must be shorter
// Needed sizes travel in 16 bits: no more records than that can count.
constexpr int kMaxRecords = 0xFFFF / static_cast<int>(sizeof(TrayInfo));

// USB status block: bytes and bits the queries read.
constexpr std::size_t kUsbTrays = 0;
constexpr BYTE kUsbTrayBits = 0x3F;
constexpr BYTE kUsbLargeCapacityTray = 0x10;
constexpr std::size_t kUsbUnits = 1;
constexpr BYTE kUsbInnerBin2 = 0x01;
constexpr BYTE kUsbDuplex = 0x04;
constexpr std::size_t kUsbPunch = 2;
constexpr BYTE kUsbPunchUnit = 0x04;
constexpr std::size_t kUsbMemory = 5; // 16 bits, big-endian
constexpr std::size_t kUsbHardDisk = 77;
constexpr std::size_t kUsbSpooler = 81;
constexpr std::size_t kUsbOutput = 95;
constexpr BYTE kUsbOuterTray = 0x01;
constexpr BYTE kUsbFinisher = 0x06;

constexpr long kDiskHard = 3;       // hrDiskStorageMedia hardDisk
constexpr long kDuplexLongEdge = 3; // prtMediaPathType
constexpr long kDuplexShortEdge = 4;
constexpr long kPunchBits = 0x3C;
constexpr long kSpoolerPresent = 4;
constexpr char kFinisherCode[] = "LT-QN510";
constexpr char kOuterTrayCode[] = "LT-VR310";
constexpr char kLargeCapacityTrayName[] = "LCT";
constexpr char kInnerBin2Name[] = "Inner 2";

long Integer(const SnmpVarbindEntry& e) {
    return devcomm::EntryInteger(e);
}
std::string Text(const SnmpVarbindEntry& e) {
    return devcomm::EntryText(e);
}

bool AnyByte(const UsbStatus& s, std::size_t first, std::size_t count) {
    for (std::size_t i = first; i < first + count; ++i)
        if (s.Byte(i)) return true;
    return false;
}

// Sizes are 16-bit.
std::size_t SizeOf(int size) {
    return static_cast<std::size_t>(static_cast<unsigned>(size) & 0xFFFF);
}

// Runs the SNMP or the USB variant by the record's connection; 0 otherwise.
template <class Snmp, class Usb> int Dispatch(const SelPortInfo* info, Snmp snmp, Usb usb) {
    if (!info) return 0;
    if (info->connection == SELPORT_CONNECTION_NETWORK) {
        if (info->kind != SELPORT_KIND_FULL) return 0;
        char address[sizeof info->address + 1] = {};
        std::memcpy(address, info->address, sizeof info->address);
        return address[0] ? snmp(address) : 0;
    }
    if (info->connection == SELPORT_CONNECTION_USB) {
        char port[sizeof info->portName + 1] = {};
        std::memcpy(port, info->portName, sizeof info->portName);
        UsbStatus status;
        return devcomm::ReadUsbStatusBlock(port, &status) ? usb(status) : 0;
    }
    return 0;
}

// The first INTEGER row of the column that `match` accepts.
bool WalkFor(const char* host, const SnmpColumnRow& column, bool (*match)(long), long* value) {
    bool found = false;
    devcomm::WalkColumns(host, &column, 1, [&](const SnmpRequestRecord& reply) {
        if (!match(Integer(reply.entries[0]))) return true;
        *value = Integer(reply.entries[0]);
        found = true;
        return false;
    });
    return found;
}

// Rows of a column, or 0 when the walk fails.
int CountRows(const char* host, const SnmpColumnRow& column) {
    int rows = 0;
    if (devcomm::WalkColumns(host, &column, 1, [&](const SnmpRequestRecord&) {
            return ++rows, true;
        }) != WalkEnd::EndOfColumn)
        return 0;
    return rows;
}

// The first `count` entries of a column (fewer when it ends early).
std::vector<SnmpVarbindEntry> FirstRows(const char* host, const SnmpColumnRow& column, int count) {
    std::vector<SnmpVarbindEntry> rows;
    if (count <= 0) return rows;
    devcomm::WalkColumns(host, &column, 1, [&](const SnmpRequestRecord& reply) {
        rows.push_back(reply.entries[0]);
        return static_cast<int>(rows.size()) < count;
    });
    return rows;
}

// Text with the needed size counted without a terminator; the buffer is
// cleared first, so one larger than the text ends with a NUL.
int CopyCountedText(const std::string& text, int size, LPSTR buffer, WORD* needed,
                    int sizeQuestionAnswer) {
    if (needed) *needed = static_cast<WORD>(text.size());
    if (!buffer || SizeOf(size) == 0) return sizeQuestionAnswer;
    if (SizeOf(size) < text.size()) return 0;
    std::memset(buffer, 0, SizeOf(size));
    std::memcpy(buffer, text.data(), text.size());
    return 1;
}

// A model code, counted and copied with its terminator.
int CopyCode(const char* code, int size, LPSTR buffer, WORD* needed) {
    const std::size_t bytes = std::strlen(code) + 1;
    if (needed) *needed = static_cast<WORD>(bytes);
    if (!buffer || SizeOf(size) < bytes) return 0;
    std::memcpy(buffer, code, bytes);
    return 1;
}

// Tray or bin records from the capacity and name columns; count rows.
int SnmpTrayRecords(const char* host, int count, const SnmpColumnRow& capacity,
                    const SnmpColumnRow& name, int size, TrayInfo* buffer, WORD* needed) {
    if (count <= 0 || count > kMaxRecords) return 0;
    const std::size_t bytes = sizeof(TrayInfo) * static_cast<std::size_t>(count);
    if (needed) *needed = static_cast<WORD>(bytes);
    if (!buffer || SizeOf(size) < bytes) return 0;
    std::vector<SnmpVarbindEntry> capacities = FirstRows(host, capacity, count);
    std::vector<SnmpVarbindEntry> names = FirstRows(host, name, count);
    std::memset(buffer, 0, SizeOf(size));
    for (int i = 0; i < count; ++i) {
        TrayInfo& tray = buffer[i];
        if (static_cast<std::size_t>(i) < capacities.size())
            tray.maxCapacity = static_cast<DWORD>(Integer(capacities[static_cast<std::size_t>(i)]));
        if (static_cast<std::size_t>(i) < names.size()) {
            std::string text = Text(names[static_cast<std::size_t>(i)]);
            if (text.size() <= kMaxTrayName && text.find('\0') == std::string::npos) {
                std::memcpy(tray.name, text.c_str(), text.size() + 1);
                tray.found = 1;
            }
        }
    }
    return 1;
}

// One record of a unit the USB status block reports, or none.
int UsbUnitRecord(bool installed, const char* name, int size, TrayInfo* buffer, WORD* needed) {
    if (needed) *needed = installed ? sizeof(TrayInfo) : 0;
    if (installed && buffer && SizeOf(size) >= sizeof(TrayInfo)) {
        std::memset(buffer, 0, sizeof(TrayInfo));
        buffer->found = 1;
        std::memcpy(buffer->name, name, std::strlen(name) + 1);
    }
    return 1;
}

// A device-ID field shorter than 32 characters, the long key first.
bool ShortField(const devcomm::DeviceId& id, const char* longKey, const char* shortKey,
                std::string* value) {
    for (const char* key : {longKey, shortKey}) {
        auto v = id.Field(key);
        if (v && v->size() < kMaxUsbIdField) {
            value->assign(*v);
            return true;
        }
    }
    return false;
}

} // namespace

} // namespace devprobe

using namespace devprobe;

DLLEXPORT int WINAPI MPGetHddUnit(SelPortInfo* info) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [](const char* host) {
                long v;
                return WalkFor(
                           host, col::kDiskStorageMedia, [](long x) { return x == kDiskHard; }, &v)
                           ? 1
                           : 0;
            },
            [](const UsbStatus& s) { return AnyByte(s, kUsbHardDisk, 4) ? 1 : 0; });
    });
}

DLLEXPORT short WINAPI MPGetMaxTray(SelPortInfo* info) {
    return Guard<short>(0, [&] {
        return static_cast<short>(Dispatch(
            info,
            [](const char* host) { return std::min(CountRows(host, col::kInputType), 0x7FFF); },
            [](const UsbStatus& s) {
                return std::popcount(static_cast<unsigned>(s.Byte(kUsbTrays) & kUsbTrayBits));
            }));
    });
}

DLLEXPORT int WINAPI MPGetDupUnit(SelPortInfo* info) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [](const char* host) {
                long v;
                return WalkFor(
                           host, col::kMediaPathType,
                           [](long x) { return x == kDuplexLongEdge || x == kDuplexShortEdge; }, &v)
                           ? 1
                           : 0;
            },
            [](const UsbStatus& s) { return (s.Byte(kUsbUnits) & kUsbDuplex) ? 1 : 0; });
    });
}

DLLEXPORT int WINAPI MPGetMemSize(SelPortInfo* info) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [](const char* host) {
                SnmpVarbindEntry e{};
                return devcomm::ProbeColumn(host, SNMP_PDU_GET, col::kMemorySize, &e) ==
                               Probe::Found
                           ? static_cast<int>(Integer(e))
                           : 0;
            },
            [](const UsbStatus& s) {
                return (int{s.Byte(kUsbMemory)} << 8) | s.Byte(kUsbMemory + 1);
            });
    });
}

DLLEXPORT int WINAPI MPGetFinisherUnit(SelPortInfo* info, int size, LPSTR buffer, WORD* needed) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [&](const char* host) {
                SnmpVarbindEntry e{};
                switch (devcomm::ProbeColumn(host, SNMP_PDU_GETNEXT, col::kFinisherText, &e)) {
                case Probe::Found:
                    return CopyCountedText(Text(e), size, buffer, needed, 1);
                case Probe::Failed:
                    return 0;
                default:
                    break;
                }
                // No finisher: an output bin named "Outer" is the outer tray.
                int result = 0;
                const std::string outer = String(IDS_DEVPROBE_OUTER_BIN);
                if (devcomm::WalkColumns(host, &col::kOutputName, 1,
                                         [&](const SnmpRequestRecord& reply) {
                                             if (Text(reply.entries[0]) != outer) return true;
                                             const std::size_t bytes = sizeof kOuterTrayCode;
                                             if (needed) *needed = static_cast<WORD>(bytes);
                                             // Copied only into a buffer that holds it; a size
                                             // question is answered.
                                             if (buffer && SizeOf(size) >= bytes) {
                                                 std::memcpy(buffer, kOuterTrayCode, bytes);
                                                 result = 1;
                                             } else if (!buffer || SizeOf(size) == 0) {
                                                 result = 1;
                                             }
                                             return true;
                                         }) == WalkEnd::Failed)
                    return 0;
                return result;
            },
            [&](const UsbStatus& s) {
                const BYTE output = s.Byte(kUsbOutput);
                if (output & kUsbFinisher) return CopyCode(kFinisherCode, size, buffer, needed);
                if (output & kUsbOuterTray) return CopyCode(kOuterTrayCode, size, buffer, needed);
                return 0;
            });
    });
}

DLLEXPORT int WINAPI MPGetSysDescr(SelPortInfo* info, int size, LPSTR buffer, WORD* needed) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [&](const char* host) {
                SnmpVarbindEntry e{};
                if (devcomm::ProbeColumn(host, SNMP_PDU_GETNEXT, col::kSysDescr, &e) !=
                    Probe::Found)
                    return 0;
                return CopyCountedText(Text(e), size, buffer, needed, 1);
            },
            [&](const UsbStatus& s) {
                std::string maker, model;
                if (!ShortField(s.id, "MANUFACTURER", "MFG", &maker) ||
                    !ShortField(s.id, "MODEL", "MDL", &model))
                    return 0;
                return CopyCountedText(maker + " " + model, size, buffer, needed, 0);
            });
    });
}

DLLEXPORT int WINAPI MPGetPunchCap(SelPortInfo* info) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [](const char* host) {
                long v = 0;
                return WalkFor(
                           host, col::kPunchCapability,
                           [](long x) { return (x & kPunchBits) != 0; }, &v)
                           ? static_cast<int>(v)
                           : 0;
            },
            [](const UsbStatus& s) { return (s.Byte(kUsbPunch) & kUsbPunchUnit) ? 1 : 0; });
    });
}

DLLEXPORT int WINAPI MPGetSpoolerType(SelPortInfo* info) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [](const char* host) {
                SnmpVarbindEntry e{};
                return devcomm::ProbeColumn(host, SNMP_PDU_GET, col::kSpoolerType, &e) ==
                                   Probe::Found &&
                               Integer(e) == kSpoolerPresent
                           ? 1
                           : 0;
            },
            [](const UsbStatus& s) { return AnyByte(s, kUsbSpooler, 4) ? 1 : 0; });
    });
}

DLLEXPORT int WINAPI MPGetTrayInfo(SelPortInfo* info, int size, TrayInfo* buffer, WORD* needed) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [&](const char* host) {
                return SnmpTrayRecords(host, CountRows(host, col::kInputType),
                                       col::kInputMaxCapacity, col::kInputName, size, buffer,
                                       needed);
            },
            [&](const UsbStatus& s) {
                return UsbUnitRecord((s.Byte(kUsbTrays) & kUsbLargeCapacityTray) != 0,
                                     kLargeCapacityTrayName, size, buffer, needed);
            });
    });
}

DLLEXPORT short WINAPI MPGetMaxOutputTray(SelPortInfo* info) {
    return Guard<short>(0, [&] {
        return static_cast<short>(Dispatch(
            info,
            [](const char* host) {
                return std::min(CountRows(host, col::kOutputMaxCapacity), 0x7FFF);
            },
            [](const UsbStatus& s) {
                const BYTE output = s.Byte(kUsbOutput);
                return 1 + ((s.Byte(kUsbUnits) & kUsbInnerBin2) ? 1 : 0) +
                       ((output & kUsbOuterTray) ? 1 : 0) + ((output & kUsbFinisher) ? 1 : 0);
            }));
    });
}

DLLEXPORT int WINAPI MPGetOutputTrayInfo(SelPortInfo* info, int size, TrayInfo* buffer,
                                         WORD* needed) {
    return Guard(0, [&] {
        return Dispatch(
            info,
            [&](const char* host) {
                // The number of bins comes from the older column count.
                return SnmpTrayRecords(host, GetMaxOutputTray(host), col::kOutputMaxCapacity,
                                       col::kOutputName, size, buffer, needed);
            },
            [&](const UsbStatus& s) {
                return UsbUnitRecord((s.Byte(kUsbUnits) & kUsbInnerBin2) != 0, kInnerBin2Name, size,
                                     buffer, needed);
            });
    });
}
