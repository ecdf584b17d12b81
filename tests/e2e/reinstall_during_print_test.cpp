// A driver reinstalled while another process prints with it: the printing
// process goes on with the files it has loaded and ends cleanly, every round.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform_testing/fresh_root.h"

namespace {

std::string Tool() {
    return std::string("'") + PKG_TOOLS_DIR + "/printhost'";
}

int Printhost(const std::string& arguments, std::string* out) {
    return platform_testing::RunCommand(Tool() + " " + arguments + " 2>&1", out);
}

TEST(ReinstallDuringPrint, EveryPrintEndsCleanly) {
    constexpr int kRounds = 6;
    const std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    const std::string install = "install --name 'CX5540' --model '" + model + "'";
    std::string out;
    ASSERT_EQ(Printhost(install, &out), 0) << out;
    // Straight into the stream: the sample's defaults are replayed
    // spool-side, which the graphics library does not take yet.
    ASSERT_EQ(Printhost("devmode 'CX5540' --set ReverseOrder=0 --set GraphicsMode=0 --store", &out),
              0)
        << out;

    std::string installOut;
    int installFailures = 0;
    std::thread installer([&] {
        for (int i = 0; i < kRounds; ++i) {
            std::string o;
            if (Printhost(install, &o) != 0) {
                ++installFailures;
                installOut += o;
            }
        }
    });
    int printFailures = 0;
    std::string printOut;
    for (int i = 0; i < kRounds; ++i) {
        std::string prn = platform_testing::Root() + "/round-" + std::to_string(i) + ".prn";
        std::string o;
        int rc = Printhost("print --printer 'CX5540' --pages 3 --output '" + prn + "'", &o);
        if (rc != 0 || o.find("printed 3 page(s)") == std::string::npos) {
            ++printFailures;
            printOut +=
                "round " + std::to_string(i) + " rc " + std::to_string(rc) + ": " + o + "\n";
        }
    }
    installer.join();
    EXPECT_EQ(printFailures, 0) << printOut;
    EXPECT_EQ(installFailures, 0) << installOut;
}

} // namespace
