#include "device_bmp.h"

#include <algorithm>

#include "device_page.h"
#include "devmode_helpers.h"
#include "list_helpers.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "win/loader.h"

namespace sheetwright {
namespace {

// The component the pages ask for (the accessor maps it to the table's own).
constexpr WORD kComponentDevicePicture = 10;
// Model table 70 entries 14 to 18: the model's own pictures.
constexpr WORD kFirstModelPicture = 14;
constexpr DWORD kScreenDpi = 96;

DWORD ComboData(HWND page, int id) {
    const LRESULT data = GetComboSelData(::GetDlgItem(page, id));
    return data == CB_ERR ? 0 : static_cast<DWORD>(data);
}

} // namespace

BEGIN_MESSAGE_MAP(CDeviceBmp, CStatic)
ON_WM_PAINT()
END_MESSAGE_MAP()

CDeviceBmp::~CDeviceBmp() {
    if (library_) FreeLibrary(library_);
}

bool CDeviceBmp::Bind() {
    if (draw_) return true;
    SheetContext* c = page_ ? page_->Context() : nullptr;
    if (!c || !c->model.modelsmith) return false;
    if (!library_) {
        CModelInfo entry(&c->model, model::kQueryComponents, kComponentDevicePicture,
                         model::layout::kComponentList);
        auto* answer = static_cast<const model::ComponentAnswer*>(entry.GetData());
        if (!answer || entry.Length() < sizeof *answer) return false;
        const std::u16string name =
            ComponentFileName(answer->kind, answer->nameTemplate, sizeof answer->nameTemplate);
        entry.Release();
        if (name.empty()) return false;
        library_ = LoadModuleBeside(c->model.modelsmith, name.c_str());
        if (!library_) return false;
    }
    draw_ = reinterpret_cast<imagewell::PFN_DrawDeviceImage>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_, imagewell::kDrawDeviceImage)));
    if (!draw_) {
        // Tried again at the next paint, from the start.
        FreeLibrary(library_);
        library_ = nullptr;
        return false;
    }
    info_ = {};
    info_.fixedDpi = kScreenDpi;
    info_.fewestTrays = page_->StandardTrays();
    info_.mostTrays = page_->StandardTrays() + page_->MainTrays();
    DWORD* pictures[5] = {&info_.modelBody, &info_.modelTrays[0], &info_.modelTrays[1],
                          &info_.modelTrays[2], &info_.spare};
    for (WORD i = 0; i < 5; ++i) {
        CModelInfo picture(&c->model, model::kQueryResourceIds, kFirstModelPicture + i, 1);
        *pictures[i] =
            picture.GetData() && picture.Length() >= 4
                ? static_cast<DWORD>(static_cast<LONG>(static_cast<SHORT>(picture.U16(2))))
                : 0;
    }
    return true;
}

void CDeviceBmp::ReadChoices() {
    HWND page = page_ ? page_->m_hWnd : nullptr;
    if (!page) return;
    BOOL ok = FALSE;
    const LONG typed = static_cast<LONG>(::GetDlgItemInt(page, CDevice::kTrayEdit, &ok, TRUE));
    // The count a person typed stays within the model's trays.
    info_.trays = static_cast<DWORD>(std::clamp<LONG>(
        ok ? typed : 0, static_cast<LONG>(info_.fewestTrays), static_cast<LONG>(info_.mostTrays)));
    info_.largeTray = ComboData(page, CDevice::kLargeTray);
    info_.duplex = ComboData(page, CDevice::kDuplex);
    info_.hardDisk = ComboData(page, CDevice::kDisk);
    info_.memory = ComboData(page, CDevice::kMemory);
    const LRESULT finisher = GetComboSelData(::GetDlgItem(page, CDevice::kFinisher));
    info_.finisher = finisher == CB_ERR ? CDevice::kNoFinisher : static_cast<DWORD>(finisher);
    info_.punch = ComboData(page, CDevice::kPunch);
    info_.staple = ComboData(page, CDevice::kStaple);
    info_.innerTray = ComboData(page, CDevice::kInnerTray);
    info_.counter = ComboData(page, CDevice::kCounter);
    info_.changeTray = ComboData(page, CDevice::kChangeTray);
}

void CDeviceBmp::OnPaint() {
    CPaintDC dc(this);
    if (!page_ || !page_->m_hWnd || !Bind()) return;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    ReadChoices();
    draw_(dc.m_hDC, &client, &info_);
}

} // namespace sheetwright
