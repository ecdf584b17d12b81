// A stand-in for a localised sibling library: its UpdateRCBFile records the
// module it was given in "C:\rcb-calls.ini" and answers STUB_RESULT.
#include <string>

#include "rcb_export.h"
#include "win/base.h"

DLLEXPORT DWORD WINAPI UpdateRCBFile(HMODULE module) {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    std::u16string p(path);
    std::u16string name = p.substr(p.rfind(u'\\') + 1);
    WCHAR count[16] = {};
    GetPrivateProfileStringW(u"Calls", u"Count", u"0", count, 16, u"C:\\rcb-calls.ini");
    std::u16string next(1, static_cast<char16_t>(count[0] + 1));
    WritePrivateProfileStringW(u"Calls", u"Count", next.c_str(), u"C:\\rcb-calls.ini");
    WritePrivateProfileStringW(u"Calls", name.c_str(), next.c_str(), u"C:\\rcb-calls.ini");
    return STUB_RESULT;
}
