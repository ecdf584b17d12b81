#include "snmpd_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "devcomm/snmp_message.h"
#include "platform_testing/fresh_root.h"

namespace snmp_testing {

namespace {

// Answers snmpd's pass protocol (-g OID: that object; -n OID: the next one)
// from the rows below it.
const char* kPassScript = R"(#!/bin/sh
[ "%DELAY%" != 0 ] && sleep %DELAY%
mode=$1; req=$2
awk -v mode="$mode" -v req="$req" '
function cmp(a, b,   x, y, n, m, i) {
  sub(/^\./, "", a); sub(/^\./, "", b)
  n = split(a, x, "."); m = split(b, y, ".")
  for (i = 1; i <= n && i <= m; i++) { if (x[i] + 0 < y[i] + 0) return -1; if (x[i] + 0 > y[i] + 0) return 1 }
  return n < m ? -1 : n > m ? 1 : 0
}
BEGIN { FS = "|" }
{ c = cmp($1, req)
  if ((mode == "-g" && c == 0) || (mode == "-n" && c > 0)) { print $1; print $2; print $3; exit } }
' <<'TABLE'
%ROWS%TABLE
)";

void Replace(std::string& s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

std::string Dotted(std::string oid) {
    if (!oid.empty() && oid[0] != '.') oid = "." + oid;
    return oid;
}

// Any answer to a GetRequest shows that the agent is up.
bool Answers(std::uint16_t port, const std::string& community) {
    SnmpVarbindEntry entry{};
    std::strcpy(entry.oid, "1.3.6.1.2.1.1.1.0");
    SnmpRequestRecord request{};
    request.pduType = SNMP_PDU_GET;
    std::strncpy(request.community, community.c_str(), sizeof request.community - 1);
    request.entryCount = 1;
    request.entries = &entry;
    std::vector<BYTE> message;
    if (!devcomm::BuildSnmpMessage(&request, 1, &message)) return false;
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    bool ok = false;
    if (::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) > 0) {
        pollfd p{fd, POLLIN, 0};
        ok = ::poll(&p, 1, 200) == 1 && (p.revents & POLLIN);
    }
    ::close(fd);
    return ok;
}

} // namespace

std::uint16_t FreeUdpPort() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
        port = ntohs(sa.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

bool SnmpdAgent::Start(const SnmpdConfig& config) {
    static int instance = 0;
    std::string dir = platform_testing::Root() + "/snmpd-" + std::to_string(++instance);
    ::mkdir(dir.c_str(), 0700);
    dir_ = dir;
    // Another test may take the port between our check and snmpd's bind: try again.
    for (int attempt = 0; attempt < 3; ++attempt)
        if (StartOnce(config, dir)) return true;
    return false;
}

bool SnmpdAgent::StartOnce(const SnmpdConfig& config, const std::string& dir) {
    Stop();
    port_ = FreeUdpPort();
    if (port_ == 0) return false;
    std::ostringstream conf;
    conf << "agentaddress udp:127.0.0.1:" << port_ << "\n";
    for (const std::string& view : config.views)
        conf << "view narrow included " << Dotted(view) << "\n";
    conf << "rocommunity " << config.community << " 127.0.0.1 -V narrow\n";
    for (const auto& [oid, value] : config.overrides)
        conf << "override " << Dotted(oid) << " " << value << "\n";
    for (std::size_t i = 0; i < config.passes.size(); ++i) {
        const auto& pass = config.passes[i];
        std::string script = kPassScript, rows;
        for (const std::string& row : pass.rows)
            rows += Dotted(row) + "\n";
        // sleep takes fractions of a second: "1.500".
        char delay[32];
        std::snprintf(delay, sizeof delay, "%d.%03d", pass.delayMs / 1000, pass.delayMs % 1000);
        Replace(script, "%DELAY%", pass.delayMs > 0 ? delay : "0");
        Replace(script, "%ROWS%", rows);
        std::string path = dir + "/pass" + std::to_string(i) + ".sh";
        std::ofstream(path) << script;
        conf << "pass ";
        if (pass.priority) conf << "-p " << pass.priority << " ";
        conf << Dotted(pass.root) << " /bin/sh " << path << "\n";
    }
    // Not named snmpd.conf: snmpd writes its persistent state under that name.
    std::string confPath = dir + "/agent.conf";
    std::ofstream(confPath) << conf.str();

    std::string logPath = dir + "/snmpd.log";
    std::string persistent = "SNMP_PERSISTENT_DIR=" + dir + "/persist";
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        FILE* log = std::fopen(logPath.c_str(), "a");
        if (log) {
            ::dup2(fileno(log), 1);
            ::dup2(fileno(log), 2);
        }
        char* env[] = {const_cast<char*>(persistent.c_str()), const_cast<char*>("MIBS="),
                       const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
        const char* args[] = {"/usr/sbin/snmpd", "-f",   "-Lo", "-C", "-c",
                              confPath.c_str(),  nullptr};
        ::execve(args[0], const_cast<char* const*>(args), env);
        ::_exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Answers(port_, config.community)) return true;
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    return false;
}

void SnmpdAgent::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int status;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
}

std::string SnmpdAgent::Log() const {
    std::ifstream in(dir_ + "/snmpd.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace snmp_testing
