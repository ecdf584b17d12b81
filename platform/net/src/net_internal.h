// Shared between the files of the Winsock stand-in.
#pragma once

#include <cstdint>

namespace platform::net {

// Whether WSAStartup has been called more often than WSACleanup.
bool Started();

// The BSD address forms a, a.b, a.b.c and a.b.c.d with decimal, octal (0...)
// and hexadecimal (0x...) parts; *address in network byte order.
bool ParseInetAddress(const char* text, std::uint32_t* address);

// Exactly four decimal parts 0 to 255 separated by single dots.
bool ParseDottedQuad(const char* text, std::uint32_t* address);

} // namespace platform::net
