// Printer device contexts and the life cycle of their driver: the physical
// device (DrvEnablePDEV, DrvCompletePDEV, DrvResetPDEV, DrvDisablePDEV), the
// surface of a document (DrvEnableSurface at StartDoc, DrvDisableSurface at
// its end), the job in the spooler, pages and bands, and escapes; and the
// document events of the printer's interface library around all of these.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "dc_state.h"
#include "gdi_internal.h"
#include "gdi_objects.h"
#include "platform/engine_device.h"
#include "platform/gdi_ctl.h"
#include "platform/gdi_drawing.h"
#include "platform/engine_fonts.h"
#include "platform/text.h"
#include "platform/window_dc.h"
#include "win/errors.h"
#include "win/loader.h"
#include "win/printer_interface.h"
#include "win/spool.h"
#include "win/strings.h"
#include "platform/core.h"

namespace platform::gdi {
namespace {

// A device mode shorter than its header up to dmFields cannot be read; a
// public part longer than this is not a device mode.
constexpr WORD kMinDevmodeSize = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);
constexpr WORD kMaxDevmodeSize = 1024;
// A driver that never ends its page's bands would hold EndPage forever.
constexpr int kMaxBands = 100000;
// The drawing one printer page takes, in pixels drawn, as a multiple of the
// page's own pixels: a page that paints every pixel this often is no page a
// printer can show, and beyond it a few records of a document would hold the
// printer (and the engine drawing its bands) for minutes.
constexpr double kPageWorkPerPixel = 64;

enum class DocState { Idle, InDoc, InPage };

struct DeviceContext {
    GraphicsDriver* driver = nullptr;
    HANDLE printer = nullptr;
    // The printer's interface library while it takes document events.
    HMODULE interfaceLibrary = nullptr;
    PFN_DrvDocumentEvent documentEvent = nullptr;
    std::u16string device;
    std::u16string port;
    std::vector<BYTE> devmode; // empty: none
    HDEV hdev = nullptr;
    DHPDEV dhpdev = nullptr;
    GDIINFO gdiinfo{};
    DEVINFO devinfo{};
    HSURF pdevSurface = nullptr; // stands for the device while no surface is enabled
    HSURF surface = nullptr;     // the driver's surface of the running document
    bool banding = false;
    FLONG hooks = 0;
    DocState state = DocState::Idle;
    DWORD jobId = 0;
    bool busy = false;
    std::vector<std::unique_ptr<DrawingCall>> page; // kept for the bands
    double pageWork = 0; // pixels the calls of the open page draw, at most
    // A memory device context: no driver, always open for drawing into the
    // selected bitmap.
    bool memory = false;
    // A window's device context: a memory one whose bitmap is the window's
    // surface, shared with other windows' contexts and never swapped.
    bool window = false;
    std::shared_ptr<GdiObject> bitmap;
    HGDIOBJ firstBitmap = nullptr; // its own 1 x 1 bitmap, deleted with it
    ULONG logPixels = 0;
};

constexpr ULONG kScreenPixelsPerInch = 96;

bool NotForMemory(const DeviceContext& dc) {
    if (!dc.memory) return false;
    SetLastError(ERROR_INVALID_HANDLE);
    return true;
}

// What a memory device context tells of its device: the bitmap's size and
// depth, and its colours as the device's palette.
void UseBitmap(DeviceContext& dc, std::shared_ptr<GdiObject> bitmap) {
    const BitmapData& b = *bitmap->bitmap;
    dc.bitmap = std::move(bitmap);
    dc.surface = b.surface;
    dc.gdiinfo = GDIINFO{};
    dc.gdiinfo.ulVersion = GDI_DRIVER_VERSION;
    dc.gdiinfo.ulTechnology = DT_RASDISPLAY;
    dc.gdiinfo.ulHorzRes = static_cast<ULONG>(b.width);
    dc.gdiinfo.ulVertRes = static_cast<ULONG>(b.height);
    dc.gdiinfo.cBitsPixel = b.bpp;
    dc.gdiinfo.cPlanes = 1;
    dc.gdiinfo.ulNumColors = b.bpp <= 8 ? 1u << b.bpp : 0xFFFFFFFF;
    dc.gdiinfo.ulLogPixelsX = dc.gdiinfo.ulLogPixelsY = dc.logPixels;
    dc.gdiinfo.ulAspectX = dc.gdiinfo.ulAspectY = 1;
    dc.gdiinfo.szlPhysSize = SIZEL{b.width, b.height};
    dc.devinfo = DEVINFO{};
    dc.devinfo.flGraphicsCaps = GCAPS_BEZIERS | GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL;
    dc.devinfo.hpalDefault = b.palette;
}

std::recursive_mutex gMutex;
// Never destroyed: a device context still open when the process ends keeps
// engine bitmaps, and the engine's own tables may be gone by then.
std::map<ULONG_PTR, std::shared_ptr<DeviceContext>>& gDcs =
    *new std::map<ULONG_PTR, std::shared_ptr<DeviceContext>>;
ULONG_PTR gNextDc = 0xdc000;

// One call's hold on a device context; the same context cannot be entered
// again from inside its driver while the call runs.
class DcUse {
  public:
    explicit DcUse(HDC hdc) {
        std::lock_guard lock(gMutex);
        auto it = gDcs.find(reinterpret_cast<ULONG_PTR>(hdc));
        if (it == gDcs.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return;
        }
        if (it->second->busy) {
            SetLastError(ERROR_BUSY);
            return;
        }
        dc_ = it->second;
        dc_->busy = true;
    }
    ~DcUse() {
        if (!dc_) return;
        std::lock_guard lock(gMutex);
        dc_->busy = false;
    }
    DcUse(const DcUse&) = delete;
    DcUse& operator=(const DcUse&) = delete;
    explicit operator bool() const { return dc_ != nullptr; }
    DeviceContext* operator->() const { return dc_.get(); }
    DeviceContext& operator*() const { return *dc_; }

  private:
    std::shared_ptr<DeviceContext> dc_;
};

// The surface handed to the driver's document, page and escape calls.
class SurfaceLock {
  public:
    explicit SurfaceLock(const DeviceContext& dc)
        : pso_(EngLockSurface(dc.surface ? dc.surface : dc.pdevSurface)) {}
    ~SurfaceLock() {
        if (pso_) EngUnlockSurface(pso_);
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;
    SURFOBJ* get() const { return pso_; }

  private:
    SURFOBJ* pso_;
};

std::u16string Wide(LPCWSTR s) {
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}

std::u16string FromAnsi(LPCSTR s) {
    if (!s) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, s, -1, reinterpret_cast<LPWSTR>(out.data()), n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

bool CopyDevmode(const DEVMODEW* pdm, std::vector<BYTE>* out) {
    out->clear();
    if (!pdm) return true;
    if (pdm->dmSize < kMinDevmodeSize || pdm->dmSize > kMaxDevmodeSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    size_t size = static_cast<size_t>(pdm->dmSize) + pdm->dmDriverExtra;
    // Drivers read the whole public record; a shorter one is padded with zeros.
    out->assign(std::max(size, sizeof(DEVMODEW)), 0);
    std::memcpy(out->data(), pdm, size);
    return true;
}

DEVMODEW* Devmode(std::vector<BYTE>& dm) {
    return dm.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(dm.data());
}

// The device mode an interface library handed back at CREATEDCPRE or
// RESETDCPRE in place of `devmode`: often the one it was given, revised in
// place, which must stay where it is until the POST event hands it back.
bool TakeHandedDevmode(const DEVMODEW* handed, std::vector<BYTE>* devmode) {
    if (!handed || reinterpret_cast<const BYTE*>(handed) == devmode->data()) return true;
    std::vector<BYTE> copy;
    if (!CopyDevmode(handed, &copy)) return false;
    *devmode = std::move(copy);
    return true;
}

// The wide form of an ANSI device mode: the two names widened, the rest and
// the private part as they stand.
bool WidenDevmode(const DEVMODEA* pdm, std::vector<BYTE>* out) {
    out->clear();
    if (!pdm) return true;
    constexpr WORD kMinAnsi = offsetof(DEVMODEA, dmFields) + sizeof(DWORD);
    constexpr WORD kFormEnd = offsetof(DEVMODEA, dmFormName) + CCHFORMNAME;
    if (pdm->dmSize < kMinAnsi || pdm->dmSize > kMaxDevmodeSize - 64) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    WORD wideSize = static_cast<WORD>(pdm->dmSize + (pdm->dmSize >= kFormEnd ? 64 : 32));
    std::vector<BYTE> w(
        std::max<size_t>(static_cast<size_t>(wideSize) + pdm->dmDriverExtra, sizeof(DEVMODEW)), 0);
    auto* dm = reinterpret_cast<DEVMODEW*>(w.data());
    auto widen = [](const BYTE* name, WCHAR* to) {
        char buf[CCHDEVICENAME + 1] = {};
        std::memcpy(buf, name, CCHDEVICENAME);
        MultiByteToWideChar(CP_ACP, 0, buf, -1, to, CCHDEVICENAME);
        to[CCHDEVICENAME - 1] = 0;
    };
    widen(pdm->dmDeviceName, dm->dmDeviceName);
    const auto* a = reinterpret_cast<const BYTE*>(pdm);
    // dmSpecVersion .. dmCollate, then dmLogPixels .. the end of the public part.
    size_t midEnd = std::min<size_t>(pdm->dmSize, offsetof(DEVMODEA, dmFormName));
    std::memcpy(w.data() + offsetof(DEVMODEW, dmSpecVersion), a + offsetof(DEVMODEA, dmSpecVersion),
                midEnd - offsetof(DEVMODEA, dmSpecVersion));
    if (pdm->dmSize >= kFormEnd) {
        widen(pdm->dmFormName, dm->dmFormName);
        std::memcpy(w.data() + offsetof(DEVMODEW, dmLogPixels), a + kFormEnd,
                    pdm->dmSize - kFormEnd);
    }
    std::memcpy(w.data() + wideSize, a + pdm->dmSize, pdm->dmDriverExtra);
    dm->dmSize = wideSize;
    *out = std::move(w);
    return true;
}

// The spooler's answer to a level-2 query of the printer, or empty.
std::vector<BYTE> PrinterInfo2(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    if (!needed || !GetPrinterW(printer, 2, buf.data(), needed, &needed)) buf.clear();
    return buf;
}

// The printer's graphics library and its interface library (empty when none).
struct DriverFiles {
    std::u16string driver;
    std::u16string config;
};

DriverFiles PrinterDriverFiles(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    if (!needed || !GetPrinterDriverW(printer, nullptr, 2, buf.data(), needed, &needed)) return {};
    const auto* info = reinterpret_cast<DRIVER_INFO_2W*>(buf.data());
    return {Wide(info->pDriverPath), Wide(info->pConfigFile)};
}

// Binds the interface library's document events to the context; a library
// without them (or none at all) leaves the context without events.
void BindDocumentEvents(DeviceContext& dc, const std::u16string& config) {
    if (config.empty()) return;
    std::u16string path = config;
    HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(path.data()));
    if (!module) return;
    FARPROC entry = GetProcAddress(module, "DrvDocumentEvent");
    if (!entry) {
        FreeLibrary(module);
        return;
    }
    dc.interfaceLibrary = module;
    dc.documentEvent = reinterpret_cast<PFN_DrvDocumentEvent>(reinterpret_cast<void (*)()>(entry));
}

void UnbindDocumentEvents(DeviceContext& dc) {
    if (dc.interfaceLibrary) FreeLibrary(dc.interfaceLibrary);
    dc.interfaceLibrary = nullptr;
    dc.documentEvent = nullptr;
}

// One document event of an open context. Called with no hold on the context:
// the interface library may escape into it while it handles the event.
int DocumentEvent(HDC hdc, int esc, ULONG cbIn = 0, PVOID pvIn = nullptr, ULONG cbOut = 0,
                  PVOID pvOut = nullptr) {
    std::shared_ptr<DeviceContext> dc;
    {
        std::lock_guard lock(gMutex);
        auto it = gDcs.find(reinterpret_cast<ULONG_PTR>(hdc));
        if (it == gDcs.end() || !it->second->documentEvent) return DOCUMENTEVENT_UNSUPPORTED;
        dc = it->second;
    }
    return dc->documentEvent(dc->printer, hdc, esc, cbIn, pvIn, cbOut, pvOut);
}

// Where a printer context's document stands; Idle for any other handle
// (the calls themselves report those).
DocState PrinterDocState(HDC hdc) {
    std::lock_guard lock(gMutex);
    auto it = gDcs.find(reinterpret_cast<ULONG_PTR>(hdc));
    return it == gDcs.end() || it->second->memory ? DocState::Idle : it->second->state;
}

// TRUE when the spooler no longer wants the job: cancelled, or gone.
bool JobCancelled(HANDLE printer, DWORD jobId) {
    if (!jobId) return false;
    DWORD needed = 0;
    GetJobW(printer, jobId, 1, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    if (!needed || !GetJobW(printer, jobId, 1, buf.data(), needed, &needed)) return true;
    return (reinterpret_cast<JOB_INFO_1W*>(buf.data())->Status &
            (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0;
}

// A physical device of the driver for a device mode.
struct Pdev {
    HDEV hdev = nullptr;
    DHPDEV dhpdev = nullptr;
    GDIINFO gdiinfo{};
    DEVINFO devinfo{};
    HSURF pdevSurface = nullptr;
};

bool EnablePdev(DeviceContext& dc, std::vector<BYTE>& devmode, Pdev* out) {
    const GraphicsDriver& drv = *dc.driver;
    Pdev p;
    p.hdev = engine::CreateDevice(drv.functions);
    if (!p.hdev) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    HSURF patterns[HS_DDI_MAX] = {};
    std::u16string port = dc.port, device = dc.device;
    SetLastError(0);
    p.dhpdev = drv.Fn<PFN_DrvEnablePDEV>(INDEX_DrvEnablePDEV)(
        Devmode(devmode), port.empty() ? nullptr : reinterpret_cast<LPWSTR>(port.data()),
        HS_DDI_MAX, patterns, sizeof p.gdiinfo, reinterpret_cast<ULONG*>(&p.gdiinfo),
        sizeof p.devinfo, &p.devinfo, p.hdev, reinterpret_cast<LPWSTR>(device.data()), dc.printer);
    if (!p.dhpdev) {
        if (GetLastError() == 0) SetLastError(ERROR_INVALID_PARAMETER);
        engine::DeleteDevice(p.hdev);
        return false;
    }
    engine::SetDevicePdev(p.hdev, p.dhpdev);
    drv.Fn<PFN_DrvCompletePDEV>(INDEX_DrvCompletePDEV)(p.dhpdev, p.hdev);
    SIZEL size{std::max<LONG>(1, static_cast<LONG>(p.gdiinfo.ulHorzRes)),
               std::max<LONG>(1, static_cast<LONG>(p.gdiinfo.ulVertRes))};
    if (size.cx <= 0 || size.cy <= 0) size = SIZEL{1, 1};
    p.pdevSurface = EngCreateDeviceSurface(nullptr, size, BMF_24BPP);
    if (!p.pdevSurface || !EngAssociateSurface(p.pdevSurface, p.hdev, 0)) {
        if (p.pdevSurface) EngDeleteSurface(p.pdevSurface);
        drv.Fn<PFN_DrvDisablePDEV>(INDEX_DrvDisablePDEV)(p.dhpdev);
        engine::DeleteDevice(p.hdev);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    *out = p;
    return true;
}

void DisablePdev(const GraphicsDriver& drv, const Pdev& p) {
    // The driver lets go of its fonts while its device still stands.
    engine::ReleaseDeviceFonts(p.hdev);
    EngDeleteSurface(p.pdevSurface);
    drv.Fn<PFN_DrvDisablePDEV>(INDEX_DrvDisablePDEV)(p.dhpdev);
    engine::DeleteDevice(p.hdev);
}

void UsePdev(DeviceContext& dc, const Pdev& p) {
    dc.hdev = p.hdev;
    dc.dhpdev = p.dhpdev;
    dc.gdiinfo = p.gdiinfo;
    dc.devinfo = p.devinfo;
    dc.pdevSurface = p.pdevSurface;
    HANDLE printer = dc.printer;
    // Cancelling the job in the spooler is what EngCheckAbort reports.
    DeviceContext* self = &dc;
    engine::SetDeviceAbortCheck(p.hdev,
                                [printer, self] { return JobCancelled(printer, self->jobId); });
}

Pdev CurrentPdev(const DeviceContext& dc) {
    return Pdev{dc.hdev, dc.dhpdev, dc.gdiinfo, dc.devinfo, dc.pdevSurface};
}

bool EnableSurface(DeviceContext& dc) {
    HSURF hsurf = dc.driver->Fn<PFN_DrvEnableSurface>(INDEX_DrvEnableSurface)(dc.dhpdev);
    engine::SurfaceState state;
    if (!hsurf || !engine::QuerySurface(hsurf, &state) || state.hdev != dc.hdev) {
        // A surface that is not associated with the device cannot be drawn on.
        if (hsurf) dc.driver->Fn<PFN_DrvDisableSurface>(INDEX_DrvDisableSurface)(dc.dhpdev);
        if (GetLastError() == 0) SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    dc.surface = hsurf;
    dc.banding = state.banding;
    dc.hooks = state.hooks;
    return true;
}

void DisableSurface(DeviceContext& dc) {
    if (!dc.surface) return;
    dc.surface = nullptr;
    dc.banding = false;
    dc.hooks = 0;
    dc.page.clear();
    dc.driver->Fn<PFN_DrvDisableSurface>(INDEX_DrvDisableSurface)(dc.dhpdev);
}

PlayTarget TargetFor(DeviceContext& dc, SURFOBJ* pso, POINTL origin) {
    PlayTarget t;
    t.pso = pso;
    t.hsurf = dc.surface;
    t.hooks = dc.hooks;
    t.functions = dc.driver ? &dc.driver->functions : nullptr;
    t.origin = origin;
    t.area =
        RECTL{origin.x, origin.y, origin.x + pso->sizlBitmap.cx, origin.y + pso->sizlBitmap.cy};
    return t;
}

bool Meets(const RECTL& a, const RECTL& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

BOOL Play(DrawingCall& call, const PlayTarget& target) {
    if (!Meets(call.Bounds(), target.area)) return TRUE;
    return call.Play(target);
}

// The bands of the page: the driver gives each band's origin, the page's
// calls are played into it, and (-1, -1) ends the page.
bool PlayBands(DeviceContext& dc, SURFOBJ* pso) {
    auto start = dc.driver->Fn<PFN_DrvStartBanding>(INDEX_DrvStartBanding);
    auto next = dc.driver->Fn<PFN_DrvNextBand>(INDEX_DrvNextBand);
    if (!start || !next) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    POINTL origin{};
    if (!start(pso, &origin)) return false;
    for (int band = 0; origin.x != -1 || origin.y != -1; ++band) {
        if (band == kMaxBands) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        PlayTarget target = TargetFor(dc, pso, origin);
        for (auto& call : dc.page)
            Play(*call, target);
        if (!next(pso, &origin)) return false;
    }
    return true;
}

// Ends the open page: the bands when the surface is a banding one, then
// DrvSendPage.
bool FinishPage(DeviceContext& dc) {
    bool ok = true;
    {
        SurfaceLock pso(dc);
        if (!pso.get()) return false;
        if (dc.banding) ok = PlayBands(dc, pso.get());
        dc.page.clear();
        auto send = dc.driver->Fn<PFN_DrvSendPage>(INDEX_DrvSendPage);
        if (send && !send(pso.get())) ok = false;
    }
    EndPagePrinter(dc.printer);
    dc.state = DocState::InDoc;
    return ok;
}

// Ends the document: DrvEndDoc (fl 0 or ED_ABORTDOC), the surface, the job.
bool FinishDoc(DeviceContext& dc, FLONG fl) {
    bool ok = true;
    bool ended = true;
    DWORD driverError = ERROR_SUCCESS;
    {
        SurfaceLock pso(dc);
        auto end = dc.driver->Fn<PFN_DrvEndDoc>(INDEX_DrvEndDoc);
        // Without its surface the driver cannot end the document: what it
        // wrote is no whole job, so the job goes as an aborted one.
        if (!pso.get()) {
            ended = ok = false;
        } else if (end && !end(pso.get(), fl)) {
            ok = false;
            driverError = GetLastError();
        }
    }
    DisableSurface(dc);
    if ((fl & ED_ABORTDOC) || !ended)
        AbortPrinter(dc.printer);
    else if (!EndDocPrinter(dc.printer))
        ok = false;
    dc.state = DocState::Idle;
    dc.jobId = 0;
    // The application hears why the driver failed the document.
    if (driverError != ERROR_SUCCESS) SetLastError(driverError);
    return ok;
}

HDC Register(std::shared_ptr<DeviceContext> dc) {
    std::lock_guard lock(gMutex);
    gNextDc += 0x10;
    gDcs[gNextDc] = std::move(dc);
    return reinterpret_cast<HDC>(gNextDc);
}

HDC CreatePrinterDc(const std::u16string& driverName, const std::u16string& device,
                    const std::u16string& port, std::vector<BYTE> devmode) {
    if (device.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto dc = std::make_shared<DeviceContext>();
    dc->device = device;
    std::u16string name = device;
    if (!OpenPrinterW(reinterpret_cast<LPWSTR>(name.data()), &dc->printer, nullptr)) return nullptr;
    std::vector<BYTE> info = PrinterInfo2(dc->printer);
    const auto* pi2 =
        info.empty() ? nullptr : reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
    dc->port = !port.empty() ? port : pi2 ? Wide(pi2->pPortName) : std::u16string();
    // Without a device mode of its own the context takes the printer's default.
    if (devmode.empty() && pi2 && pi2->pDevMode && !CopyDevmode(pi2->pDevMode, &devmode))
        devmode.clear();
    DriverFiles files = PrinterDriverFiles(dc->printer);
    std::u16string path = driverName;
    if (path.empty() || EqualsNoCase(path, u"WINSPOOL")) path = files.driver;
    if (path.empty()) {
        ClosePrinter(dc->printer);
        SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
        return nullptr;
    }

    // The interface library sees the device mode first and may hand back
    // its own; what it hands back stays its own until CREATEDCPOST.
    BindDocumentEvents(*dc, files.config);
    PDEVMODEW replaced = nullptr;
    auto post = [&](HDC hdc) {
        if (!dc->documentEvent) return;
        dc->documentEvent(dc->printer, hdc, DOCUMENTEVENT_CREATEDCPOST, sizeof replaced, &replaced,
                          0, nullptr);
    };
    auto fail = [&](DWORD error) -> HDC {
        post(nullptr);
        UnbindDocumentEvents(*dc);
        ClosePrinter(dc->printer);
        SetLastError(error);
        return nullptr;
    };
    if (dc->documentEvent) {
        std::u16string driverArg = path;
        DOCEVENT_CREATEDCPRE pre{reinterpret_cast<LPWSTR>(driverArg.data()),
                                 reinterpret_cast<LPWSTR>(name.data()), Devmode(devmode), FALSE};
        SetLastError(0);
        if (dc->documentEvent(dc->printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre,
                              sizeof replaced, &replaced) == DOCUMENTEVENT_FAILURE) {
            DWORD error = GetLastError();
            return fail(error ? error : static_cast<DWORD>(ERROR_CANCELLED));
        }
        if (!TakeHandedDevmode(replaced, &devmode)) return fail(ERROR_INVALID_PARAMETER);
    }
    dc->devmode = std::move(devmode);

    dc->driver = AcquireGraphicsDriver(path);
    if (!dc->driver) return fail(GetLastError());
    Pdev pdev;
    if (!EnablePdev(*dc, dc->devmode, &pdev)) {
        DWORD error = GetLastError();
        ReleaseGraphicsDriver(dc->driver);
        return fail(error);
    }
    UsePdev(*dc, pdev);
    HDC hdc = Register(dc);
    post(hdc);
    return hdc;
}

// `devmode` moves into the context only when the reset succeeds.
HDC ResetPrinterDevice(HDC hdc, std::vector<BYTE>& devmode) {
    DcUse dc(hdc);
    if (!dc || NotForMemory(*dc)) return nullptr;
    if (dc->state == DocState::InPage || devmode.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Pdev fresh;
    if (!EnablePdev(*dc, devmode, &fresh)) return nullptr;
    const GraphicsDriver& drv = *dc->driver;
    Pdev old = CurrentPdev(*dc);
    if (auto reset = drv.Fn<PFN_DrvResetPDEV>(INDEX_DrvResetPDEV);
        reset && !reset(old.dhpdev, fresh.dhpdev)) {
        DWORD error = GetLastError();
        DisablePdev(drv, fresh);
        SetLastError(error ? error : static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return nullptr;
    }
    bool inDoc = dc->state == DocState::InDoc;
    DisableSurface(*dc);
    DisablePdev(drv, old);
    UsePdev(*dc, fresh);
    dc->devmode = std::move(devmode);
    if (!inDoc) return hdc;
    // The document goes on with the new device: a new surface and a restart
    // of the document without a name or job.
    if (!EnableSurface(*dc)) return nullptr;
    SurfaceLock pso(*dc);
    auto start = drv.Fn<PFN_DrvStartDoc>(INDEX_DrvStartDoc);
    if (start && (!pso.get() || !start(pso.get(), nullptr, 0))) return nullptr;
    return hdc;
}

// A new device mode for the context, seen first by the interface library,
// which may hand back its own in its place until RESETDCPOST.
HDC ResetPrinterDc(HDC hdc, std::vector<BYTE> devmode) {
    PDEVMODEW asked = Devmode(devmode);
    PDEVMODEW replaced = nullptr;
    SetLastError(0);
    int pre = DocumentEvent(hdc, DOCUMENTEVENT_RESETDCPRE, sizeof asked, &asked, sizeof replaced,
                            &replaced);
    HDC result = nullptr;
    if (pre == DOCUMENTEVENT_FAILURE) {
        if (GetLastError() == 0) SetLastError(ERROR_CANCELLED);
    } else if (TakeHandedDevmode(replaced, &devmode)) {
        result = ResetPrinterDevice(hdc, devmode);
    }
    DWORD error = GetLastError();
    DocumentEvent(hdc, DOCUMENTEVENT_RESETDCPOST, sizeof replaced, &replaced);
    SetLastError(error);
    return result;
}

int StartJob(HDC hdc, const std::u16string& docName, const std::u16string* output,
             const std::u16string* datatype) {
    DcUse dc(hdc);
    if (!dc) return SP_ERROR;
    if (dc->state != DocState::Idle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    std::u16string name = docName, out = output ? *output : u"", type = datatype ? *datatype : u"";
    LPWSTR namePtr = name.empty() ? nullptr : reinterpret_cast<LPWSTR>(name.data());
    DOC_INFO_1W di{namePtr, output ? reinterpret_cast<LPWSTR>(out.data()) : nullptr,
                   datatype ? reinterpret_cast<LPWSTR>(type.data()) : nullptr};
    DWORD job = StartDocPrinterW(dc->printer, 1, reinterpret_cast<LPBYTE>(&di));
    if (!job) return SP_ERROR;
    dc->jobId = job;
    if (!EnableSurface(*dc)) {
        DWORD error = GetLastError();
        AbortPrinter(dc->printer);
        dc->jobId = 0;
        SetLastError(error);
        return SP_ERROR;
    }
    bool started;
    {
        SurfaceLock pso(*dc);
        auto start = dc->driver->Fn<PFN_DrvStartDoc>(INDEX_DrvStartDoc);
        started = pso.get() && (!start || start(pso.get(), namePtr, job));
    }
    if (!started) {
        DWORD error = GetLastError();
        DisableSurface(*dc);
        AbortPrinter(dc->printer);
        dc->jobId = 0;
        SetLastError(error ? error : static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return SP_ERROR;
    }
    dc->state = DocState::InDoc;
    return static_cast<int>(job);
}

// The document announced to the interface library first (it may refuse it
// or name the output), and its start reported once the job runs.
std::vector<DWORD>& StartedJobs() {
    static std::vector<DWORD> jobs;
    return jobs;
}

int StartDocument(HDC hdc, const std::u16string& docName, const std::u16string* output,
                  const std::u16string* datatype) {
    if (PrinterDocState(hdc) == DocState::Idle) {
        std::u16string name = docName, out = output ? *output : u"",
                       type = datatype ? *datatype : u"";
        DOCINFOW di{sizeof(DOCINFOW),
                    name.empty() ? nullptr : reinterpret_cast<LPCWSTR>(name.data()),
                    output ? reinterpret_cast<LPCWSTR>(out.data()) : nullptr,
                    datatype ? reinterpret_cast<LPCWSTR>(type.data()) : nullptr, 0};
        DOCINFOW* pdi = &di;
        SetLastError(0);
        if (DocumentEvent(hdc, DOCUMENTEVENT_STARTDOC, sizeof pdi, &pdi) == DOCUMENTEVENT_FAILURE) {
            if (GetLastError() == 0) SetLastError(ERROR_CANCELLED);
            return SP_ERROR;
        }
    }
    int job = StartJob(hdc, docName, output, datatype);
    if (job > 0) {
        DWORD id = static_cast<DWORD>(job);
        {
            std::lock_guard lock(gMutex);
            StartedJobs().push_back(id);
        }
        DocumentEvent(hdc, DOCUMENTEVENT_STARTDOCPOST, sizeof id, &id);
    }
    return job;
}

} // namespace

bool QueryPrinterDc(HDC hdc, PrinterDcFacts* facts) {
    std::lock_guard lock(gMutex);
    auto it = gDcs.find(reinterpret_cast<ULONG_PTR>(hdc));
    if (it == gDcs.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    facts->gdiinfo = it->second->gdiinfo;
    facts->devinfo = it->second->devinfo;
    return true;
}

HDC CreateMemoryDc(HDC reference) {
    auto dc = std::make_shared<DeviceContext>();
    dc->memory = true;
    dc->state = DocState::InPage;
    dc->logPixels = kScreenPixelsPerInch;
    PrinterDcFacts facts;
    if (reference && QueryPrinterDc(reference, &facts)) {
        dc->logPixels = facts.gdiinfo.ulLogPixelsX ? facts.gdiinfo.ulLogPixelsX : dc->logPixels;
    } else if (reference) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto first = NewBitmapObject(1, 1, 1, {0x000000, 0xFFFFFF}, false);
    if (!first) return nullptr;
    dc->firstBitmap = AddObject(first);
    UseBitmap(*dc, std::move(first));
    return Register(std::move(dc));
}

std::shared_ptr<GdiObject> SelectDcBitmap(HDC hdc, std::shared_ptr<GdiObject> bitmap) {
    DcUse dc(hdc);
    if (!dc) return nullptr;
    if (!dc->memory || dc->window || !bitmap || !bitmap->bitmap) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(gMutex);
    for (auto& [h, other] : gDcs)
        if (other.get() != &*dc && other->bitmap == bitmap && !other->window) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    std::shared_ptr<GdiObject> old = dc->bitmap;
    UseBitmap(*dc, std::move(bitmap));
    return old;
}

HDC CreateWindowDc(HBITMAP surface, POINT origin, HRGN visible) {
    auto bitmap = FindObject(surface);
    if (!bitmap || !bitmap->bitmap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::optional<Region> shown;
    if (visible) {
        auto rgn = FindObject(visible, ObjectKind::Region);
        if (!rgn) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        shown = rgn->region;
    }
    auto dc = std::make_shared<DeviceContext>();
    dc->memory = true;
    dc->window = true;
    dc->state = DocState::InPage;
    dc->logPixels = kScreenPixelsPerInch;
    UseBitmap(*dc, std::move(bitmap));
    HDC hdc = Register(std::move(dc));
    if (!hdc) return nullptr;
    DcAccess state(hdc);
    if (state) {
        state->a.origin = origin;
        // The window's visible part bounds every clip, as a meta region does.
        state->a.meta = shown;
    }
    return hdc;
}

std::shared_ptr<GdiObject> DcBitmap(HDC hdc) {
    std::lock_guard lock(gMutex);
    auto it = gDcs.find(reinterpret_cast<ULONG_PTR>(hdc));
    if (it == gDcs.end() || !it->second->memory) return nullptr;
    return it->second->bitmap;
}

BOOL SubmitDrawing(HDC hdc, std::unique_ptr<DrawingCall> call, double work) {
    DcUse dc(hdc);
    if (!dc) return FALSE;
    if (dc->state != DocState::InPage || !call) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!dc->memory) {
        if (work < 0) {
            RECTL b = call->Bounds();
            work = std::max(0.0, static_cast<double>(b.right) - b.left) *
                   std::max(0.0, static_cast<double>(b.bottom) - b.top);
        }
        double limit = kPageWorkPerPixel * static_cast<double>(dc->gdiinfo.ulHorzRes) *
                       static_cast<double>(dc->gdiinfo.ulVertRes);
        if (dc->pageWork + work > limit) {
            SetLastError(ERROR_NOT_ENOUGH_QUOTA);
            return FALSE;
        }
        dc->pageWork += work;
    }
    if (dc->banding) {
        dc->page.push_back(std::move(call));
        return TRUE;
    }
    SurfaceLock pso(*dc);
    if (!pso.get()) return FALSE;
    PlayTarget target = TargetFor(*dc, pso.get(), POINTL{0, 0});
    target.last = true; // the call goes when this play ends
    return Play(*call, target);
}

} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

HDC WINAPI CreateDCW(LPCWSTR lpszDriver, LPCWSTR lpszDevice, LPCWSTR lpszPort,
                     const DEVMODEW* pdm) {
    PLATFORM_FAULT_POINT("CreateDCW", nullptr);
    std::vector<BYTE> devmode;
    if (!CopyDevmode(pdm, &devmode)) return nullptr;
    return CreatePrinterDc(Wide(lpszDriver), Wide(lpszDevice), Wide(lpszPort), std::move(devmode));
}

HDC WINAPI CreateDCA(LPCSTR lpszDriver, LPCSTR lpszDevice, LPCSTR lpszPort, const DEVMODEA* pdm) {
    PLATFORM_FAULT_POINT("CreateDCA", nullptr);
    std::vector<BYTE> devmode;
    if (!WidenDevmode(pdm, &devmode)) return nullptr;
    return CreatePrinterDc(FromAnsi(lpszDriver), FromAnsi(lpszDevice), FromAnsi(lpszPort),
                           std::move(devmode));
}

HDC WINAPI ResetDCW(HDC hdc, const DEVMODEW* lpdm) {
    PLATFORM_FAULT_POINT("ResetDCW", nullptr);
    std::vector<BYTE> devmode;
    if (!CopyDevmode(lpdm, &devmode)) return nullptr;
    return ResetPrinterDc(hdc, std::move(devmode));
}

HDC WINAPI ResetDCA(HDC hdc, const DEVMODEA* lpdm) {
    PLATFORM_FAULT_POINT("ResetDCA", nullptr);
    std::vector<BYTE> devmode;
    if (!WidenDevmode(lpdm, &devmode)) return nullptr;
    return ResetPrinterDc(hdc, std::move(devmode));
}

BOOL WINAPI DeleteDC(HDC hdc) {
    if (PrinterDocState(hdc) != DocState::Idle) DocumentEvent(hdc, DOCUMENTEVENT_ABORTDOC);
    DocumentEvent(hdc, DOCUMENTEVENT_DELETEDC);
    std::shared_ptr<DeviceContext> gone;
    {
        DcUse dc(hdc);
        if (!dc) return FALSE;
        if (dc->memory) {
            std::lock_guard lock(gMutex);
            auto it = gDcs.find(reinterpret_cast<ULONG_PTR>(hdc));
            gone = std::move(it->second);
            gDcs.erase(it);
        }
    }
    if (gone) {
        ForgetDcState(hdc);
        if (gone->firstBitmap) DeleteObject(gone->firstBitmap);
        // Fonts realized for drawing into bitmaps belong to no device: they
        // go with the last memory device context, so none outlives its use.
        bool lastMemory = true;
        {
            std::lock_guard lock(gMutex);
            for (const auto& [handle, other] : gDcs)
                if (other && other->memory) lastMemory = false;
        }
        if (lastMemory) platform::engine::ReleaseDeviceFonts(nullptr);
        return TRUE;
    }
    {
        DcUse dc(hdc);
        if (!dc) return FALSE;
        // A document still open is abandoned.
        if (dc->state != DocState::Idle) FinishDoc(*dc, ED_ABORTDOC);
        DisablePdev(*dc->driver, CurrentPdev(*dc));
        ClosePrinter(dc->printer);
        ReleaseGraphicsDriver(dc->driver);
        UnbindDocumentEvents(*dc);
        std::lock_guard lock(gMutex);
        auto it = gDcs.find(reinterpret_cast<ULONG_PTR>(hdc));
        gone = std::move(it->second);
        gDcs.erase(it);
    }
    ForgetDcState(hdc);
    return TRUE;
}

int WINAPI StartDocW(HDC hdc, const DOCINFOW* lpdi) {
    PLATFORM_FAULT_POINT("StartDocW", SP_ERROR);
    if (!lpdi || lpdi->cbSize < static_cast<int>(offsetof(DOCINFOW, lpszOutput))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    std::u16string output, datatype;
    bool haveOutput =
        lpdi->cbSize >= static_cast<int>(offsetof(DOCINFOW, lpszDatatype)) && lpdi->lpszOutput;
    bool haveType =
        lpdi->cbSize >= static_cast<int>(offsetof(DOCINFOW, fwType)) && lpdi->lpszDatatype;
    if (haveOutput) output = Wide(lpdi->lpszOutput);
    if (haveType) datatype = Wide(lpdi->lpszDatatype);
    return StartDocument(hdc, Wide(lpdi->lpszDocName), haveOutput ? &output : nullptr,
                         haveType ? &datatype : nullptr);
}

int WINAPI StartDocA(HDC hdc, const DOCINFOA* lpdi) {
    PLATFORM_FAULT_POINT("StartDocA", SP_ERROR);
    if (!lpdi || lpdi->cbSize < static_cast<int>(offsetof(DOCINFOA, lpszOutput))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    std::u16string output, datatype;
    bool haveOutput =
        lpdi->cbSize >= static_cast<int>(offsetof(DOCINFOA, lpszDatatype)) && lpdi->lpszOutput;
    bool haveType =
        lpdi->cbSize >= static_cast<int>(offsetof(DOCINFOA, fwType)) && lpdi->lpszDatatype;
    if (haveOutput) output = FromAnsi(lpdi->lpszOutput);
    if (haveType) datatype = FromAnsi(lpdi->lpszDatatype);
    return StartDocument(hdc, FromAnsi(lpdi->lpszDocName), haveOutput ? &output : nullptr,
                         haveType ? &datatype : nullptr);
}

int WINAPI StartPage(HDC hdc) {
    PLATFORM_FAULT_POINT("StartPage", SP_ERROR);
    if (PrinterDocState(hdc) == DocState::InDoc) DocumentEvent(hdc, DOCUMENTEVENT_STARTPAGE);
    DcUse dc(hdc);
    if (!dc) return SP_ERROR;
    if (dc->state != DocState::InDoc || !dc->surface) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    StartPagePrinter(dc->printer);
    bool ok;
    {
        SurfaceLock pso(*dc);
        auto start = dc->driver->Fn<PFN_DrvStartPage>(INDEX_DrvStartPage);
        ok = pso.get() && (!start || start(pso.get()));
    }
    if (!ok) {
        EndPagePrinter(dc->printer);
        return SP_ERROR;
    }
    dc->page.clear();
    dc->pageWork = 0;
    dc->state = DocState::InPage;
    return 1;
}

int WINAPI EndPage(HDC hdc) {
    PLATFORM_FAULT_POINT("EndPage", SP_ERROR);
    if (PrinterDocState(hdc) == DocState::InPage) DocumentEvent(hdc, DOCUMENTEVENT_ENDPAGE);
    DcUse dc(hdc);
    if (!dc || NotForMemory(*dc)) return SP_ERROR;
    if (dc->state != DocState::InPage) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    return FinishPage(*dc) ? 1 : SP_ERROR;
}

int WINAPI EndDoc(HDC hdc) {
    PLATFORM_FAULT_POINT("EndDoc", SP_ERROR);
    bool announced = PrinterDocState(hdc) != DocState::Idle;
    if (announced) DocumentEvent(hdc, DOCUMENTEVENT_ENDDOC);
    bool ok;
    {
        DcUse dc(hdc);
        if (!dc || NotForMemory(*dc)) return SP_ERROR;
        if (dc->state == DocState::Idle) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return SP_ERROR;
        }
        // A page still open is ended first.
        ok = dc->state != DocState::InPage || FinishPage(*dc);
        ok = FinishDoc(*dc, 0) && ok;
    }
    // The job is whole in the spooler now; the interface library may finish its output.
    if (announced) {
        DWORD error = GetLastError();
        DocumentEvent(hdc, DOCUMENTEVENT_ENDDOCPOST);
        SetLastError(error);
    }
    return ok ? 1 : SP_ERROR;
}

int WINAPI AbortDoc(HDC hdc) {
    PLATFORM_FAULT_POINT("AbortDoc", SP_ERROR);
    if (PrinterDocState(hdc) != DocState::Idle) DocumentEvent(hdc, DOCUMENTEVENT_ABORTDOC);
    DcUse dc(hdc);
    if (!dc || NotForMemory(*dc)) return SP_ERROR;
    if (dc->state == DocState::Idle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    if (dc->state == DocState::InPage) {
        dc->page.clear();
        EndPagePrinter(dc->printer);
    }
    FinishDoc(*dc, ED_ABORTDOC);
    return 1;
}

int WINAPI ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput,
                     LPSTR lpOutData) {
    PLATFORM_FAULT_POINT("ExtEscape", SP_ERROR);
    if (cjInput < 0 || cjOutput < 0 || (cjInput > 0 && !lpInData) || (cjOutput > 0 && !lpOutData)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    DcUse dc(hdc);
    if (!dc || NotForMemory(*dc)) return -1;
    auto escape = dc->driver->Fn<PFN_DrvEscape>(INDEX_DrvEscape);
    if (!escape) return 0;
    SurfaceLock pso(*dc);
    if (!pso.get()) return -1;
    return static_cast<int>(escape(pso.get(), static_cast<ULONG>(iEscape),
                                   static_cast<ULONG>(cjInput), const_cast<LPSTR>(lpInData),
                                   static_cast<ULONG>(cjOutput), lpOutData));
}
}

namespace platform::test {

long LiveDeviceContexts() {
    std::lock_guard lock(platform::gdi::gMutex);
    return static_cast<long>(platform::gdi::gDcs.size());
}

long LoadedGraphicsDrivers() {
    return platform::gdi::LoadedGraphicsDriverCount();
}

} // namespace platform::test

namespace platform {

std::vector<DWORD> PrintJobsStarted() {
    std::lock_guard lock(platform::gdi::gMutex);
    return platform::gdi::StartedJobs();
}

} // namespace platform
