// Devprobe's module: its string table and the socket start-up at load.
#include "devcomm/devprobe.h"
#include "devprobe_internal.h"
#include "win/base.h"
#include "win/winsock.h"

namespace devprobe {

std::string String(int id) {
    switch (id) {
    case IDS_DEVPROBE_SOCKET_INIT_FAILED:
        return "Windows "
               "\xBF\xB9\xAF\xC4\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x82\xC9\x8E\xB8\x94\x73\x82\xB5"
               "\x82\xDC"
               "\x82\xB5\x82\xBD\x81\x42"; // code page 932
    case IDS_DEVPROBE_OUTER_BIN:
        return "Outer";
    case IDS_DEVPROBE_OUTER_TRAY_CODE:
        return "LT-VR310";
    default:
        return {};
    }
}

} // namespace devprobe

// The application object's start-up: the socket layer must start, or the
// library refuses to load.
DLLEXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    static bool started = false;
    if (reason == DLL_PROCESS_ATTACH) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return FALSE;
        started = true;
    } else if (reason == DLL_PROCESS_DETACH && started) {
        WSACleanup();
        started = false;
    }
    return TRUE;
}
