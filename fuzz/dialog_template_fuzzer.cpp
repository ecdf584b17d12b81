// libFuzzer harness over the dialog template reader and the dialog manager:
// the input is a DLGTEMPLATE or DLGTEMPLATEEX (seeded with the test module's
// templates). A template that reads is also created as a dialog, in a global
// block of its own size, and destroyed again.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/dialog_template.h"
#include "win/memory.h"
#include "win/user.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::user::DialogTemplateData t;
    std::string error;
    if (!platform::user::ReadDialogTemplate(data, size, &t, &error)) return 0;
    if (t.length > size) __builtin_trap();
    // Creating windows for thousands of items says nothing more.
    if (t.items.size() > 64) return 0;
    HGLOBAL g = GlobalAlloc(0, size ? size : 1);
    if (!g) return 0;
    void* p = GlobalLock(g);
    std::memcpy(p, data, size);
    // A template asking for a child window has no parent here and fails cleanly.
    HWND dialog = CreateDialogIndirectParamW(nullptr, static_cast<const DLGTEMPLATE*>(p), nullptr,
                                             nullptr, 0);
    if (dialog) DestroyWindow(dialog);
    GlobalUnlock(g);
    GlobalFree(g);
    return 0;
}
