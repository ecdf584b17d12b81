// The sample printer of samples/devices as snmpd serves it, in one of its
// states: the device's rows with the state's rows laid over them.
#pragma once

#include <string>
#include <vector>

#include "snmpd_agent.h"

namespace snmp_testing {

// The states the sample device has a rows file for.
std::vector<std::string> SampleDeviceStates(const std::string& device = "CX5540");
// An agent configuration that answers as the sample device in `state`.
SnmpdConfig SampleDevice(const std::string& state, const std::string& device = "CX5540");

} // namespace snmp_testing
