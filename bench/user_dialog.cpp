// Cost of a settings page's dialog: creating a dialog of 60 controls from its
// template, filling it in WM_INITDIALOG and destroying it; and a text
// snapshot of it. Each is reported beside a reference in the same run:
// reading the template alone, the floor of any dialog made from it.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/user_ctl.h"
#include "win/memory.h"
#include "win/user.h"

namespace {

constexpr int kControls = 60;

void W(std::vector<BYTE>& b, WORD w) {
    b.push_back(static_cast<BYTE>(w));
    b.push_back(static_cast<BYTE>(w >> 8));
}
void D(std::vector<BYTE>& b, DWORD d) {
    W(b, static_cast<WORD>(d));
    W(b, static_cast<WORD>(d >> 16));
}
void S(std::vector<BYTE>& b, const char16_t* s) {
    for (; *s; ++s)
        W(b, *s);
    W(b, 0);
}

// A page of 60 controls: labels, edits, check boxes, combo boxes and buttons.
const std::vector<BYTE>& PageTemplate() {
    static const std::vector<BYTE> bytes = [] {
        std::vector<BYTE> b;
        D(b, DS_SETFONT | WS_POPUP | WS_CAPTION);
        D(b, 0);
        W(b, kControls);
        for (WORD v : {0, 0, 400, 300})
            W(b, v);
        W(b, 0);
        W(b, 0);
        S(b, u"Page");
        W(b, 8);
        S(b, u"MS Shell Dlg");
        const WORD classes[] = {0x82, 0x81, 0x80, 0x85, 0x80};
        const DWORD styles[] = {SS_LEFT, ES_AUTOHSCROLL | WS_TABSTOP, BS_AUTOCHECKBOX | WS_TABSTOP,
                                CBS_DROPDOWNLIST | WS_TABSTOP, BS_PUSHBUTTON | WS_TABSTOP};
        for (int i = 0; i < kControls; ++i) {
            while (b.size() % 4)
                b.push_back(0);
            D(b, styles[i % 5] | WS_CHILD | WS_VISIBLE);
            D(b, 0);
            W(b, static_cast<WORD>(5 + (i % 5) * 78));
            W(b, static_cast<WORD>(5 + (i / 5) * 20));
            W(b, 70);
            W(b, 14);
            W(b, static_cast<WORD>(1000 + i));
            W(b, 0xFFFF);
            W(b, classes[i % 5]);
            S(b, u"Label text");
            W(b, 0);
        }
        return b;
    }();
    return bytes;
}

INT_PTR CALLBACK PageProc(HWND h, UINT msg, WPARAM, LPARAM) {
    if (msg != WM_INITDIALOG) return FALSE;
    // What a page does first: fill its lists and set its fields.
    for (int i = 3; i < kControls; i += 5)
        for (const char16_t* s : {u"Letter", u"Legal", u"A4", u"A5"})
            SendDlgItemMessageW(h, 1000 + i, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    for (int i = 1; i < kControls; i += 5)
        SetDlgItemInt(h, 1000 + i, static_cast<UINT>(i), FALSE);
    for (int i = 2; i < kControls; i += 5)
        CheckDlgButton(h, 1000 + i, BST_CHECKED);
    return TRUE;
}

void ReadTemplateReference(benchmark::State& state) {
    const auto& bytes = PageTemplate();
    platform::user::DialogTemplateData t;
    std::string error;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            platform::user::ReadDialogTemplate(bytes.data(), bytes.size(), &t, &error));
    }
}
BENCHMARK(ReadTemplateReference);

void CreateInitDestroyDialog(benchmark::State& state) {
    const auto& bytes = PageTemplate();
    HGLOBAL g = GlobalAlloc(0, bytes.size());
    std::memcpy(GlobalLock(g), bytes.data(), bytes.size());
    auto* t = static_cast<const DLGTEMPLATE*>(GlobalLock(g));
    for (auto _ : state) {
        HWND dialog = CreateDialogIndirectParamW(nullptr, t, nullptr, PageProc, 0);
        benchmark::DoNotOptimize(dialog);
        DestroyWindow(dialog);
    }
    GlobalUnlock(g);
    GlobalUnlock(g);
    GlobalFree(g);
}
BENCHMARK(CreateInitDestroyDialog)->Unit(benchmark::kMicrosecond);

void SnapshotDialog(benchmark::State& state) {
    const auto& bytes = PageTemplate();
    HWND dialog = CreateDialogIndirectParamW(
        nullptr, reinterpret_cast<const DLGTEMPLATE*>(bytes.data()), nullptr, PageProc, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::user::driver::Snapshot(dialog));
    DestroyWindow(dialog);
}
BENCHMARK(SnapshotDialog)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
