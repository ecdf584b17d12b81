// printhost as a new user meets it: files that are not what a subcommand
// reads are refused with the reason and a non-zero exit, every subcommand
// answers --help, and a failed job names the error that failed it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform_testing/fresh_root.h"

namespace {

namespace fs = std::filesystem;

int Printhost(const std::string& arguments, std::string* out) {
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class PrinthostCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = platform_testing::Root();
        Write(root_ + "/notes.txt", "Remember to buy paper.\nAnd toner.\n");
        Write(root_ + "/empty", "");
        // The first 64 bytes of a real model data file: a header that states more than the file
        // holds.
        std::ifstream model(std::string(PKG_MODELS_DIR) + "/CX5540.DAT", std::ios::binary);
        std::string head(64, '\0');
        model.read(head.data(), static_cast<std::streamsize>(head.size()));
        Write(root_ + "/cut.DAT", head);
        std::string out;
        ASSERT_EQ(
            Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                      &out),
            0)
            << out;
        // Straight into the stream: the sample's defaults are replayed
        // spool-side, which the graphics library does not take yet.
        ASSERT_EQ(Printhost("devmode P --set ReverseOrder=0 --set GraphicsMode=0 --store", &out), 0)
            << out;
    }
    std::string root_;
};

TEST_F(PrinthostCliTest, FilesThatAreNotWhatASubcommandReadsAreRefused) {
    struct Case {
        std::string arguments;
        int exitCode;
        std::string message;
    };
    const std::string r = root_;
    std::vector<Case> cases = {
        {"install --name T --model '" + r + "/notes.txt'", 1,
         "is not a model data file the model library accepts: its header states"},
        {"install --name T --model '" + r + "/empty'", 1,
         "0 bytes, too few for a model data file's header"},
        {"install --name T --model '" + r + "/cut.DAT'", 1, "but the file holds 64"},
        {"model '" + r + "/notes.txt'", 1, "is not a model data file"},
        {"model '" + r + "/empty'", 1, "the model library does not accept its header"},
        {"decode '" + r + "/notes.txt'", 1, "is not a printer stream"},
        {"decode '" + r + "/empty'", 1, "is not a printer stream"},
        {"decode '" + r + "/missing.prn'", 1, "cannot read"},
        {"print --printer P '" + r + "/notes.txt'", 1,
         "the job failed after 0 page(s): '" + r +
             "/notes.txt' is not a readable enhanced metafile (error 13: "
             "the data is not valid)"},
        {"print --printer Nobody", 1,
         "cannot open printer 'Nobody' (error 1801: no printer has that name)"},
        {"print --printer P --pages 0", 2, "--pages takes a number"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(Printhost(c.arguments, &out), c.exitCode) << c.arguments << "\n" << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.arguments << "\n" << out;
        EXPECT_EQ(out.find("error 126"), std::string::npos) << c.arguments << "\n" << out;
    }
    // Nothing was installed from the refused files.
    std::string out;
    ASSERT_EQ(Printhost("printers", &out), 0);
    EXPECT_EQ(out.find("\"T\""), std::string::npos) << out;
}

TEST_F(PrinthostCliTest, EverySubcommandAnswersHelp) {
    std::string list;
    ASSERT_EQ(Printhost("--help", &list), 0);
    std::vector<std::string> names;
    for (size_t at = list.find("\n  "); at != std::string::npos; at = list.find("\n  ", at + 1)) {
        size_t start = at + 3;
        if (list[start] == ' ') continue; // a summary line
        names.push_back(list.substr(start, list.find_first_of(" \n", start) - start));
    }
    ASSERT_GE(names.size(), 6u) << list;
    for (const std::string& name : names) {
        std::string out;
        EXPECT_EQ(Printhost(name + " --help", &out), 0) << name << "\n" << out;
        EXPECT_EQ(out.rfind("usage: printhost " + name, 0), 0u) << name << "\n" << out;
    }
}

} // namespace
