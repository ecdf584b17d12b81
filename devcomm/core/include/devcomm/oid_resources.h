// The object identifiers the device query libraries ask for: the private
// enterprise arc and Devprobe's "OID" resources (language 1033), each the BER
// content bytes of one identifier.
#pragma once

#include <vector>

#include "win/types.h"

namespace devcomm {

// The enterprise arc under which the devices keep their private objects.
#define DEVCOMM_PRIVATE_ARC "1.3.6.1.4.1.59172"

// Resource ids of the "OID" table.
enum OidResource : int {
    kOidSysDescr = 12001,
    kOidFinisherText = 12002,
    kOidDiskStorageMedia = 12003,
    kOidInputType = 12004,
    kOidInputMaxCapacityFirst = 12005, // .. 12012, rows 1 to 8
    kOidInputNameFirst = 12013,        // .. 12020
    kOidPunchCapability = 12021,
    kOidMediaPathType = 12022,
    kOidMemorySize = 12023,
    kOidLangFamilyFirst = 12024, // .. 12031
    kOidLangFamily = 12032,
    kOidLangLevelFirst = 12033,       // .. 12040
    kOidLangDescriptionFirst = 12041, // .. 12048
    kOidOutputMaxCapacity = 12049,
    kOidOutputMaxCapacityFirst = 12050, // .. 12057
    kOidOutputNameFirst = 12058,        // .. 12065
    kOidUserInfoUpdate = 12066,         // not shipped
    kOidDeptCodeMode = 12067,
    kOidDeptCodeStatus = 12068,
    kOidSpoolerType = 12069,
};

// The content bytes of resource `id`; false when the resource does not exist.
bool LoadOidResource(int id, std::vector<BYTE>* content);
// The dotted text of resource `id`, or nullptr.
const char* OidResourceText(int id);

} // namespace devcomm
