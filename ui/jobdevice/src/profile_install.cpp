// At printer installation: the default profile files of the driver folder
// are brought up to date, the second one's profiles go to the top of the
// first, and the second one's first profile becomes the printer's default
// settings.
#include "profile_install.h"

#include <cstring>
#include <memory>
#include <vector>

#include "devmode_helpers.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "option_detection.h"
#include "profile_apply.h"
#include "revise_devmode.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

std::u16string ProfileComponent(const ModelBlock* binding, WORD component) {
    CModelInfo entry(binding, model::kQueryComponents, component, model::layout::kComponentList);
    auto* answer = static_cast<const model::ComponentAnswer*>(entry.GetData());
    if (!answer || entry.Length() < sizeof *answer) return {};
    return ComponentFileName(answer->kind, answer->nameTemplate, sizeof answer->nameTemplate);
}

// The printer's global default settings as a driver image; false when they
// are not the driver's own.
bool ReadGlobalDefaults(HANDLE printer, const ModelBlock* binding, DEVMODE_IMAGEW* image) {
    std::memset(image, 0, sizeof *image);
    DWORD needed = 0;
    GetPrinterW(printer, 8, nullptr, 0, &needed);
    bool have = false;
    if (needed >= sizeof(PRINTER_INFO_8W)) {
        std::vector<BYTE> block(needed);
        if (GetPrinterW(printer, 8, block.data(), needed, &needed)) {
            const DEVMODEW* stored = reinterpret_cast<PRINTER_INFO_8W*>(block.data())->pDevMode;
            const auto* at = reinterpret_cast<const BYTE*>(stored);
            if (stored && at >= block.data() && at < block.data() + block.size()) {
                const size_t room = static_cast<size_t>(block.data() + block.size() - at);
                have = room >= offsetof(DEVMODEW, dmFields) &&
                       LoadDevmodeImage(stored, room, image) != FALSE;
            }
        }
    }
    if (!have && !StampAndReviseDevmode(printer, binding->modelData, image)) return false;
    return image->dm.dmSize == DEVMODEW_SIZE && image->dm.dmDriverExtra == PRIVATE_DEVMODE_SIZE;
}

} // namespace

BOOL ApplyDefaultProfileToPrinter(HANDLE printer, const ModelBlock* binding) {
    if (!printer || !binding || !binding->modelsmith) return FALSE;
    std::u16string folder = GetDriverFolder(printer);
    if (folder.empty()) return FALSE;
    if (folder.back() != u'\\') folder += u'\\';
    const std::u16string first = ProfileComponent(binding, model::kComponentProfileA);
    const std::u16string second = ProfileComponent(binding, model::kComponentProfileB);
    ProfileFile defaults(binding, folder + first);
    ProfileFile initial(binding, folder + second);
    defaults.SetPrinter(printer);
    initial.SetPrinter(printer);
    if (!first.empty()) MigrateAllProfiles(&defaults);
    const ProfileEntry* list = nullptr;
    DWORD count = 0;
    if (second.empty() || !initial.GetProfileList(&list, &count) || count == 0) return TRUE;
    const std::vector<ProfileEntry> entries(list, list + count);
    if (!first.empty())
        for (DWORD i = 0; i < count; ++i)
            CopyProfile(&defaults, &initial, const_cast<ProfileEntry*>(list + i), nullptr, TRUE);
    auto image = std::make_unique<DEVMODE_IMAGEW>();
    if (!ReadGlobalDefaults(printer, binding, image.get())) return TRUE;
    ProfileEntry top = entries.front();
    if (!ApplyProfileToDevmode(&initial, image.get(), &top)) return TRUE;
    // The printer keeps its defaults as they were when they cannot be
    // stored; the spooler's error stays the last error.
    PRINTER_INFO_8W info{&image->dm};
    return SetPrinterW(printer, 8, reinterpret_cast<LPBYTE>(&info), 0);
}

} // namespace sheetwright
