// Test controls of the stand-in Winsock: name resolution without DNS and
// agents that listen on unprivileged loopback ports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::test {

// Name resolution. After ResetForTests the resolver answers only from its
// table (which knows "localhost" as 127.0.0.1), so that no test reaches DNS;
// outside tests it asks the host's resolver. Addresses are dotted IPv4 text;
// names are matched without regard to case. An empty list makes the name
// unknown (WSAHOST_NOT_FOUND).
void SetHostAddresses(const std::string& name, const std::vector<std::string>& addresses);
void ClearHostTable();
// true: answer from the table only; false: ask the host's resolver.
void UseHostTableOnly(bool tableOnly);
// What gethostname reports ("" = the host's own name).
void SetLocalHostName(const std::string& name);
// How many names were looked up (gethostbyname and getaddrinfo) since the last reset.
int HostLookupCount();

// Datagrams sent to a loopback address at port `from` go to port `to`
// instead, and answers from `to` appear to come from `from`: a test agent
// on an unprivileged port stands in for one on a well-known port.
void RedirectUdpPort(std::uint16_t from, std::uint16_t to);
void ClearUdpRedirects();

// Sockets opened through the stand-in and not yet closed.
int OpenSocketCount();

} // namespace platform::test
