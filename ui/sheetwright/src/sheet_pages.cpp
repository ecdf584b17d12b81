// The sheets' page lists: which pages a document or device sheet shows, in
// order, each made by its own library.
#include "sheet_pages.h"

#include <iterator>
#include <new>

#include "about_page.h"
#include "basic_page.h"
#include "device_page.h"
#include "effects_page.h"
#include "form_tray_page.h"
#include "output_page.h"
#include "profile_main.h"
#include "quality_page.h"
#include "security_page.h"

namespace sheetwright {
namespace {

constexpr char16_t kAddFailedText[] = u"Error";
constexpr char16_t kAddFailedCaption[] = u"CreatePropertySheetPage Fail";

// The pages of a sheet kind, in order.
struct PagePlan {
    UINT templateId;
    bool profile; // a CProfilePropPage
};
constexpr PagePlan kDocumentPages[] = {
    {kPageBasic, true},   {kPageOutput, true},  {kPageJobType, true},  {kPageQuality, true},
    {kPageEffects, true}, {kPageProfile, true}, {kPageSupport, false},
};
constexpr PagePlan kDevicePages[] = {{kPageFormTray, false}, {kPageDevice, false}};

} // namespace

DWORD BuildSheetPages(SheetContext* context, HWND owner) {
    if (!context) return 0;
    // The building holds a reference of its own, so that a page that fails
    // first does not take the context with it; it is let go also when a
    // failure leaves the building.
    struct Hold {
        SheetContext* context;
        ~Hold() { FreeSheetContext(context); }
    } hold{context};
    ++context->pageReferences;
    const PagePlan* plan = nullptr;
    size_t count = 0;
    if (context->sheetKind == kSheetDocument) {
        plan = kDocumentPages;
        count = std::size(kDocumentPages);
    } else if (context->sheetKind == kSheetDevice) {
        plan = kDevicePages;
        count = std::size(kDevicePages);
    }
    // Without a sheet callback no page could be added.
    if (!context->sheetCallback) count = 0;
    DWORD ok = count ? 1 : 0;
    for (size_t i = 0; i < count; ++i) {
        if (plan[i].templateId == kPageEffects &&
            !(context->workingImage.priv.FeatureFlags & kEffectsFeatureBits))
            continue;
        CPropPage* page = nullptr;
        try {
            if (plan[i].templateId == kPageBasic)
                page = new CPaperSet(context);
            else if (plan[i].templateId == kPageJobType)
                page = new CSecurity(context);
            else if (plan[i].templateId == kPageProfile)
                page = new CProfileMain(context);
            else if (plan[i].templateId == kPageSupport)
                page = new CAboutDlg(context);
            else if (plan[i].templateId == kPageFormTray)
                page = new CFormTray(context);
            else if (plan[i].templateId == kPageDevice)
                page = new CDevice(context);
            else if (plan[i].templateId == kPageEffects)
                page = new CStationary(context);
            else if (plan[i].templateId == kPageOutput)
                page = new COutput(context);
            else if (plan[i].templateId == kPageQuality)
                page = new CQuality(context);
            else
                page = plan[i].profile ? new CProfilePropPage(plan[i].templateId, context)
                                       : new CPropPage(plan[i].templateId, context);
        } catch (const std::bad_alloc&) {
        }
        if (page) page->m_psp.dwFlags |= PSP_HASHELP;
        if (!AddPropPage(page, context->sheetCallback, context->sheetHandle)) {
            MessageBoxW(owner, kAddFailedText, kAddFailedCaption, MB_OK);
            ok = 0;
        }
    }
    return ok;
}

} // namespace sheetwright
