// The four prompt exports, worked as a person would through scripted
// answers: what each asks, what OK, Cancel and refused input leave in the
// caller's records, and records from another process whose texts never end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "job_prompts.h"
#include "platform/codepage_ctl.h"
#include "platform/user_ctl.h"
#include "platform_testing/fresh_root.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/spool.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace scripts = platform::user::test;

constexpr char16_t kPrinter[] = u"Prompts";

void SetClipboard(const std::u16string& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * 2);
    std::memcpy(GlobalLock(g), text.c_str(), (text.size() + 1) * 2);
    GlobalUnlock(g);
    SetClipboardData(CF_UNICODETEXT, g);
    CloseClipboard();
}

// A step a person takes at the prompt.
using Step = std::function<void(HWND)>;
Step Type(int id, const std::u16string& text) {
    return [=](HWND d) { drv::TypeText(drv::FindControl(d, id), text); };
}
Step Press(int id) {
    return [=](HWND d) { drv::PressButton(d, id); };
}
Step Paste(int id, const std::u16string& clip) {
    return [=](HWND d) {
        HWND edit = drv::FindControl(d, id);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u""));
        SetClipboard(clip);
        SendMessageW(edit, WM_PASTE, 0, 0);
    };
}
// Reads what a field shows into *out.
Step Read(int id, std::u16string* out) {
    return [=](HWND d) { *out = drv::ReadText(drv::FindControl(d, id)); };
}
void Answer(std::vector<Step> steps) {
    scripts::AnswerNextModal([steps](HWND d) {
        for (const auto& s : steps)
            s(d);
    });
}

class PromptTest : public ::testing::Test {
  protected:
    // A printer whose model's department prompt has the flags (0: no prompt
    // record at all; -1: the sample's, which accepts an empty code).
    // deptRule: the code's input flags (0: the sample's).
    void Install(long deptFlags = -1, long deptRule = 0) {
        auto source = ui_test::SampleSource("CX5540");
        if (deptFlags == 0) source["codes"].erase("63");
        if (deptFlags > 0) source["codes"]["63"]["2"][0] = deptFlags;
        if (deptRule > 0) source["codes"]["63"]["2"][2] = deptRule;
        ui_test::InstallPrinter(kPrinter, ui_test::Compile(source), {"Resbundle.DLL"});
        bound_ = std::make_unique<ui_test::BoundPrinter>(kPrinter);
        ASSERT_TRUE(bound_->ok());
    }
    HANDLE printer() { return bound_->printer(); }
    LPVOID data() { return bound_->binding()->modelData; }
    void TearDown() override {
        OpenClipboard(nullptr);
        EmptyClipboard();
        CloseClipboard();
        bound_.reset();
    }
    std::vector<std::u16string> Boxes() {
        std::vector<std::u16string> texts;
        for (const auto& b : scripts::MessageBoxLog())
            texts.push_back(b.text);
        return texts;
    }
    std::unique_ptr<ui_test::BoundPrinter> bound_;
};

JobAuthRecord Auth(WORD type, DWORD flags, const char* id, const char* password) {
    JobAuthRecord r{};
    r.size = sizeof r;
    r.jobType = type;
    r.flags = flags;
    std::strncpy(r.userId, id, sizeof r.userId - 1);
    std::strncpy(r.password, password, sizeof r.password - 1);
    return r;
}

TEST_F(PromptTest, UserIdPrompt) {
    Install();
    struct Case {
        const char* name;
        WORD type;
        DWORD flags;
        std::vector<Step> steps; // empty: no prompt may show
        INT result;
        const char* id;
        const char* password;
        std::vector<std::u16string> boxes;
    } cases[] = {
        {"nothing asked", 1, 0, {}, 1, "1", "2", {}},
        {"ok",
         4,
         kJobAuthAsk,
         {Type(1352, u"4711"), Type(1354, u"08150815"), Press(IDOK)},
         1,
         "4711",
         "08150815",
         {}},
        {"cancel", 4, kJobAuthAsk, {Type(1352, u"4711"), Press(IDCANCEL)}, 0, "1", "2", {}},
        {"short password refused, then cancel",
         4,
         kJobAuthAsk,
         {Type(1352, u"4711"), Type(1354, u"123"), Press(IDOK), Press(IDCANCEL)},
         0,
         "1",
         "2",
         {u"Please enter a 8 digit Password."}},
        {"empty id refused, then cancel",
         4,
         kJobAuthAsk,
         {Type(1352, u""), Press(IDOK), Press(IDCANCEL)},
         0,
         "1",
         "2",
         {u"Please enter a 16 digit User ID."}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        scripts::MessageBoxLog(); // read to keep the order plain
        if (!c.steps.empty()) Answer(c.steps);
        for (size_t i = 0; i < c.boxes.size(); ++i)
            scripts::AnswerNextMessageBox(IDOK);
        const size_t before = scripts::MessageBoxLog().size();
        JobAuthRecord r = Auth(c.type, c.flags, "1", "2");
        EXPECT_EQ(InputJobSpoolUserPwdInfo(printer(), data(), &r), c.result);
        EXPECT_STREQ(r.userId, c.id);
        EXPECT_STREQ(r.password, c.password);
        auto boxes = Boxes();
        EXPECT_EQ(std::vector<std::u16string>(boxes.begin() + before, boxes.end()), c.boxes);
    }
}

TEST_F(PromptTest, PromptsAreOwnerlessAndCentred) {
    Install();
    Answer({[](HWND d) {
                EXPECT_EQ(GetWindow(d, GW_OWNER), nullptr);
                RECT desktop{}, own{};
                GetWindowRect(GetDesktopWindow(), &desktop);
                GetWindowRect(d, &own);
                EXPECT_LE(std::abs((own.left + own.right) - (desktop.left + desktop.right)), 1);
                EXPECT_LE(std::abs((own.top + own.bottom) - (desktop.top + desktop.bottom)), 1);
            },
            Press(IDOK)});
    JobInfoRecord r{sizeof r, kJobInfoAsked, "job", "user"};
    EXPECT_EQ(InputUserJobInformation(printer(), data(), &r), 1);
}

TEST_F(PromptTest, DepartmentPromptWithoutTheModelsPromptAsksNothing) {
    Install(0);
    DeptCodeRecord r{sizeof r, kDeptAsk, "77"};
    EXPECT_EQ(InputDeptCodeInfo(printer(), data(), &r), 1);
    EXPECT_STREQ(r.code, "77");
}

TEST_F(PromptTest, DepartmentPrompt) {
    struct Case {
        const char* name;
        long modelFlags;
        DWORD recordFlags;
        std::vector<Step> steps;
        std::vector<int> boxAnswers;
        const char* code;
        size_t boxes;
    } cases[] = {
        {"record asks nothing", 0x11, 0x1, {}, {}, "77", 0},
        {"model's prompt off", 0x01, kDeptAsk, {}, {}, "77", 0},
        {"ok", 0x11, kDeptAsk, {Type(1362, u"1234"), Press(IDOK)}, {}, "1234", 0},
        {"ninth byte refused",
         0x11,
         kDeptAsk,
         {Type(1362, u"123456789"), Press(IDOK)},
         {},
         "12345678",
         0},
        {"empty code: No keeps the prompt, then a code",
         0x11,
         kDeptAsk,
         {Type(1362, u""), Press(IDOK), Type(1362, u"55"), Press(IDOK)},
         {IDNO},
         "55",
         1},
        {"empty code: Yes takes it",
         0x11,
         kDeptAsk,
         {Type(1362, u""), Press(IDOK)},
         {IDYES},
         "",
         1},
        {"empty code accepted silently", 0x13, kDeptAsk, {Type(1362, u""), Press(IDOK)}, {}, "", 0},
        {"starts empty", 0x91, kDeptAsk, {Press(IDOK)}, {IDYES}, "", 1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Install(c.modelFlags);
        if (!c.steps.empty()) Answer(c.steps);
        for (int a : c.boxAnswers)
            scripts::AnswerNextMessageBox(a);
        const size_t before = scripts::MessageBoxLog().size();
        DeptCodeRecord r{sizeof r, c.recordFlags, "77"};
        EXPECT_EQ(InputDeptCodeInfo(printer(), data(), &r), 1);
        EXPECT_STREQ(r.code, c.code);
        auto log = scripts::MessageBoxLog();
        ASSERT_EQ(log.size() - before, c.boxes);
        if (c.boxes) {
            EXPECT_EQ(log.back().caption, u"Department Code");
            EXPECT_EQ(log.back().type & (MB_TYPEMASK | MB_DEFMASK), UINT(MB_YESNO | MB_DEFBUTTON2));
        }
        bound_.reset();
    }
}

// A code against the model's rule (digits only, all 8 of them) is told the
// rule on OK, not asked for; Cancel then keeps the caller's code.
TEST_F(PromptTest, DepartmentCodeAgainstTheRuleIsToldTheRule) {
    Install(0x11, 0x1005);
    Answer({Type(1362, u"1234"), Press(IDOK), Press(IDCANCEL)});
    scripts::AnswerNextMessageBox(IDOK);
    const size_t before = scripts::MessageBoxLog().size();
    DeptCodeRecord r{sizeof r, kDeptAsk, "77"};
    EXPECT_EQ(InputDeptCodeInfo(printer(), data(), &r), 1);
    EXPECT_STREQ(r.code, "77");
    auto log = scripts::MessageBoxLog();
    ASSERT_EQ(log.size(), before + 1);
    EXPECT_EQ(log.back().text, u"Please enter a 8 digit Department Code.");
    EXPECT_EQ(log.back().caption, u"Department Code");
}

TEST_F(PromptTest, JobTypePromptCommitsNamesOnlyOnOk) {
    Install(0x11);
    JobAuthRecord auth = Auth(4, kJobAuthAsk, "1", "2");
    JobInfoRecord info{sizeof info, kJobInfoAsked, "job", "user"};
    DeptCodeRecord dept{sizeof dept, kDeptAsk, ""};
    // OK stops at the empty department code (No), then the user cancels.
    Answer({Type(1374, u"99"), Type(1375, u"98765432"), Type(1383, u""), Press(IDOK),
            Press(IDCANCEL)});
    scripts::AnswerNextMessageBox(IDNO);
    EXPECT_EQ(InputJobSpoolExt(printer(), data(), &auth, &info, &dept), 0);
    EXPECT_EQ(info.flags, kJobInfoAsked);
    EXPECT_STREQ(auth.userId, "1");
    EXPECT_STREQ(dept.code, "");

    Answer({Type(1374, u"99"), Type(1375, u"98765432"), Type(1383, u"42"), Press(IDOK)});
    EXPECT_EQ(InputJobSpoolExt(printer(), data(), &auth, &info, &dept), 1);
    EXPECT_EQ(info.flags, 0u);
    EXPECT_STREQ(info.jobName, "job");
    EXPECT_STREQ(auth.userId, "99");
    EXPECT_STREQ(auth.password, "98765432");
    EXPECT_STREQ(dept.code, "42");

    // Nothing asked: no prompt.
    JobInfoRecord quiet{sizeof quiet, 0, "", ""};
    DeptCodeRecord none{sizeof none, 0, ""};
    JobAuthRecord plain = Auth(4, 0, "", "");
    EXPECT_EQ(InputJobSpoolExt(printer(), data(), &plain, &quiet, &none), 1);
}

// A picture of each prompt as it opens with the caller's texts, into
// $PAGES_PNG_DIR, else into the test's machine root.
TEST_F(PromptTest, PicturesOfThePrompts) {
    Install(0x11);
    const char* dir = std::getenv("PAGES_PNG_DIR");
    const std::string folder = dir && *dir ? dir : platform_testing::Root();
    std::filesystem::create_directories(folder);
    auto picture = [&](const std::string& name) {
        Answer({[=](HWND d) { EXPECT_TRUE(drv::SavePng(d, folder + "/" + name + ".png")); },
                Press(IDCANCEL)});
    };
    JobAuthRecord auth = Auth(4, kJobAuthAsk, "4711", "");
    JobInfoRecord info{sizeof info, kJobInfoAsked, "Quarterly report", "Ann"};
    DeptCodeRecord dept{sizeof dept, kDeptAsk, "1234"};
    picture("prompt-job-type");
    InputJobSpoolExt(printer(), data(), &auth, &info, &dept);
    picture("prompt-user-id");
    InputJobSpoolUserPwdInfo(printer(), data(), &auth);
    picture("prompt-job-information");
    InputUserJobInformation(printer(), data(), &info);
    picture("prompt-department-code");
    InputDeptCodeInfo(printer(), data(), &dept);
    for (const char* name :
         {"prompt-job-type", "prompt-user-id", "prompt-job-information", "prompt-department-code"})
        EXPECT_TRUE(std::filesystem::exists(folder + "/" + name + ".png")) << name;
}

TEST_F(PromptTest, JobInformationPrompt) {
    Install();
    std::u16string shown;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        const char* user;
        std::u16string message;
    } cases[] = {
        {"ok", {Type(277, u"Ann"), Type(279, u"Report"), Press(IDOK)}, "Ann", u""},
        {"21st byte refused",
         {Type(277, u"abcdefghijklmnopqrstu"), Press(IDOK)},
         "abcdefghijklmnopqrst",
         u""},
        {"paste cut",
         {Paste(277, u"0123456789abcdefghijXYZ"), Press(IDOK)},
         "0123456789abcdefghij",
         u""},
        {"colon refused",
         {Type(277, u"a:b"), Press(IDOK), Type(277, u"ab"), Press(IDOK)},
         "ab",
         u"The following characters cannot be used. Please change.\r\n\t\t\\/*?:.;\"<>|."},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Answer(c.steps);
        if (!c.message.empty()) scripts::AnswerNextMessageBox(IDOK);
        const size_t before = scripts::MessageBoxLog().size();
        JobInfoRecord r{sizeof r, kJobInfoAsked, "old job", "old user"};
        EXPECT_EQ(InputUserJobInformation(printer(), data(), &r), 1);
        EXPECT_STREQ(r.userName, c.user);
        EXPECT_EQ(r.flags, 0u);
        auto log = scripts::MessageBoxLog();
        if (!c.message.empty()) {
            ASSERT_EQ(log.size(), before + 1);
            EXPECT_EQ(log.back().text, c.message);
            EXPECT_EQ(log.back().caption, u"Job Information");
        }
    }
}

TEST_F(PromptTest, ByteLimitCountsTheCodePagesBytes) {
    Install();
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    // 19 single bytes and a double-byte character would be 21 bytes.
    Answer({Type(277, u"abcdefghijklmnopqrs\u3042"), Press(IDOK)});
    JobInfoRecord r{sizeof r, kJobInfoAskUser, "", ""};
    EXPECT_EQ(InputUserJobInformation(printer(), data(), &r), 1);
    EXPECT_STREQ(r.userName, "abcdefghijklmnopqrs");
    // In 1252 a character outside the page is one byte (its replacement).
    ASSERT_TRUE(platform::test::SetAnsiCodePage(1252));
    EXPECT_EQ(AnsiByteLength(u"ab\u00e9"), 3);
}

TEST_F(PromptTest, RecordsWithoutTerminatorsAreReadWithinTheirFields) {
    Install();
    JobInfoRecord r{sizeof r, kJobInfoAsked, "", ""};
    std::memset(r.jobName, 'j', sizeof r.jobName);
    std::memset(r.userName, 'u', sizeof r.userName);
    std::u16string job;
    Answer({Read(279, &job), Type(277, u"x"), Press(IDOK)});
    EXPECT_EQ(InputUserJobInformation(printer(), data(), &r), 1);
    EXPECT_EQ(job, std::u16string(83, u'j'));
    EXPECT_EQ(std::strlen(r.jobName), 83u);
    EXPECT_STREQ(r.userName, "x");

    JobAuthRecord auth = Auth(4, kJobAuthAsk, "", "");
    std::memset(auth.userId, '1', sizeof auth.userId);
    std::u16string id;
    Answer({Read(1352, &id), Press(IDCANCEL)});
    EXPECT_EQ(InputJobSpoolUserPwdInfo(printer(), data(), &auth), 0);
    EXPECT_EQ(id, std::u16string(31, u'1'));
}

} // namespace
