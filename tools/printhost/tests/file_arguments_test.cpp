// What printhost is handed where a file belongs: a pipe or a folder, for
// each command that reads or writes a file. Each refuses it at once with
// the reason, exit 1, and never waits on the pipe.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform_testing/fresh_root.h"

namespace {

namespace fs = std::filesystem;

// A command that waits on the pipe is stopped by the time limit (exit 124)
// and fails the case instead of the run.
int Printhost(const std::string& arguments, std::string* out) {
    return platform_testing::RunCommand(
        "timeout 60 '" + std::string(PKG_TOOLS_DIR) + "/printhost' " + arguments + " 2>&1", out);
}

TEST(FileArguments, PipesAndFoldersAreRefusedAtOnce) {
    const std::string root = platform_testing::Root();
    const std::string kinds[][2] = {{"pipe", "it is a pipe, not a file"},
                                    {"folder", "it is a folder, not a file"}};
    for (const auto& [kind, reason] : kinds) {
        const std::string path = root + "/" + kind + ".emf";
        // A folder is a document of one page a file; this one holds none.
        const std::string asDocument = kind == "folder" ? "no .emf pages in folder '" + path + "'"
                                                        : "no document '" + path + "': " + reason;
        // A page folder holding one such page, and such a thing where a picture goes.
        const std::string pages = root + "/" + kind + "-pages";
        fs::create_directories(pages);
        const std::string prefix = root + "/" + kind + "-picture";
        for (const std::string& p : {path, pages + "/page1.emf", prefix + "-1.png"}) {
            if (kind == "pipe")
                ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0) << p;
            else
                fs::create_directories(p);
        }
        const std::string picture = root + "/picture";
        struct Case {
            std::string arguments;
            std::string message;
        } cases[] = {
            {"decode '" + path + "'", "cannot read '" + path + "': " + reason},
            {"decode --png '" + picture + "' '" + path + "'", reason},
            {"model '" + path + "'", reason},
            {"render '" + path + "' --png '" + picture + "'",
             "cannot read '" + path + "': " + reason},
            {"render '" + std::string(PKG_SOURCE_DIR) + "/samples/documents/pictures.emf' --png '" +
                 prefix + "'",
             "cannot write '" + prefix + "-1.png': " + reason},
            {"print --printer P '" + path + "'", asDocument},
            {"print --printer P '" + pages + "'",
             "cannot read page '" + pages + "/page1.emf': " + reason},
            {"print --printer P --output '" + path + "'", "cannot write '" + path + "': " + reason},
            {"print --printer P --to-file '" + path + "'",
             "cannot write '" + path + "': " + reason},
            {"install --name Q --model '" + path + "'",
             "no model data file '" + path + "': " + reason},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.arguments);
            std::string out;
            EXPECT_EQ(Printhost(c.arguments, &out), 1) << out;
            EXPECT_NE(out.find(c.message), std::string::npos) << out;
        }
    }
}

} // namespace
