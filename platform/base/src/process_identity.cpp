// Which process a process id names now: its start time, from the host.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/process_ctl.h"

namespace platform {

long long ProcessStarted(long long pid) {
    if (pid <= 0) return -1;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!in || !std::getline(in, stat)) return -1;
    size_t close = stat.rfind(')'); // the command name may hold spaces and parentheses
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    // The state is the third field and the start time the twenty-second.
    for (int i = 3; i <= 22; ++i) {
        if (!(fields >> field)) return -1;
        if (i == 3 && (field == "Z" || field == "X"))
            return -1; // ended, not yet reaped by its parent
    }
    return std::atoll(field.c_str());
}

} // namespace platform
