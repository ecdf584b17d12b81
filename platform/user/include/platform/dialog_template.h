// The one reader of dialog templates (DLGTEMPLATE and DLGTEMPLATEEX bytes):
// every field, string and item is checked against the template's size.
#pragma once

#include <string>
#include <vector>

#include "platform/res_file.h"

namespace platform::user {

struct DialogItemTemplate {
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0; // dialog units
    DWORD id = 0;
    res::ResId windowClass; // ordinal 0x80..0x85 for the predefined classes
    res::ResId title;       // text, or the ordinal of an icon or bitmap
    std::vector<BYTE> creationData;
};

struct DialogTemplateData {
    bool extended = false;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    res::ResId menu;        // ordinal 0: none
    res::ResId windowClass; // ordinal 0: the dialog class
    std::u16string title;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string face;
    std::vector<DialogItemTemplate> items;
    size_t length = 0; // bytes the template spans
};

// Reads a template of at most size bytes (reading stops at its last item). False with *error (what
// and where) when it is not one.
bool ReadDialogTemplate(const BYTE* data, size_t size, DialogTemplateData* out, std::string* error);

} // namespace platform::user
