// The table columns and objects that the device queries, the pre-print check
// and the department-code query ask a printer's agent for (MIB-II, Host
// Resources, Printer MIB and the private enterprise arc).
#pragma once

#include "devcomm/oid_resources.h"
#include "devcomm/snmp_client.h"

namespace devcomm::columns {

#define DEVCOMM_PRINTER_MIB "1.3.6.1.2.1.43"

// Installed options and the device's description.
inline constexpr SnmpColumnRow kDiskStorageMedia{SNMP_TYPE_INTEGER, "1.3.6.1.2.1.25.3.6.1.2"};
inline constexpr SnmpColumnRow kInputType{SNMP_TYPE_INTEGER, DEVCOMM_PRINTER_MIB ".8.2.1.2"};
inline constexpr SnmpColumnRow kMediaPathType{SNMP_TYPE_INTEGER, DEVCOMM_PRINTER_MIB ".13.4.1.9"};
inline constexpr SnmpColumnRow kMemorySize{SNMP_TYPE_INTEGER, "1.3.6.1.2.1.25.2.2.0"};
inline constexpr SnmpColumnRow kFinisherText{SNMP_TYPE_OCTETSTRING,
                                             DEVCOMM_PRIVATE_ARC ".405.1.6.10.1.1.9"};
inline constexpr SnmpColumnRow kSysDescr{SNMP_TYPE_OCTETSTRING, "1.3.6.1.2.1.1.1"};
inline constexpr SnmpColumnRow kPunchCapability{SNMP_TYPE_INTEGER,
                                                DEVCOMM_PRIVATE_ARC ".405.1.6.4.2.1.12.1"};
inline constexpr SnmpColumnRow kSpoolerType{SNMP_TYPE_INTEGER,
                                            DEVCOMM_PRIVATE_ARC ".402.1.1.2.1.3.2"};
inline constexpr SnmpColumnRow kInputMaxCapacity{SNMP_TYPE_INTEGER,
                                                 DEVCOMM_PRINTER_MIB ".8.2.1.9.1"};
inline constexpr SnmpColumnRow kInputName{SNMP_TYPE_OCTETSTRING, DEVCOMM_PRINTER_MIB ".8.2.1.13.1"};
inline constexpr SnmpColumnRow kOutputMaxCapacity{SNMP_TYPE_INTEGER,
                                                  DEVCOMM_PRINTER_MIB ".9.2.1.4.1"};
inline constexpr SnmpColumnRow kOutputName{SNMP_TYPE_OCTETSTRING, DEVCOMM_PRINTER_MIB ".9.2.1.7.1"};

// The pre-print check: the device's status, its trays and its alerts.
inline constexpr SnmpColumnRow kDeviceStatus{SNMP_TYPE_INTEGER, "1.3.6.1.2.1.25.3.2.1.5"};
inline constexpr SnmpColumnRow kInputTrayName{SNMP_TYPE_OCTETSTRING,
                                              DEVCOMM_PRINTER_MIB ".8.2.1.13"};
inline constexpr SnmpColumnRow kInputTrayPaper{SNMP_TYPE_INTEGER,
                                               DEVCOMM_PRIVATE_ARC ".405.1.6.3.2.1.4"};
inline constexpr SnmpColumnRow kInputCurrentLevel{SNMP_TYPE_INTEGER,
                                                  DEVCOMM_PRINTER_MIB ".8.2.1.10"};
inline constexpr SnmpColumnRow kAlertGroup{SNMP_TYPE_INTEGER, DEVCOMM_PRINTER_MIB ".18.1.1.4"};
inline constexpr SnmpColumnRow kAlertGroupIndex{SNMP_TYPE_INTEGER, DEVCOMM_PRINTER_MIB ".18.1.1.5"};
inline constexpr SnmpColumnRow kAlertCode{SNMP_TYPE_INTEGER, DEVCOMM_PRINTER_MIB ".18.1.1.7"};
inline constexpr SnmpColumnRow kColorant{SNMP_TYPE_INTEGER,
                                         DEVCOMM_PRIVATE_ARC ".405.1.11.2.1.1.2"};

// Department codes.
inline constexpr SnmpColumnRow kDeptCodeMode{SNMP_TYPE_INTEGER, DEVCOMM_PRIVATE_ARC ".402.2.1.7"};
inline constexpr SnmpColumnRow kDeptCodeStatus{SNMP_TYPE_OCTETSTRING,
                                               DEVCOMM_PRIVATE_ARC ".402.2.3.1.2"};

} // namespace devcomm::columns
