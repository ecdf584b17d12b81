// The value of each PJL item, computed from the device mode, the job, the
// host and the model tables.
#include <algorithm>
#include <cstring>
#include <string>

#include "model/model_queries.h"
#include "model_access.h"
#include "pdev.h"
#include "system_access.h"
#include "pjl.h"
#include "text_convert.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr int kDefaultFinisher = 99;

void SetString(PjlValue* v, int i, const std::string& s) {
    std::string t = CutAnsi(s, kPjlString - 1);
    std::memset(v->strings[i], 0, kPjlString);
    std::memcpy(v->strings[i], t.data(), t.size());
}

void Line(PjlValue* v, int variant, WORD type) {
    v->present = 1;
    v->variant = variant;
    v->type = type;
}

// An entry of a model table for an identifier taken from the device mode;
// identifier 0 would ask for every entry and names none.
ModelAnswer EntryOf(const PDEV* pdev, int query, int id, int layout) {
    if (id <= 0) return ModelAnswer();
    return ModelAnswer(pdev, query, id, layout);
}

// A finisher table of query 27: the finisher of the device mode (99 when
// none), again with 99 when that one does not answer.
ModelAnswer FinisherTable(const PDEV* pdev, int layout) {
    int finisher = PrivU16(pdev->devmode, priv::FinisherId);
    ModelAnswer a(pdev, model::kQueryFinishers, finisher ? finisher : kDefaultFinisher, layout);
    if (!a.ok()) a = ModelAnswer(pdev, model::kQueryFinishers, kDefaultFinisher, layout);
    return a;
}

WORD PunchKind(WORD modelKind) {
    switch (modelKind) {
    case 1:
        return 2;
    case 2:
        return 3;
    case 3:
        return 1;
    default:
        return 0;
    }
}

// The text of an answer that has bit 2 in the u32 at its start.
bool FlaggedText(const ModelAnswer& a, size_t textAt, std::string* text) {
    if (!a.ok() || !(a.U32(0) & 4)) return false;
    *text = a.Text(textAt, 32);
    return !text->empty();
}

// One PJL item's value: the device mode's words and the job's facts that
// the items read, and one function per theme of items.
class PjlItem {
  public:
    PjlItem(PDEV* pdev_, const PjlItemEntry& entry_, PjlValue* v_)
        : pdev(pdev_), entry(entry_), v(v_), d(pdev_->devmode), dm(d.dm),
          a(PrivU32(d, priv::PrivateFlags)), b(PrivU32(d, priv::FeatureFlags)),
          c(PrivU32(d, priv::JobCheckFlags)), jobType(PrivU16(d, priv::JobType)),
          copies((dm.dmFields & DM_COPIES) && dm.dmCopies > 1),
          collateField((dm.dmFields & DM_COLLATE) != 0),
          driverCollates(Bit(a, 15) && PrivU16(d, priv::CollateByDriver) == 1 && copies),
          altSource(Bit(PrivU32(d, priv::OptionFlags), 2) && Bit(a, 4) &&
                    PrivU16(d, priv::AltSourceOn) == 1),
          frontCover(Bit(a, 22) && (PrivU8(d, priv::CoverFlags) & 1) &&
                     PrivU16(d, priv::FrontCoverPrinted) == 0),
          backCover(Bit(a, 23) && (PrivU8(d, priv::CoverFlags) & 2) &&
                    PrivU16(d, priv::BackCoverPrinted) == 0) {}

    // 1 when the item has a line, its values in v; 0 when it has none.
    int Compute() {
        int id = entry.itemId;
        if (id < 60 || id == kPjlFooterItem) return JobItem();
        if (id < 70) return ResolutionItem();
        if (id < 80) return PaperItem();
        if (id < 90) return CoverItem();
        if (id < 110) return FinishingItem();
        if (id < 130) return CopiesItem();
        return ImageItem();
    }

  private:
    std::string jobText(LPCWSTR text) const {
        CHAR out[kPjlString];
        PjlConvertString(entry.stringFlags, entry.maxLength, text, out);
        return std::string(out);
    }
    std::string devmodeText(size_t off, size_t size) const {
        return PjlDevmodeText(d.priv + off, size);
    }
    int stringLine(const std::string& s) {
        if (s.empty()) return 0;
        Line(v, 0, 1);
        SetString(v, 0, s);
        return 1;
    }
    int choice(int variant) {
        if (variant < 0) return 0;
        Line(v, variant, 0);
        return 1;
    }

    // The job, its identity and its owner (items below 60, and the footer).
    int JobItem() {
        switch (entry.itemId) {
        case 2: {
            Line(v, 0, 3);
            int i = 0;
            for (int code : {15, 11, 14})
                SetString(v, i++, ModelAnswer(pdev, code, 0, 1).Text(0, kPjlString));
            return 1;
        }
        case 3:
        case 54:
            return choice(0);
        case 4:
            Line(v, 0, 2);
            SetString(v, 0, "2K");
            SetString(v, 1, jobText(u"5.01.053.001"));
            return 1;
        case 11: {
            SYSTEMTIME t{};
            GetLocalTime(&t);
            Line(v, 0, 9);
            WORD n[6] = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
            std::memcpy(v->numbers, n, sizeof n);
            return 1;
        }
        case 12:
            return stringLine(jobText(pdev->docName));
        case 13:
            return stringLine(jobText(pdev->userName));
        case 14:
            return stringLine(jobText(pdev->machineName));
        case 15: {
            DWORD address = GetLocalIPv4Address();
            if (!address) return 0;
            Line(v, 0, 7);
            for (int i = 0; i < 4; ++i)
                v->numbers[i] = static_cast<WORD>((address >> (8 * i)) & 0xFF);
            return 1;
        }
        case 16: {
            int variant = -1;
            if (Bit(a, 24) && jobType == 1) variant = 1;
            if ((Bit(a, 28) && jobType == 4) || (Bit(a, 25) && jobType == 2)) variant = 2;
            if ((Bit(a, 29) && jobType == 5) || (Bit(a, 26) && jobType == 3)) variant = 3;
            if (jobType == 0) variant = 0;
            return choice(variant);
        }
        case 17:
            if ((Bit(a, 24) && jobType == 1 && !Bit(a, 25) && !Bit(a, 26)) ||
                (Bit(a, 28) && jobType == 4) || (Bit(a, 29) && jobType == 5))
                return choice(1);
            if ((Bit(a, 24) && jobType == 1 && (Bit(a, 25) || Bit(a, 26))) ||
                (Bit(a, 25) && jobType == 2)) {
                Line(v, 0, 1);
                SetString(v, 0, devmodeText(priv::MailboxId, priv::JobTextSize));
                return 1;
            }
            if (Bit(a, 26) && jobType == 3) {
                Line(v, 0, 1);
                SetString(v, 0, devmodeText(priv::SecureBoxId, priv::JobTextSize));
                return 1;
            }
            return 0;
        case 18:
            if ((Bit(a, 26) && jobType == 3) || (Bit(a, 29) && jobType == 5)) {
                Line(v, 0, 1);
                SetString(v, 0, devmodeText(priv::SecurePassword, priv::JobTextSize));
                return 1;
            }
            return 0;
        case 57:
            if (!(PrivU8(d, priv::JobInfoFlags) & 2)) return 0;
            return stringLine(devmodeText(priv::JobName, priv::JobNameSize));
        case 58:
            if (!(PrivU8(d, priv::JobInfoFlags) & 1)) return 0;
            return stringLine(devmodeText(priv::UserName, priv::UserNameSize));
        case kPjlFooterItem: {
            std::string name = jobText(pdev->docName);
            Line(v, 0, 1);
            SetString(v, 0, name.empty() ? "Untitled" : name);
            return 1;
        }
        default:
            return 0;
        }
    }

    // Resolution (the 60s).
    int ResolutionItem() {
        switch (entry.itemId) {
        case 61: {
            WORD k = ResolutionMode(d);
            ModelAnswer quality(pdev, model::kQueryQualityModes, k, 1), resolution(pdev, 41, k, 2);
            v->type = 4;
            v->numbers[0] = quality.U16(4);
            if (resolution.ok() && (quality.U8(12) & 8)) {
                v->variant = 1;
                v->type = 5;
                v->numbers[0] = resolution.U16(4);
                v->numbers[1] = resolution.U16(8);
            }
            v->present = Bit(b, 11);
            return 1;
        }
        case 62: {
            ModelAnswer resolution(pdev, model::kQueryResolutions, ResolutionMode(d), 2);
            v->type = 5;
            v->numbers[0] = resolution.U16(4);
            v->numbers[1] = resolution.U16(8);
            v->present = Bit(b, 11);
            return 1;
        }
        case 63: {
            WORD k = ResolutionMode(d);
            ModelAnswer quality(pdev, model::kQueryQualityModes, k, 1), resolution(pdev, 41, k, 2);
            if ((quality.U8(12) & 2) && resolution.ok() && resolution.U32(8) != resolution.U32(4))
                v->variant = 1;
            v->present = Bit(b, 11);
            return 1;
        }
        default:
            return 0;
        }
    }

    // Paper, orientation, media and source (the 70s).
    int PaperItem() {
        switch (entry.itemId) {
        case 71: {
            int paper = PrivU16(d, priv::OutputPaperId);
            if (!paper) paper = dm.dmPaperSize;
            ModelAnswer ext = EntryOf(pdev, model::kQueryPapers, paper, 6);
            if (!ext.ok()) ext = ModelAnswer(pdev, model::kQueryCustomPaperLimits, 0, 2);
            std::string text;
            return FlaggedText(ext, 4, &text) ? stringLine(text) : 0;
        }
        case 72:
            return choice(dm.dmOrientation == 1 ? 0 : dm.dmOrientation == 2 ? 1 : -1);
        case 73: {
            int media = altSource ? PrivU16(d, priv::AltMedia) : static_cast<int>(dm.dmMediaType);
            std::string text;
            return FlaggedText(EntryOf(pdev, model::kQueryMediaTypes, media, 5), 4, &text)
                       ? stringLine(text)
                       : 0;
        }
        case 74: {
            int tray = altSource ? PrivU16(d, priv::AltSource) : dm.dmDefaultSource;
            ModelAnswer ext = EntryOf(pdev, model::kQueryPaperSources, tray, 4);
            if (!ext.ok()) ext = EntryOf(pdev, model::kQueryTrayGroups, tray, 4);
            std::string text;
            return FlaggedText(ext, 4, &text) ? stringLine(text) : 0;
        }
        default:
            return 0;
        }
    }

    // Cover pages (the 80s).
    int CoverItem() {
        switch (entry.itemId) {
        case 81:
            if (driverCollates) return 0;
            if (backCover) return choice(frontCover ? 2 : 1);
            return choice(frontCover ? 0 : -1);
        case 82:
            return !driverCollates && frontCover ? choice(0) : 0;
        case 85:
            return !driverCollates && backCover ? choice(0) : 0;
        case 83:
        case 86: {
            bool front = entry.itemId == 83;
            if (driverCollates || !(front ? frontCover : backCover)) return 0;
            int source = PrivU16(d, front ? priv::FrontCoverSource : priv::BackCoverSource);
            ModelAnswer texts = EntryOf(pdev, model::kQueryPaperSources, source, 7);
            if (!texts.ok()) texts = EntryOf(pdev, model::kQueryTrayGroups, source, 7);
            return texts.ok() ? stringLine(texts.Text(front ? 8 : 40, 32)) : 0;
        }
        default:
            return 0;
        }
    }

    // Output bin, duplex and finishing (90 to 109).
    int FinishingItem() {
        switch (entry.itemId) {
        case 91: {
            if (!Bit(a, 17)) return 0;
            WORD code = PrivU16(d, priv::OutputBin);
            ModelAnswer staples = FinisherTable(pdev, 14);
            for (DWORD i = 0; i < staples.Entries(48); ++i) {
                size_t e = static_cast<size_t>(i) * 48;
                if (Query34IndexToCode(staples.U16(e + 4)) == code && (staples.U8(e + 12) & 4)) {
                    std::string text = staples.Text(e + 16, 32);
                    if (!text.empty()) return stringLine(text);
                }
            }
            ModelAnswer bin = EntryOf(pdev, model::kQueryOutputBins, CodeToQuery34Index(code), 7);
            if (bin.ok() && (bin.U8(12) & 4)) return stringLine(bin.Text(16, 32));
            return 0;
        }
        case 94: {
            ModelAnswer duplex = EntryOf(pdev, model::kQueryInstallable, dm.dmDuplex, 2);
            if (!duplex.ok() || !(duplex.U8(4) & 4)) return 0;
            bool manual = Bit(a, 9) && PrivU16(d, priv::DuplexType) == 1;
            std::string text = duplex.Text(manual ? 40 : 8, 32);
            if (text.empty()) return 0;
            int n = 0;
            for (size_t start = 0; n < 6;) {
                size_t at = text.find("%r", start);
                SetString(
                    v, n++,
                    text.substr(start, at == std::string::npos ? std::string::npos : at - start));
                if (at == std::string::npos) break;
                start = at + 2;
            }
            if (v->strings[1][0])
                Line(v, 1, 2);
            else
                Line(v, 0, 1);
            return 1;
        }
        case 95: {
            if (!Bit(c, 4)) return 0;
            if (!(dm.dmFields & DM_DUPLEX) || dm.dmDuplex == 1 ||
                (Bit(b, 2) && PrivU16(d, priv::LayoutKind) == 2))
                return choice(0);
            return choice(PrivU16(d, priv::DuplexNotice) ? 1 : 0);
        }
        case 101:
        case 103: {
            if (!Bit(a, 16)) return 0;
            WORD code = PrivU16(d, priv::StapleMode);
            ModelAnswer folds = entry.itemId == 101 ? FinisherTable(pdev, 15)
                                                    : ModelAnswer(pdev, model::kQueryFinishers,
                                                                  PrivU16(d, priv::FinisherId), 15);
            for (DWORD i = 0; i < folds.Entries(80); ++i) {
                size_t e = static_cast<size_t>(i) * 80;
                if (ClampCodeOneToSix(folds.U16(e + 2)) == code)
                    return stringLine(folds.Text(e + (entry.itemId == 101 ? 48 : 16), 32));
            }
            return 0;
        }
        case 102: {
            if (!Bit(a, 18)) return 0;
            WORD kind = PrivU16(d, priv::PunchMode);
            ModelAnswer punches = FinisherTable(pdev, 12);
            for (DWORD i = 0; i < punches.Entries(48); ++i) {
                size_t e = static_cast<size_t>(i) * 48;
                if (PunchKind(punches.U16(e + 2)) == kind && (punches.U8(e + 12) & 4))
                    return stringLine(punches.Text(e + 16, 32));
            }
            return 0;
        }
        default:
            return 0;
        }
    }

    // Copies, collation, sorting and accounting (110 to 129).
    int CopiesItem() {
        switch (entry.itemId) {
        case 111:
            if (!Bit(b, 27)) return 0;
            return choice(PrivU16(d, priv::AutoTrayResolve) ? 1 : 0);
        case 112: {
            bool on = (Bit(a, 20) && copies && PrivU16(d, priv::CollateByDriver) == 1) ||
                      (!Bit(a, 20) && copies && collateField && dm.dmCollate == 1);
            return choice(on ? 1 : 0);
        }
        case 113: {
            if (!Bit(a, 20) && !(copies && collateField)) return 0;
            WORD m = PrivU16(d, priv::SortMode);
            int variant = 0;
            if (m <= 5) variant = dm.dmCollate == 1 ? (m / 2) * 2 + 1 : (m / 2) * 2;
            return choice(variant);
        }
        case 121:
            if ((dm.dmCollate == 1 && collateField) || !Bit(a, 15) ||
                PrivU16(d, priv::CollateByDriver) != 0 || (Bit(a, 24) && jobType == 1))
                return choice(0);
            Line(v, 1, 4);
            v->numbers[0] = static_cast<WORD>(dm.dmCopies);
            return 1;
        case 122:
            if ((Bit(a, 20) && collateField && dm.dmCollate == 1) ||
                (!Bit(a, 20) && (dm.dmFields & DM_COPIES) && collateField && dm.dmCollate == 1 &&
                 dm.dmCopies > 1) ||
                (Bit(a, 24) && jobType == 1)) {
                Line(v, 1, 4);
                v->numbers[0] = static_cast<WORD>(dm.dmCopies);
                return 1;
            }
            if (Bit(a, 20) && collateField && dm.dmCollate != 1) return choice(0);
            return 0;
        case 123:
            if (!Bit(b, 27) || !(PrivU8(d, priv::DeptCounterFlags) & 1)) return 0;
            return stringLine(devmodeText(priv::DeptCode, priv::JobTextSize));
        default:
            return 0;
        }
    }

    // Colour, toner, image and page layout (130 to 500).
    int ImageItem() {
        switch (entry.itemId) {
        case 131: {
            if (!Bit(b, 5)) return 0;
            WORD m = PrivU16(d, priv::ColorMode);
            return choice(m == 1 ? 0 : m == 2 ? 2 : m == 3 ? 1 : -1);
        }
        case 132: {
            ModelAnswer toner(pdev, model::kQueryToner, 0, 3);
            if (!toner.ok()) return 0;
            DWORD m = toner.U32(4);
            if ((m != 0 && m != 2) || !Bit(b, 14)) return 0;
            WORD pick = m == 2 ? 0 : PrivU16(d, priv::TonerSaveLevel);
            if (pick > 1) return 0;
            return stringLine(toner.Text(pick == 0 ? 8 : 40, 32));
        }
        case 133:
            if (!Bit(a, 0) || !(PrivU32(d, priv::OptionFlags) & 1)) return 0;
            return choice(PrivU16(d, priv::MirrorImage) ? 1 : 0);
        case 134: {
            if (!Bit(a, 14)) return 0;
            WORD m = PrivU16(d, priv::SkipBlankPages);
            return choice(m <= 1 ? m : -1);
        }
        case 135: {
            if (!Bit(a, 3)) return 0;
            WORD m = PrivU16(d, priv::ImageReduction);
            return choice(m <= 1 ? m : -1);
        }
        case 141:
            if (!(pdev->modeFlags & mode::ByInterface) || !driverCollates || dm.dmCollate != 1)
                return 0;
            Line(v, 0, 4);
            v->numbers[0] = PrivU16(d, priv::TotalSheets);
            return 1;
        case 142:
            if (!Bit(b, 2)) return 0;
            return choice((PrivU16(d, priv::LayoutKind) & 2) ? 1 : 0);
        case 143: {
            if (!Bit(b, 4)) return 0;
            if (!(PrivU16(d, priv::LayoutKind) & 4)) return choice(0);
            SHORT x = PrivI16(d, priv::PosterAcross), y = PrivI16(d, priv::PosterDown);
            Line(v, 1, 5);
            v->numbers[0] = static_cast<WORD>(std::min(x, y));
            v->numbers[1] = static_cast<WORD>(std::max(x, y));
            return 1;
        }
        case 144: {
            if (!Bit(b, 3)) return 0;
            WORD pages = PrivU16(d, priv::PagesPerSheet);
            if ((PrivU16(d, priv::LayoutKind) & 1) && pages) {
                Line(v, 1, 4);
                v->numbers[0] = pages;
                return 1;
            }
            return choice(0);
        }
        case 151: {
            ModelAnswer adapt(pdev, model::kQueryAdaptiveRaster, 0, 1);
            if (!adapt.ok() || !(adapt.U8(0) & 1)) return 0;
            WORD m = adapt.U16(4);
            return choice(m <= 1 ? m : -1);
        }
        case 152: {
            if (!Bit(b, 15)) return 0;
            WORD m = PrivU16(d, priv::QualityMode);
            return choice(m == 0 ? 2 : m == 1 ? 0 : m == 2 ? 1 : -1);
        }
        case 161:
            if (!Bit(b, 9)) return 0;
            Line(v, 0, 4);
            v->numbers[0] = PrivU16(d, priv::Density);
            return 1;
        default:
            return 0;
        }
    }

    PDEV* pdev;
    const PjlItemEntry& entry;
    PjlValue* v;
    const DevmodeImage& d;
    const DEVMODEW& dm;
    const DWORD a, b, c;
    const WORD jobType;
    const bool copies, collateField, driverCollates, altSource, frontCover, backCover;
};

} // namespace

int ComputePjlItem(PDEV* pdev, const PjlItemEntry& entry, PjlValue* v) {
    std::memset(v, 0, sizeof *v);
    v->itemId = entry.itemId;
    v->stringFlags = entry.stringFlags;
    v->maxLength = entry.maxLength;
    return PjlItem(pdev, entry, v).Compute();
}

} // namespace inkforge
