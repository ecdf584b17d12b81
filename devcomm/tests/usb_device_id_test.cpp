// The IEEE 1284 device ID reader: its length, its fields and the status block.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devcomm/usb_device_id.h"

namespace {

using devcomm::DeviceId;

std::vector<std::uint8_t> Answer(std::size_t length, const std::string& text) {
    std::vector<std::uint8_t> out(text.size() + 2);
    out[0] = std::uint8_t(length >> 8);
    out[1] = std::uint8_t(length);
    std::copy(text.begin(), text.end(), out.begin() + 2);
    return out;
}

TEST(DeviceIdLength, CheckedAgainstTheBytesReturned) {
    const std::string text = "MFG:Velmora;MDL:LP 9000;";
    struct Case {
        const char* what;
        std::vector<std::uint8_t> answer;
        std::size_t returned; // bytes of answer the device sent
        const char* parsed;   // nullptr: refused
    } cases[] = {
        {"length counts itself", Answer(text.size() + 2, text), text.size() + 2,
         "MFG:Velmora;MDL:LP 9000;"},
        {"length counts the text only", Answer(text.size(), text), text.size() + 2,
         "MFG:Velmora;MDL:LP 9000;"},
        {"cut off by the buffer", Answer(text.size() + 2, text), text.size(), nullptr},
        {"length beyond the answer", Answer(600, text), text.size() + 2, nullptr},
        {"length 1", Answer(1, text), text.size() + 2, nullptr},
        {"length 0", Answer(0, text), text.size() + 2, nullptr},
        {"empty ID", Answer(2, ""), 2, ""},
        {"bytes after the ID", Answer(6, "MFG:AB;junk"), 11, "MFG:"},
        {"NUL inside", Answer(9, std::string("MFG\0:AB", 7)), 9, "MFG"},
        {"one byte", Answer(2, ""), 1, nullptr},
        {"nothing", Answer(2, ""), 0, nullptr},
    };
    for (const Case& c : cases) {
        DeviceId id;
        bool ok = id.Parse(c.answer.data(), c.returned);
        EXPECT_EQ(ok, c.parsed != nullptr) << c.what;
        EXPECT_EQ(id.text(), c.parsed ? c.parsed : "") << c.what;
    }
    DeviceId id;
    EXPECT_FALSE(id.Parse(nullptr, 10));
}

TEST(DeviceIdFields, KeysAndValues) {
    DeviceId id;
    id.ParseText("MFG:Velmora;MANUFACTURER:Velmora Corp.;MDL:LP 9000; CMD :PJL,PCLXL;DES:MFG:Other;"
                 "junk;:orphan;mfg:lower;EMPTY:;COLON:a:b;MDL:second;CLS:PRINTER");
    struct Case {
        const char* key;
        const char* value; // nullptr: missing
    } cases[] = {
        {"MFG", "Velmora"},   {"MANUFACTURER", "Velmora Corp."},
        {"MDL", "LP 9000"},   {"CMD", "PJL,PCLXL"},
        {"DES", "MFG:Other"}, {"mfg", "lower"},
        {"EMPTY", ""},        {"COLON", "a:b"},
        {"CLS", "PRINTER"}, // no ';' at the end
        {"junk", nullptr},    {"", nullptr},
        {"MODEL", nullptr},   {"Mfg", nullptr},
    };
    for (const Case& c : cases) {
        auto value = id.Field(c.key);
        ASSERT_EQ(value.has_value(), c.value != nullptr) << c.key;
        if (value) {
            EXPECT_EQ(*value, c.value) << c.key;
        }
    }
    // Long names win over short ones; the first of equal keys counts.
    EXPECT_EQ(id.Manufacturer(), "Velmora Corp.");
    EXPECT_EQ(id.Model(), "LP 9000");
    EXPECT_EQ(id.CommandSet(), "PJL,PCLXL");
    EXPECT_EQ(id.Description(), "MFG:Other");

    DeviceId shortOnly;
    shortOnly.ParseText("DESCRIPTION:Page printer;MODEL:LP 1;COMMAND SET:PJL;MFG:V");
    EXPECT_EQ(shortOnly.Manufacturer(), "V");
    EXPECT_EQ(shortOnly.Model(), "LP 1");
    EXPECT_EQ(shortOnly.CommandSet(), "PJL");
    EXPECT_EQ(shortOnly.Description(), "Page printer");

    DeviceId copy = id; // the fields stay with their own text
    id.ParseText("");
    EXPECT_EQ(copy.Model(), "LP 9000");
    EXPECT_FALSE(id.Model().has_value());
}

TEST(Base64, Forms) {
    struct Case {
        const char* text;
        const char* decoded; // nullptr: refused
    } cases[] = {
        {"", ""},          {"TWFu", "Man"},       {"TWE=", "Ma"},
        {"TQ==", "M"},     {"TWFuTWE=", "ManMa"}, {"+/+/", "\xfb\xff\xbf"},
        {"TWF", nullptr},  {"TWFuT", nullptr},    {"T===", nullptr},
        {"TW=u", nullptr}, {"TQ==TWFu", nullptr}, {"TW u", nullptr},
        {"TW-_", nullptr}, {"====", nullptr},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out{1, 2, 3};
        bool ok = devcomm::DecodeBase64(c.text, &out);
        EXPECT_EQ(ok, c.decoded != nullptr) << c.text;
        if (ok) {
            EXPECT_EQ(std::string(out.begin(), out.end()), c.decoded) << c.text;
        } else {
            EXPECT_TRUE(out.empty()) << c.text;
        }
    }
}

TEST(UsbStatusParse, NeedsAValidStatusBlock) {
    struct Case {
        const char* id;
        const char* block; // nullptr: refused
    } cases[] = {
        {"MFG:V;FL:1;VSTATUS:TWFu", "Man"},
        {"MFG:V;FL:1;VSTATUS:TWFu;", "Man"},
        {"FL:1;VSTATUS:TWFu;MDL:X;", "Man"},
        {"VSTATUS:TQ==;FL:1", "M"},
        {"FL:1;VSTATUS:", ""},
        {"MFG:V;FL:0;VSTATUS:TWFu", nullptr},
        {"MFG:V;FL:10;VSTATUS:TWFu", nullptr},
        {"MFG:V;VSTATUS:TWFu", nullptr},
        {"MFG:V;FL:1;", nullptr},
        {"MFG:V;FL:1;VSTATUS:TWFuTWFuTW", nullptr}, // 10 characters
        {"MFG:V;FL:1;VSTATUS:TW*u", nullptr},
        {"DES:FL:1;VSTATUS:TWFu", nullptr}, // "FL:1" inside another value
    };
    for (const Case& c : cases) {
        std::string text = c.id;
        std::vector<std::uint8_t> answer = Answer(text.size() + 2, text);
        devcomm::UsbStatus status;
        bool ok = devcomm::ParseUsbStatus(answer.data(), answer.size(), &status);
        EXPECT_EQ(ok, c.block != nullptr) << c.id;
        if (ok) {
            EXPECT_EQ(std::string(status.block.begin(), status.block.end()), c.block) << c.id;
            EXPECT_EQ(status.id.text(), text);
        } else {
            EXPECT_TRUE(status.block.empty());
            EXPECT_TRUE(status.id.text().empty());
        }
    }
    // A short block reads as zeros past its end.
    devcomm::UsbStatus status;
    std::vector<std::uint8_t> answer = Answer(25, "FL:1;VSTATUS:TWFu;MDL:X");
    ASSERT_TRUE(devcomm::ParseUsbStatus(answer.data(), answer.size(), &status));
    EXPECT_EQ(status.Byte(0), 'M');
    EXPECT_EQ(status.Byte(2), 'n');
    EXPECT_EQ(status.Byte(3), 0);
    EXPECT_EQ(status.Byte(95), 0);
}

} // namespace
