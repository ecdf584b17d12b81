// A real SNMP agent for tests: Debian's snmpd on 127.0.0.1 at a free
// unprivileged port, with a generated configuration in the test's machine
// root that reads no system configuration and serves only a narrow view.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace snmp_testing {

struct SnmpdConfig {
    std::string community = "quince";
    // Subtrees of the only view the community may read.
    std::vector<std::string> views;
    // Fixed values: {oid, "octet_str \"text\"" or "integer 5" ...}.
    std::vector<std::pair<std::string, std::string>> overrides;
    // Tables served by a pass script: rows "oid|type|value" in identifier
    // order (type: integer, string, gauge, counter, timeticks, objectid, ipaddress);
    // the script sleeps `delayMs` before every answer.
    struct Pass {
        std::string root;
        std::vector<std::string> rows;
        int delayMs = 0;
        // snmpd's registration priority (lower wins); 0 keeps snmpd's default,
        // under which its own modules answer their objects first.
        int priority = 0;
    };
    std::vector<Pass> passes;
};

class SnmpdAgent {
  public:
    SnmpdAgent() = default;
    SnmpdAgent(const SnmpdAgent&) = delete;
    SnmpdAgent& operator=(const SnmpdAgent&) = delete;
    ~SnmpdAgent() { Stop(); }

    // Starts snmpd and waits until it answers. false (with Log()) when it does not.
    bool Start(const SnmpdConfig& config);
    void Stop();
    std::uint16_t Port() const { return port_; }
    std::string Log() const;

  private:
    bool StartOnce(const SnmpdConfig& config, const std::string& dir);
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string dir_;
};

// A free UDP port on 127.0.0.1 (host byte order).
std::uint16_t FreeUdpPort();

} // namespace snmp_testing
