#include "option_module.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "detected_options.h"
#include "device_option_module.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "driver_env.h"
#include "model/model_queries.h"
#include "model_codes.h"
#include "model_info.h"
#include "option_detection.h"
#include "win/base.h"
#include "win/ini.h"
#include "win/loader.h"

namespace sheetwright {
namespace {

constexpr char16_t kDeviceNameKey[] = u"\\Printer.NKTDeviceOptions.General.DeviceName001:Name";
constexpr char16_t kFinisherNameKey[] = u"\\Printer.NKTDeviceOptions.OutputBin.Finisher001:Name";
constexpr char16_t kPunchKey[] = u"\\Printer.NKTDeviceOptions.OutputBin.Punch:Installed";
constexpr char16_t kStapleKey[] = u"\\Printer.NKTDeviceOptions.OutputBin.Staple:Installed";
constexpr WORD kComponentOptionFile = model::kComponentOptionModuleA;
constexpr WORD kComponentOptionModule = model::kComponentOptionModuleB;
constexpr WORD kOptionBins = model::kQueryOutputBins;
constexpr WORD kLargeTrayKind = 5;
constexpr WORD kComboFinisher = 99;
// At most this many texts are taken from one answer, and this many section
// names' characters from the option file.
constexpr LONG kMostTexts = 64;
constexpr DWORD kSectionChunk = 65536, kMostSectionChars = 16 * kSectionChunk;
constexpr size_t kAnsiNameBytes = 255;
constexpr size_t kFinisherRecord = 88, kFinisherNameAt = 8, kFinisherFlagsAt = 40;
constexpr size_t kFinisherPunchAt = 48, kFinisherStapleAt = 50;
constexpr size_t kBinRecord = 192, kBinIdAt = 4;
constexpr DWORD kKilobytesPerMegabyte = 1024;

std::u16string ComponentName(const ModelBlock* binding, WORD component) {
    CModelInfo entry(binding, model::kQueryComponents, component, model::layout::kComponentList);
    auto* answer = static_cast<const model::ComponentAnswer*>(entry.GetData());
    if (!answer || entry.Length() < sizeof *answer) return {};
    return ComponentFileName(answer->kind, answer->nameTemplate, sizeof answer->nameTemplate);
}

std::u16string ModelFolder(const ModelBlock* binding) {
    WCHAR path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(binding->modelsmith, path, MAX_PATH);
    std::u16string folder(path, std::min<DWORD>(n, MAX_PATH));
    const size_t cut = folder.find_last_of(u"\\/");
    return cut == std::u16string::npos ? std::u16string() : folder.substr(0, cut + 1);
}

std::string ToAnsi(const WCHAR* text, size_t chars) {
    std::string ansi = WideToAnsiString(std::u16string(text, chars));
    if (ansi.size() > kAnsiNameBytes) ansi.resize(kAnsiNameBytes);
    return ansi;
}

// One module, one option file, for the length of one query.
class OptionModule {
  public:
    OptionModule(const ModelBlock* binding, const char* call) {
        const std::u16string module = ComponentName(binding, kComponentOptionModule);
        const std::u16string file = ComponentName(binding, kComponentOptionFile);
        if (module.empty() || file.empty()) return;
        file_ = ModelFolder(binding) + file;
        library_ = LoadModuleBeside(binding->modelsmith, module.c_str());
        if (library_)
            ask_ = reinterpret_cast<PFN_GetOptionInfo>(
                reinterpret_cast<void (*)()>(GetProcAddress(library_, call)));
        if (library_ && call != kGetOptionInfoFromSchema)
            byName_ = reinterpret_cast<PFN_GetOptionInfo>(
                reinterpret_cast<void (*)()>(GetProcAddress(library_, kGetOptionInfoFromSchema)));
        else
            byName_ = ask_;
    }
    ~OptionModule() {
        if (library_) FreeLibrary(library_);
    }
    bool Usable() const { return ask_ && byName_; }
    const std::u16string& File() const { return file_; }

    // One key's answer through `fn`; the texts of a text answer, capped.
    bool Ask(PFN_GetOptionInfo fn, LPCWSTR printer, LPCWSTR key, SchemaNode* node,
             std::vector<std::u16string>* texts) const {
        DWORD value = 0, kind = 0, second = 0;
        LONG count = 0;
        if (!fn || !fn(printer, key, file_.c_str(), &value, &kind, &count, &second, nullptr))
            return false;
        node->kind = kind;
        node->value = value;
        node->second = second;
        if (texts && count > 0 && (kind == kOptionKindText || kind == 7)) {
            LONG room = std::min(count, kMostTexts);
            std::vector<WCHAR> block(static_cast<size_t>(room) * kOptionTextChars, u'\0');
            if (!fn(printer, key, file_.c_str(), &value, &kind, &room, &second, block.data()))
                return false;
            // Only what came back, each text ended within its slot.
            room = std::clamp<LONG>(room, 0, std::min(count, kMostTexts));
            for (LONG i = 0; i < room; ++i) {
                const WCHAR* slot = block.data() + static_cast<size_t>(i) * kOptionTextChars;
                texts->emplace_back(slot,
                                    std::char_traits<char16_t>::length(slot) < kOptionTextChars
                                        ? std::char_traits<char16_t>::length(slot)
                                        : kOptionTextChars - 1);
            }
        }
        return true;
    }
    bool Ask(LPCWSTR printer, LPCWSTR key, SchemaNode* node,
             std::vector<std::u16string>* texts) const {
        return Ask(ask_, printer, key, node, texts);
    }
    bool AskByName(LPCWSTR printer, LPCWSTR key, SchemaNode* node,
                   std::vector<std::u16string>* texts) const {
        return Ask(byName_, printer, key, node, texts);
    }

  private:
    HMODULE library_ = nullptr;
    PFN_GetOptionInfo ask_ = nullptr;
    PFN_GetOptionInfo byName_ = nullptr;
    std::u16string file_;
};

// The device's name as the module reports it; false when it reports none.
bool GetSchemaDeviceName(const OptionModule& module, LPCWSTR printer, std::u16string* name) {
    SchemaNode node;
    std::vector<std::u16string> texts;
    if (!module.AskByName(printer, kDeviceNameKey, &node, &texts) || node.kind != kOptionKindText ||
        texts.empty())
        return false;
    *name = texts.front();
    return true;
}

bool DeviceNameMatches(const ModelOptionPair* pair, const OptionModule& module, LPCWSTR printer) {
    std::u16string name;
    return GetSchemaDeviceName(module, printer, &name) &&
           ContainsModelName(pair->binding, name.c_str());
}

// A node of an answer as the query keeps it; false when the kind is not kept.
bool MakeNode(SchemaNode* node, const std::vector<std::u16string>& texts) {
    switch (node->kind) {
    case 1:
    case 9:
    case 12:
    case 13:
    case 14:
        return true;
    case 7:
        for (const std::u16string& t : texts)
            node->texts.push_back(ToAnsi(t.data(), t.size()));
        return true;
    case 8:
        return node->value != 0;
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 10:
    case 11:
    case 21:
    case 22:
    case 23:
    case 24:
    case 25:
    case 41:
    case 42:
    case 43:
    case 44:
        return true;
    default:
        return false;
    }
}

std::vector<std::u16string> SectionNames(const std::u16string& file) {
    std::vector<WCHAR> buffer;
    DWORD got = 0;
    for (DWORD size = kSectionChunk; size <= kMostSectionChars; size += kSectionChunk) {
        buffer.assign(size, u'\0');
        got = GetPrivateProfileSectionNamesW(buffer.data(), size, file.c_str());
        if (got < size - 2) break;
    }
    std::vector<std::u16string> names;
    for (size_t at = 0; at < got && at < buffer.size() && buffer[at];) {
        const size_t end =
            std::find(buffer.begin() + static_cast<long>(at), buffer.end(), u'\0') - buffer.begin();
        names.emplace_back(buffer.data() + at, end - at);
        at = end + 1;
    }
    return names;
}

void SetState(InstallOptionEntry* e, bool installed) {
    if (e) e->state = installed ? 1 : 0;
}

// The optional trays in order, the large-capacity tray left out.
std::vector<InstallOptionEntry*> OptionalTrays(CInstallOption* list) {
    std::vector<InstallOptionEntry*> trays;
    for (DWORD n = 1; InstallOptionEntry* e = list->FindNth(kOptionTray, n); ++n)
        if (e->trayKind != kLargeTrayKind) trays.push_back(e);
    return trays;
}

DWORD OptionalPosition(const ModelBlock* binding, DWORD trays) {
    const DWORD standard = CountPaperSources(binding);
    return trays > standard ? trays - standard : 0;
}

void ApplyTrayCount(const ModelOptionPair* pair, const std::vector<const SchemaNode*>& trays) {
    std::vector<InstallOptionEntry*> optional = OptionalTrays(pair->options);
    auto number = [](const SchemaNode* n) { return n->kind - 20; }; // 22..25: trays 2..5
    if (trays.size() == 1) {
        const SchemaNode* n = trays.front();
        if (n->second) {
            const DWORD upTo = OptionalPosition(pair->binding, number(n));
            for (DWORD i = 0; i < upTo && i < optional.size(); ++i)
                SetState(optional[i], true);
        } else {
            const DWORD from = OptionalPosition(pair->binding, number(n) - 1);
            for (DWORD i = from; i < optional.size(); ++i)
                SetState(optional[i], false);
        }
        return;
    }
    DWORD highest = 0;
    for (const SchemaNode* n : trays)
        if (n->second) highest = std::max(highest, number(n));
    const DWORD fitted = OptionalPosition(pair->binding, highest);
    for (DWORD i = 0; i < optional.size(); ++i)
        SetState(optional[i], i < fitted);
}

void ApplySchemaOption(const ModelOptionPair* pair, const SchemaNode& node) {
    const WORD option = SchemaKindToOption(node.kind);
    if (!option || !HasTable37Entry(pair, option)) return;
    CInstallOption* list = pair->options;
    const ModelBlock* binding = pair->binding;
    switch (node.kind) {
    case 1:
    case 9:
        SetInstalledMemory(binding, list, node.value / kKilobytesPerMegabyte);
        break;
    case 12: {
        const DWORD current = GetInstalledMemorySize(pair);
        CModelInfo limits(binding, model::kQueryMemory, 0, 1);
        const DWORD maximum = limits.U32(12);
        limits.Release();
        const DWORD reported = node.value / kKilobytesPerMegabyte;
        SetInstalledMemory(binding, list, reported > current && maximum ? maximum : current);
        break;
    }
    case 2:
    case 3:
    case 10:
        SetState(list->Find(option, 1), node.second != 0);
        break;
    case 13:
    case 14:
        SetState(list->Find(kOptionMemory35, 1), node.value != 0);
        break;
    case 6: {
        CModelInfo bins(binding, kOptionBins, 0, 3);
        for (size_t at = 0; bins.GetData() && at + kBinRecord <= bins.Length(); at += kBinRecord)
            if (bins.U16(at + kBinIdAt) == node.value)
                SetState(list->Find(kOptionBins, static_cast<WORD>(node.value)), true);
        break;
    }
    case 8: {
        LONG count = static_cast<LONG>(std::min<DWORD>(node.value, 0x7FFF));
        if (count == 0) break;
        if (HasKind4PaperSource(pair)) --count;
        const LONG standard = static_cast<LONG>(CountPaperSources(binding));
        // Signed, so that fewer trays than the standard ones fit none.
        const DWORD fitted = static_cast<DWORD>(std::max<LONG>(count - standard, 0));
        std::vector<InstallOptionEntry*> optional = OptionalTrays(list);
        for (DWORD i = 0; i < optional.size(); ++i)
            SetState(optional[i], i < fitted);
        break;
    }
    case 21:
        SetState(list->FindKind5Tray(), node.second != 0);
        break;
    case 41:
    case 42:
    case 43:
    case 44:
        // Finisher parts: the finisher of that number is fitted.
        if (node.second) MarkFinisherInstalled(pair, static_cast<WORD>(node.kind - 40), 0, 0);
        break;
    default:
        break;
    }
}

// The finisher record of a name (exact), its id and unit words.
struct FinisherRecord {
    WORD id = 0, punch = 0xFFFF, staple = 0xFFFF;
    BYTE flags = 0;
};
std::vector<FinisherRecord> FinisherRecords(const ModelBlock* binding,
                                            std::vector<std::string>* names) {
    std::vector<FinisherRecord> records;
    CModelInfo info(binding, model::kQueryFinishers, 0, 3);
    for (size_t at = 0; info.GetData() && at + kFinisherRecord <= info.Length();
         at += kFinisherRecord) {
        FinisherRecord r;
        r.id = info.U16(at);
        r.punch = info.U16(at + kFinisherPunchAt);
        r.staple = info.U16(at + kFinisherStapleAt);
        r.flags = info.U8(at + kFinisherFlagsAt);
        std::string name;
        for (size_t i = kFinisherNameAt; i < kFinisherFlagsAt && info.U8(at + i); ++i)
            name += static_cast<char>(info.U8(at + i));
        records.push_back(r);
        names->push_back(name);
    }
    return records;
}

void ApplyFinisher(const ModelOptionPair* pair, const SchemaNode* names, const SchemaNode* punch,
                   const SchemaNode* staple, const SchemaNode* fallback) {
    CInstallOption* list = pair->options;
    std::vector<std::string> recordNames;
    const std::vector<FinisherRecord> records = FinisherRecords(pair->binding, &recordNames);
    if (names && !names->texts.empty()) {
        if (!records.empty()) list->ClearOption(kOptionFinisher);
        for (size_t i = 0; i < records.size(); ++i) {
            if (recordNames[i] != names->texts.front()) continue;
            InstallOptionEntry* e = list->Find(kOptionFinisher, records[i].id);
            if (!e) break;
            const FinisherRecord& r = records[i];
            e->state = 1;
            if (r.punch >= 1 && r.punch != 0xFFFF) e->state |= kFinisherPunchUnit;
            if (r.staple >= 1 && r.staple != 0xFFFF) e->state |= kFinisherFoldUnit;
            if (r.punch == 0 && punch)
                e->state =
                    punch->second ? e->state | kFinisherPunchUnit : e->state & ~kFinisherPunchUnit;
            if (r.staple == 0 && staple)
                e->state =
                    staple->second ? e->state | kFinisherFoldUnit : e->state & ~kFinisherFoldUnit;
            break;
        }
    } else if (fallback) {
        for (const FinisherRecord& r : records) {
            if (!(r.flags & 0x2) || r.punch != 0xFFFF || r.staple != 0xFFFF) continue;
            if (fallback->value) list->ClearOption(kOptionFinisher);
            if (InstallOptionEntry* e = list->Find(kOptionFinisher, r.id))
                e->state = fallback->value;
            break;
        }
    } else {
        list->ClearOption(kOptionFinisher);
    }
    // The combination entry carries the units of the fitted finisher.
    if (InstallOptionEntry* combo = list->Find(kOptionFinisher, kComboFinisher)) {
        const InstallOptionEntry* fitted = nullptr;
        for (DWORD n = 1; const InstallOptionEntry* e = list->FindNth(kOptionFinisher, n); ++n)
            if (e != combo && e->state) fitted = e;
        combo->state =
            fitted ? (fitted->state & (kFinisherPunchUnit | kFinisherFoldUnit)) | (combo->state & 1)
                   : 0;
    }
}

} // namespace

WORD SchemaKindToOption(DWORD kind) {
    switch (kind) {
    case 1:
    case 9:
    case 12:
        return kOptionMemory36;
    case 2:
        return kOption25;
    case 3:
    case 10:
    case 13:
    case 14:
        return kOptionMemory35;
    case 4:
    case 5:
    case 7:
    case 11:
    case 41:
    case 42:
    case 43:
    case 44:
        return kOptionFinisher;
    case 6:
        return kOptionBins;
    case 8:
    case 21:
    case 22:
    case 23:
    case 24:
    case 25:
        return kOptionTray;
    default:
        return 0;
    }
}

void ApplySchemaOptions(const ModelOptionPair* pair, const std::vector<SchemaNode>& nodes) {
    const SchemaNode *staple = nullptr, *punch = nullptr, *names = nullptr, *fallback = nullptr;
    std::vector<const SchemaNode*> trays;
    for (const SchemaNode& n : nodes) {
        if (n.kind == 4)
            staple = &n;
        else if (n.kind == 5)
            punch = &n;
        else if (n.kind == 7 && !n.texts.empty())
            names = &n;
        else if (n.kind == 11)
            fallback = &n;
        else if (n.kind >= 22 && n.kind <= 25)
            trays.push_back(&n);
        else
            ApplySchemaOption(pair, n);
    }
    if (!trays.empty() && HasTable37Entry(pair, kOptionTray)) ApplyTrayCount(pair, trays);
    if ((names || fallback) && HasTable37Entry(pair, kOptionFinisher))
        ApplyFinisher(pair, names, punch, staple, fallback);
}

namespace {

void SectionPass(const ModelOptionPair* pair, const OptionModule& module, LPCWSTR printer) {
    std::vector<SchemaNode> nodes;
    for (const std::u16string& key : SectionNames(module.File())) {
        SchemaNode node;
        std::vector<std::u16string> texts;
        if (module.AskByName(printer, key.c_str(), &node, &texts) && MakeNode(&node, texts))
            nodes.push_back(std::move(node));
    }
    ApplySchemaOptions(pair, nodes);
}

} // namespace

int QuerySchemaOptions(const ModelBlock* binding, LPCWSTR printerName, CInstallOption* list,
                       DWORD) {
    if (!binding || !binding->modelsmith || !printerName || !list) return -1;
    OptionModule module(binding, kGetOptionInfoFromSchema);
    const ModelOptionPair pair{binding, list};
    if (!module.Usable() || !DeviceNameMatches(&pair, module, printerName)) return -1;
    SectionPass(&pair, module, printerName);
    return 0;
}

int RequerySchemaOptions(const ModelBlock* binding, LPCWSTR printerName, CInstallOption* list,
                         LPCWSTR changedKey) {
    if (!binding || !binding->modelsmith || !printerName || !list || !changedKey) return 0;
    OptionModule module(binding, kGetOptionInfo);
    if (!module.Usable()) return 0;
    const ModelOptionPair pair{binding, list};
    SchemaNode node;
    std::vector<std::u16string> texts;
    if (!module.Ask(printerName, changedKey, &node, &texts)) return 0;
    if (node.kind == kOptionKindText) {
        if (!texts.empty() && ContainsModelName(binding, texts.front().c_str()))
            SectionPass(&pair, module, printerName);
        return 1;
    }
    if (!DeviceNameMatches(&pair, module, printerName) || !MakeNode(&node, texts)) return 1;
    ApplySchemaOption(&pair, node);
    const WORD option = SchemaKindToOption(node.kind);
    if (option == kOptionTray && node.kind != 8 && node.kind != 21 &&
        HasTable37Entry(&pair, kOptionTray))
        ApplyTrayCount(&pair, {&node});
    if (node.kind == 4 || node.kind == 5 || node.kind == 7 || node.kind == 11) {
        std::vector<SchemaNode> finisher;
        for (LPCWSTR key : {kFinisherNameKey, kPunchKey, kStapleKey}) {
            SchemaNode part;
            std::vector<std::u16string> partTexts;
            if (module.AskByName(printerName, key, &part, &partTexts) && MakeNode(&part, partTexts))
                finisher.push_back(std::move(part));
        }
        finisher.push_back(node);
        ApplySchemaOptions(&pair, finisher);
    }
    return 1;
}

} // namespace sheetwright
