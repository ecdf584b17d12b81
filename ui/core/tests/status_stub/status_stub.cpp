// A stand-in for the status-monitor library: CallStatusmonitor records what
// it was given in "C:\status-calls.ini" and answers the [Answer] Value
// written there beforehand.
#include <string>

#include "devcomm/statuslens.h"
#include "win/base.h"
#include "win/ini.h"

namespace {

constexpr char kLog[] = "C:\\status-calls.ini";

} // namespace

DLLEXPORT int WINAPI CallStatusmonitor(StatusMonitorRequest* r) {
    WritePrivateProfileStringA("Request", "Address", r->address, kLog);
    WritePrivateProfileStringA("Request", "Model", r->modelName, kLog);
    WritePrivateProfileStringA("Request", "FirstWords", r->driverFirstWords, kLog);
    WritePrivateProfileStringA("Request", "Driver", r->driverName, kLog);
    WritePrivateProfileStringA("Request", "Port", r->portPath, kLog);
    WritePrivateProfileStringA("Request", "Connection", std::to_string(r->connection).c_str(),
                               kLog);
    char answer[16] = {};
    GetPrivateProfileStringA("Answer", "Value", "0", answer, sizeof answer, kLog);
    return std::stoi(answer);
}
