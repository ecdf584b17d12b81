// Windows, window classes, messages, queues, timers, focus and geometry.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "platform/core.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/errors.h"
#include "win/gdi_bitmap.h"
#include "win/process.h"

namespace platform::user {
namespace {

constexpr int kCaptionHeight = 18;
constexpr int kDialogFrame = 3;
constexpr int kBorder = 1;
constexpr int kClientEdge = 2;
constexpr LRESULT kUnicodeNotifications = 2; // NFR_UNICODE
constexpr ULONG_PTR kFirstHandle = 0x10010;

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
};

struct Queue {
    std::deque<MSG> messages;
    bool quit = false;
    int quitCode = 0;
};

struct State {
    std::recursive_mutex lock;
    std::map<ULONG_PTR, std::shared_ptr<Window>> windows;
    std::vector<HWND> topLevel;                                     // stacking order, top first
    std::map<std::u16string, std::shared_ptr<WindowClass>> classes; // by folded name
    ULONG_PTR next = kFirstHandle;
    ATOM nextAtom = 0xC000;
    std::map<DWORD, Queue> queues; // by thread id
    std::condition_variable_any posted;
    std::vector<Timer> timers;
    UINT_PTR nextTimer = 1;
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    POINT cursor{};
    std::set<int> heldKeys; // virtual keys the test driver holds down
    size_t created = 0;
};

State& S() {
    static State* s = new State;
    return *s;
}

thread_local bool tByUser = false;

// Frames of subclass chains being called, so that DefSubclassProc knows the
// next procedure down.
struct SubclassFrame {
    HWND window;
    size_t next; // index into subclasses of the next one down; 0 means the window procedure
};
thread_local std::vector<SubclassFrame> tSubclassFrames;

std::u16string Fold(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        c = FoldCase(c);
    return out;
}

std::u16string ClassKey(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) {
        ATOM atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
        std::lock_guard lock(S().lock);
        for (auto& [key, cls] : S().classes)
            if (cls->atom == atom) return key;
        return {};
    }
    return Fold(name);
}

void ResetWindows() {
    std::vector<HWND> tops;
    {
        std::lock_guard lock(S().lock);
        tops = S().topLevel;
    }
    for (auto it = tops.rbegin(); it != tops.rend(); ++it)
        DestroyWindow(*it);
    std::lock_guard lock(S().lock);
    S().windows.clear();
    S().topLevel.clear();
    std::erase_if(S().classes, [](const auto& kv) { return !kv.second->system; });
    S().queues.clear();
    S().timers.clear();
    S().focus = S().active = S().capture = nullptr;
    S().heldKeys.clear();
}

void EnsureReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetWindows), true);
    (void)registered;
}

LRESULT CallChain(Window& w, HWND h, UINT msg, WPARAM wp, LPARAM lp, size_t level) {
    // level: number of subclasses still to call (from the top); 0 → window procedure.
    if (level == 0) return w.proc ? w.proc(h, msg, wp, lp) : DefWindowProcW(h, msg, wp, lp);
    Subclass sc = w.subclasses[level - 1];
    tSubclassFrames.push_back({h, level - 1});
    LRESULT r = 0;
    try {
        r = sc.proc(h, msg, wp, lp, sc.id, sc.refData);
    } catch (...) {
        tSubclassFrames.pop_back();
        throw;
    }
    tSubclassFrames.pop_back();
    return r;
}

LRESULT Deliver(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CallChain(*w, h, msg, wp, lp, w->subclasses.size());
}

void Unlink(const std::shared_ptr<Window>& w) {
    std::lock_guard lock(S().lock);
    if (w->parent) {
        if (auto p = Find(w->parent)) std::erase(p->children, w->handle);
    } else {
        std::erase(S().topLevel, w->handle);
        PublishTopLevelWindows();
    }
    S().windows.erase(reinterpret_cast<ULONG_PTR>(w->handle));
    std::erase_if(S().timers, [&](const Timer& t) { return t.window == w->handle; });
    for (auto& [thread, q] : S().queues)
        std::erase_if(q.messages, [&](const MSG& m) { return m.hwnd == w->handle; });
    if (S().focus == w->handle) S().focus = nullptr;
    if (S().active == w->handle) S().active = nullptr;
    if (S().capture == w->handle) S().capture = nullptr;
    ReleaseSurface(*w);
}

POINT ClientOrigin(const Window& w) {
    RECT r = ClientScreenRect(w);
    return {r.left, r.top};
}

bool ClassMatches(const Window& w, LPCWSTR cls) {
    if (!cls) return true;
    if (IS_INTRESOURCE(cls))
        return w.windowClass->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(cls));
    return EqualsNoCase(w.windowClass->name, cls);
}

// Places a top-level window in the stacking order (first on top) at `at`,
// kept within its band: topmost windows above all others.
void Stack(std::vector<HWND>& tops, HWND h, bool topmost, size_t at) {
    size_t topmostCount = 0;
    while (topmostCount < tops.size()) {
        auto w = Find(tops[topmostCount]);
        if (!w || !(w->exStyle & WS_EX_TOPMOST)) break;
        ++topmostCount;
    }
    at = topmost ? std::min(at, topmostCount) : std::max(at, topmostCount);
    tops.insert(tops.begin() + static_cast<std::ptrdiff_t>(std::min(at, tops.size())), h);
}

} // namespace

std::shared_ptr<Window> Find(HWND h) {
    std::lock_guard lock(S().lock);
    auto it = S().windows.find(reinterpret_cast<ULONG_PTR>(h));
    return it == S().windows.end() ? nullptr : it->second;
}

std::vector<HWND> TopLevelWindows() {
    std::lock_guard lock(S().lock);
    return S().topLevel;
}

RECT Insets(DWORD style, DWORD exStyle) {
    RECT r{};
    int frame = 0;
    if ((style & WS_CAPTION) == WS_CAPTION || (style & WS_DLGFRAME) ||
        (exStyle & WS_EX_DLGMODALFRAME))
        frame = kDialogFrame;
    else if (style & WS_BORDER)
        frame = kBorder;
    if (exStyle & WS_EX_CLIENTEDGE) frame += kClientEdge;
    r.left = r.right = r.bottom = r.top = frame;
    if ((style & WS_CAPTION) == WS_CAPTION) r.top += kCaptionHeight;
    return r;
}

RECT ClientScreenRect(const Window& w) {
    POINT origin{0, 0};
    if (w.parent)
        if (auto p = Find(w.parent)) origin = ClientOrigin(*p);
    RECT in = Insets(w.style, w.exStyle);
    RECT r{origin.x + w.rect.left + in.left, origin.y + w.rect.top + in.top,
           origin.x + w.rect.right - in.right, origin.y + w.rect.bottom - in.bottom};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

void NotifyParent(HWND control, WORD code) {
    auto w = Find(control);
    if (!w || !w->parent) return;
    SendMessageW(w->parent, WM_COMMAND, MAKELONG(static_cast<WORD>(w->id), code),
                 reinterpret_cast<LPARAM>(control));
}

LRESULT NotifyParentNm(HWND control, NMHDR* header) {
    auto w = Find(control);
    if (!w || !w->parent) return 0;
    header->hwndFrom = control;
    header->idFrom = static_cast<UINT_PTR>(w->id);
    return SendMessageW(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id),
                        reinterpret_cast<LPARAM>(header));
}

bool ByUser() {
    return tByUser;
}
UserAction::UserAction() : previous_(tByUser) {
    tByUser = true;
}
UserAction::~UserAction() {
    tByUser = previous_;
}

} // namespace platform::user

namespace platform::user::test {

size_t LiveWindows() {
    std::lock_guard lock(S().lock);
    return S().windows.size();
}

size_t LiveTimers() {
    std::lock_guard lock(S().lock);
    return S().timers.size();
}

} // namespace platform::user::test

using namespace platform::user;

extern "C" {

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
    EnsureReset();
    RegisterSystemClasses();
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = IS_INTRESOURCE(wc->lpszClassName) ? u"" : wc->lpszClassName;
    cls->style = wc->style;
    cls->proc = wc->lpfnWndProc;
    cls->classExtra = wc->cbClsExtra;
    cls->windowExtra = wc->cbWndExtra;
    cls->instance = wc->hInstance;
    cls->icon = wc->hIcon;
    cls->cursor = wc->hCursor;
    cls->background = wc->hbrBackground;
    std::lock_guard lock(S().lock);
    std::u16string key = Fold(cls->name);
    auto it = S().classes.find(key);
    if (it != S().classes.end() && !it->second->system) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    cls->atom = S().nextAtom++;
    S().classes[key] = cls;
    return cls->atom;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex{sizeof ex,         wc->style,        wc->lpfnWndProc,   wc->cbClsExtra,
                   wc->cbWndExtra,    wc->hInstance,    wc->hIcon,         wc->hCursor,
                   wc->hbrBackground, wc->lpszMenuName, wc->lpszClassName, nullptr};
    return RegisterClassExW(&ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
    if (!lpClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string key = ClassKey(lpClassName);
    std::lock_guard lock(S().lock);
    auto it = S().classes.find(key);
    if (it == S().classes.end() || it->second->system) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (auto& [h, w] : S().windows)
        if (w->windowClass == it->second) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    S().classes.erase(it);
    return TRUE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR lpszClass, LPWNDCLASSEXW lpwcx) {
    RegisterSystemClasses();
    if (!lpszClass || !lpwcx) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string key = ClassKey(lpszClass);
    std::lock_guard lock(S().lock);
    auto it = S().classes.find(key);
    if (it == S().classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    const WindowClass& c = *it->second;
    *lpwcx = {sizeof(WNDCLASSEXW), c.style,    c.proc,    c.classExtra,
              c.windowExtra,       c.instance, c.icon,    c.cursor,
              c.background,        nullptr,    lpszClass, nullptr};
    return TRUE;
}

int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    auto w = Find(hWnd);
    if (!w || !lpClassName || nMaxCount <= 0) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    size_t n = std::min(w->windowClass->name.size(), static_cast<size_t>(nMaxCount) - 1);
    std::memcpy(lpClassName, w->windowClass->name.data(), n * 2);
    lpClassName[n] = 0;
    return static_cast<int>(n);
}

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight, HWND hWndParent,
                            HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
    PLATFORM_FAULT_POINT("CreateWindowExW", nullptr);
    EnsureReset();
    RegisterSystemClasses();
    if (!lpClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        std::shared_ptr<WindowClass> cls;
        {
            std::lock_guard lock(S().lock);
            auto it = S().classes.find(ClassKey(lpClassName));
            if (it != S().classes.end()) cls = it->second;
        }
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        std::shared_ptr<Window> parent =
            hWndParent && hWndParent != HWND_MESSAGE ? Find(hWndParent) : nullptr;
        if (hWndParent && hWndParent != HWND_MESSAGE && !parent) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if ((dwStyle & WS_CHILD) && !parent) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        auto w = std::make_shared<Window>();
        w->windowClass = cls;
        w->proc = cls->proc;
        w->style = dwStyle;
        w->exStyle = dwExStyle;
        w->instance = hInstance;
        w->extra.assign(static_cast<size_t>(cls->windowExtra), 0);
        if (dwStyle & WS_CHILD) {
            w->parent = hWndParent;
            w->id = static_cast<LONG_PTR>(reinterpret_cast<ULONG_PTR>(hMenu));
        } else if (parent) {
            // A top-level window's owner is the top-level window of the one given.
            HWND owner = hWndParent;
            for (auto p = parent; p && p->parent; p = Find(p->parent))
                owner = p->parent;
            w->owner = owner;
        }
        if (X == CW_USEDEFAULT) X = Y = 0;
        if (nWidth == CW_USEDEFAULT) nWidth = nHeight = 0;
        w->rect = {X, Y, X + std::max(nWidth, 0), Y + std::max(nHeight, 0)};
        HWND h;
        {
            std::lock_guard lock(S().lock);
            S().next += 4;
            h = reinterpret_cast<HWND>(S().next);
            w->handle = h;
            S().windows[S().next] = w;
            if (w->parent)
                parent->children.push_back(h);
            else
                Stack(S().topLevel, h, w->exStyle & WS_EX_TOPMOST, 0);
            ++S().created;
        }
        CREATESTRUCTW cs{lpParam,
                         hInstance,
                         hMenu,
                         hWndParent,
                         nHeight,
                         nWidth,
                         Y,
                         X,
                         static_cast<LONG>(dwStyle),
                         lpWindowName,
                         lpClassName,
                         dwExStyle};
        if (!SendMessageW(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
            DestroyWindow(h);
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (SendMessageW(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
            DestroyWindow(h);
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (!IsWindow(h)) return nullptr;
        InvalidateTree(h);
        if (w->parent && !(w->exStyle & WS_EX_NOPARENTNOTIFY))
            SendMessageW(w->parent, WM_PARENTNOTIFY, MAKELONG(WM_CREATE, static_cast<WORD>(w->id)),
                         reinterpret_cast<LPARAM>(h));
        if (!w->parent) PublishTopLevelWindows();
        return h;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    // Owned windows go first.
    for (HWND top : TopLevelWindows())
        if (auto o = Find(top); o && o->owner == hWnd) DestroyWindow(top);
    if (w->parent && !(w->exStyle & WS_EX_NOPARENTNOTIFY))
        SendMessageW(w->parent, WM_PARENTNOTIFY, MAKELONG(WM_DESTROY, static_cast<WORD>(w->id)),
                     reinterpret_cast<LPARAM>(hWnd));
    SendMessageW(hWnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children = w->children;
    for (HWND c : children)
        DestroyWindow(c);
    SendMessageW(hWnd, WM_NCDESTROY, 0, 0);
    Unlink(w);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    return Find(hWnd) != nullptr || IsLiveForeignWindow(hWnd);
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    for (auto w = Find(hWnd); w && w->parent; w = Find(w->parent))
        if (w->parent == hWndParent) return TRUE;
    return FALSE;
}

HWND WINAPI GetParent(HWND hWnd) {
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w->parent ? w->parent : w->owner;
}

HWND WINAPI SetParent(HWND hWndChild, HWND hWndNewParent) {
    auto w = Find(hWndChild);
    auto p = Find(hWndNewParent);
    if (!w || (hWndNewParent && !p)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::lock_guard lock(S().lock);
    HWND old = w->parent;
    if (old) {
        if (auto op = Find(old)) std::erase(op->children, hWndChild);
    } else {
        std::erase(S().topLevel, hWndChild);
    }
    if (p) {
        p->children.push_back(hWndChild);
        w->parent = hWndNewParent;
    } else {
        Stack(S().topLevel, hWndChild, w->exStyle & WS_EX_TOPMOST, 0);
        w->parent = nullptr;
    }
    return old ? old : GetDesktopWindow();
}

HWND WINAPI GetAncestor(HWND hwnd, UINT gaFlags) {
    auto w = Find(hwnd);
    if (!w) return nullptr;
    if (gaFlags == GA_PARENT) return w->parent;
    HWND root = hwnd;
    for (auto p = w; p && p->parent; p = Find(p->parent))
        root = p->parent;
    if (gaFlags == GA_ROOTOWNER)
        for (auto r = Find(root); r && r->owner; r = Find(r->owner))
            root = r->owner;
    return root;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (uCmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (uCmd == GW_OWNER) return w->owner;
    std::vector<HWND> siblings;
    if (w->parent) {
        if (auto p = Find(w->parent)) siblings = p->children;
    } else {
        siblings = TopLevelWindows();
    }
    auto it = std::find(siblings.begin(), siblings.end(), hWnd);
    if (it == siblings.end()) return nullptr;
    switch (uCmd) {
    case GW_HWNDFIRST:
        return siblings.front();
    case GW_HWNDLAST:
        return siblings.back();
    case GW_HWNDNEXT:
        return it + 1 == siblings.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
        return it == siblings.begin() ? nullptr : *(it - 1);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

// There is no desktop window object; its handle stands for the screen.
HWND WINAPI GetDesktopWindow() {
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x10000));
}

HWND WINAPI FindWindowExW(HWND hWndParent, HWND hWndChildAfter, LPCWSTR lpszClass,
                          LPCWSTR lpszWindow) {
    std::vector<HWND> list;
    if (hWndParent && hWndParent != GetDesktopWindow()) {
        auto p = Find(hWndParent);
        if (!p) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        list = p->children;
    } else {
        list = TopLevelWindows();
    }
    auto it = list.begin();
    if (hWndChildAfter) {
        it = std::find(list.begin(), list.end(), hWndChildAfter);
        if (it != list.end()) ++it;
    }
    for (; it != list.end(); ++it) {
        auto w = Find(*it);
        if (!w || !ClassMatches(*w, lpszClass)) continue;
        // Titles compare as the system compares them: without regard to case.
        if (lpszWindow && !platform::EqualsNoCase(w->text, lpszWindow)) continue;
        return *it;
    }
    if ((!hWndParent || hWndParent == GetDesktopWindow()) && !hWndChildAfter)
        if (HWND other = FindForeignWindow(lpszClass, lpszWindow)) return other;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    return FindWindowExW(nullptr, nullptr, lpClassName, lpWindowName);
}

// Children and their descendants, depth first; the callback may destroy windows.
BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    auto p = Find(hWndParent);
    if (!p || !lpEnumFunc) return FALSE;
    std::vector<HWND> children = p->children;
    for (HWND c : children) {
        if (!IsWindow(c)) continue;
        if (!lpEnumFunc(c, lParam)) return FALSE;
        if (IsWindow(c) && !EnumChildWindows(c, lpEnumFunc, lParam)) return FALSE;
    }
    return TRUE;
}

BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    if (!lpEnumFunc) return FALSE;
    for (HWND h : TopLevelWindows())
        if (IsWindow(h) && !lpEnumFunc(h, lParam)) return FALSE;
    return TRUE;
}

HWND WINAPI ChildWindowFromPointEx(HWND hwnd, POINT pt, UINT flags) {
    auto w = Find(hwnd);
    if (!w) return nullptr;
    RECT client = ClientScreenRect(*w);
    if (pt.x < 0 || pt.y < 0 || pt.x >= client.right - client.left ||
        pt.y >= client.bottom - client.top)
        return nullptr;
    for (HWND c : w->children) {
        auto cw = Find(c);
        if (!cw) continue;
        if ((flags & CWP_SKIPINVISIBLE) && !(cw->style & WS_VISIBLE)) continue;
        if ((flags & CWP_SKIPDISABLED) && (cw->style & WS_DISABLED)) continue;
        if ((flags & CWP_SKIPTRANSPARENT) && (cw->exStyle & WS_EX_TRANSPARENT)) continue;
        if (PtInRect(&cw->rect, pt)) return c;
    }
    return hwnd;
}

HWND WINAPI WindowFromPoint(POINT pt) {
    auto tops = TopLevelWindows();
    for (auto it = tops.begin(); it != tops.end(); ++it) {
        auto w = Find(*it);
        if (!w || !(w->style & WS_VISIBLE) || !PtInRect(&w->rect, pt)) continue;
        HWND at = *it;
        for (;;) {
            auto aw = Find(at);
            RECT client = ClientScreenRect(*aw);
            POINT local{pt.x - client.left, pt.y - client.top};
            HWND child = ChildWindowFromPointEx(at, local, CWP_SKIPINVISIBLE);
            if (!child || child == at) return at;
            at = child;
        }
    }
    return nullptr;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (nIndex) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWL_STYLE:
        return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG>(w->exStyle);
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_ID:
        return w->id;
    default:
        if (nIndex >= 0 && static_cast<size_t>(nIndex) + sizeof(LONG_PTR) <= w->extra.size()) {
            LONG_PTR v;
            std::memcpy(&v, w->extra.data() + nIndex, sizeof v);
            return v;
        }
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = GetWindowLongPtrW(hWnd, nIndex);
    switch (nIndex) {
    case GWLP_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        break;
    case GWLP_HINSTANCE:
        w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
        break;
    case GWLP_HWNDPARENT:
        w->owner = reinterpret_cast<HWND>(dwNewLong);
        break;
    case GWL_STYLE:
    case GWL_EXSTYLE: {
        // The old and new styles, as the style-change messages carry them.
        DWORD& field = nIndex == GWL_STYLE ? w->style : w->exStyle;
        DWORD styles[2] = {field, static_cast<DWORD>(dwNewLong)};
        SendMessageW(hWnd, WM_STYLECHANGING, static_cast<WPARAM>(nIndex),
                     reinterpret_cast<LPARAM>(styles));
        field = styles[1];
        SendMessageW(hWnd, WM_STYLECHANGED, static_cast<WPARAM>(nIndex),
                     reinterpret_cast<LPARAM>(styles));
        break;
    }
    case GWLP_USERDATA:
        w->userData = dwNewLong;
        break;
    case GWLP_ID:
        w->id = dwNewLong;
        break;
    default:
        if (nIndex >= 0 && static_cast<size_t>(nIndex) + sizeof(LONG_PTR) <= w->extra.size()) {
            std::memcpy(w->extra.data() + nIndex, &dwNewLong, sizeof dwNewLong);
            break;
        }
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return old;
}

LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex) {
    return static_cast<LONG>(GetWindowLongPtrW(hWnd, nIndex));
}
LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
    return static_cast<LONG>(SetWindowLongPtrW(hWnd, nIndex, dwNewLong));
}

ULONG_PTR WINAPI GetClassLongPtrW(HWND hWnd, int nIndex) {
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    constexpr int kBackground = -10, kCursor = -12, kIcon = -14, kWndProc = -24, kStyle = -26;
    switch (nIndex) {
    case kBackground:
        return reinterpret_cast<ULONG_PTR>(w->windowClass->background);
    case kCursor:
        return reinterpret_cast<ULONG_PTR>(w->windowClass->cursor);
    case kIcon:
        return reinterpret_cast<ULONG_PTR>(w->windowClass->icon);
    case kWndProc:
        return reinterpret_cast<ULONG_PTR>(w->windowClass->proc);
    case kStyle:
        return w->windowClass->style;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
    auto w = Find(hWnd);
    return w && w->parent ? static_cast<int>(w->id) : 0;
}

BOOL WINAPI SetPropW(HWND hWnd, LPCWSTR lpString, HANDLE hData) {
    auto w = Find(hWnd);
    if (!w || !lpString) return FALSE;
    w->props[IS_INTRESOURCE(lpString)
                 ? u"#" + platform::FromUtf8(std::to_string(reinterpret_cast<ULONG_PTR>(lpString)))
                 : std::u16string(lpString)] = hData;
    return TRUE;
}

static std::u16string PropKey(LPCWSTR s) {
    return IS_INTRESOURCE(s)
               ? u"#" + platform::FromUtf8(std::to_string(reinterpret_cast<ULONG_PTR>(s)))
               : std::u16string(s);
}

HANDLE WINAPI GetPropW(HWND hWnd, LPCWSTR lpString) {
    auto w = Find(hWnd);
    if (!w || !lpString) return nullptr;
    auto it = w->props.find(PropKey(lpString));
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropW(HWND hWnd, LPCWSTR lpString) {
    auto w = Find(hWnd);
    if (!w || !lpString) return nullptr;
    auto it = w->props.find(PropKey(lpString));
    if (it == w->props.end()) return nullptr;
    HANDLE h = it->second;
    w->props.erase(it);
    return h;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    if (!Find(hWnd)) return 0;
    if (lpdwProcessId) *lpdwProcessId = GetCurrentProcessId();
    return GetCurrentThreadId();
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    if (!Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString ? lpString : u"")) !=
           0;
}

int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (!Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        if (lpString && nMaxCount > 0) lpString[0] = 0;
        return 0;
    }
    if (!lpString || nMaxCount <= 0) return 0;
    return static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthW(HWND hWnd) {
    if (!Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
    if (bEnable && wasDisabled) {
        w->style &= ~static_cast<DWORD>(WS_DISABLED);
        SendMessageW(hWnd, WM_ENABLE, TRUE, 0);
    } else if (!bEnable && !wasDisabled) {
        w->style |= WS_DISABLED;
        // A disabled window loses the focus.
        if (GetFocus() == hWnd || IsChild(hWnd, GetFocus())) SetFocus(nullptr);
        SendMessageW(hWnd, WM_ENABLE, FALSE, 0);
    }
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    auto w = Find(hWnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    if (IsForeignWindow(hWnd)) return ShowForeignWindow(hWnd, nCmdShow);
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    ApplyShowCommand(*w, nCmdShow);
    BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
    bool show = nCmdShow != SW_HIDE;
    if (show != static_cast<bool>(wasVisible)) {
        SendMessageW(hWnd, WM_SHOWWINDOW, show, 0);
        if (show) {
            w->style |= WS_VISIBLE;
            InvalidateTree(hWnd);
        } else {
            w->style &= ~static_cast<DWORD>(WS_VISIBLE);
            // What it covered shows again.
            if (w->parent) InvalidateRect(w->parent, nullptr, TRUE);
        }
        if (!show && (GetFocus() == hWnd || IsChild(hWnd, GetFocus()))) SetFocus(nullptr);
    }
    return wasVisible;
}

// Visible when it and every ancestor are.
BOOL WINAPI IsWindowVisible(HWND hWnd) {
    for (auto w = Find(hWnd); w; w = w->parent ? Find(w->parent) : nullptr) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (!w->parent) return TRUE;
    }
    return FALSE;
}

HWND WINAPI SetFocus(HWND hWnd) {
    if (hWnd && !Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND old;
    {
        std::lock_guard lock(S().lock);
        old = S().focus;
        if (old == hWnd) return old;
        S().focus = hWnd;
    }
    if (old && IsWindow(old)) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (hWnd && IsWindow(hWnd)) {
        HWND root = GetAncestor(hWnd, GA_ROOT);
        {
            std::lock_guard lock(S().lock);
            S().active = root;
        }
        SendMessageW(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    return old;
}

HWND WINAPI GetFocus() {
    std::lock_guard lock(S().lock);
    return S().focus;
}

HWND WINAPI GetActiveWindow() {
    std::lock_guard lock(S().lock);
    return S().active;
}

HWND WINAPI SetActiveWindow(HWND hWnd) {
    std::lock_guard lock(S().lock);
    HWND old = S().active;
    S().active = hWnd;
    return old;
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    SetActiveWindow(hWnd);
    return IsWindow(hWnd);
}

HWND WINAPI GetForegroundWindow() {
    return GetActiveWindow();
}

HWND WINAPI GetCapture() {
    std::lock_guard lock(S().lock);
    return S().capture;
}

HWND WINAPI SetCapture(HWND hWnd) {
    std::lock_guard lock(S().lock);
    HWND old = S().capture;
    S().capture = hWnd;
    return old;
}

BOOL WINAPI ReleaseCapture() {
    std::lock_guard lock(S().lock);
    S().capture = nullptr;
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    auto w = Find(hWnd);
    if (!w || !lpRect) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT origin{0, 0};
    if (w->parent)
        if (auto p = Find(w->parent)) origin = ClientOrigin(*p);
    *lpRect = w->rect;
    OffsetRect(lpRect, origin.x, origin.y);
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    auto w = Find(hWnd);
    if (!w || !lpRect) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT r = ClientScreenRect(*w);
    *lpRect = {0, 0, r.right - r.left, r.bottom - r.top};
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                         UINT uFlags) {
    if (IsForeignWindow(hWnd))
        return SetForeignWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    WINDOWPOS pos{hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags};
    if (uFlags & SWP_NOMOVE) {
        pos.x = w->rect.left;
        pos.y = w->rect.top;
    }
    if (uFlags & SWP_NOSIZE) {
        pos.cx = w->rect.right - w->rect.left;
        pos.cy = w->rect.bottom - w->rect.top;
    }
    SendMessageW(hWnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    bool moved = pos.x != w->rect.left || pos.y != w->rect.top;
    bool sized = pos.cx != w->rect.right - w->rect.left || pos.cy != w->rect.bottom - w->rect.top;
    w->rect = {pos.x, pos.y, pos.x + std::max(pos.cx, 0), pos.y + std::max(pos.cy, 0)};
    if (!(uFlags & SWP_NOZORDER)) {
        std::lock_guard lock(S().lock);
        std::vector<HWND>* list = &S().topLevel;
        std::shared_ptr<Window> p;
        if (w->parent) {
            p = Find(w->parent);
            if (p) list = &p->children;
        }
        auto it = std::find(list->begin(), list->end(), hWnd);
        if (it != list->end() && !w->parent) {
            // Top-level windows: the topmost ones stay above the others.
            list->erase(it);
            if (hWndInsertAfter == HWND_TOPMOST)
                w->exStyle |= WS_EX_TOPMOST;
            else if (hWndInsertAfter == HWND_NOTOPMOST || hWndInsertAfter == HWND_BOTTOM)
                w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
            size_t at = 0;
            if (hWndInsertAfter == HWND_BOTTOM) {
                at = list->size();
            } else if (hWndInsertAfter != HWND_TOP && hWndInsertAfter != HWND_TOPMOST &&
                       hWndInsertAfter != HWND_NOTOPMOST) {
                auto after = std::find(list->begin(), list->end(), hWndInsertAfter);
                at = after == list->end() ? 0 : static_cast<size_t>(after - list->begin()) + 1;
            }
            Stack(*list, hWnd, w->exStyle & WS_EX_TOPMOST, at);
        } else if (it != list->end()) {
            list->erase(it);
            if (hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_TOPMOST)
                list->insert(list->begin(), hWnd);
            else if (hWndInsertAfter == HWND_BOTTOM || hWndInsertAfter == HWND_NOTOPMOST)
                list->push_back(hWnd);
            else {
                auto after = std::find(list->begin(), list->end(), hWndInsertAfter);
                list->insert(after == list->end() ? list->end() : after + 1, hWnd);
            }
        }
    }
    if (uFlags & SWP_SHOWWINDOW) ShowWindow(hWnd, SW_SHOWNA);
    if (uFlags & SWP_HIDEWINDOW) ShowWindow(hWnd, SW_HIDE);
    SendMessageW(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    if (moved || sized) {
        InvalidateTree(hWnd);
        if (w->parent) InvalidateRect(w->parent, nullptr, TRUE);
    }
    if (moved) SendMessageW(hWnd, WM_MOVE, 0, 0);
    if (sized) {
        RECT client;
        GetClientRect(hWnd, &client);
        SendMessageW(hWnd, WM_SIZE, SIZE_RESTORED, MAKELONG(client.right, client.bottom));
    }
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL) {
    return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    auto w = Find(hWnd);
    if (!w || !lpPoint) return FALSE;
    POINT o = ClientOrigin(*w);
    lpPoint->x += o.x;
    lpPoint->y += o.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    auto w = Find(hWnd);
    if (!w || !lpPoint) return FALSE;
    POINT o = ClientOrigin(*w);
    lpPoint->x -= o.x;
    lpPoint->y -= o.y;
    return TRUE;
}

// The result packs the horizontal offset in the low word and the vertical one
// in the high word, as callers expect.
int WINAPI MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
    POINT from{0, 0}, to{0, 0};
    if (hWndFrom && hWndFrom != GetDesktopWindow()) {
        auto w = Find(hWndFrom);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        from = ClientOrigin(*w);
    }
    if (hWndTo && hWndTo != GetDesktopWindow()) {
        auto w = Find(hWndTo);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        to = ClientOrigin(*w);
    }
    int dx = from.x - to.x, dy = from.y - to.y;
    for (UINT i = 0; lpPoints && i < cPoints; ++i) {
        lpPoints[i].x += dx;
        lpPoints[i].y += dy;
    }
    SetLastError(0);
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
    if (!lpPoint) return FALSE;
    std::lock_guard lock(S().lock);
    *lpPoint = S().cursor;
    return TRUE;
}

BOOL WINAPI SetCursorPos(int X, int Y) {
    std::lock_guard lock(S().lock);
    S().cursor = {X, Y};
    return TRUE;
}

BOOL WINAPI SetRect(LPRECT lprc, int l, int t, int r, int b) {
    if (!lprc) return FALSE;
    *lprc = {l, t, r, b};
    return TRUE;
}
BOOL WINAPI SetRectEmpty(LPRECT lprc) {
    return SetRect(lprc, 0, 0, 0, 0);
}
BOOL WINAPI CopyRect(LPRECT dst, const RECT* src) {
    if (!dst || !src) return FALSE;
    *dst = *src;
    return TRUE;
}
BOOL WINAPI InflateRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return TRUE;
}
BOOL WINAPI OffsetRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}
BOOL WINAPI IsRectEmpty(const RECT* r) {
    return !r || r->right <= r->left || r->bottom <= r->top;
}
BOOL WINAPI IntersectRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        *dst = {};
        return FALSE;
    }
    *dst = r;
    return TRUE;
}
BOOL WINAPI UnionRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    if (IsRectEmpty(a))
        *dst = *b;
    else if (IsRectEmpty(b))
        *dst = *a;
    else
        *dst = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
    return !IsRectEmpty(dst);
}
BOOL WINAPI PtInRect(const RECT* r, POINT pt) {
    return r && pt.x >= r->left && pt.x < r->right && pt.y >= r->top && pt.y < r->bottom;
}
BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
           a->bottom == b->bottom;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == HWND_BROADCAST) {
        for (HWND h : TopLevelWindows())
            if (IsWindow(h)) Deliver(h, Msg, wParam, lParam);
        return 0;
    }
    return Deliver(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (IsForeignWindow(hWnd)) return PostToForeignWindow(hWnd, Msg, wParam, lParam);
    if (hWnd == HWND_BROADCAST) PostToForeignTopLevels(Msg, wParam, lParam);
    DWORD thread = GetCurrentThreadId();
    if (hWnd && hWnd != HWND_BROADCAST && !Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(S().lock);
    S().queues[thread].messages.push_back(
        MSG{hWnd, Msg, wParam, lParam, GetTickCount(), S().cursor});
    S().posted.notify_all();
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    std::lock_guard lock(S().lock);
    Queue& q = S().queues[GetCurrentThreadId()];
    q.quit = true;
    q.quitCode = nExitCode;
    S().posted.notify_all();
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    if (!lpMsg) return FALSE;
    PumpSharedWindows();
    std::lock_guard lock(S().lock);
    Queue& q = S().queues[GetCurrentThreadId()];
    for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
        if (hWnd && it->hwnd != hWnd && !IsChild(hWnd, it->hwnd)) continue;
        if ((wMsgFilterMin || wMsgFilterMax) &&
            (it->message < wMsgFilterMin || it->message > wMsgFilterMax))
            continue;
        *lpMsg = *it;
        if (wRemoveMsg & PM_REMOVE) q.messages.erase(it);
        return TRUE;
    }
    if (q.quit) {
        *lpMsg =
            MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount(), S().cursor};
        if (wRemoveMsg & PM_REMOVE) q.quit = false;
        return TRUE;
    }
    // With nothing else queued, a window that needs painting is painted.
    bool paintWanted = (!wMsgFilterMin && !wMsgFilterMax) ||
                       (wMsgFilterMin <= WM_PAINT && WM_PAINT <= wMsgFilterMax);
    if (paintWanted) {
        if (HWND dirty = NextToPaint(hWnd)) {
            *lpMsg = MSG{dirty, WM_PAINT, 0, 0, GetTickCount(), S().cursor};
            return TRUE;
        }
    }
    return FALSE;
}

// Waits for a message; while none is queued, each timer of the thread fires
// once per round, as if its time had come.
BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    for (;;) {
        if (PeekMessageW(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE))
            return lpMsg->message != WM_QUIT;
        if (FireTimers()) continue;
        std::unique_lock lock(S().lock);
        S().posted.wait_for(lock, std::chrono::milliseconds(10));
    }
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    return lpMsg && lpMsg->message == WM_KEYDOWN;
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        reinterpret_cast<TIMERPROC>(lpMsg->lParam)(
            lpMsg->hwnd, WM_TIMER, static_cast<UINT_PTR>(lpMsg->wParam), lpMsg->time);
        return 0;
    }
    if (!lpMsg->hwnd) return 0;
    if (lpMsg->message == WM_PAINT) {
        PaintOne(lpMsg->hwnd);
        return 0;
    }
    return SendMessageW(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                               LPARAM lParam) {
    if (!lpPrevWndFunc) return 0;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    if (hWnd && !Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    std::lock_guard lock(S().lock);
    for (auto& t : S().timers)
        if (hWnd && t.window == hWnd && t.id == nIDEvent) {
            t.elapse = uElapse;
            t.proc = lpTimerFunc;
            return nIDEvent;
        }
    UINT_PTR id = hWnd ? nIDEvent : S().nextTimer++;
    S().timers.push_back({hWnd, id, uElapse, lpTimerFunc});
    return hWnd ? (nIDEvent ? nIDEvent : 1) : id;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::lock_guard lock(S().lock);
    size_t n = std::erase_if(S().timers,
                             [&](const Timer& t) { return t.window == hWnd && t.id == uIDEvent; });
    if (!n) SetLastError(ERROR_INVALID_PARAMETER);
    return n != 0;
}

DWORD WINAPI GetMessagePos() {
    std::lock_guard lock(S().lock);
    return MAKELONG(static_cast<WORD>(S().cursor.x), static_cast<WORD>(S().cursor.y));
}

LONG WINAPI GetMessageTime() {
    return static_cast<LONG>(GetTickCount());
}

// Only the keys the test driver holds down are down: the high bit.
SHORT WINAPI GetKeyState(int nVirtKey) {
    std::lock_guard lock(S().lock);
    return S().heldKeys.count(nVirtKey) ? static_cast<SHORT>(0x8000) : 0;
}
SHORT WINAPI GetAsyncKeyState(int vKey) {
    return GetKeyState(vKey);
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto w = Find(hWnd);
    if (!w) return 0;
    switch (Msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) w->text = cs->lpszName;
        return TRUE;
    }
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
        return TRUE;
    case WM_NCHITTEST: {
        // The point is in screen coordinates.
        POINT at{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
        RECT client = ClientScreenRect(*w);
        if (PtInRect(&client, at)) return HTCLIENT;
        RECT window{};
        GetWindowRect(hWnd, &window);
        if (!PtInRect(&window, at)) return HTNOWHERE;
        bool caption = (w->style & WS_CAPTION) == WS_CAPTION;
        if (caption && at.y < client.top && at.y >= client.top - kCaptionHeight) return HTCAPTION;
        return HTBORDER;
    }
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam) return 0;
        auto* out = reinterpret_cast<LPWSTR>(lParam);
        size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
        std::memcpy(out, w->text.data(), n * 2);
        out[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w->font);
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_ERASEBKGND: {
        // The system's controls paint their whole face in WM_PAINT.
        if (w->windowClass->system && !w->isDialog) return 1;
        auto dc = reinterpret_cast<HDC>(wParam);
        if (w->isDialog) {
            EraseDialog(hWnd, dc);
            return 1;
        }
        HBRUSH brush = w->windowClass->background;
        if (!brush) return 0;
        auto index = reinterpret_cast<ULONG_PTR>(brush);
        // A class brush may name a system colour as its index plus one.
        if (index > 0 && index <= COLOR_GRADIENTINACTIVECAPTION + 1)
            brush = GetSysColorBrush(static_cast<int>(index - 1));
        RECT client;
        GetClientRect(hWnd, &client);
        FillRect(dc, &client, brush);
        return 1;
    }
    case WM_NOTIFYFORMAT:
        return kUnicodeNotifications;
    case WM_NCPAINT:
        if (!w->windowClass->system || w->isDialog) PaintFrame(hWnd);
        return 0;
    case WM_PAINT: {
        if (w->windowClass->system && !w->isDialog) {
            PaintSystemControl(hWnd);
            return 0;
        }
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    // Over its client area a window shows its class's cursor; a child lets
    // its parent choose first.
    case WM_SETCURSOR: {
        if (w->parent && SendMessageW(w->parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
        if (LOWORD(lParam) == HTCLIENT && w->windowClass->cursor) {
            SetCursor(w->windowClass->cursor);
            return TRUE;
        }
        return FALSE;
    }
    // A child passes help and context-menu requests up to its parent.
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (w->parent) return SendMessageW(w->parent, Msg, wParam, lParam);
        return 0;
    // Releasing the right button asks the window for its context menu, at
    // the point in screen coordinates.
    case WM_RBUTTONUP: {
        POINT at{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
        ClientToScreen(hWnd, &at);
        SendMessageW(hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hWnd),
                     MAKELONG(static_cast<WORD>(at.x), static_cast<WORD>(at.y)));
        return 0;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORSCROLLBAR:
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    default:
        return 0;
    }
}

BOOL WINAPI SetWindowSubclass(HWND hWnd, SUBCLASSPROC pfnSubclass, UINT_PTR uIdSubclass,
                              DWORD_PTR dwRefData) {
    auto w = Find(hWnd);
    if (!w || !pfnSubclass) return FALSE;
    for (auto& sc : w->subclasses)
        if (sc.proc == pfnSubclass && sc.id == uIdSubclass) {
            sc.refData = dwRefData;
            return TRUE;
        }
    w->subclasses.push_back({pfnSubclass, uIdSubclass, dwRefData});
    return TRUE;
}

BOOL WINAPI GetWindowSubclass(HWND hWnd, SUBCLASSPROC pfnSubclass, UINT_PTR uIdSubclass,
                              DWORD_PTR* pdwRefData) {
    auto w = Find(hWnd);
    if (!w) return FALSE;
    for (auto& sc : w->subclasses)
        if (sc.proc == pfnSubclass && sc.id == uIdSubclass) {
            if (pdwRefData) *pdwRefData = sc.refData;
            return TRUE;
        }
    return FALSE;
}

BOOL WINAPI RemoveWindowSubclass(HWND hWnd, SUBCLASSPROC pfnSubclass, UINT_PTR uIdSubclass) {
    auto w = Find(hWnd);
    if (!w) return FALSE;
    auto it = std::find_if(w->subclasses.begin(), w->subclasses.end(), [&](const Subclass& s) {
        return s.proc == pfnSubclass && s.id == uIdSubclass;
    });
    if (it == w->subclasses.end()) return FALSE;
    size_t index = static_cast<size_t>(it - w->subclasses.begin());
    w->subclasses.erase(it);
    // Calls in progress below the removed one keep their place.
    for (auto& f : tSubclassFrames)
        if (f.window == hWnd && f.next > index) --f.next;
    return TRUE;
}

LRESULT WINAPI DefSubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto w = Find(hWnd);
    if (!w) return 0;
    size_t level = 0;
    for (auto it = tSubclassFrames.rbegin(); it != tSubclassFrames.rend(); ++it)
        if (it->window == hWnd) {
            level = it->next;
            break;
        }
    return CallChain(*w, hWnd, uMsg, wParam, lParam, std::min(level, w->subclasses.size()));
}

} // extern "C"

namespace platform::user {

// SetCursor and GetCursor keep the cursor in cursor.cpp.
HCURSOR CurrentCursor() {
    return GetCursor();
}

void HoldKey(int key, bool down) {
    std::lock_guard lock(S().lock);
    if (down)
        S().heldKeys.insert(key);
    else
        S().heldKeys.erase(key);
}

bool FireTimers() {
    std::vector<Timer> due;
    {
        std::lock_guard lock(S().lock);
        due = S().timers;
    }
    bool any = false;
    for (const auto& t : due) {
        if (t.window && !IsWindow(t.window)) continue;
        // Queued like any timer message: DispatchMessageW calls the procedure.
        PostMessageW(t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc));
        any = true;
    }
    return any;
}

} // namespace platform::user

namespace platform::user {

void RegisterSystemClasses() {
    std::lock_guard lock(S().lock);
    if (!S().classes.empty() && S().classes.count(u"button")) return;
    struct Entry {
        const char16_t* name;
        WNDPROC proc;
        int extra;
        int background;
    } entries[] = {
        {u"Button", ButtonProc, 0, COLOR_BTNFACE},
        {u"Edit", EditProc, 0, COLOR_WINDOW},
        {u"Static", StaticProc, 0, COLOR_BTNFACE},
        {u"ListBox", ListBoxProc, 0, COLOR_WINDOW},
        {u"ComboBox", ComboBoxProc, 0, COLOR_WINDOW},
        {u"ScrollBar", ScrollBarProc, 0, COLOR_SCROLLBAR},
        {u"msctls_trackbar32", TrackbarProc, 0, COLOR_BTNFACE},
        {u"msctls_updown32", UpDownProc, 0, COLOR_BTNFACE},
        {u"SysTabControl32", TabProc, 0, COLOR_BTNFACE},
        {u"tooltips_class32", TooltipProc, 0, COLOR_INFOBK},
        {u"SysListView32", ListViewProc, 0, COLOR_WINDOW},
        {u"#32770", DialogClassProc, DLGWINDOWEXTRA, COLOR_BTNFACE},
    };
    for (const auto& e : entries) {
        auto cls = std::make_shared<WindowClass>();
        cls->name = e.name;
        cls->proc = e.proc;
        cls->windowExtra = e.extra;
        cls->background = reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(e.background + 1));
        cls->system = true;
        cls->style = CS_GLOBALCLASS;
        // The dialog class is also known by its atom, 32770.
        cls->atom = std::u16string_view(e.name) == u"#32770" ? 32770 : S().nextAtom++;
        S().classes[Fold(e.name)] = cls;
    }
}

} // namespace platform::user
