// Spooler files laid out by hand from the formats' offsets: a shadow file
// (names, device mode, page count) and an EMF spool file of two pages with a
// device-mode record between them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "spool_copies.h"
#include "devmode_private.h"

namespace metaweave::test {

class Bytes {
  public:
    Bytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& U16(uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Bytes& Wide(const std::u16string& s) {
        for (char16_t c : s)
            U16(c);
        return U16(0);
    }
    Bytes& Raw(const std::vector<uint8_t>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    Bytes& Zeros(size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
    void Put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    size_t size() const { return b.size(); }
    std::vector<uint8_t> b;
};

// A wide device mode: 220-byte standard part (name, spec version .. collate,
// form name, the rest) and a private part of `extra` bytes.
inline std::vector<uint8_t> WideDevmode(const std::u16string& name, short paper, uint16_t extra) {
    Bytes d;
    d.Zeros(220 + extra);
    for (size_t i = 0; i < name.size(); ++i) {
        d.b[2 * i] = static_cast<uint8_t>(name[i]);
        d.b[2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
    }
    d.b[64] = 0x01, d.b[65] = 0x04; // dmSpecVersion
    d.b[68] = 220, d.b[69] = 0;     // dmSize
    d.b[70] = static_cast<uint8_t>(extra), d.b[71] = static_cast<uint8_t>(extra >> 8);
    d.b[78] = static_cast<uint8_t>(paper); // dmPaperSize
    const char16_t form[] = u"A4";
    d.b[102] = static_cast<uint8_t>(form[0]), d.b[104] = static_cast<uint8_t>(form[1]);
    d.b[166] = 0x58, d.b[167] = 0x02; // dmLogPixels 600
    if (extra) d.b[220] = 0xAB, d.b[220 + extra - 1] = 0xCD;
    return d.b;
}

// A shadow file of the later layout: names and device mode behind the record.
inline std::vector<uint8_t> Shadow(SpoolerKind kind, uint32_t pages) {
    const bool nt4 = kind == SpoolerKind::NT4;
    Bytes s;
    s.Zeros(128);
    size_t printer = s.size();
    s.Wide(u"P1");
    size_t document = s.size();
    s.Wide(u"Report");
    size_t devmode = s.size();
    s.Raw(WideDevmode(u"P1", 9, PRIVATE_DEVMODE_SIZE));
    s.Put32(nt4 ? 32 : 36, static_cast<uint32_t>(printer));
    s.Put32(nt4 ? 20 : 24, static_cast<uint32_t>(document));
    s.Put32(nt4 ? 40 : 44, static_cast<uint32_t>(devmode));
    s.Put32(nt4 ? 84 : 88, pages);
    return s.b;
}

// A spool file: header, document name, then per page a metafile-data record
// and its end record, with a device-mode record before the second page.
inline std::vector<uint8_t>
Spool(SpoolerKind kind, uint8_t first = 0,
      const std::vector<uint8_t>& page1 = std::vector<uint8_t>(40, 0x11),
      const std::vector<uint8_t>& page2 = std::vector<uint8_t>(24, 0x22)) {
    Bytes s;
    s.U32(0x00010000).U32(0).U32(16).U32(0).Wide(u"Report");
    while (s.size() % 4)
        s.b.push_back(0);
    s.Put32(4, static_cast<uint32_t>(s.size()));
    auto page = [&](const std::vector<uint8_t>& bits) {
        if (kind == SpoolerKind::NT4) {
            s.U32(kEmriMetafile).U32(static_cast<uint32_t>(bits.size())).Raw(bits);
        } else {
            s.U32(kEmriMetafileData).U32(static_cast<uint32_t>(bits.size())).Raw(bits);
            s.U32(kEmriMetafileExt).U32(8).U32(0).U32(0);
        }
    };
    page(page1);
    auto dm = WideDevmode(u"P1", 11, PRIVATE_DEVMODE_SIZE);
    s.U32(kEmriDevmode).U32(static_cast<uint32_t>(dm.size())).Raw(dm);
    page(page2);
    if (first) s.b[0] = first;
    return s.b;
}

} // namespace metaweave::test
