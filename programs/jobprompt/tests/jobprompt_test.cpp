// Jobprompt.EXE as its own process over real shared memory blocks: the
// prompts answered through the environment, and blocks whose sizes, offsets
// and names lie, which must change nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "job_prompt_host.h"
#include "model/model_queries.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "prompt_answers.h"
#include "revise_devmode.h"
#include "ui/job_prompt_records.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/files.h"
#include "win/process.h"

namespace fs = std::filesystem;

namespace {

constexpr char16_t kPrinter[] = u"Prompt Printer";
constexpr char16_t kBlockName[] = u"VELMJOB0042";
constexpr char16_t kCheckBlockName[] = u"PRECHECK_MAPPING_NAME_00042";
constexpr BYTE kFill = 0xA5;

// The job prompt block's fields as documented: the answered word, the
// printer name's offset, the first record, and where the records end.
constexpr size_t kAnsweredAt = 1052;
constexpr size_t kNameOffsetAt = 1056;
constexpr size_t kRecordAt = 1060;
constexpr size_t kNameAfterRecords = 1256 + 40;

void Put32(std::vector<BYTE>& b, size_t at, DWORD v) {
    std::memcpy(b.data() + at, &v, sizeof v);
}

void PutWide(std::vector<BYTE>& b, size_t at, const std::u16string& text) {
    std::memcpy(b.data() + at, text.c_str(), text.size() * sizeof(char16_t));
}

INT AnsweredWord(const std::vector<BYTE>& b) {
    INT answered = 0;
    std::memcpy(&answered, b.data() + kAnsweredAt, sizeof answered);
    return answered;
}

// Runs the real program with the block's name and the answers given.
DWORD RunJobprompt(const std::u16string& arguments, const char* answers = nullptr) {
    const std::u16string exe = u"C:\\Tools\\Jobprompt.EXE";
    const std::string host = platform::HostPath(exe);
    fs::create_directories(fs::path(host).parent_path());
    if (!fs::exists(host)) fs::copy_file(JOBPROMPT_PATH, host);
    if (answers)
        setenv("PRINTHOST_PROMPT_ANSWER", answers, 1);
    else
        unsetenv("PRINTHOST_PROMPT_ANSWER");
    std::u16string line = u"\"" + exe + u"\"" + (arguments.empty() ? u"" : u" " + arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    unsetenv("PRINTHOST_PROMPT_ANSWER");
    return code;
}

// A named block of `mappingSize` bytes, filled with kFill, then `bytes` at its start.
class Block {
  public:
    Block(const std::vector<BYTE>& bytes, size_t mappingSize, const char16_t* name = kBlockName)
        : size_(mappingSize) {
        mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(mappingSize), name);
        view_ = static_cast<BYTE*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        std::memset(view_, kFill, size_);
        std::memcpy(view_, bytes.data(), std::min(bytes.size(), size_));
    }
    ~Block() {
        UnmapViewOfFile(view_);
        CloseHandle(mapping_);
    }
    std::vector<BYTE> Bytes() const { return {view_, view_ + size_}; }
    BYTE* data() { return view_; }

  private:
    size_t size_;
    HANDLE mapping_ = nullptr;
    BYTE* view_ = nullptr;
};

class JobpromptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"), {"Resbundle.DLL"});
    }

    // A job prompt block laid out byte by byte at its documented offsets,
    // the printer name after the last record.
    std::vector<BYTE> PromptBlock(INT kind, const std::u16string& modelData = {}) {
        const std::string name = "Prompt Printer";
        std::vector<BYTE> b(kNameAfterRecords + name.size() + 1, 0);
        Put32(b, 0, 0x11223344);
        Put32(b, 4, static_cast<DWORD>(b.size()));
        PutWide(b, 8, ui_test::DriverFolder(kPrinter) + u"\\Sheetwright.DLL");
        PutWide(b, 528,
                modelData.empty() ? ui_test::DriverFolder(kPrinter) + u"\\MODEL.DAT" : modelData);
        Put32(b, 1048, static_cast<DWORD>(kind));
        Put32(b, kAnsweredAt, 0);
        Put32(b, kNameOffsetAt, static_cast<DWORD>(kNameAfterRecords));
        std::memcpy(b.data() + kNameAfterRecords, name.c_str(), name.size());
        return b;
    }

    static JobAuthRecord Auth(WORD type, DWORD flags, const char* id, const char* password) {
        JobAuthRecord r{};
        r.size = sizeof r;
        r.jobType = type;
        r.flags = flags;
        std::strncpy(r.userId, id, sizeof r.userId - 1);
        std::strncpy(r.password, password, sizeof r.password - 1);
        return r;
    }
};

TEST_F(JobpromptTest, WithoutANameOpensNothingAndEndsWithZero) {
    EXPECT_EQ(RunJobprompt(u""), 0u);
    EXPECT_EQ(jobprompt::MappingNameOf(u"\"C:\\a b\\Jobprompt.EXE\"   VELMJOB0001 x"),
              u"VELMJOB0001 x");
    EXPECT_EQ(jobprompt::MappingNameOf(u"Jobprompt.EXE"), u"");
}

TEST_F(JobpromptTest, UserIdPromptAnsweredCancelledOrNotAsked) {
    struct Case {
        const char* name;
        DWORD flags;
        const char* answers;
        INT answered;
        const char* id;
        const char* password;
    } cases[] = {
        {"ok", kJobAuthAsk, "ok 1352=12345678 1354=87654321", 1, "12345678", "87654321"},
        {"cancel", kJobAuthAsk, "cancel", 0, "1111", "2222"},
        {"nobody answers", kJobAuthAsk, nullptr, 0, "1111", "2222"},
        {"nothing asked", 0, nullptr, 1, "1111", "2222"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> bytes = PromptBlock(kPromptJobAuth);
        const JobAuthRecord in = Auth(1, c.flags, "1111", "2222");
        std::memcpy(bytes.data() + kRecordAt, &in, sizeof in);
        Block block(bytes, bytes.size());
        EXPECT_EQ(RunJobprompt(kBlockName, c.answers), 0u);
        const std::vector<BYTE> after = block.Bytes();
        EXPECT_EQ(AnsweredWord(after), c.answered);
        JobAuthRecord out;
        std::memcpy(&out, after.data() + kRecordAt, sizeof out);
        EXPECT_STREQ(out.userId, c.id);
        EXPECT_STREQ(out.password, c.password);
    }
}

TEST_F(JobpromptTest, ABlockThatLiesChangesNothing) {
    struct Case {
        const char* name;
        DWORD totalSize; // 0: the true size
        DWORD nameAt;    // 0: the true offset
        INT kind;
        bool unterminatedName;
        size_t mappingExtra;
    } cases[] = {
        {"size past the mapping", 0x10000, 0, kPromptJobAuth, false, 0},
        {"size past 4 GB arithmetic", 0xFFFFFFFF, 0, kPromptJobType, false, 0},
        {"size below the records", 1100, 0, kPromptJobType, false, 0},
        {"size below the header", 8, 0, kPromptJobAuth, false, 0},
        {"name inside the header", 0, 16, kPromptJobAuth, false, 0},
        {"name past the block", 0, 0x7FFFFFFF, kPromptJobAuth, false, 0},
        {"name at the block's end", 0, 0xFFFF, kPromptDeptCode, false, 0},
        {"name without its NUL", 0, 0, kPromptJobAuth, true, 64},
        {"unknown kind", 0, 0, 2, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> bytes = PromptBlock(c.kind);
        const DWORD trueSize = static_cast<DWORD>(bytes.size());
        if (c.nameAt == 0xFFFF) {
            Put32(bytes, kNameOffsetAt, trueSize - 1);
            bytes.back() = 'x';
        } else if (c.nameAt) {
            Put32(bytes, kNameOffsetAt, c.nameAt);
        }
        if (c.totalSize) Put32(bytes, 4, c.totalSize);
        if (c.unterminatedName) {
            // The block ends at the name's last character; the mapping goes on.
            Put32(bytes, 4, trueSize - 1);
            bytes.back() = 'x';
        }
        const JobAuthRecord in = Auth(1, 0, "1111", "2222");
        std::memcpy(bytes.data() + kRecordAt, &in, sizeof in);
        Block block(bytes, bytes.size() + c.mappingExtra);
        const std::vector<BYTE> before = block.Bytes();
        EXPECT_EQ(RunJobprompt(kBlockName), 0u);
        EXPECT_EQ(block.Bytes(), before);
    }
}

TEST_F(JobpromptTest, NothingIsWrittenPastTheBlockInsideALargerMapping) {
    // Nothing asked: the record is copied back, with its texts terminated.
    std::vector<BYTE> bytes = PromptBlock(kPromptJobType);
    JobAuthRecord auth = Auth(0, 0, "", "");
    std::memset(auth.userId, 'u', sizeof auth.userId); // no NUL
    std::memcpy(bytes.data() + kRecordAt, &auth, sizeof auth);
    Block block(bytes, bytes.size() + 4096);
    EXPECT_EQ(RunJobprompt(kBlockName), 0u);
    const std::vector<BYTE> after = block.Bytes();
    for (size_t i = bytes.size(); i < after.size(); ++i)
        ASSERT_EQ(after[i], kFill) << "byte " << i;
    EXPECT_EQ(AnsweredWord(after), 1);
    JobAuthRecord out;
    std::memcpy(&out, after.data() + kRecordAt, sizeof out);
    EXPECT_EQ(strnlen(out.userId, sizeof out.userId), sizeof out.userId - 1);
}

// The block is copied once and only the copy is used: what the other process
// changes after the copy (the name, its terminator, the records, the sizes)
// changes nothing of the prompt, and the answers still go into the block.
TEST_F(JobpromptTest, ABlockChangedAfterItsCopyIsNotReadAgain) {
    struct Case {
        const char* name;
        void (*change)(BYTE* view, size_t nameAt);
    } cases[] = {
        {"printer renamed", [](BYTE* v, size_t at) { std::memcpy(v + at, "Absent Printer", 14); }},
        {"name's terminator gone",
         [](BYTE* v, size_t at) { std::memset(v + at, 'x', 14 + 1 + 64); }},
        {"record changed",
         [](BYTE* v, size_t) {
             std::memcpy(v + kRecordAt + offsetof(JobAuthRecord, userId), "9999", 4);
         }},
        {"sizes and offsets changed",
         [](BYTE* v, size_t) {
             std::memset(v + 4, 0xFF, 4);
             std::memset(v + kNameOffsetAt, 0x7F, 4);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> bytes = PromptBlock(kPromptJobAuth);
        const JobAuthRecord in = Auth(1, 0, "1111", "2222");
        std::memcpy(bytes.data() + kRecordAt, &in, sizeof in);
        Block block(bytes, bytes.size() + 64);
        int copies = 0;
        jobprompt::SetBlockCopiedHook([&] {
            ++copies;
            c.change(block.data(), kNameAfterRecords);
        });
        jobprompt::RunJobPrompt(kBlockName);
        jobprompt::SetBlockCopiedHook({});
        EXPECT_EQ(copies, 1);
        const std::vector<BYTE> after = block.Bytes();
        EXPECT_EQ(AnsweredWord(after), 1);
        JobAuthRecord out;
        std::memcpy(&out, after.data() + kRecordAt, sizeof out);
        EXPECT_STREQ(out.userId, "1111");
        EXPECT_STREQ(out.password, "2222");
    }
}

// Model data past the format's limit is refused by its size, before a byte
// of it is read: a sparse file whose header claims its whole length.
TEST_F(JobpromptTest, ModelDataPastItsLimitIsNotRead) {
    const std::u16string big = u"C:\\Elsewhere\\BIG.DAT";
    const std::string host = platform::HostPath(big);
    fs::create_directories(fs::path(host).parent_path());
    fs::copy_file(platform::HostPath(ui_test::DriverFolder(kPrinter) + u"\\MODEL.DAT"), host);
    const DWORD size = model::kMaxModelDataBytes + 4096;
    fs::resize_file(host, size);
    {
        std::fstream f(host, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4);
        f.write(reinterpret_cast<const char*>(&size), 4);
    }
    const int readsBefore = platform::test::CallCount("ReadFile");
    const long allocationsBefore = platform::test::LiveGlobalAllocations();
    EXPECT_EQ(jobprompt::LoadModelSpecFile(big.c_str()), nullptr);
    EXPECT_EQ(platform::test::CallCount("ReadFile"), readsBefore);
    EXPECT_EQ(platform::test::LiveGlobalAllocations(), allocationsBefore);

    std::vector<BYTE> bytes = PromptBlock(kPromptJobAuth, big);
    const JobAuthRecord in = Auth(1, 0, "1111", "2222");
    std::memcpy(bytes.data() + kRecordAt, &in, sizeof in);
    Block block(bytes, bytes.size());
    EXPECT_EQ(RunJobprompt(kBlockName), 0u);
    EXPECT_EQ(AnsweredWord(block.Bytes()), 0);
}

TEST_F(JobpromptTest, APriorPrintBlockThatLiesChangesNothing) {
    struct Case {
        const char* name;
        DWORD printerBytes;
        DWORD portBytes;
        WORD dmSize;
        WORD dmExtra;
    } cases[] = {
        {"printer length past the mapping", 0x7FFFFFF0, 12, 220, 1100},
        {"lengths that wrap", 0xFFFFFFFF, 0xFFFFFFFF, 220, 1100},
        {"odd printer length", 29, 12, 220, 1100},
        {"device mode's private part missing", 30, 12, 220, 16},
        {"device mode of another size", 30, 12, 156, 1100},
        {"private part past the mapping", 30, 12, 220, 0xFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> bytes(1056 + 30 + 12 + 220 + 1100, 0);
        PreCheckMapping h{};
        std::memcpy(h.magic, kPreCheckMagic, 4);
        h.result = 7;
        h.printerNameBytes = c.printerBytes;
        h.portNameBytes = c.portBytes;
        std::memcpy(bytes.data(), &h, sizeof h);
        std::memcpy(bytes.data() + 1056, kPrinter, 30);
        std::memcpy(bytes.data() + 1056 + 30, u"LPT1:", 12);
        DEVMODEW dm{};
        dm.dmSize = c.dmSize;
        dm.dmDriverExtra = c.dmExtra;
        std::memcpy(bytes.data() + 1056 + 42, &dm, sizeof dm);
        Block block(bytes, bytes.size(), kCheckBlockName);
        const std::vector<BYTE> before = block.Bytes();
        EXPECT_EQ(RunJobprompt(kCheckBlockName), 0u);
        EXPECT_EQ(block.Bytes(), before);
    }
}

TEST_F(JobpromptTest, APriorPrintBlockGetsTheChecksAnswer) {
    // The driver's own device mode of the printer, with the check not wanted:
    // the check answers "print" without asking anything.
    ui_test::BoundPrinter bound(kPrinter);
    ASSERT_TRUE(bound.ok());
    DEVMODE_IMAGEW image{};
    ASSERT_TRUE(
        sheetwright::StampAndReviseDevmode(bound.printer(), bound.binding()->modelData, &image));
    image.priv.PriorPrintOn = 0;
    const std::u16string port = u"LPT1:";
    const DWORD printerBytes = sizeof kPrinter, portBytes = (port.size() + 1) * 2;
    std::vector<BYTE> bytes(sizeof(PreCheckMapping) + printerBytes + portBytes + sizeof image, 0);
    PreCheckMapping h{};
    std::memcpy(h.magic, kPreCheckMagic, 4);
    h.result = 7;
    const std::u16string model = ui_test::DriverFolder(kPrinter) + u"\\MODEL.DAT";
    std::memcpy(h.modelDataPath, model.c_str(), model.size() * 2);
    h.printerNameBytes = printerBytes;
    h.portNameBytes = portBytes;
    std::memcpy(bytes.data(), &h, sizeof h);
    std::memcpy(bytes.data() + sizeof h, kPrinter, printerBytes);
    std::memcpy(bytes.data() + sizeof h + printerBytes, port.c_str(), portBytes);
    std::memcpy(bytes.data() + sizeof h + printerBytes + portBytes, &image, sizeof image);
    Block block(bytes, bytes.size(), kCheckBlockName);
    EXPECT_EQ(RunJobprompt(kCheckBlockName), 0u);
    INT result = 0;
    std::memcpy(&result, block.data() + offsetof(PreCheckMapping, result), sizeof result);
    EXPECT_EQ(result, 1);
    // The same block naming another library than the printer's own still
    // runs the printer's Sheetwright: the path in the block is not loaded.
    const std::u16string elsewhere = u"C:\\Elsewhere\\Evil.DLL";
    std::memset(block.data() + offsetof(PreCheckMapping, uiLibraryPath), 0, 520);
    std::memcpy(block.data() + offsetof(PreCheckMapping, uiLibraryPath), elsewhere.c_str(),
                elsewhere.size() * 2);
    std::memcpy(block.data() + offsetof(PreCheckMapping, result), &h.result, sizeof h.result);
    EXPECT_EQ(RunJobprompt(kCheckBlockName), 0u);
    std::memcpy(&result, block.data() + offsetof(PreCheckMapping, result), sizeof result);
    EXPECT_EQ(result, 1);
    // The printer's name and the device mode's sizes changed after the copy
    // was taken: the check still runs on what was copied.
    std::memcpy(block.data() + offsetof(PreCheckMapping, result), &h.result, sizeof h.result);
    int copies = 0;
    jobprompt::SetBlockCopiedHook([&] {
        ++copies;
        std::memcpy(block.data() + sizeof h, u"Absent", 12);
        const DWORD huge = 0xFFFFFFFF;
        std::memcpy(block.data() + sizeof h + printerBytes + portBytes + offsetof(DEVMODEW, dmSize),
                    &huge, sizeof huge);
    });
    jobprompt::RunJobPrompt(kCheckBlockName);
    jobprompt::SetBlockCopiedHook({});
    EXPECT_EQ(copies, 1);
    std::memcpy(&result, block.data() + offsetof(PreCheckMapping, result), sizeof result);
    EXPECT_EQ(result, 1);
}

TEST(PromptAnswersTest, StepsAndWhatEndsThem) {
    auto steps = jobprompt::ParseAnswers("ok 1352=12 1354=3 ; yes;cancel");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].verb, "ok");
    ASSERT_EQ(steps[0].text.size(), 2u);
    EXPECT_EQ(steps[0].text[1].first, 1354);
    EXPECT_EQ(steps[0].text[1].second, u"3");
    EXPECT_EQ(jobprompt::ParseAnswers("ok x=1; yes").size(), 0u);
    EXPECT_EQ(jobprompt::ParseAnswers("maybe; yes").size(), 0u);
}

} // namespace
