// Tab stops of list boxes and multiline edits: kept in dialog units as the
// program gives them, turned into pixels by the dialog's own base units when
// the text is drawn.
#include <new>

#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/errors.h"
#include "win/system_messages.h"

namespace platform::user {
namespace {

// Without stops, a tab stands every 32 dialog units.
constexpr int kDefaultStop = 32;
// A horizontal dialog unit is a quarter of the average character width.
constexpr int kUnitsPerBaseX = 4;

// The horizontal base unit of the dialog a control sits in.
int BaseUnitX(HWND control) {
    for (auto w = Find(control); w; w = w->parent ? Find(w->parent) : nullptr)
        if (w->isDialog) return w->baseUnitX;
    return LOWORD(GetDialogBaseUnits());
}

} // namespace

LRESULT SetTabStops(Window& w, WPARAM count, LPARAM stops) {
    const std::u16string& cls = w.windowClass->name;
    bool takes = (cls == u"ListBox" && (w.style & LBS_USETABSTOPS)) ||
                 (cls == u"Edit" && (w.style & ES_MULTILINE));
    if (!takes || (count && !stops)) return FALSE;
    try {
        const INT* given = reinterpret_cast<const INT*>(stops);
        w.tabStops.assign(given, given + count);
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

std::vector<INT> TabStopPixels(HWND control) {
    auto w = Find(control);
    if (!w) return {};
    int base = BaseUnitX(control);
    std::vector<int> units = w->tabStops.empty() ? std::vector<int>{kDefaultStop} : w->tabStops;
    std::vector<INT> pixels;
    for (int u : units)
        pixels.push_back(MulDiv(u, base, kUnitsPerBaseX));
    return pixels;
}

} // namespace platform::user

namespace platform::user::driver {

std::vector<INT> ReadTabStops(HWND control) {
    return TabStopPixels(control);
}

} // namespace platform::user::driver
