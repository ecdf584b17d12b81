// What an attacker hands printhost and the package: size words and values
// that do not fit a device mode, files that are not files, a dashed line
// that runs two billion pixels off the page, and a store made while the
// driver is installed again. Each is refused with its reason or done right,
// and none crashes, hangs or loses a stored setting.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform_testing/fresh_root.h"
#include "stream_picture.h"
#include "win/devmode.h"
#include "win/spool.h"

namespace {

namespace fs = std::filesystem;

// Every command runs under a time limit far above its normal second, so
// that a hang or a walk of billions of steps fails the test instead of
// stopping the run (timeout exits 124).
int Printhost(const std::string& arguments, std::string* out, int limitSeconds = 60) {
    return platform_testing::RunCommand("timeout " + std::to_string(limitSeconds) + " '" +
                                            PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1",
                                        out);
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class HostileInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = platform_testing::Root();
        std::string out;
        ASSERT_EQ(
            Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                      &out),
            0)
            << out;
    }
    std::string root_;
};

// Size words are never set by hand; a value that does not fit its field is
// refused with the field and its range, and the stored device mode stays.
TEST_F(HostileInputTest, DevmodeValuesThatDoNotFitTheirFieldsAreRefused) {
    struct Case {
        std::string set;
        std::string message;
    } cases[] = {
        {"dmSize=255", "dmSize is the record's size and is not set by hand"},
        {"dmSize=-1", "dmSize is the record's size"},
        {"dmSize=65535", "dmSize is the record's size"},
        {"dmDriverExtra=0", "dmDriverExtra is the record's size"},
        {"dmCopies=70000", "dmCopies takes -32768 to 32767, not 70000"},
        {"dmCopies=-40000", "dmCopies takes -32768 to 32767, not -40000"},
        {"dmFields=-1", "dmFields takes 0 to 4294967295, not -1"},
        {"ZoomPercent=99999999999999999999", "ZoomPercent takes"},
        {"DeptCode=" + std::string(200, '7'), "DeptCode holds at most"},
    };
    std::string out;
    ASSERT_EQ(Printhost("devmode P --set dmCopies=3 --store", &out), 0) << out;
    for (const Case& c : cases) {
        EXPECT_EQ(Printhost("devmode P --set '" + c.set + "' --store", &out), 1) << c.set;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.set << ": " << out;
    }
    ASSERT_EQ(Printhost("devmode P", &out), 0) << out;
    EXPECT_NE(out.find("stored device mode"), std::string::npos) << out;
    EXPECT_NE(out.find("dmSize                 220 (0xdc)"), std::string::npos) << out;
    EXPECT_NE(out.find("dmCopies               3\n"), std::string::npos) << out;
}

// A folder, a pipe or a device where a file belongs: a clear error, exit 1,
// no wait and no growing read.
TEST_F(HostileInputTest, FilesTheCommandLineReadsAreFiles) {
    const std::string folder = root_ + "/a-folder";
    fs::create_directories(folder);
    const std::string zero = root_ + "/zero.prn";
    fs::create_symlink("/dev/zero", zero);
    const std::string fifo = root_ + "/pipe.prn";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Spool folders whose index is a folder, a pipe and a link to a device.
    const std::string spools[] = {root_ + "/s1", root_ + "/s2", root_ + "/s3"};
    for (const auto& s : spools)
        fs::create_directories(s);
    fs::create_directories(spools[0] + "/VLM50001.SPL");
    ASSERT_EQ(::mkfifo((spools[1] + "/VLM50001.SPL").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", spools[2] + "/VLM50001.SPL");
    struct Case {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"decode '" + folder + "'", "it is a folder, not a file"},
        {"decode '" + zero + "'", "it is a device, not a file"},
        {"decode '" + fifo + "'", "it is a pipe, not a file"},
        {"model '" + folder + "'", "it is a folder, not a file"},
        {"model '" + zero + "'", "it is a device, not a file"},
        {"model '" + fifo + "'", "it is a pipe, not a file"},
        {"install --name Q --model '" + folder + "'", "no model data file"},
        {"package '" + spools[0] + "'", "VLM50001.SPL: it is a folder, not a file"},
        {"package '" + spools[1] + "'", "VLM50001.SPL: it is a pipe, not a file"},
        {"package '" + spools[2] + "'", "VLM50001.SPL: it is a device, not a file"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(Printhost(c.arguments, &out), 1) << c.arguments << ": " << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.arguments << ": " << out;
    }
}

// A word of a metafile laid out by hand: little-endian.
void Put32(std::string& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<char>(v >> (8 * i)));
}

// The 88-byte header of a metafile of `bytes` bytes in `records` records (the
// header and the end of file among them), framed on A4 by a reference device
// of `width` x `height` pixels.
void PutHeader(std::string& b, uint32_t bytes, uint32_t records, uint32_t handles, uint32_t width,
               uint32_t height) {
    for (uint32_t v :
         {1u,       88u,   0u,      0u,      width, height, 0u, 0u,    21000u, 29700u, 0x464D4520u,
          0x10000u, bytes, records, handles, 0u,    0u,     0u, width, height, 210u,   297u})
        Put32(b, v);
}

// A metafile of one dashed pen and one line to y = 2^31 - 1, laid out by hand.
std::string DashedLineDocument() {
    std::string b;
    auto u32 = [&b](uint32_t v) { Put32(b, v); };
    auto rec = [&](uint32_t type, std::initializer_list<uint32_t> words) {
        u32(type);
        u32(static_cast<uint32_t>(8 + 4 * words.size()));
        for (uint32_t w : words)
            u32(w);
    };
    PutHeader(b, 88 + 28 + 12 + 16 + 16 + 20, 6, 2, 4960, 7015);
    rec(38, {1, 1 /* PS_DASH */, 1, 0, 0}); // create pen 1
    rec(37, {1});                           // select it
    rec(27, {100, 100});                    // move to
    rec(54, {200, 0x7FFFFFFF});             // line to
    rec(14, {0, 16, 20});                   // end of file
    return b;
}

// The dashed line costs what lies on the page, on every road: each print
// completes (the time limit only keeps a runaway walk from stopping the run).
TEST_F(HostileInputTest, ADashedLineFarOffThePagePrintsOnEveryRoad) {
    const std::string doc = root_ + "/dashed.emf";
    Write(doc, DashedLineDocument());
    std::string out;
    struct Road {
        const char* name;
        const char* store; // device-mode fields for the road, or ""
        const char* flags;
    } roads[] = {
        {"spool-side", "", ""},
        {"direct", "--set ReverseOrder=0 --set GraphicsMode=0", ""},
        {"banding", "--set ReverseOrder=0 --set GraphicsMode=0", "--banding"},
    };
    for (const Road& r : roads) {
        if (*r.store) {
            ASSERT_EQ(Printhost(std::string("devmode P ") + r.store + " --store", &out), 0) << out;
        }
        const std::string prn = root_ + "/" + r.name + ".prn";
        EXPECT_EQ(Printhost(std::string("print --printer P ") + r.flags + " --output '" + prn +
                                "' '" + doc + "'",
                            &out),
                  0)
            << r.name << ": " << out;
        EXPECT_NE(out.find("printed 1 page(s)"), std::string::npos) << r.name << ": " << out;
    }
}

// A metafile of one poly record of a million points that run to and fro
// along a diagonal, laid out by hand: its reference device has five pixels to
// each of a 600 dpi page's, so the points crowd each device pixel by the
// thousand. A pen 60 pixels wide (two pixels of the decoder's picture).
// A page of one poly record of a million points, of the given type, drawn
// with a pen 60 units wide: on a diagonal of a few thousand device pixels, or
// strewn over the whole page (each point far from the one before).
std::string MillionPointDocument(uint32_t type, bool strewn = false) {
    constexpr uint32_t kPoints = 1000000;
    const bool wide = type <= 4 || type == 7; // 32-bit points
    const bool polypoly = type == 7 || type == 90;
    std::string b;
    auto u32 = [&b](uint32_t v) { Put32(b, v); };
    auto u16 = [&b](uint32_t v) {
        b.push_back(static_cast<char>(v));
        b.push_back(static_cast<char>(v >> 8));
    };
    const uint32_t head = polypoly ? 40 : 28;
    const uint32_t poly = head + kPoints * (wide ? 8 : 4);
    const uint32_t bytes = 88 + 28 + 12 + poly + 20;
    PutHeader(b, bytes, 5, 2, 24800, 35075);
    for (uint32_t v : {38u, 28u, 1u, 0u, 60u, 0u, 0u}) // create pen 1: solid, 60 wide
        u32(v);
    for (uint32_t v : {37u, 12u, 1u}) // select it
        u32(v);
    u32(type);
    u32(poly);
    for (uint32_t v : {5000u, 5000u, 20000u, 20000u}) // bounds
        u32(v);
    if (polypoly) {
        for (uint32_t v : {2u, kPoints, kPoints / 2, kPoints / 2})
            u32(v);
    } else {
        u32(kPoints);
    }
    for (uint32_t i = 0; i < kPoints; ++i) {
        // Forward 15,000 units over the million points, with a jitter of
        // three units back and forth.
        uint32_t x = 5000 + static_cast<uint32_t>(uint64_t(i) * 15000 / kPoints) + (i % 2) * 3;
        uint32_t y = x;
        if (strewn) { // a fixed sequence, so the page is the same each run
            x = 1000 + (i * 7919u) % 20000;
            y = 1000 + (i * 104729u) % 30000;
        }
        if (wide) {
            u32(x);
            u32(y);
        } else {
            u16(x);
            u16(y);
        }
    }
    for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) // end of file
        u32(v);
    return b;
}

// The two roads of a job, in the order the tests take them: the printer's own
// settings (replayed on the spool side), then straight into the stream.
struct PrintRoad {
    const char* name;
    const char* store; // what `printhost devmode` stores for it
};
constexpr PrintRoad kPrintRoads[] = {
    {"spool-side", ""},
    {"direct", "--set ReverseOrder=0 --set GraphicsMode=0"},
};

// A record of a million points on a few thousand device pixels prints, on
// both roads, as a few thousand points: the stream stays small, and the
// decoded page still shows the line from end to end.
TEST_F(HostileInputTest, AMillionPointsOnAFewPixelsPrintAsThosePixels) {
    struct Record {
        const char* name;
        uint32_t type;
    } records[] = {
        {"polyline", 4},     {"polyline16", 87},     {"polygon", 3},    {"polygon16", 86},
        {"polypolyline", 7}, {"polypolyline16", 90}, {"polybezier", 2}, {"polybezier16", 85},
    };
    std::string out;
    for (const PrintRoad& road : kPrintRoads) {
        if (*road.store) {
            ASSERT_EQ(Printhost(std::string("devmode P ") + road.store + " --store", &out), 0)
                << out;
        }
        for (const Record& r : records) {
            const std::string what = std::string(road.name) + " " + r.name;
            const std::string doc = root_ + "/" + r.name + ".emf";
            Write(doc, MillionPointDocument(r.type));
            const std::string prn = root_ + "/" + r.name + "-" + road.name + ".prn";
            ASSERT_EQ(Printhost("print --printer P --output '" + prn + "' '" + doc + "'", &out), 0)
                << what << ": " << out;
            // A million points would take megabytes of the stream.
            EXPECT_LT(fs::file_size(prn), 200u * 1024) << what;
            const std::string png = root_ + "/" + r.name + "-" + road.name;
            ASSERT_EQ(Printhost("decode --png '" + png + "' '" + prn + "'", &out), 0)
                << what << ": " << out;
            e2e::Picture pic;
            ASSERT_TRUE(e2e::ReadPng(png + "-1.png", &pic)) << what;
            // The line's dark pixels reach from one end to the other, on the
            // diagonal, and only there.
            int left = pic.width, right = -1, top = pic.height, bottom = -1, off = 0;
            long dark = 0;
            for (int y = 0; y < pic.height; ++y)
                for (int x = 0; x < pic.width; ++x)
                    if (pic.Dark(x, y)) {
                        ++dark;
                        left = std::min(left, x), right = std::max(right, x);
                        top = std::min(top, y), bottom = std::max(bottom, y);
                        off = std::max(off, std::abs((x - left) - (y - top)));
                    }
            EXPECT_GT(right - left, 280) << what;
            EXPECT_GT(bottom - top, 280) << what;
            EXPECT_LT(off, 12) << what;
            EXPECT_LT(dark, 6000) << what;
        }
    }
}

// A record of a million points strewn over the page would have the printer
// (or the engine drawing the page on the spool side) draw every pixel of the
// page hundreds of times: it is refused as more drawing than a page holds,
// named by printhost, and the job still prints.
TEST_F(HostileInputTest, AMillionPointsStrewnOverThePageAreRefusedAndNamed) {
    std::string out;
    for (const PrintRoad& road : kPrintRoads) {
        if (*road.store) {
            ASSERT_EQ(Printhost(std::string("devmode P ") + road.store + " --store", &out), 0)
                << out;
        }
        for (uint32_t type : {4u, 86u}) { // polyline, polygon16
            const std::string what = std::string(road.name) + " " + std::to_string(type);
            const std::string doc = root_ + "/strewn.emf";
            Write(doc, MillionPointDocument(type, true));
            const std::string prn = root_ + "/strewn-" + road.name + ".prn";
            ASSERT_EQ(Printhost("print --printer P --output '" + prn + "' '" + doc + "'", &out), 0)
                << what << ": " << out;
            EXPECT_NE(out.find("(more drawing than a page holds) x1"), std::string::npos)
                << what << ": " << out;
            EXPECT_LT(fs::file_size(prn), 200u * 1024) << what;
        }
    }
}

// The spool folder under the machine root's user profiles: the folder named
// "spool" that holds "OutFile.INI".
fs::path FindOutputList() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(platform_testing::Root() + "/c/Users", ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->path().filename() == "OutFile.INI") return it->path();
    }
    return {};
}

// A job for a file that cannot reach its file fails with the reason, and
// prints nothing to the printer: no free slot, a list the spool side cannot
// read, a destination that cannot be written.
TEST_F(HostileInputTest, AJobForAFileThatCannotReachItFails) {
    std::string out;
    const std::string first = root_ + "/first.prn";
    ASSERT_EQ(Printhost("print --printer P --to-file '" + first + "' </dev/null", &out), 0) << out;
    const fs::path list = FindOutputList();
    ASSERT_FALSE(list.empty()) << "no OutFile.INI after a job for a file";
    std::string full = "[OutputFileFlag]\r\n";
    for (int n = 0; n < 10000; ++n) {
        char slot[64];
        std::snprintf(slot, sizeof slot, "JobID_%08X=0000C350\r\nDest_%08X=x\r\n", n, n);
        full += slot;
    }
    const std::string readOnly = root_ + "/read-only.prn";
    Write(readOnly, "kept");
    fs::permissions(readOnly, fs::perms::owner_read);
    struct Case {
        const char* what;
        std::string list;
        std::string destination;
        std::string message;
    } cases[] = {
        {"no free slot", full, root_ + "/a.prn", "error 1003"},
        {"a 20 MB line", "[OutputFileFlag]\r\njunk" + std::string(20 << 20, 'A') + "\r\n",
         root_ + "/b.prn", "error 1003"},
        {"a read-only destination", "", readOnly, "error 29"},
    };
    for (const Case& c : cases) {
        Write(list.string(), c.list);
        out.clear();
        // A list of 20 MB is read more than once: slow under the sanitizers.
        EXPECT_EQ(
            Printhost("print --printer P --to-file '" + c.destination + "' </dev/null", &out, 600),
            1)
            << c.what << ": " << out;
        EXPECT_NE(out.find("the job did not end (" + c.message), std::string::npos)
            << c.what << ": " << out;
        EXPECT_EQ(out.find("printed 1 page(s)"), std::string::npos) << c.what << ": " << out;
    }
}

// Files under the machine root's user profiles (the working folders).
std::vector<std::string> UserFiles() {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(platform_testing::Root() + "/c/Users", ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec)) files.push_back(it->path().string());
    }
    return files;
}

// A print of 600 pages in a process of its own; flags may name the test's
// root as "@".
pid_t StartLongPrint(const std::string& root, std::string flags) {
    if (auto at = flags.find('@'); at != std::string::npos) flags.replace(at, 1, root);
    const std::string command = std::string("exec '") + PKG_TOOLS_DIR +
                                "/printhost' print --printer P --pages 600 " + flags +
                                " </dev/null >/dev/null 2>&1";
    const pid_t pid = fork();
    if (pid == 0) {
        ::setenv("PRINTHOST_ROOT", root.c_str(), 1);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

bool ListHolds(const char* text) {
    const fs::path list = FindOutputList();
    std::ifstream in(list, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return !list.empty() && bytes.find(text) != std::string::npos;
}

// The first file of the working folders whose name holds part (once
// "OutFile.INI" holds listHolds, when given), waiting up to a minute; empty
// when none came.
std::string WaitForUserFile(const char* part, const char* listHolds = nullptr) {
    for (int i = 0; i < 6000; ++i) {
        if (!listHolds || ListHolds(listHolds))
            for (const std::string& f : UserFiles())
                if (f.find(part) != std::string::npos) return f;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

// What a print leaves of itself in the working folders: its package's files,
// its temporary copies, and its slot in "OutFile.INI".
std::string PrintLeftovers() {
    std::string names;
    for (const std::string& f : UserFiles()) {
        const std::string name = fs::path(f).filename().string();
        if (f.find("VLM") != std::string::npos || name.rfind("~tmp", 0) == 0) {
            names += "\n  " + f;
        } else if (name == "OutFile.INI") {
            std::ifstream in(f, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            if (text.find("JobID_") != std::string::npos) names += "\n  a slot in " + f;
        }
    }
    return names;
}

// A metafile of one polyline of `count` points strewn over a 600 dpi page,
// laid out by hand: a stream of some kilobytes on every road.
std::string StrewnPolylineDocument(uint32_t count) {
    std::string b;
    auto u32 = [&b](uint32_t v) { Put32(b, v); };
    const uint32_t polyline = 28 + 8 * count;
    PutHeader(b, 88 + polyline + 20, 3, 1, 4960, 7015);
    u32(4); // polyline
    u32(polyline);
    for (uint32_t v : {300u, 300u, 4300u, 6300u, count})
        u32(v);
    for (uint32_t i = 0; i < count; ++i) {
        u32(300 + (i * 7919u) % 4000);
        u32(300 + (i * 104729u) % 6000);
    }
    for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) // end of file
        u32(v);
    return b;
}

// A print to a file whose disk fills up fails and leaves the destination as
// it was, with no partial output and no temporary file beside it, on every
// road. The destination lies on an 8 KB file system of a mount namespace of
// the command's own; the machine root keeps its room.
TEST_F(HostileInputTest, APrintToAFullDiskLeavesTheDestinationAsItWas) {
    std::string out;
    const std::string disk = root_ + "/full";
    fs::create_directories(disk);
    if (platform_testing::RunCommand(
            "unshare -rm sh -c 'mount -t tmpfs -o size=8k tmpfs \"" + disk + "\"' 2>&1", &out) != 0)
        GTEST_SKIP() << "no mount namespace for a small file system: " << out;
    const std::string doc = root_ + "/strewn.emf";
    Write(doc, StrewnPolylineDocument(4000));
    struct Road {
        const char* name;
        const char* store; // device-mode fields for the road, or ""
        const char* flag;  // how the destination is named
        const char* message;
    } roads[] = {
        {"spool-side --to-file", "", "--to-file", "the job did not end (error 29"},
        {"spool-side --output", "", "--output", "No space left on device"},
        {"direct --to-file", "--set ReverseOrder=0 --set GraphicsMode=0", "--to-file",
         "the job did not end"},
        {"direct --output", "", "--output", "No space left on device"},
    };
    for (const Road& r : roads) {
        if (*r.store) {
            ASSERT_EQ(Printhost(std::string("devmode P ") + r.store + " --store", &out), 0) << out;
        }
        // The mount lasts as long as the command: what is on it is listed there.
        const std::string command =
            "mount -t tmpfs -o size=8k tmpfs '" + disk + "' && printf before > '" + disk +
            "/dest.prn' && '" + PKG_TOOLS_DIR + "/printhost' print --printer P " + r.flag + " '" +
            disk + "/dest.prn' '" + doc + "' </dev/null 2>&1; echo \"rc=$?\"; ls -A '" + disk +
            "'; cat '" + disk + "/dest.prn'";
        std::string quoted;
        for (char c : command)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        ASSERT_EQ(
            platform_testing::RunCommand("timeout 120 unshare -rm sh -c '" + quoted + "'", &out), 0)
            << r.name << ": " << out;
        EXPECT_NE(out.find("rc=1\ndest.prn\nbefore"), std::string::npos) << r.name << ": " << out;
        EXPECT_NE(out.find(r.message), std::string::npos) << r.name << ": " << out;
        EXPECT_EQ(PrintLeftovers(), "") << r.name;
    }
}

// Prints killed while the package is recorded and while it is replayed, on
// the spool-side road and for a file: the spooler's next look fails the job,
// the next print's start leaves nothing of it on disk, and the next logon's
// clean-up empties the working folders.
TEST_F(HostileInputTest, NothingOfAKilledPrintIsLeftForEver) {
    struct Case {
        const char* road;
        const char* flags;
        const char* killWhen; // a file of the working folder whose name holds this
        // and a text of "OutFile.INI": the replay's temporary copy is killed
        // once its slot names it (a copy cut off before that is the logon's).
        const char* listHolds;
    } cases[] = {
        {"spool-side, recording", "", "EMF00020.DAT", nullptr},
        {"spool-side, late in recording", "", "EMF00300.DAT", nullptr},
        {"for a file, recording", "--to-file '@/killed.prn'", "EMF00020.DAT", nullptr},
        {"for a file, replaying", "--to-file '@/killed.prn'", "~tmp", "Source_"},
    };
    for (const Case& c : cases) {
        const pid_t pid = StartLongPrint(root_, c.flags);
        ASSERT_GE(pid, 0);
        const bool seen = !WaitForUserFile(c.killWhen, c.listHolds).empty();
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        EXPECT_TRUE(seen) << c.road << ": the print never reached " << c.killWhen;

        std::string out;
        EXPECT_EQ(Printhost("jobs P", &out), 0) << out;
        EXPECT_EQ(out.find("spooling"), std::string::npos) << c.road << ":\n" << out;
        EXPECT_EQ(out.find("writer gone"), std::string::npos) << c.road << ":\n" << out;
        out.clear();
        EXPECT_EQ(Printhost("print --printer P </dev/null", &out), 0) << c.road << ": " << out;
        EXPECT_EQ(PrintLeftovers(), "") << c.road << ": after the next print";
        out.clear();
        EXPECT_EQ(Printhost("logon", &out), 0) << out;
        EXPECT_NE(out.find("Tempsweep.EXE"), std::string::npos) << c.road << ": " << out;
        const std::vector<std::string> left = UserFiles();
        std::string names;
        for (const std::string& f : left)
            names += "\n  " + f;
        EXPECT_TRUE(left.empty()) << c.road << ": left" << names;
    }
}

// A print in another process that is still recording keeps its package while
// a second print's start sweeps the folder; once it is killed, the next
// print's start removes it.
TEST_F(HostileInputTest, ALiveJobKeepsItsPackageWhileASweepRuns) {
    const pid_t pid = StartLongPrint(root_, "");
    ASSERT_GE(pid, 0);
    const std::string page = WaitForUserFile("EMF00020.DAT");
    std::string out;
    EXPECT_EQ(Printhost("print --printer P </dev/null", &out), 0) << out;
    const bool running = ::waitpid(pid, nullptr, WNOHANG) == 0;
    const bool kept = !page.empty() && fs::exists(page);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ASSERT_FALSE(page.empty()) << "the live print never reached its 20th page";
    ASSERT_TRUE(running) << "the live print ended before the sweep was looked at";
    EXPECT_TRUE(kept) << page << " of the live print was swept";
    out.clear();
    EXPECT_EQ(Printhost("print --printer P </dev/null", &out), 0) << out;
    EXPECT_EQ(PrintLeftovers(), "") << "after the print that followed the kill";
}

// The printer's device mode as stored (level 2).
std::vector<BYTE> StoredDevmode(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> block(needed);
    if (!needed || !GetPrinterW(printer, 2, block.data(), needed, &needed)) return {};
    const DEVMODEW* dm = reinterpret_cast<PRINTER_INFO_2W*>(block.data())->pDevMode;
    if (!dm) return {};
    const auto* at = reinterpret_cast<const BYTE*>(dm);
    return std::vector<BYTE>(at, at + dm->dmSize + dm->dmDriverExtra);
}

// Two loops install the driver again and again (each upgrade reads the
// printer's device mode, revises it and writes it back) beside 100 stores:
// every store is still there once the installs that were running at its
// time have ended.
TEST_F(HostileInputTest, AStoreBesideReinstallsIsNeverLost) {
    constexpr int kStores = 100;
    const std::string install =
        "install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'";
    std::atomic<bool> stop{false};
    std::atomic<int> started[2] = {0, 0}, ended[2] = {0, 0}, failures{0};
    std::vector<std::thread> loops;
    for (int l = 0; l < 2; ++l)
        loops.emplace_back([&, l] {
            while (!stop) {
                ++started[l];
                std::string o;
                if (Printhost(install, &o) != 0) ++failures;
                ++ended[l];
            }
        });
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &printer, &access));
    int lost = 0;
    std::string lostAt;
    std::mt19937 random(20261210);
    for (int i = 1; i <= kStores && !HasFatalFailure(); ++i) {
        // At any moment of an install, its upgrade's window included.
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 250));
        std::vector<BYTE> dm = StoredDevmode(printer);
        ASSERT_GE(dm.size(), sizeof(DEVMODEW));
        auto* d = reinterpret_cast<DEVMODEW*>(dm.data());
        d->dmCopies = static_cast<short>(i);
        PRINTER_INFO_8W info{d};
        ASSERT_TRUE(SetPrinterW(printer, 8, reinterpret_cast<LPBYTE>(&info), 0));
        // The installs running when the store was made end before the look.
        const int running[2] = {started[0].load(), started[1].load()};
        while (ended[0] < running[0] || ended[1] < running[1])
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::vector<BYTE> now = StoredDevmode(printer);
        if (now.size() < sizeof(DEVMODEW) ||
            reinterpret_cast<const DEVMODEW*>(now.data())->dmCopies != i) {
            ++lost;
            lostAt += " " + std::to_string(i);
        }
    }
    stop = true;
    for (auto& t : loops)
        t.join();
    ClosePrinter(printer);
    EXPECT_EQ(lost, 0) << "stores lost:" << lostAt;
    EXPECT_GT(ended[0] + ended[1], 2) << "the installs did not run beside the stores";
    EXPECT_EQ(failures, 0);
}

} // namespace
