// The controls of a page by what a person reads beside them, and the
// changes a person makes to them: printhost properties --set LABEL=VALUE.
#pragma once

#include <string>
#include <vector>

#include "win/base.h"

namespace printhost {

// A label as one types it: mnemonic ampersands gone ("&&" stays one "&"),
// blanks collapsed, a trailing colon and the blanks around it dropped.
std::u16string PlainLabel(std::u16string_view text);

struct LabelledControl {
    HWND window = nullptr;
    int id = 0;
    std::u16string label; // plain; empty when nothing names it
};

// The visible controls of a page that a person changes, in the page's order,
// each with its label: a button's own text (check box, radio button, push
// button), otherwise the text of the static text or group box before it
// (statics with no text passed over, and so is plain text after a label
// marked by a mnemonic or a colon: "&Profile :" names the list after the
// empty static beside it, "&Layout Print :" is not undone by the "None" shown
// after it).
std::vector<LabelledControl> LabelledControls(HWND page);

// The control that `label` names on the page: its plain label in full (case
// aside), else the one label that begins with it. nullptr with *error, which
// lists the page's labels or the controls that share the label.
HWND FindControlByLabel(HWND page, const std::u16string& pageName, const std::u16string& label,
                        std::string* error);

// The item of a list or combo box whose text is `value` (case aside), else the
// one item that begins with it; -1 with *error listing the items.
int FindItemByText(HWND listOrCombo, const std::u16string& value, std::string* error);

// Makes the change a person would: a check box "on" or "off", a radio or
// push-like button "on", a push button "click", an edit typed into, a list
// item chosen by its text or a unique beginning, a slider moved to a number,
// an up-down clicked a number of steps. False with *error, which says what
// the control takes.
bool SetControlValue(HWND control, const std::string& name, const std::string& value,
                     std::string* error);

} // namespace printhost
