// A printer's answers to the pre-print checks as a scripted agent serves them:
// device status, trays with their paper and level, alerts and colorants.
#pragma once

#include <string>
#include <vector>

#include "devcomm/oid_resources.h"
#include "snmp_bytes.h"
#include "snmp_table_agent.h"
#include "win/types.h"

namespace pre_check_device {

using snmp_bytes::Int;
using snmp_bytes::Str;

inline const std::string kPrinter = "1.3.6.1.2.1.43";
inline const std::string kArc = DEVCOMM_PRIVATE_ARC;

struct Tray {
    const char* name;
    int devicePaper;
    int level;
};
struct Alert {
    int group, index, code;
};
struct Device {
    int status = 2;
    std::vector<Tray> trays;
    std::vector<Alert> alerts;
    std::vector<int> colorants;
};

// Driver paper codes and the device's.
constexpr SHORT kLetter = 3, kA4 = 6, kA3 = 5, kA4Turned = 15, kUnknown = 13, kEnvDl = 23;
constexpr int kDevLetter = 5, kDevA4 = 7, kDevA3 = 6, kDevA4Turned = 1007;
constexpr SHORT kAuto = 0, kBypass = 1, kTray1 = 2, kTray2 = 3, kTray4 = 5, kLct = 6;

inline snmp_testing::TableAgent Agent(const Device& d) {
    snmp_testing::TableAgent t;
    t.Set("1.3.6.1.2.1.25.3.2.1.5.1", Int(d.status));
    for (std::size_t i = 0; i < d.trays.size(); ++i) {
        std::string row = ".1." + std::to_string(i + 1);
        t.Set(kPrinter + ".8.2.1.13" + row, Str(d.trays[i].name));
        t.Set(kPrinter + ".8.2.1.10" + row, Int(d.trays[i].level));
        t.Set(kArc + ".405.1.6.3.2.1.4" + row, Int(d.trays[i].devicePaper));
    }
    for (std::size_t i = 0; i < d.alerts.size(); ++i) {
        std::string row = ".1." + std::to_string(i + 1);
        t.Set(kPrinter + ".18.1.1.4" + row, Int(d.alerts[i].group));
        t.Set(kPrinter + ".18.1.1.5" + row, Int(d.alerts[i].index));
        t.Set(kPrinter + ".18.1.1.7" + row, Int(d.alerts[i].code));
    }
    for (std::size_t i = 0; i < d.colorants.size(); ++i)
        t.Set(kArc + ".405.1.11.2.1.1.2.1." + std::to_string(i + 1), Int(d.colorants[i]));
    t.Set("1.3.6.1.6.1.1.0", Int(0)); // something past every column, as agents have
    return t;
}

} // namespace pre_check_device
