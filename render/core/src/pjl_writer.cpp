// The PJL header and footer lines and the comment lines.
#include <cstring>
#include <string>

#include "format_text.h"
#include "model/model_queries.h"
#include "model_access.h"
#include "output_writer.h"
#include "pdev.h"
#include "pjl.h"
#include "text_convert.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr size_t kLineBuffer = 1024;
constexpr size_t kExpandedFormat = 63;
constexpr DWORD kComponentDriverIni = 31;
constexpr size_t kComponentAnswerSize = 40;

// The format of the first line whose item and variant match, or empty.
std::string FindFormat(const ModelAnswer& formats, INT itemId, INT variant) {
    for (DWORD i = 0; i < formats.Entries(kPjlFormatEntrySize); ++i) {
        size_t e = static_cast<size_t>(i) * kPjlFormatEntrySize;
        if (static_cast<INT>(formats.U32(e)) == itemId &&
            static_cast<INT>(formats.U32(e + 4)) == variant)
            return formats.Text(e + 8, kPjlFormatTextSize);
    }
    return {};
}

// The format as it goes to the formatter: line breaks expanded where it has any.
std::string Prepared(const std::string& format, const PjlLineFrame& frame) {
    if (format.find("\\n") == std::string::npos) return format;
    return ExpandPjlLineBreaks(format.c_str(), frame.lineEnd);
}

// Writes one comment line: the text (made printable) with a closing quote and LF.
void CommentLine(PDEV* pdev, std::string text) {
    for (char& c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u != 27 && (u < 32 || u == 127)) c = ' ';
    }
    text += "\"\n";
    OutputBytes(pdev, text.data(), static_cast<DWORD>(text.size()));
}

// A value of the driver's INI file, made safe for a quoted comment.
std::string IniValue(const std::u16string& path, LPCWSTR key) {
    WCHAR value[MAX_PATH + 1] = {};
    GetPrivateProfileStringW(u"Version", key, u"", value, MAX_PATH + 1, path.c_str());
    std::string text = ToAnsi(value);
    for (char& c : text)
        if (c == '"') c = ' ';
    return text;
}

const char* SystemName(DWORD major, DWORD minor) {
    if (major == 4) return "Windows NT 4.0";
    if (major == 5 && minor == 0) return "Windows 2000";
    if (major == 5 && minor == 1) return "Windows XP";
    if (major == 5) return "Windows 2003 Server";
    return "Windows Vista";
}

} // namespace

void BuildPjlLineFrame(PDEV* pdev, PjlLineFrame* frame) {
    std::memset(frame, 0, sizeof *frame);
    std::memcpy(frame->prefix, "@PJL ", 5);
    ModelAnswer sw(pdev, model::kQueryPjlLines, 0, 1);
    bool crlf = sw.ok() && (sw.U32(0) & 0x40000000);
    std::memcpy(frame->lineEnd, crlf ? "\r\n" : "\n", crlf ? 2 : 1);
}

std::string ExpandPjlLineBreaks(const char* format, const char* lineEnd) {
    std::string out;
    size_t endLength = std::strlen(lineEnd);
    for (const char* p = format; *p && out.size() < kExpandedFormat; ++p) {
        if (p[0] == '\\' && p[1] == 'n') {
            if (out.size() + endLength <= kExpandedFormat) out += lineEnd;
            ++p;
            continue;
        }
        out += *p;
    }
    return out;
}

BOOL WritePjlLine(PDEV* pdev, const PjlLineFrame& frame, const char* format,
                  const PjlValue& value) {
    if (!value.present) return 0;
    char text[kLineBuffer];
    const char* s[6];
    for (int i = 0; i < 6; ++i)
        s[i] = value.strings[i];
    const WORD* n = value.numbers;
    switch (value.type) {
    case 1:
        FormatText(text, sizeof text, format, {s[0]});
        break;
    case 2:
        FormatText(text, sizeof text, format, {s[0], s[1]});
        break;
    case 3:
        FormatText(text, sizeof text, format, {s[0], s[1], s[2]});
        break;
    case 4:
        FormatText(text, sizeof text, format, {n[0]});
        break;
    case 5:
        FormatText(text, sizeof text, format, {n[0], n[1]});
        break;
    case 6:
        FormatText(text, sizeof text, format, {n[0], n[1], n[2]});
        break;
    case 7:
        FormatText(text, sizeof text, format, {n[0], n[1], n[2], n[3]});
        break;
    case 8:
        FormatText(text, sizeof text, format, {n[0], n[1], n[2], n[3], n[4]});
        break;
    case 9:
        FormatText(text, sizeof text, format, {n[0], n[1], n[2], n[3], n[4], n[5]});
        break;
    default:
        FormatText(text, sizeof text, format);
        break;
    }
    if (!text[0]) return 0;
    char line[kLineBuffer + 16];
    size_t length = FormatText(line, sizeof line, "%s%s%s", {frame.prefix, text, frame.lineEnd});
    return OutputBytes(pdev, line, static_cast<DWORD>(length));
}

void WritePjlComments(PDEV* pdev) {
    // The driver's version file, named by the component table.
    ModelAnswer components(pdev, model::kQueryComponents, 0, 1);
    std::u16string folder;
    for (DWORD i = 0; i < components.Entries(kComponentAnswerSize); ++i) {
        size_t e = static_cast<size_t>(i) * kComponentAnswerSize;
        if (static_cast<DWORD>(components.U16(e)) != kComponentDriverIni) continue;
        std::string name = components.Text(e + 8, 16);
        DWORD kind = components.U32(e + 4);
        if (kind == 6 || kind == 7) {
            size_t at = name.find("%s");
            if (at != std::string::npos)
                name.replace(at, 2, kind == 6 ? kPlatformCode64 : kPlatformCode32);
        }
        if (!name.empty() && GetDriverDirectory(pdev->printer, &folder)) {
            std::u16string path = folder + FromAnsi(name);
            std::string driverVersion = IniValue(path, u"DriverVersion");
            if (!driverVersion.empty())
                CommentLine(pdev, "@PJL COMMENT DriverVersion=\"" + driverVersion);
            std::string original = IniValue(path, u"OriginalVersion");
            if (!original.empty()) CommentLine(pdev, "@PJL COMMENT DriverOrgVer=\"" + original);
        }
        break;
    }
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (GetVersionExA(&v) && v.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        char build[32];
        FormatText(build, sizeof build, ";Build %d", {static_cast<long>(v.dwBuildNumber)});
        std::string line = "@PJL COMMENT OSVersion=\"";
        line += SystemName(v.dwMajorVersion, v.dwMinorVersion);
        line += build;
        std::string servicePack(v.szCSDVersion, strnlen(v.szCSDVersion, sizeof v.szCSDVersion));
        if (!servicePack.empty()) line += ";" + servicePack;
        line += ";AMD64";
        CommentLine(pdev, line);
    }
}

int WriteJobHeader(PDEV* pdev) {
    PjlLineFrame frame;
    BuildPjlLineFrame(pdev, &frame);
    {
        ModelAnswer formats(pdev, model::kQueryPjlLines, 0, 4);
        if (formats.ok()) {
            ModelAnswer items(pdev, model::kQueryPjlLines, 0, 3);
            bool comments = false;
            for (DWORD i = 0; i < items.Entries(sizeof(PjlItemEntry)); ++i) {
                PjlItemEntry item;
                std::memcpy(&item, items.data() + static_cast<size_t>(i) * sizeof item,
                            sizeof item);
                if (!comments && item.itemId > 10) {
                    WritePjlComments(pdev);
                    comments = true;
                }
                if (item.itemId >= kPjlFooterItem) continue;
                PjlValue value;
                if (!ComputePjlItem(pdev, item, &value)) continue;
                std::string format = FindFormat(formats, item.itemId, value.variant);
                if (format.empty()) continue;
                BOOL wrote = WritePjlLine(pdev, frame, Prepared(format, frame).c_str(), value);
                if (item.itemId == 121 && wrote) pdev->jobFlags |= job::CopiesLineWritten;
            }
            pdev->pjlCommentsWritten = comments;
        }
    }
    FlushOutput(pdev);
    PjlValue enter{};
    enter.present = 1;
    WritePjlLine(pdev, frame, "ENTER LANGUAGE=GDI", enter);
    return 1;
}

int WritePjlFooter(PDEV* pdev) {
    ModelAnswer formats(pdev, model::kQueryPjlLines, kPjlFooterItem, 4);
    if (!formats.ok()) return 0;
    ModelAnswer items(pdev, model::kQueryPjlLines, kPjlFooterItem, 3);
    if (items.Entries(sizeof(PjlItemEntry)) == 0) return 1;
    PjlLineFrame frame;
    BuildPjlLineFrame(pdev, &frame);
    PjlItemEntry item;
    std::memcpy(&item, items.data(), sizeof item);
    PjlValue value;
    if (!ComputePjlItem(pdev, item, &value)) return 1;
    value.present = 1;
    std::string format = FindFormat(formats, item.itemId, value.variant);
    if (!format.empty()) WritePjlLine(pdev, frame, Prepared(format, frame).c_str(), value);
    return 1;
}

} // namespace inkforge
