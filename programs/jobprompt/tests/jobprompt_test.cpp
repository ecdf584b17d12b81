// Jobprompt.EXE as its own process over real shared memory blocks: the
// prompts answered through the environment, and blocks whose sizes, offsets
// and names lie, which must change nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "job_prompt_host.h"
#include "platform/paths.h"
#include "prompt_answers.h"
#include "ui/job_prompt_records.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/files.h"
#include "win/process.h"

namespace fs = std::filesystem;

namespace {

constexpr char16_t kPrinter[] = u"Prompt Printer";
constexpr char16_t kBlockName[] = u"VELMJOB0042";
constexpr BYTE kFill = 0xA5;

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
    Block(const std::vector<BYTE>& bytes, size_t mappingSize) : size_(mappingSize) {
        mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(mappingSize), kBlockName);
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

    // A job prompt block of a kind with the printer name after the records.
    std::vector<BYTE> PromptBlock(INT kind) {
        const size_t nameAt = kPromptDeptCodeAt + sizeof(DeptCodeRecord);
        const std::string name = "Prompt Printer";
        std::vector<BYTE> b(nameAt + name.size() + 1, 0);
        JobPromptHeader h{};
        h.magic = kJobPromptMagic;
        h.totalSize = static_cast<DWORD>(b.size());
        const std::u16string library = ui_test::DriverFolder(kPrinter) + u"\\Sheetwright.DLL";
        const std::u16string model = ui_test::DriverFolder(kPrinter) + u"\\MODEL.DAT";
        std::memcpy(h.uiLibraryPath, library.c_str(), library.size() * 2);
        std::memcpy(h.modelDataPath, model.c_str(), model.size() * 2);
        h.kind = kind;
        h.printerNameAt = static_cast<DWORD>(nameAt);
        std::memcpy(b.data(), &h, sizeof h);
        std::memcpy(b.data() + nameAt, name.c_str(), name.size());
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
        std::memcpy(bytes.data() + kPromptRecordAt, &in, sizeof in);
        Block block(bytes, bytes.size());
        EXPECT_EQ(RunJobprompt(kBlockName, c.answers), 0u);
        const std::vector<BYTE> after = block.Bytes();
        INT answered = 0;
        std::memcpy(&answered, after.data() + offsetof(JobPromptHeader, answered), 4);
        EXPECT_EQ(answered, c.answered);
        JobAuthRecord out;
        std::memcpy(&out, after.data() + kPromptRecordAt, sizeof out);
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
        auto* h = reinterpret_cast<JobPromptHeader*>(bytes.data());
        if (c.nameAt == 0xFFFF)
            h->printerNameAt = h->totalSize - 1, bytes.back() = 'x';
        else if (c.nameAt)
            h->printerNameAt = c.nameAt;
        if (c.totalSize) h->totalSize = c.totalSize;
        if (c.unterminatedName) {
            // The block ends at the name's last character; the mapping goes on.
            h->totalSize = static_cast<DWORD>(bytes.size() - 1);
            bytes.back() = 'x';
        }
        const JobAuthRecord in = Auth(1, 0, "1111", "2222");
        std::memcpy(bytes.data() + kPromptRecordAt, &in, sizeof in);
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
    std::memcpy(bytes.data() + kPromptRecordAt, &auth, sizeof auth);
    Block block(bytes, bytes.size() + 4096);
    EXPECT_EQ(RunJobprompt(kBlockName), 0u);
    const std::vector<BYTE> after = block.Bytes();
    for (size_t i = bytes.size(); i < after.size(); ++i)
        ASSERT_EQ(after[i], kFill) << "byte " << i;
    INT answered = 0;
    std::memcpy(&answered, after.data() + offsetof(JobPromptHeader, answered), 4);
    EXPECT_EQ(answered, 1);
    JobAuthRecord out;
    std::memcpy(&out, after.data() + kPromptRecordAt, sizeof out);
    EXPECT_EQ(strnlen(out.userId, sizeof out.userId), sizeof out.userId - 1);
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
        PreCheckHeader h{};
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
        Block block(bytes, bytes.size());
        const std::vector<BYTE> before = block.Bytes();
        EXPECT_EQ(RunJobprompt(u"PRECHECK_MAPPING_NAME_00042"), 0u);
        EXPECT_EQ(block.Bytes(), before);
    }
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
