#include "sample_device.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "devcomm/snmp_message.h"

namespace snmp_testing {

namespace {

std::string Folder(const std::string& device) {
    return std::string(PKG_SOURCE_DIR) + "/samples/devices/" + device;
}

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

std::vector<std::uint32_t> Ids(const std::string& oid) {
    std::vector<std::uint32_t> ids;
    devcomm::ParseOidText(oid.c_str(), oid.size() + 1, &ids);
    return ids;
}

bool Under(const std::vector<std::uint32_t>& oid, const std::vector<std::uint32_t>& root) {
    return oid.size() > root.size() && std::equal(root.begin(), root.end(), oid.begin());
}

} // namespace

std::vector<std::string> SampleDeviceStates(const std::string& device) {
    std::vector<std::string> states;
    for (const auto& entry : std::filesystem::directory_iterator(Folder(device) + "/states"))
        if (entry.path().extension() == ".rows") states.push_back(entry.path().stem().string());
    std::sort(states.begin(), states.end());
    return states;
}

SnmpdConfig SampleDevice(const std::string& state, const std::string& device) {
    // Rows by identifier, in identifier order; a state's row replaces the device's.
    std::map<std::vector<std::uint32_t>, std::string> rows;
    for (const std::string& file :
         {Folder(device) + "/device.rows", Folder(device) + "/states/" + state + ".rows"})
        for (const std::string& line : Lines(file))
            rows[Ids(line.substr(0, line.find('|')))] = line;
    SnmpdConfig config;
    for (const std::string& root : Lines(Folder(device) + "/roots")) {
        config.views.push_back(root);
        SnmpdConfig::Pass pass;
        pass.root = root;
        pass.priority = 1; // before snmpd's own host and system objects
        for (const auto& [oid, line] : rows)
            if (Under(oid, Ids(root))) pass.rows.push_back(line);
        config.passes.push_back(pass);
    }
    return config;
}

} // namespace snmp_testing
