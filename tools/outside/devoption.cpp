// DevOption.DLL, a stand-in for the device-option module that ships with a
// model: it answers each option key from the option file's section of that
// name, written by a test:
//
//   [\Printer.NKTDeviceOptions.General.DeviceName001:Name]
//   Kind=255
//   Count=1
//   Text1=Velmora CX5540 MFP
//
//   Kind, Value, Second: the answer's numbers (0 when absent);
//   Count and Text1..TextN: the texts of kinds 255 and 7;
//   Fail=1: the module cannot answer the key.
// A key without a section is not answered.
#include <algorithm>
#include <string>

#include "device_option_module.h"
#include "win/base.h"
#include "win/ini.h"

namespace {

std::u16string Read(LPCWSTR file, LPCWSTR key, const char16_t* name) {
    WCHAR text[kOptionTextChars * 4] = {};
    GetPrivateProfileStringW(key, name, u"", text, static_cast<DWORD>(std::size(text)), file);
    return text;
}

DWORD Number(LPCWSTR file, LPCWSTR key, const char16_t* name) {
    return GetPrivateProfileIntW(key, name, 0, file);
}

BOOL Answer(LPCWSTR printer, LPCWSTR key, LPCWSTR file, DWORD* value, DWORD* kind, LONG* count,
            DWORD* second, WCHAR* texts) {
    if (!printer || !key || !file || !value || !kind || !count || !second) return FALSE;
    if (Read(file, key, u"Kind").empty() || Number(file, key, u"Fail")) return FALSE;
    const LONG available = static_cast<LONG>(Number(file, key, u"Count"));
    if (texts) {
        const LONG room = std::max<LONG>(*count, 0);
        LONG written = 0;
        for (; written < std::min(room, available); ++written) {
            std::string n = std::to_string(written + 1);
            const std::u16string field = u"Text" + std::u16string(n.begin(), n.end());
            const std::u16string text = Read(file, key, field.c_str());
            WCHAR* slot = texts + static_cast<size_t>(written) * kOptionTextChars;
            const size_t chars = std::min<size_t>(text.size(), kOptionTextChars - 1);
            std::copy_n(text.data(), chars, slot);
            std::fill(slot + chars, slot + kOptionTextChars, u'\0');
        }
        *count = written;
    } else {
        *count = available;
    }
    *kind = Number(file, key, u"Kind");
    *value = Number(file, key, u"Value");
    *second = Number(file, key, u"Second");
    return TRUE;
}

} // namespace

DLLEXPORT BOOL WINAPI GetOptionInfoFromSchema(LPCWSTR printer, LPCWSTR key, LPCWSTR file,
                                              DWORD* value, DWORD* kind, LONG* count, DWORD* second,
                                              WCHAR* texts) {
    return Answer(printer, key, file, value, kind, count, second, texts);
}

DLLEXPORT BOOL WINAPI GetOptionInfo(LPCWSTR printer, LPCWSTR key, LPCWSTR file, DWORD* value,
                                    DWORD* kind, LONG* count, DWORD* second, WCHAR* texts) {
    return Answer(printer, key, file, value, kind, count, second, texts);
}
