// Devprobe's "OID" resources, kept as dotted text and encoded on demand.
#include "devcomm/oid_resources.h"

#include <map>
#include <string>

#include "devcomm/snmp_message.h"

namespace devcomm {

namespace {

const std::map<int, std::string>& Table() {
    static const std::map<int, std::string> table = [] {
        std::map<int, std::string> t;
        const std::string printer = "1.3.6.1.2.1.43.";
        const std::string arc = DEVCOMM_PRIVATE_ARC;
        t[kOidSysDescr] = "1.3.6.1.2.1.1.1.0";
        t[kOidFinisherText] = arc + ".405.1.6.10.1.1.9.1.1";
        t[kOidDiskStorageMedia] = "1.3.6.1.2.1.25.3.6.1.2";
        t[kOidInputType] = printer + "8.2.1.2.1.1";
        for (int n = 1; n <= 8; ++n) {
            std::string row = ".1." + std::to_string(n);
            t[kOidInputMaxCapacityFirst + n - 1] = printer + "8.2.1.9" + row;
            t[kOidInputNameFirst + n - 1] = printer + "8.2.1.13" + row;
            t[kOidLangFamilyFirst + n - 1] = printer + "15.1.1.2" + row;
            t[kOidLangLevelFirst + n - 1] = printer + "15.1.1.3" + row;
            t[kOidLangDescriptionFirst + n - 1] = printer + "15.1.1.5" + row;
            t[kOidOutputMaxCapacityFirst + n - 1] = printer + "9.2.1.4" + row;
            t[kOidOutputNameFirst + n - 1] = printer + "9.2.1.7" + row;
        }
        t[kOidPunchCapability] = arc + ".405.1.6.4.2.1.12.1";
        t[kOidMediaPathType] = printer + "13.4.1.9";
        t[kOidMemorySize] = "1.3.6.1.2.1.25.2.2.0";
        t[kOidLangFamily] = printer + "15.1.1.2.1.1";
        t[kOidOutputMaxCapacity] = printer + "9.2.1.4.1.1";
        t[kOidDeptCodeMode] = arc + ".402.2.1.7.0";
        t[kOidDeptCodeStatus] = arc + ".402.2.3.1.2.1";
        t[kOidSpoolerType] = arc + ".402.1.1.2.1.3.2";
        return t;
    }();
    return table;
}

} // namespace

const char* OidResourceText(int id) {
    auto it = Table().find(id);
    return it == Table().end() ? nullptr : it->second.c_str();
}

bool LoadOidResource(int id, std::vector<BYTE>* content) {
    const char* text = OidResourceText(id);
    if (!text) return false;
    std::vector<std::uint32_t> oid;
    return ParseOidText(text, kSnmpMaxOidText + 1, &oid) && EncodeOid(oid, content);
}

} // namespace devcomm
