// Job accounting through printhost as a person uses it: a Confidential Print
// job with a password chosen on the Job Type page carries its hold and
// password in the job header; a job whose type asks at print time runs the
// real Jobprompt, prints after a scripted answer and prints nothing after
// Cancel or when nobody answers.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform_testing/fresh_root.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The sample model with Confidential Print's rule flags replaced.
std::string ModelWithConfidentialRule(const std::string& flags) {
    std::string source = ReadFile(std::string(PKG_SOURCE_DIR) + "/samples/models/CX5540.json");
    const std::string from = "\"62\": {\"2\": [\"0x03\"";
    const size_t at = source.find(from);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos)
        source.replace(at, from.size(), "\"62\": {\"2\": [\"" + flags + "\"");
    const std::string root = platform_testing::Root();
    std::ofstream(root + "/model.json") << source;
    std::string out;
    EXPECT_EQ(platform_testing::RunCommand(std::string("'") + PKG_TOOLS_DIR + "/modelc' '" + root +
                                               "/model.json' -o '" + root + "/model.dat' 2>&1",
                                           &out),
              0)
        << out;
    return root + "/model.dat";
}

class JobAccounting : public ::testing::Test {
  protected:
    // A printer of the model with its hard disk fitted (the held job types
    // need it), printing straight into the printer stream.
    void Install(const std::string& model) {
        std::string out;
        ASSERT_EQ(Printhost("install --name P --model '" + model + "'", &out), 0) << out;
        ASSERT_EQ(Printhost("options P --install 35=1", &out), 0) << out;
        ASSERT_EQ(Printhost("devmode P --set ReverseOrder=0 --set GraphicsMode=0 --store", &out), 0)
            << out;
    }
    std::string Print(const std::string& extra, std::string* header) {
        const std::string prn = platform_testing::Root() + "/job.prn";
        std::string out;
        EXPECT_EQ(Printhost("print --printer P --output '" + prn + "' " + extra, &out), 0) << out;
        *header = ReadFile(prn);
        return out;
    }
};

TEST_F(JobAccounting, ConfidentialPrintWithAPasswordFromTheJobTypePage) {
    Install(ModelWithConfidentialRule("0x07"));
    std::string out;
    ASSERT_EQ(Printhost("properties P --page 'Job Type' --set 'Job Type=on' "
                        "--set 'Confidential Print=click' --set 'User ID=4711' --set 272=12345678",
                        &out),
              0)
        << out;
    EXPECT_NE(out.find("Current Setting: Confidential Print"), std::string::npos) << out;
    std::string header;
    Print("", &header);
    EXPECT_NE(header.find("@PJL SET HOLD=PROOF"), std::string::npos) << header;
    EXPECT_NE(header.find("\"12345678\""), std::string::npos) << header;
}

// The model keeps the job settings in the user's own store, per printer: a
// later sheet and a later print start from them in new processes, even over
// printing defaults stored without them, and another printer of the same
// model does not see them.
TEST_F(JobAccounting, JobSettingsKeptPerUserAndPrinter) {
    const std::string model = ModelWithConfidentialRule("0x07");
    Install(model);
    std::string out;
    ASSERT_EQ(Printhost("properties P --page 'Job Type' --set 'Job Type=on' "
                        "--set 'Confidential Print=click' --set 'User ID=4711' --set 272=12345678",
                        &out),
              0)
        << out;
    // Printing defaults stored without the job type: the saved settings win.
    ASSERT_EQ(Printhost("devmode P --set JobType=0 --store", &out), 0) << out;
    ASSERT_EQ(Printhost("devmode P", &out), 0) << out;
    EXPECT_NE(out.find("private  JobType                5 (0x5)"), std::string::npos) << out;
    EXPECT_NE(out.find("private  SecurePassword         \"12345678\""), std::string::npos) << out;
    ASSERT_EQ(Printhost("properties P --page 'Job Type'", &out), 0) << out;
    EXPECT_NE(out.find("Current Setting: Confidential Print"), std::string::npos) << out;
    EXPECT_NE(out.find("Edit #270 \"4711\""), std::string::npos) << out;
    EXPECT_NE(out.find("Edit #272 \"12345678\""), std::string::npos) << out;
    std::string header;
    Print("", &header);
    EXPECT_NE(header.find("@PJL SET HOLD=PROOF"), std::string::npos) << header;
    EXPECT_NE(header.find("\"12345678\""), std::string::npos) << header;

    ASSERT_EQ(Printhost("install --name Q --model '" + model + "'", &out), 0) << out;
    ASSERT_EQ(Printhost("properties Q --page 'Job Type'", &out), 0) << out;
    EXPECT_NE(out.find("Current Setting: None"), std::string::npos) << out;
    EXPECT_EQ(out.find("4711"), std::string::npos) << out;
}

// A profile saved with no job type, chosen after Confidential Print was set
// and saved as the user's job settings: it is applied as it was saved, not
// reported as wrong settings, and its job type reaches the next sheet.
TEST_F(JobAccounting, AProfileOfAnotherJobTypeIsAppliedAsSaved) {
    Install(ModelWithConfidentialRule("0x07"));
    std::string out;
    ASSERT_EQ(Printhost("properties P --page Basic --set 'Paper Size=A5'", &out), 0) << out;
    ASSERT_EQ(Printhost("properties P --page Profile --set 'Save as ...=click' "
                        "--dialog 'Profile Name=A5 plain'",
                        &out),
              0)
        << out;
    ASSERT_EQ(Printhost("properties P --page 'Job Type' --set 'Job Type=on' "
                        "--set 'Confidential Print=click' --set 'User ID=4711' --set 272=12345678",
                        &out),
              0)
        << out;
    ASSERT_EQ(Printhost("properties P --page Profile --set 'Profile=A5 plain'", &out), 0) << out;
    EXPECT_EQ(out.find("wrong settings"), std::string::npos) << out;
    ASSERT_EQ(Printhost("properties P --page Profile", &out), 0) << out;
    EXPECT_NE(out.find("ListBox #563 \"\" items=2 sel=1"), std::string::npos) << out;
    ASSERT_EQ(Printhost("properties P --page 'Job Type'", &out), 0) << out;
    EXPECT_NE(out.find("Current Setting: None"), std::string::npos) << out;
}

TEST_F(JobAccounting, AJobThatAsksAtPrintTimePrintsOnlyWhenAnswered) {
    Install(ModelWithConfidentialRule("0x87"));
    std::string out;
    ASSERT_EQ(Printhost("properties P --page 'Job Type' --set 'Job Type=on' "
                        "--set 'Confidential Print=click' --set 'User ID=1' --set 272=11111111",
                        &out),
              0)
        << out;
    std::string header;
    out = Print("--answer 'ok 1352=4711 1354=87654321'", &header);
    EXPECT_NE(out.find("printed 1 page(s)"), std::string::npos) << out;
    EXPECT_NE(header.find("@PJL SET HOLD=PROOF"), std::string::npos) << header;
    EXPECT_NE(header.find("\"87654321\""), std::string::npos) << header;
    EXPECT_EQ(header.find("\"11111111\""), std::string::npos) << header;

    Print("--answer cancel", &header);
    EXPECT_TRUE(header.empty()) << header;
    // Nobody answers: the prompt is left as cancelled, the job prints nothing.
    Print("", &header);
    EXPECT_TRUE(header.empty()) << header;
}

} // namespace
