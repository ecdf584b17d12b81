#include "watermark_dlg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>

#include "control_states.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "list_helpers.h"
#include "model_info.h"
#include "sheet_help.h"
#include "win/commctrl.h"
#include "win/commdlg.h"
#include "win/spool.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

using print_effects::ClampWatermarkRecord;
using print_effects::TerminateAnsiField;

constexpr WORD kSecondModelFlags = 58;
constexpr DWORD kFlagsPageChoice = 0x4, kFlagsLayerChoice = 0x8, kFlagsOutline = 0x10;
constexpr DWORD kFlagsOpaqueDefault = 0x100, kFlagsForegroundDefault = 0x400;
constexpr DWORD kCenterIcon = 2180, kDragCursor = 2000;
constexpr DWORD kStringCenterTip = 5501, kStringFace = 5519, kStringText = 3330;
constexpr DWORD kStringWatermark = 5500, kStringDeleteCaption = 5510, kStringDeleteAsk = 5511;
constexpr DWORD kStringSaveCaption = 5512, kStringReplaceAsk = 5515, kStringBlank = 5516;
constexpr DWORD kStringCannotSave = 5518, kStringForbidden = 4000, kStringForbiddenText = 6305;
constexpr double kPreviewPi = 3.1415926;

const ComboRow kPageRows[] = {
    {5521, 0, 0, 0}, {5522, 0, 2, 0}, {5523, 0, 1, 0}, {5524, 0, 3, 0}, {5525, 0, 4, 0}};
const ComboRow kLayerRows[] = {{5526, 0, 0, 0}, {5527, 0, 1, 0}};

bool Blank(const char* s) {
    for (; *s; ++s)
        if (*s != ' ') return false;
    return true;
}

long Number(const std::u16string& text) {
    std::wstring wide(text.begin(), text.end());
    return static_cast<long>(
        std::clamp<long long>(std::wcstoll(wide.c_str(), nullptr, 10), -100000, 100000));
}

std::u16string Decimal(long value) {
    const std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

} // namespace

// ---- CWMBmp

BEGIN_MESSAGE_MAP(CWMBmp, CStatic)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_SETCURSOR()
END_MESSAGE_MAP()

void CWMBmp::LayoutPage() {
    page_ = RECT{};
    SheetContext* c = owner_ ? owner_->Context() : nullptr;
    if (!c || !m_hWnd) return;
    WORD width = 0, length = 0;
    GetOutputPaperDimensions(&c->model, &c->workingImage, &width, &length);
    paperWidth_ = width;
    paperLength_ = length;
    WORD maxWidth = 0, maxLength = 0;
    const BOOL longPaper = IsLongPaper(&c->model, width / 10.0, length / 10.0, TRUE);
    if (GetCustomPaperMaximum(&c->model, &maxWidth, &maxLength, longPaper) && maxWidth &&
        maxLength) {
        largestWidth_ = maxWidth;
        largestLength_ = maxLength;
    }
    // The largest paper holds the output paper, whatever the model says.
    largestWidth_ = std::max(largestWidth_, paperWidth_);
    largestLength_ = std::max(largestLength_, paperLength_);
    if (c->workingImage.dm.dmOrientation == DMORIENT_LANDSCAPE) {
        std::swap(paperWidth_, paperLength_);
        std::swap(largestWidth_, largestLength_);
    }
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (!largestWidth_ || !largestLength_) return;
    const LONG scale =
        std::min<LONG>(client.right * 1000 / largestWidth_, client.bottom * 1000 / largestLength_);
    const LONG w = paperWidth_ * scale / 1000, h = paperLength_ * scale / 1000;
    page_ = RECT{client.right / 2 - w / 2, client.bottom / 2 - h / 2, client.right / 2 + w / 2,
                 client.bottom / 2 + h / 2};
}

void CWMBmp::MoveTo(POINT point) {
    const LONG pw = page_.right - page_.left, ph = page_.bottom - page_.top;
    if (!owner_ || pw <= 0 || ph <= 0) return;
    const LONG h = (point.x - (page_.left + page_.right) / 2) * 100 / pw;
    const LONG v = (point.y - (page_.top + page_.bottom) / 2) * 100 / ph;
    owner_->SetPosition(static_cast<int>(std::clamp(h, -50, 50)),
                        static_cast<int>(std::clamp(v, -50, 50)));
}

void CWMBmp::OnLButtonDown(UINT, CPoint point) {
    if (!::PtInRect(&page_, POINT{point.x, point.y})) return;
    dragging_ = true;
    SetCapture();
    MoveTo(POINT{point.x, point.y});
}

void CWMBmp::OnMouseMove(UINT, CPoint point) {
    if (dragging_) MoveTo(POINT{point.x, point.y});
}

void CWMBmp::OnLButtonUp(UINT, CPoint point) {
    if (!dragging_) return;
    MoveTo(POINT{point.x, point.y});
    dragging_ = false;
    ::ReleaseCapture();
}

BOOL CWMBmp::OnSetCursor(CWnd*, UINT, UINT) {
    POINT p{};
    ::GetCursorPos(&p);
    ::ScreenToClient(m_hWnd, &p);
    if (::PtInRect(&page_, p)) {
        if (HCURSOR cursor = ::LoadCursorW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kDragCursor))) {
            ::SetCursor(cursor);
            return TRUE;
        }
    }
    return static_cast<BOOL>(Default());
}

void CWMBmp::OnPaint() {
    CPaintDC dc(this);
    SheetContext* c = owner_ ? owner_->Context() : nullptr;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    if (!c || client.right <= 0 || client.bottom <= 0) return;
    // The record is shown as the page would print it: the image with the
    // dialog's record applied.
    DEVMODE_IMAGEW image = c->workingImage;
    owner_->ApplyToDevmode(&image);
    print_effects::WatermarkRecord r{};
    std::memcpy(&r, image.priv.WatermarkRecord, sizeof r);

    HDC memory = CreateCompatibleDC(dc);
    HBITMAP picture = memory ? CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr;
    if (!picture) {
        if (memory) DeleteDC(memory);
        return;
    }
    HGDIOBJ oldBitmap = SelectObject(memory, picture);
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(memory, &client, face);
    DeleteObject(face);
    const RECT& p = page_;
    if (p.right > p.left && p.bottom > p.top && paperWidth_ && paperLength_) {
        HPEN frame = CreatePen(PS_SOLID, kFrameWidth, kFrameColor);
        HGDIOBJ oldPen = SelectObject(memory, frame);
        HGDIOBJ oldBrush = SelectObject(memory, GetStockObject(NULL_BRUSH));
        Rectangle(memory, p.left + kFrameWidth + 1, p.top + kFrameWidth + 1, p.right + kFrameWidth,
                  p.bottom + kFrameWidth);
        FillRect(memory, &p, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        Rectangle(memory, p.left, p.top, p.right, p.bottom);
        SelectObject(memory, oldBrush);
        SelectObject(memory, oldPen);
        DeleteObject(frame);

        const std::u16string text = AnsiField(r.text, sizeof r.text);
        if ((image.priv.WatermarkFlags & kWatermarkOnFlag) && !text.empty()) {
            LOGFONTW font{};
            const LONG pageWidth = p.right - p.left;
            const LONG h = static_cast<LONG>(r.points) * 254 / 72 * pageWidth / paperWidth_;
            font.lfHeight = -std::max(1, h);
            font.lfEscapement = r.font.lfEscapement;
            font.lfOrientation = r.font.lfEscapement;
            font.lfWeight = r.font.lfWeight;
            font.lfItalic = r.font.lfItalic;
            font.lfUnderline = r.font.lfUnderline;
            font.lfStrikeOut = r.font.lfStrikeOut;
            font.lfCharSet = r.font.lfCharSet;
            font.lfOutPrecision = r.font.lfOutPrecision;
            font.lfClipPrecision = r.font.lfClipPrecision;
            font.lfQuality = r.font.lfQuality;
            font.lfPitchAndFamily = r.font.lfPitchAndFamily;
            MbToWideCopy(font.lfFaceName, r.font.lfFaceName, LF_FACESIZE);
            HFONT hfont = CreateFontIndirectW(&font);
            HGDIOBJ oldFont = SelectObject(memory, hfont);
            SIZE size{};
            GetTextExtentPoint32W(memory, text.c_str(), static_cast<int>(text.size()), &size);
            SetTextColor(memory, r.color);
            SetBkMode(memory, TRANSPARENT);
            SetTextAlign(memory, TA_CENTER | TA_BOTTOM);
            const LONG deg = r.font.lfEscapement / 10;
            const double a = deg * kPreviewPi / 180;
            const LONG cx = (p.left + p.right) / 2 + (p.right - p.left) * r.horizontal / 100;
            const LONG cy = (p.top + p.bottom) / 2 + (p.bottom - p.top) * r.vertical / 100;
            const LONG x = cx + static_cast<LONG>(std::sin(a) * size.cy * 0.5);
            const LONG y = cy + static_cast<LONG>(std::cos(a) * size.cy * 0.5);
            HRGN clip = CreateRectRgnIndirect(&p);
            SelectClipRgn(memory, clip);
            HPEN pen = CreatePen(PS_SOLID, 1, r.color);
            HGDIOBJ oldTextPen = SelectObject(memory, pen);
            HGDIOBJ oldTextBrush = SelectObject(memory, GetStockObject(NULL_BRUSH));
            const BOOL restricted = owner_->BorderRestricted();
            if ((r.flags & print_effects::kWatermarkOutline) && !restricted) {
                BeginPath(memory);
                TextOutW(memory, x, y, text.c_str(), static_cast<int>(text.size()));
                EndPath(memory);
                StrokePath(memory);
            } else {
                TextOutW(memory, x, y, text.c_str(), static_cast<int>(text.size()));
            }
            if (!restricted && r.border == 1) {
                const LONG radius = static_cast<LONG>((std::max(size.cx, size.cy) / 2) * 1.15);
                Ellipse(memory, cx - radius, cy - radius, cx + radius, cy + radius);
            } else if (!restricted && r.border == 2) {
                const double W = size.cx * 1.1;
                const LONG dx = static_cast<LONG>(W * std::cos(a) * 0.5 + 0.5);
                const LONG dy = static_cast<LONG>(W * std::sin(a) * 0.5 + 0.5);
                const double b = (deg + 90) * kPreviewPi / 180;
                LONG ey = static_cast<LONG>(size.cy * std::sin(b) * 0.5 + 0.5);
                LONG ex = static_cast<LONG>(size.cy * std::cos(b) * 0.5 + 0.5);
                if (ex == 0 && deg % 180 == 0)
                    ey = static_cast<LONG>(size.cy * 1.2 * std::sin(b) * 0.5 + 0.5);
                if (ey == 0 && deg % 90 == 0)
                    ex = static_cast<LONG>(size.cy * 1.2 * std::cos(b) * 0.5 + 0.5);
                const POINT corners[] = {{cx - dx + ex, cy + dy - ey},
                                         {cx + dx + ex, cy - dy - ey},
                                         {cx + dx - ex, cy - dy + ey},
                                         {cx - dx - ex, cy + dy + ey},
                                         {cx - dx + ex, cy + dy - ey}};
                Polyline(memory, corners, 5);
            }
            SelectObject(memory, oldTextBrush);
            SelectObject(memory, oldTextPen);
            DeleteObject(pen);
            SelectClipRgn(memory, nullptr);
            DeleteObject(clip);
            SelectObject(memory, oldFont);
            DeleteObject(hfont);
        }
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(picture);
    DeleteDC(memory);
}

// ---- CWaterMarkDlg

BEGIN_MESSAGE_MAP(CWaterMarkDlg, CLocalDlg)
ON_LBN_SELCHANGE(CWaterMarkDlg::kList, OnListChange)
ON_EN_CHANGE(CWaterMarkDlg::kName, OnNameChange)
ON_EN_CHANGE(CWaterMarkDlg::kText, OnTextChange)
ON_EN_CHANGE(CWaterMarkDlg::kSize, OnSizeChange)
ON_EN_KILLFOCUS(CWaterMarkDlg::kSize, OnSizeKillFocus)
ON_EN_CHANGE(CWaterMarkDlg::kAngle, OnAngleChange)
ON_EN_KILLFOCUS(CWaterMarkDlg::kAngle, OnAngleKillFocus)
ON_BN_CLICKED(CWaterMarkDlg::kFont, OnFont)
ON_BN_CLICKED(CWaterMarkDlg::kColor, OnColor)
ON_CBN_SELCHANGE(CWaterMarkDlg::kPages, OnPagesChange)
ON_CBN_SELCHANGE(CWaterMarkDlg::kLayer, OnLayerChange)
ON_BN_CLICKED(CWaterMarkDlg::kOutline, OnOutlineClick)
ON_BN_CLICKED(CWaterMarkDlg::kTransparent, OnTransparentClick)
ON_CONTROL_RANGE(BN_CLICKED, CWaterMarkDlg::kNone, CWaterMarkDlg::kSquare, OnBorder)
ON_BN_CLICKED(CWaterMarkDlg::kCenter, OnCenter)
ON_BN_CLICKED(CWaterMarkDlg::kSave, OnSave)
ON_BN_CLICKED(CWaterMarkDlg::kDelete, OnDelete)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_MESSAGE(WM_HSCROLL, OnScroll)
ON_MESSAGE(WM_VSCROLL, OnScroll)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
ON_MESSAGE(WM_CTLCOLORSTATIC, OnSwatchColor)
ON_MESSAGE(WM_DESTROY, OnDestroyMessage)
END_MESSAGE_MAP()

CWaterMarkDlg::CWaterMarkDlg(SheetContext* context, CWnd* parent)
    : CLocalDlg(kWatermarkDialog, parent), context_(context) {
    if (context_) {
        const PRIVATE_DEVMODE& p = context_->workingImage.priv;
        flags_ = p.WatermarkFlags | kWatermarkOnFlag;
        std::memcpy(&record_, p.WatermarkRecord, sizeof record_);
        // An application's device mode may hold anything.
        ClampWatermarkRecord(&record_);
        CModelInfo flags(&context_->model, kSecondModelFlags, 0, 1);
        if (flags.GetData()) {
            const DWORD word = flags.U32(0);
            outlineAllowed_ = (word & kFlagsOutline) != 0;
            pagesAllowed_ = (word & kFlagsPageChoice) != 0;
            layerAllowed_ = (word & kFlagsLayerChoice) != 0;
            defaultFlags_ = (word & kFlagsOpaqueDefault) ? 0 : print_effects::kWatermarkTransparent;
            defaultLayer_ = (word & kFlagsForegroundDefault) ? 1 : 0;
        }
        noEffects_ = CheckTable47Bit27(&context_->model, &context_->workingImage) == 1;
        noTransparent_ = CheckTable47Bit18(&context_->model, &context_->workingImage) == 1;
    }
}

CWaterMarkDlg::~CWaterMarkDlg() {
    if (swatchBrush_) DeleteObject(swatchBrush_);
}

std::u16string CWaterMarkDlg::String(DWORD id) {
    std::u16string text;
    Localize().LoadString(id, &text);
    return text;
}

WatermarkRecord CWaterMarkDlg::DefaultRecord() {
    WatermarkRecord r{};
    r.points = 36;
    r.font.lfEscapement = r.font.lfOrientation = 450;
    r.font.lfCharSet = 1;
    r.color = 0xDFDFDF;
    r.layer = defaultLayer_;
    r.flags = defaultFlags_;
    std::u16string face = String(kStringFace), text = String(kStringText);
    PutAnsiField(r.font.lfFaceName, sizeof r.font.lfFaceName, face.empty() ? u"Arial" : face);
    PutAnsiField(r.text, sizeof r.text, text.empty() ? u"Watermark" : text);
    return r;
}

BOOL CWaterMarkDlg::ReadWatermarkFile() {
    LoadWatermarkList(context_, &list_);
    return TRUE;
}

BOOL CWaterMarkDlg::WriteWatermarkFile() {
    return SaveWatermarkList(context_, list_);
}

void CWaterMarkDlg::ApplyToDevmode(DEVMODE_IMAGEW* image) const {
    if (!image) return;
    WatermarkRecord r = record_;
    r.version = print_effects::kWatermarkRecordVersion;
    r.size = print_effects::kWatermarkRecordSize;
    // The dialog writes positions in percent.
    image->priv.WatermarkFlags = flags_ & ~kWatermarkMillimetreFlag;
    std::memcpy(image->priv.WatermarkRecord, &r, sizeof r);
}

BOOL CWaterMarkDlg::RecordsEqual(const WatermarkRecord& a, const WatermarkRecord& b) {
    // Names are keys of the list, which ignores case; the rest byte for byte.
    return SameWatermarkName(a.name, b.name) && std::strncmp(a.text, b.text, sizeof a.text) == 0 &&
           a.points == b.points && a.horizontal == b.horizontal && a.vertical == b.vertical &&
           a.color == b.color && a.layer == b.layer && a.pages == b.pages && a.border == b.border &&
           a.flags == b.flags &&
           std::strncmp(a.font.lfFaceName, b.font.lfFaceName, sizeof a.font.lfFaceName) == 0 &&
           a.font.lfEscapement == b.font.lfEscapement && a.font.lfItalic == b.font.lfItalic &&
           a.font.lfWeight == b.font.lfWeight && a.font.lfCharSet == b.font.lfCharSet;
}

const WatermarkRecord* CWaterMarkDlg::FindMatchingWatermark(const WatermarkRecord& record) const {
    WatermarkRecord r = record;
    ClampWatermarkRecord(&r);
    if (noTransparent_) r.flags &= static_cast<WORD>(~print_effects::kWatermarkTransparent);
    if (noEffects_ || !outlineAllowed_)
        r.flags &= static_cast<WORD>(~print_effects::kWatermarkOutline);
    if (noEffects_) r.border = 0;
    for (const WatermarkRecord& entry : list_.records) {
        WatermarkRecord named = entry;
        named.version = r.version;
        named.size = r.size;
        if (!RecordsEqual(named, r)) continue;
        return &entry;
    }
    return nullptr;
}

void CWaterMarkDlg::SetPosition(int horizontal, int vertical) {
    record_.horizontal = std::clamp(horizontal, -50, 50);
    record_.vertical = std::clamp(vertical, -50, 50);
    Changed();
}

std::u16string CWaterMarkDlg::EditText(int id) const {
    WCHAR text[128] = {};
    ::GetWindowTextW(Item(id), text, 128);
    return text;
}

int CWaterMarkDlg::Message(DWORD textId, const std::u16string& argument, DWORD captionId,
                           UINT style) {
    const std::u16string text = WithTextArgument(String(textId), argument);
    const std::u16string caption = String(captionId);
    return ::MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), style);
}

BOOL CWaterMarkDlg::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    HMODULE resources = context_ ? context_->resourceModule : AfxGetResourceHandle();
    FillComboFromRows(resources, Item(kPages), kPageRows, 5);
    FillComboFromRows(resources, Item(kLayer), kLayerRows, 2);
    if (HICON icon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kCenterIcon)))
        ::SendMessageW(Item(kCenter), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    nameEdit_.SubclassDlgItem(kName, this);
    textEdit_.SubclassDlgItem(kText, this);
    sizeEdit_.SubclassDlgItem(kSize, this);
    angleEdit_.SubclassDlgItem(kAngle, this);
    ::SendMessageW(Item(kName), EM_LIMITTEXT, kNameChars, 0);
    ::SendMessageW(Item(kText), EM_LIMITTEXT, kTextChars, 0);
    ::SendMessageW(Item(kSize), EM_LIMITTEXT, 3, 0);
    ::SendMessageW(Item(kAngle), EM_LIMITTEXT, 3, 0);
    ::SendMessageW(Item(kSizeSpin), UDM_SETRANGE32, print_effects::kWatermarkMinPoints,
                   print_effects::kWatermarkMaxPoints);
    ::SendMessageW(Item(kAngleSpin), UDM_SETRANGE32, 0, 360);
    for (int id : {kFace, kSwatch}) {
        HWND h = Item(id);
        ::SetWindowLongW(h, GWL_EXSTYLE, ::GetWindowLongW(h, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
    }
    if (Item(kPreview) && preview_.SubclassDlgItem(kPreview, this)) {
        ::SetWindowLongW(preview_.m_hWnd, GWL_STYLE,
                         (::GetWindowLongW(preview_.m_hWnd, GWL_STYLE) & ~0x1F) | SS_NOTIFY);
        preview_.Init(this);
        preview_.LayoutPage();
    }
    for (int id : {kVertical, kHorizontal}) {
        SCROLLINFO info{sizeof info, SIF_RANGE, -50, 50, 0, 0, 0};
        ::SetScrollInfo(Item(id), SB_CTL, &info, TRUE);
    }
    ReadWatermarkFile();
    if (!record_.text[0]) record_ = DefaultRecord();
    FillList();
    SelectEqualEntry();
    tooltip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, m_hWnd, nullptr,
                                 AfxGetInstanceHandle(), nullptr);
    if (tooltip_) {
        AddToolTip(resources, tooltip_, Item(kCenter), kStringCenterTip, &tipText_);
        ::SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
    }
    Refresh();
    DisableAllChildren(context_, m_hWnd);
    return TRUE;
}

void CWaterMarkDlg::FillList() {
    HWND list = Item(kList);
    const LRESULT top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < list_.records.size(); ++i) {
        const std::u16string name = AnsiField(list_.records[i].name, sizeof list_.records[i].name);
        const LRESULT at =
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (at >= 0) ::SendMessageW(list, LB_SETITEMDATA, at, static_cast<LPARAM>(i));
    }
    if (top > 0) ::SendMessageW(list, LB_SETTOPINDEX, top, 0);
    selected_ = -1;
}

void CWaterMarkDlg::SelectEqualEntry() {
    selected_ = -1;
    for (size_t i = 0; i < list_.records.size(); ++i)
        if (RecordsEqual(list_.records[i], record_)) {
            selected_ = static_cast<int>(i);
            break;
        }
    SelectListByData(Item(kList), selected_);
    if (selected_ < 0) ::SendMessageW(Item(kList), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    modified_ = selected_ < 0 && modified_;
}

void CWaterMarkDlg::Refresh() {
    updating_ = TRUE;
    if (modified_) {
        ::SendMessageW(Item(kList), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        selected_ = -1;
    }
    const std::u16string name = AnsiField(record_.name, sizeof record_.name);
    const std::u16string text = AnsiField(record_.text, sizeof record_.text);
    if (typing_ != kName && EditText(kName) != name) ::SetWindowTextW(Item(kName), name.c_str());
    if (typing_ != kText && EditText(kText) != text) ::SetWindowTextW(Item(kText), text.c_str());
    const std::u16string face = AnsiField(record_.font.lfFaceName, sizeof record_.font.lfFaceName);
    ::SetWindowTextW(Item(kFace), face.c_str());
    // The edit being typed in keeps its text; the others show the record.
    if (typing_ != kSize && Number(EditText(kSize)) != static_cast<long>(record_.points))
        ::SetWindowTextW(Item(kSize), Decimal(record_.points).c_str());
    const long angle = record_.font.lfEscapement / 10;
    if (typing_ != kAngle && ::GetFocus() != Item(kAngle) && EditText(kAngle) != Decimal(angle))
        ::SetWindowTextW(Item(kAngle), Decimal(angle).c_str());
    // An up-down writes its position into its edit: never into the one typed in.
    if (typing_ != kSize) ::SendMessageW(Item(kSizeSpin), UDM_SETPOS32, 0, record_.points);
    if (typing_ != kAngle && ::GetFocus() != Item(kAngle))
        ::SendMessageW(Item(kAngleSpin), UDM_SETPOS32, 0, angle);
    ::SetScrollPos(Item(kHorizontal), SB_CTL, record_.horizontal, TRUE);
    ::SetScrollPos(Item(kVertical), SB_CTL, record_.vertical, TRUE);
    const BOOL outline = (record_.flags & print_effects::kWatermarkOutline) != 0;
    const BOOL transparent = (record_.flags & print_effects::kWatermarkTransparent) != 0;
    ::CheckDlgButton(m_hWnd, kOutline, outline && !noEffects_ ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(Item(kOutline), outlineAllowed_ && !noEffects_);
    ::CheckDlgButton(m_hWnd, kTransparent,
                     transparent && !noTransparent_ ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(Item(kTransparent), !noTransparent_);
    SelectComboByData(Item(kLayer), record_.layer);
    ::EnableWindow(Item(kLayer), layerAllowed_);
    SelectComboByData(Item(kPages), record_.pages);
    ::EnableWindow(Item(kPages), pagesAllowed_);
    const WORD border = noEffects_ ? 0 : record_.border;
    ::CheckDlgButton(m_hWnd, kNone, border == 0 ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hWnd, kCircle, border == 1 ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hWnd, kSquare, border == 2 ? BST_CHECKED : BST_UNCHECKED);
    for (int id : {kNone, kCircle, kSquare})
        ::EnableWindow(Item(id), !noEffects_);
    const bool nameOk = record_.name[0] && !Blank(record_.name);
    const bool textOk = record_.text[0] && !Blank(record_.text);
    ::EnableWindow(Item(kSave), nameOk && textOk && (modified_ || selected_ < 0));
    ::EnableWindow(Item(kDelete), selected_ >= 0);
    if (swatchBrush_) DeleteObject(swatchBrush_);
    swatchBrush_ = CreateSolidBrush(record_.color);
    ::InvalidateRect(Item(kSwatch), nullptr, TRUE);
    if (preview_.m_hWnd) ::InvalidateRect(preview_.m_hWnd, nullptr, FALSE);
    if (context_ && IsSheetReadOnly(context_)) DisableAllChildren(context_, m_hWnd);
    updating_ = FALSE;
}

void CWaterMarkDlg::Changed() {
    modified_ = TRUE;
    Refresh();
}

LRESULT CWaterMarkDlg::OnSwatchColor(WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<HWND>(lParam) == Item(kSwatch) && swatchBrush_) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), record_.color);
        return reinterpret_cast<LRESULT>(swatchBrush_);
    }
    return Default();
}

void CWaterMarkDlg::OnListChange() {
    const LRESULT index = GetListSelData(Item(kList));
    if (index < 0 || static_cast<size_t>(index) >= list_.records.size()) return;
    record_ = list_.records[static_cast<size_t>(index)];
    modified_ = FALSE;
    FillList();
    SelectEqualEntry();
    Refresh();
}

void CWaterMarkDlg::OnNameChange() {
    if (updating_) return;
    PutAnsiField(record_.name, sizeof record_.name, EditText(kName));
    typing_ = kName;
    Changed();
    typing_ = 0;
}

void CWaterMarkDlg::OnTextChange() {
    if (updating_) return;
    PutAnsiField(record_.text, sizeof record_.text, EditText(kText));
    typing_ = kText;
    Changed();
    typing_ = 0;
}

void CWaterMarkDlg::OnSizeChange() {
    if (updating_) return;
    const long size = Number(EditText(kSize));
    record_.points = static_cast<DWORD>(std::max(0L, size));
    typing_ = kSize;
    Changed();
    typing_ = 0;
}

void CWaterMarkDlg::OnSizeKillFocus() {
    const DWORD clamped = std::clamp<DWORD>(record_.points, print_effects::kWatermarkMinPoints,
                                            print_effects::kWatermarkMaxPoints);
    if (clamped != record_.points || EditText(kSize).empty()) {
        record_.points = clamped;
        ::SetWindowTextW(Item(kSize), Decimal(clamped).c_str());
        Changed();
    }
}

void CWaterMarkDlg::OnAngleChange() {
    if (updating_) return;
    const long angle = std::clamp(Number(EditText(kAngle)), -100000L, 100000L);
    record_.font.lfEscapement = record_.font.lfOrientation = angle * 10;
    typing_ = kAngle;
    Changed();
    typing_ = 0;
}

void CWaterMarkDlg::OnAngleKillFocus() {
    const LONG clamped =
        std::clamp<LONG>(record_.font.lfEscapement, 0, print_effects::kWatermarkMaxAngle);
    if (clamped != record_.font.lfEscapement ||
        EditText(kAngle) != Decimal(record_.font.lfEscapement / 10)) {
        record_.font.lfEscapement = record_.font.lfOrientation = clamped;
        ::SetWindowTextW(Item(kAngle), Decimal(clamped / 10).c_str());
        Changed();
    }
}

void CWaterMarkDlg::OnFont() {
    if (!context_) return;
    // The fonts offered are the printer's.
    HDC printerDc = nullptr;
    DWORD needed = 0;
    GetPrinterW(context_->printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    if (needed && GetPrinterW(context_->printer, 2, info.data(), needed, &needed)) {
        auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
        printerDc = CreateDCW(p2->pDriverName, p2->pPrinterName, nullptr, nullptr);
    }
    if (!printerDc && context_->printerName)
        printerDc = CreateDCW(u"WINSPOOL", context_->printerName, nullptr, nullptr);
    LOGFONTA font = record_.font;
    HDC screen = ::GetDC(nullptr);
    font.lfHeight =
        -MulDiv(static_cast<int>(record_.points), GetDeviceCaps(screen, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, screen);
    CHOOSEFONTA choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = m_hWnd;
    choose.hDC = printerDc;
    choose.lpLogFont = &font;
    choose.Flags =
        CF_PRINTERFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOVECTORFONTS | CF_TTONLY | CF_NOVERTFONTS;
    choose.rgbColors = record_.color;
    if (ChooseFontA(&choose)) {
        const LONG angle = record_.font.lfEscapement;
        record_.font = font;
        TerminateAnsiField(record_.font.lfFaceName, sizeof record_.font.lfFaceName);
        record_.font.lfEscapement = record_.font.lfOrientation = angle;
        record_.points = std::clamp<DWORD>(static_cast<DWORD>(std::max(0, choose.iPointSize / 10)),
                                           print_effects::kWatermarkMinPoints,
                                           print_effects::kWatermarkMaxPoints);
        Changed();
    }
    if (printerDc) DeleteDC(printerDc);
}

void CWaterMarkDlg::OnColor() {
    CColorDialog dialog(record_.color, CC_FULLOPEN, this);
    if (dialog.DoModal() == IDOK) {
        record_.color = dialog.GetColor();
        Changed();
    }
}

void CWaterMarkDlg::OnPagesChange() {
    const LRESULT data = GetComboSelData(Item(kPages));
    if (data < 0) return;
    record_.pages = static_cast<WORD>(data);
    Changed();
}

void CWaterMarkDlg::OnLayerChange() {
    const LRESULT data = GetComboSelData(Item(kLayer));
    if (data < 0) return;
    record_.layer = static_cast<WORD>(data);
    Changed();
}

void CWaterMarkDlg::OnOutlineClick() {
    const bool on = ::IsDlgButtonChecked(m_hWnd, kOutline) == BST_CHECKED;
    record_.flags = static_cast<WORD>(on ? record_.flags | print_effects::kWatermarkOutline
                                         : record_.flags & ~print_effects::kWatermarkOutline);
    Changed();
}

void CWaterMarkDlg::OnTransparentClick() {
    const bool on = ::IsDlgButtonChecked(m_hWnd, kTransparent) == BST_CHECKED;
    record_.flags = static_cast<WORD>(on ? record_.flags | print_effects::kWatermarkTransparent
                                         : record_.flags & ~print_effects::kWatermarkTransparent);
    Changed();
}

void CWaterMarkDlg::OnBorder(UINT id) {
    record_.border = static_cast<WORD>(id - kNone);
    Changed();
}

void CWaterMarkDlg::OnCenter() {
    SetPosition(0, 0);
}

LRESULT CWaterMarkDlg::OnScroll(WPARAM wParam, LPARAM lParam) {
    HWND bar = reinterpret_cast<HWND>(lParam);
    const bool horizontal = bar == Item(kHorizontal);
    if (!horizontal && bar != Item(kVertical)) return Default();
    int value = horizontal ? record_.horizontal : record_.vertical;
    switch (LOWORD(wParam)) {
    case SB_LINEUP:
        --value;
        break;
    case SB_LINEDOWN:
        ++value;
        break;
    case SB_PAGEUP:
        value -= 10;
        break;
    case SB_PAGEDOWN:
        value += 10;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        value = static_cast<short>(HIWORD(wParam));
        break;
    case SB_TOP:
        value = -50;
        break;
    case SB_BOTTOM:
        value = 50;
        break;
    default:
        return 0;
    }
    if (horizontal)
        SetPosition(value, record_.vertical);
    else
        SetPosition(record_.horizontal, value);
    return 0;
}

void CWaterMarkDlg::StoreList() {
    if (WriteWatermarkFile()) {
        modified_ = FALSE;
        return;
    }
    // The file is as it was; the list keeps what the person has (the file
    // may be unreadable or locked), so nothing typed is lost.
    Message(kStringCannotSave, u"", kStringSaveCaption, MB_OK | MB_ICONSTOP);
}

void CWaterMarkDlg::OnSave() {
    if (context_ && IsSheetReadOnly(context_)) return;
    const std::u16string name = EditText(kName);
    if (HasForbiddenCharacters(context_ ? context_->resourceModule : nullptr, name.c_str())) {
        Message(kStringForbiddenText, String(kStringForbidden), kStringSaveCaption,
                MB_OK | MB_ICONEXCLAMATION);
        ::SetFocus(Item(kName));
        ::SendMessageW(Item(kName), EM_SETSEL, 0, -1);
        return;
    }
    WatermarkRecord stored = record_;
    stored.version = print_effects::kWatermarkRecordVersion;
    stored.size = print_effects::kWatermarkRecordSize;
    auto same = std::find_if(list_.records.begin(), list_.records.end(), [&](const auto& r) {
        return SameWatermarkName(r.name, record_.name);
    });
    if (same != list_.records.end()) {
        if (Message(kStringReplaceAsk, name, kStringSaveCaption,
                    MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION) != IDYES) {
            ::SetFocus(Item(kName));
            ::SendMessageW(Item(kName), EM_SETSEL, 0, -1);
            return;
        }
        *same = stored;
    } else {
        list_.records.push_back(stored);
    }
    StoreList();
    FillList();
    SelectEqualEntry();
    Refresh();
    ::SetFocus(Item(kList));
}

void CWaterMarkDlg::OnDelete() {
    if (context_ && IsSheetReadOnly(context_)) return;
    const LRESULT index = GetListSelData(Item(kList));
    if (index >= 0 && static_cast<size_t>(index) < list_.records.size()) {
        const auto& entry = list_.records[static_cast<size_t>(index)];
        if (Message(kStringDeleteAsk, AnsiField(entry.name, sizeof entry.name),
                    kStringDeleteCaption, MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION) == IDYES) {
            list_.records.erase(list_.records.begin() + index);
            StoreList();
            record_ = list_.records.empty() ? DefaultRecord() : list_.records.front();
            modified_ = FALSE;
            FillList();
            SelectEqualEntry();
            Refresh();
        }
    }
    ::SetFocus(Item(kList));
}

void CWaterMarkDlg::OnOK() {
    if (!record_.name[0]) {
        // The name becomes the beginning of the text, on whole characters.
        std::memcpy(record_.name, record_.text, kNameChars);
        record_.name[kNameChars] = 0;
        TerminateAnsiField(record_.name, kNameChars + 1);
        updating_ = TRUE;
        ::SetWindowTextW(Item(kName), AnsiField(record_.name, sizeof record_.name).c_str());
        updating_ = FALSE;
    }
    if (HasForbiddenCharacters(context_ ? context_->resourceModule : nullptr,
                               AnsiField(record_.name, sizeof record_.name).c_str())) {
        Message(kStringForbiddenText, String(kStringForbidden), kStringWatermark,
                MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!record_.text[0] || Blank(record_.text)) {
        Message(kStringBlank, u"", kStringWatermark, MB_OK | MB_ICONEXCLAMATION);
        ::SetFocus(Item(kText));
        return;
    }
    // Typed values that never lost the focus are brought in range too.
    ClampWatermarkRecord(&record_);
    EndDialog(IDOK);
}

void CWaterMarkDlg::OnHelpButton() {
    if (context_)
        OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT, GetHelpContextId(kWatermarkDialog));
}

LRESULT CWaterMarkDlg::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT CWaterMarkDlg::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

LRESULT CWaterMarkDlg::OnDestroyMessage(WPARAM, LPARAM) {
    if (tooltip_) {
        ::DestroyWindow(tooltip_);
        tooltip_ = nullptr;
    }
    return Default();
}

} // namespace sheetwright
