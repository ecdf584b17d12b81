// The PJL job header and trailer of the older driver generation.
#include <cstring>
#include <string>

#include "devcomm/devprobe.h"
#include "devcomm/port_info.h"
#include "devprobe_internal.h"
#include "win/base.h"

namespace devprobe {

namespace {

constexpr std::size_t kMaxNameBytes = 80;

bool LeadByte(unsigned char c) {
    return IsDBCSLeadByte(c) != FALSE;
}

// Everything after the last backslash; a trail byte of a double-byte
// character is no separator.
std::string AfterLastBackslash(const std::string& text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (text[i] == '\\') start = i + 1;
    }
    return text.substr(start);
}

// At most `limit` bytes without splitting a double-byte character.
std::string CutTo(const std::string& text, std::size_t limit) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t n =
            LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
        if (i + n > limit) break;
        i += n;
    }
    return text.substr(0, i);
}

} // namespace

std::string PjlQuotedValue(const std::string& text) {
    // Inside a PJL quoted value a quotation mark would end the value and a
    // control character (CR, LF, ESC) start a new command: neither may pass.
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (LeadByte(c) && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (LeadByte(c)) break; // a lead byte without its trail byte
        if (c == '"')
            out += '\'';
        else if (c < 0x20 || c == 0x7f)
            out += ' ';
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string PjlName(const char* text) {
    return PjlQuotedValue(CutTo(AfterLastBackslash(text ? text : ""), kMaxNameBytes));
}

} // namespace devprobe

DLLEXPORT int WINAPI GetPJLData_w9x_32(LPCSTR documentName, int nup, PjlJobData* buffer, DWORD size,
                                       DWORD* needed, int* headerOffset, int* trailerOffset) {
    return devprobe::Guard(0, [&] {
        char user[257] = {};
        DWORD userLength = sizeof user;
        if (!GetUserNameA(user, &userLength)) user[0] = '\0';
        char computer[MAX_PATH] = {};
        DWORD computerLength = sizeof computer;
        if (!GetComputerNameA(computer, &computerLength)) computer[0] = '\0';
        const char* host = computer;
        while (*host == '\\')
            ++host;
        std::string address;
        if (!devcomm::ResolveToDotted(host, &address)) address.clear();

        const std::string document = devprobe::PjlName(documentName);
        const std::string owner = devprobe::PjlName(user);
        const std::string uel = "\x1b%-12345X";
        std::string header = uel + "@PJL JOB NAME=\"" + document + "\"\r\n" +
                             "@PJL SET LOG_NUP=" + std::to_string(nup) + "\r\n" +
                             "@PJL JOB OWNER=\"" + owner + "\"\r\n" + "@PJL SET HOSTIP=" + address +
                             "\r\n" + "@PJL ENTER LANGUAGE=GDI\r\n";
        std::string trailer = uel + "@PJL EOJ=\"" + document + "\"\r\n" + uel;

        const DWORD total = static_cast<DWORD>(header.size() + trailer.size() + 34);
        if (needed) *needed = total;
        if (!buffer || size < total) return 0;
        auto* bytes = reinterpret_cast<char*>(buffer);
        std::memset(bytes, 0, total);
        const std::size_t headerAt = sizeof(PjlJobData);
        const std::size_t trailerAt = headerAt + header.size() + 10;
        std::memcpy(bytes + headerAt, header.data(), header.size());
        std::memcpy(bytes + trailerAt, trailer.data(), trailer.size());
        buffer->header = bytes + headerAt;
        buffer->trailer = bytes + trailerAt;
        buffer->headerLength = static_cast<DWORD>(header.size());
        buffer->trailerLength = static_cast<DWORD>(trailer.size());
        if (headerOffset) *headerOffset = static_cast<int>(headerAt);
        if (trailerOffset) *trailerOffset = static_cast<int>(trailerAt);
        return 1;
    });
}
