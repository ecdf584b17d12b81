// The option-constraint engine on the large sample model: building the whole
// list (the model tables' rules and those of the installed options, with a
// finisher and a paper feeder fitted) and resolving a device mode, and a
// resolve after one change. Beside them, in the same run, the references: one
// model query (the paper record the engine asks most) and a copy of the
// 1320-byte image. The whole build and resolve is meant to stay under 1 ms.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver_env.h"
#include "install_option.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "model_codes.h"
#include "platform/text.h"
#include "win/base.h"
#include "win/devmode.h"

namespace {

using namespace sheetwright;

struct Model {
    std::vector<BYTE> data;
    ModelBlock block{};
    Model() {
        std::ifstream in(std::string(PKG_MODELS_DIR) + "/CX5540.DAT", std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::u16string path = platform::FromUtf8(std::string(PKG_DRIVER_DIR) + "/Modelsmith.DLL");
        block.modelsmith = LoadLibraryW(path.c_str());
        block.modelData = data.data();
    }
};
const Model& TheModel() {
    static const Model m;
    return m;
}

// The document settings a page hands over: paper, media, tray, collate,
// duplex and the layout bits on.
std::vector<BYTE> Image() {
    std::vector<BYTE> b(kKinsokuImageSize, 0);
    auto* dm = reinterpret_cast<DEVMODE_IMAGEW*>(b.data());
    dm->dm.dmSize = DEVMODEW_SIZE;
    dm->dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    dm->dm.dmFields =
        DM_PAPERSIZE | DM_MEDIATYPE | DM_DEFAULTSOURCE | DM_COLLATE | DM_DUPLEX | DM_COPIES;
    dm->dm.dmOrientation = DMORIENT_PORTRAIT;
    dm->dm.dmPaperSize = 1;
    dm->dm.dmDefaultSource = 7;
    dm->dm.dmMediaType = 1;
    dm->dm.dmPrintQuality = 600;
    dm->dm.dmCollate = 1;
    dm->dm.dmDuplex = 1;
    dm->priv.FeatureFlags = 0x1C;
    dm->priv.PrivateFlags = 0x1000;
    return b;
}

void CopyImageReference(benchmark::State& state) {
    std::vector<BYTE> from = Image(), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(CopyImageReference);

void PaperRecordQueryReference(benchmark::State& state) {
    const Model& m = TheModel();
    auto query = reinterpret_cast<PFN_mdGetMyPrinterInfo>(
        reinterpret_cast<void*>(GetProcAddress(m.block.modelsmith, "mdGetMyPrinterInfo")));
    BYTE out[160];
    for (auto _ : state) {
        DWORD length = sizeof out, count = 0;
        benchmark::DoNotOptimize(query(m.data.data(), 20, 37, 4, out, &length, &count));
    }
}
BENCHMARK(PaperRecordQueryReference);

// The model's installed options (no printer: the model's defaults) with the
// booklet finisher, its punch and fold units, and the first paper feeder
// fitted, so that the installed-option and finisher rules are all built.
struct FittedOptions {
    CInstallOption options;
    ModelOptionPair pair;
    explicit FittedOptions(const ModelBlock* block)
        : options(nullptr, block), pair{block, &options} {
        if (InstallOptionEntry* e = options.Find(kOptionFinisher, 2))
            e->state = 1 | kFinisherPunchUnit | kFinisherFoldUnit;
        if (InstallOptionEntry* e = options.Find(kOptionTray, 3)) e->state = 1; // Tray 3
    }
    bool Fitted() const { return options.Find(kOptionFinisher, 2) && options.Find(kOptionTray, 3); }
};

void BuildListAndResolve(benchmark::State& state) {
    const Model& m = TheModel();
    const std::vector<BYTE> start = Image();
    FittedOptions fitted(&m.block);
    if (!fitted.Fitted()) {
        state.SkipWithError("the model's finisher or paper feeder is missing");
        return;
    }
    for (auto _ : state) {
        std::vector<BYTE> img = start;
        CKinsokuList list(&m.block, nullptr, img.data());
        LoadKinsokuPairs(&m.block, &list);
        BuildKinsokuRules(&m.block, &list, 1);
        BuildModelKinsoku(&fitted.pair, &list);
        benchmark::DoNotOptimize(list.Resolve(img.data(), FALSE));
    }
}
BENCHMARK(BuildListAndResolve)->Unit(benchmark::kMicrosecond);

void ResolveOneChange(benchmark::State& state) {
    const Model& m = TheModel();
    std::vector<BYTE> img = Image();
    CKinsokuList list(&m.block, nullptr, img.data());
    LoadKinsokuPairs(&m.block, &list);
    BuildKinsokuRules(&m.block, &list, 1);
    list.Resolve(img.data(), FALSE);
    if (!list.FindItem(kItemPaper) || list.FindItem(kItemPaper)->Values().empty() ||
        !list.HasDependency(kTriggerPaper, kItemMedia)) {
        state.SkipWithError("the model's rules were not built");
        return;
    }
    auto* dm = reinterpret_cast<DEVMODE_IMAGEW*>(img.data());
    short papers[2] = {5, 1};
    int i = 0;
    for (auto _ : state) {
        dm->dm.dmPaperSize = papers[i++ & 1];
        benchmark::DoNotOptimize(list.Resolve(img.data(), FALSE));
    }
}
BENCHMARK(ResolveOneChange)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
