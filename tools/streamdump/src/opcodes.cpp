// Opcodes of the job, page and raster frames and their payload fields.
#include "opcodes.h"

#include <cstdio>
#include <string>

namespace streamdump {
namespace {

const char* const kOffOn[] = {"off", "on"};
const char* const kDuplex[] = {"simplex", "long edge", "short edge"};
const char* const kOrientation[] = {"portrait", "landscape"};
const char* const kFeed[] = {"", "along", "across"};
const char* const kSort[] = {"none", "rotate", "shift"};
const char* const kChunk[] = {"last, final plane", "continuing, final plane", "last", "continuing"};

template <std::size_t N> FieldSpec Choice(const char* name, const char* const (&meanings)[N]) {
    return FieldSpec{name, FieldKind::U8, 1, meanings, N};
}
FieldSpec Byte(const char* name) { return FieldSpec{name, FieldKind::U8, 1, nullptr, 0}; }
FieldSpec Word(const char* name) { return FieldSpec{name, FieldKind::U16, 2, nullptr, 0}; }
FieldSpec Text(const char* name, std::size_t size) { return FieldSpec{name, FieldKind::Text, size, nullptr, 0}; }
FieldSpec Data(const char* name) { return FieldSpec{name, FieldKind::Data, 0, nullptr, 0}; }

const std::vector<OpcodeSpec>& Table() {
    static const std::vector<OpcodeSpec> table = {
        // Job setup.
        {'c', "session", {Byte("value")}},
        {'j', "job kind", {Byte("value")}},
        {'d', "data kind", {Byte("value")}},
        {'O', "copies", {Word("count")}},
        {'s', "collate", {Choice("collate", kOffOn), Choice("device copies", kOffOn)}},
        {'F', "skip blank pages", {Choice("skip", kOffOn)}},
        {'u', "duplex", {Choice("binding", kDuplex)}},
        {'v', "duplex margin", {Choice("margin", kOffOn)}},
        {'R', "duplex notice", {Choice("notice", kOffOn)}},
        {'x', "output tray", {Byte("tray")}},
        {'L', "staple", {Byte("position")}},
        {'G', "punch", {Byte("holes")}},
        {'K', "sort", {Choice("mode", kSort)}},
        {'H', "department code", {Text("code", 8)}},
        {'I', "user id", {Text("id", 8)}},
        {'N', "box id and password", {Text("box", 8), Text("password", 4)}},
        // Pages.
        {'l', "input source", {Byte("source")}},
        {'a', "x resolution", {Word("dpi")}},
        {'b', "y resolution", {Word("dpi")}},
        {'m', "feed", {Choice("direction", kFeed)}},
        {'M', "orientation", {Choice("orientation", kOrientation)}},
        {'k', "paper size", {Byte("paper")}},
        {'E', "media type", {Byte("media")}},
        {'C', "copy set start", {}},
        {'p', "page start", {}},
        {'q', "page end", {}},
        {'D', "copy set end", {}},
        // Raster.
        {'h', "raster chunk", {Choice("kind", kChunk), Data("data")}},
    };
    return table;
}

std::string Printable(const std::uint8_t* p, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n && p[i]; ++i) {
        unsigned char c = p[i];
        if (c >= 32 && c < 127 && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return "\"" + out + "\"";
}

} // namespace

const OpcodeSpec* FindOpcode(int opcode) {
    for (const OpcodeSpec& s : Table())
        if (s.opcode == opcode) return &s;
    return nullptr;
}

std::vector<Field> DecodePayload(const OpcodeSpec& spec, const std::uint8_t* payload, std::size_t size,
                                 std::string* problem) {
    std::vector<Field> fields;
    std::size_t fixed = 0;
    bool variable = false;
    for (const FieldSpec& f : spec.fields) {
        if (f.kind == FieldKind::Data) variable = true;
        else fixed += f.size;
    }
    if (size < fixed || (!variable && size != fixed)) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "payload of %zu bytes, expected %s%zu", size, variable ? "at least " : "",
                      fixed);
        *problem = buf;
        return fields;
    }
    std::size_t at = 0;
    for (const FieldSpec& f : spec.fields) {
        char buf[64];
        switch (f.kind) {
        case FieldKind::U8: {
            unsigned v = payload[at];
            if (f.meanings && v < f.meaningCount && f.meanings[v][0])
                std::snprintf(buf, sizeof buf, "%u (%s)", v, f.meanings[v]);
            else
                std::snprintf(buf, sizeof buf, "%u", v);
            fields.push_back({f.name, buf});
            at += 1;
            break;
        }
        case FieldKind::U16: {
            unsigned v = payload[at] | (static_cast<unsigned>(payload[at + 1]) << 8);
            std::snprintf(buf, sizeof buf, "%u", v);
            fields.push_back({f.name, buf});
            at += 2;
            break;
        }
        case FieldKind::Text:
            fields.push_back({f.name, Printable(payload + at, f.size)});
            at += f.size;
            break;
        case FieldKind::Data:
            std::snprintf(buf, sizeof buf, "%zu bytes", size - at);
            fields.push_back({f.name, buf});
            at = size;
            break;
        }
    }
    return fields;
}

std::string OpcodeName(int opcode) {
    const OpcodeSpec* s = FindOpcode(opcode);
    return s ? s->name : "";
}

} // namespace streamdump
