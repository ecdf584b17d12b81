// Metaweave's job: a reader of one recorded job's pages (the driver's own
// spool package, or copies of the spooler's files), its page collections with
// the order of pages on the sheet sides, and the replay into a new job.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "emfplay/metaweave.h"
#include "model/modelsmith.h"
#include "page_order.h"
#include "devmode_private.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/types.h"

namespace metaweave {

// What the graphics core hands over.
using EmfJobRecord = ::EmfJobRecord;
using ModelBlock = ::ModelBlock;

// Job record flags.
constexpr DWORD kJobPackage = 0x2;    // the driver's own spool package
constexpr DWORD kJobAskReplace = 0x4; // an existing overlay is replaced only after asking
constexpr DWORD kJobPrintToFile = 0x10;

// Reader kinds.
constexpr DWORD kReaderNT4 = 1, kReader2000 = 2, kReaderXP = 3, kReader9x = 0x80000001;
// A job whose spool file counts its own pages (besides the driver's package).
constexpr DWORD kJobCountsPages = 0x20;

// Indexes of ShowPrintMessage.
enum PrintMessage : int {
    kMsgNoMemory = 0,
    kMsgCannotRead = 1,
    kMsgOverlayUnreadable = 2,
    kMsgOverlayNotWritten = 4,
    kMsgOverlayExists = 5,
    kMsgPrintFailed = 6,
};
int ShowPrintMessage(int index);
// A text of Metaweave's string table (through the localisation cache).
std::string MetaweaveString(DWORD id);
// The module and version word stored at attach.
HMODULE MetaweaveModule();
DWORD VersionWord();
void SetAttachState(HMODULE module, DWORD versionWord);
// The version word of the running system.
DWORD ComputeVersionWord();
BOOL CreateFolderChain(const std::string& folder);

class CZorEmfFile;

// A paper's measures at one resolution.
struct PaperMetrics {
    WORD paperSize = 0;
    LONG width = 0, length = 0;                   // 0.1 mm, as the paper lies
    LONG widthInch = 0, lengthInch = 0;           // 0.01 inch
    LONG printableWidth = 0, printableLength = 0; // device pixels
    LONG leftMargin = 0, topMargin = 0;           // device pixels
};

// Model flag word bits that place an overlay by its own paper: at its
// printable size from the cell's corner, and (without a layout, or zoomed)
// from the corner of the whole page without a clip.
constexpr DWORD kModelOverlayOwnSize = 0x100, kModelOverlayWholePage = 0x400;

// One group of pages printed with one layout.
class CPageCollection {
  public:
    explicit CPageCollection(CZorEmfFile* reader, DWORD start) : reader_(reader), start_(start) {}
    virtual ~CPageCollection();

    BOOL Init(const DEVMODEA* dm);
    BOOL BuildOrder();
    BOOL SelectPage(DWORD page);
    std::vector<BYTE> MakeSideDevmode();
    HDC CreateDC();
    BOOL ResetSideDC(HDC hdc);
    BOOL PrintCopy(HDC hdc);
    BOOL PlayCell(HDC hdc, DWORD cell);
    BOOL MakeOverlayFile();
    BOOL DrawOverlay(HDC hdc, DWORD pass, const RECT& cell, HRGN clip);
    BOOL DrawWatermark(HDC hdc, const RECT& cell, DWORD pass, HRGN clip);

    DWORD start() const { return start_; }
    DWORD pageCount() const { return pages_; }
    DWORD sides() const { return sides_; }
    DWORD copyPasses() const { return passes_; }
    int resolution() const { return resolution_; }
    bool makesOverlay() const { return (overlayFlags_ & 1) != 0; }
    const std::vector<uint32_t>& order() const { return order_; }
    const LayoutSettings& layout() const { return layout_; }
    void AddPage() { ++pages_; }

    // Blank cover sides the engine prints before and after the collection.
    DWORD frontCoverSides = 0, backCoverSides = 0;

  private:
    friend class CZorEmfFile;
    bool Current() const { return currentLayout_; }
    bool booklet29Sign() const;
    bool PageChosen(DWORD selection, DWORD page) const;
    // Cell geometry: the page's rectangle and the clip area on the side.
    bool CellRects(HDC hdc, DWORD position, HENHMETAFILE page, RECT* target, RECT* clip);
    // The side's sheet and the page's printable area, in pixels of the side.
    struct CellSizes {
        LONG sheetW = 0, sheetH = 0, pageW = 0, pageH = 0;
    };
    bool PageSizes(HDC hdc, HENHMETAFILE page, CellSizes* s) const;
    // Whether the page is turned into its cell (a page of the other
    // orientation among several per side): sets the direction of the turn.
    bool TurnsPage(const DEVMODEA* pageMode);
    // The page's percent that fits a width and height; N-up cells keep a gap.
    static LONG FitScale(const CellSizes& s, LONG width, LONG height, bool gap);
    // The page scaled and centred in the cell, which is its clip.
    void PlaceScaled(const CellSizes& s, const RECT& cell, LONG scaleX, LONG scaleY, RECT* target,
                     RECT* clip);
    // By layout: N-up cell of the grid, booklet half (or side), poster tile,
    // zoomed page, and the page on its own or the fitted paper.
    void NupCell(const CellSizes& s, DWORD position, RECT* target, RECT* clip);
    void BookletCell(const CellSizes& s, DWORD position, RECT* target, RECT* clip);
    void PosterCell(const CellSizes& s, const DEVMODEA* pageMode, RECT* target, RECT* clip);
    void ZoomCell(const CellSizes& s, RECT* target, RECT* clip);
    void PaperCell(const CellSizes& s, RECT* target, RECT* clip);
    // The turn into the cell as the world transform; the rectangle the page
    // is then drawn into upright.
    RECT RotateCell(HDC hdc, const RECT& target) const;
    // N-up's frame around the cell.
    void DrawBorders(HDC hdc, const RECT& clip) const;
    BOOL EmptySide(HDC hdc, const std::vector<BYTE>& mode);
    // The sheet sides the printer feeds for the order: a change of paper,
    // source or duplex starts a new sheet.
    DWORD CountSides() const;
    int ModelResolution(const DEVMODEA* dm) const;

    CZorEmfFile* reader_;
    DWORD start_;
    DWORD pages_ = 0;
    DWORD sides_ = 0;
    DWORD currentSide_ = 0;
    DWORD passes_ = 1;
    bool engineCopies_ = false;
    bool currentLayout_ = true;
    int resolution_ = 600;
    std::vector<uint32_t> order_;
    LayoutSettings layout_;
    DWORD currentPage_ = 0;
    std::vector<BYTE> lastMode_;      // given to the DC last
    std::vector<BYTE> firstDcMode_;   // of the first side
    std::vector<BYTE> sharedMode_;    // N-up and booklet: every side's mode before its covers
    std::vector<BYTE> firstPageMode_; // the collection's first page
    DWORD overlayFlags_ = 0;
    WORD overlayPages_ = 0, overlayOnTop_ = 0;
    char makeName_[64] = {};
    char useName_[64] = {};
    DWORD watermarkFlags_ = 0;
    BYTE watermark_[216] = {};
    DWORD zoom_ = 100;
    DWORD watermarkScale_ = 100; // the cell's zoom, or 100 for a whole-page watermark
    BYTE overlayHeader_[288] = {};
    bool wholePageValid_ = false;
    static constexpr WORD kNoTurn = 2;
    WORD turn_ = kNoTurn; // the current cell's page turned: 0 or 1 by direction
    RECT wholePage_{};
};

class CZorEmfFile {
  public:
    explicit CZorEmfFile(DWORD kind);
    virtual ~CZorEmfFile();
    CZorEmfFile(const CZorEmfFile&) = delete;
    CZorEmfFile& operator=(const CZorEmfFile&) = delete;

    void SetModel(const ModelBlock& model);
    virtual BOOL LoadModelSettings();
    virtual BOOL SupportsWorldTransform() const { return TRUE; }
    const std::string& GetWorkFolder() const { return workFolderCopy_; }
    void SetWorkFolder(const std::string& folder);
    virtual BOOL Open(DWORD spoolId, DWORD flags);
    BOOL BuildPageCollections();
    virtual HENHMETAFILE GetPageMetafile(DWORD page);
    HENHMETAFILE LoadOverlay(DWORD passFlags, const char* useName, BYTE* header, bool older);
    BOOL SelectPage(DWORD page);
    const DEVMODEA* PageDevmode(DWORD page) const;
    HDC CreateJobDC();
    BOOL RestoreJobName(DWORD jobId);
    BOOL PrintJob(HDC hdc);
    DWORD PageCount() const { return static_cast<DWORD>(pages_.size()); }
    DWORD CurrentPage() const { return currentPage_; }
    const std::string& PrinterName() const { return printerName_; }
    const std::string& DocumentName() const { return documentName_; }
    virtual void Close();

    DWORD kind() const { return kind_; }
    DWORD flags() const { return flags_; }
    DWORD spoolId() const { return spoolId_; }
    bool cancelled() const { return cancel_; }
    void Cancel() { cancel_ = true; }
    const std::vector<std::unique_ptr<CPageCollection>>& collections() const {
        return collections_;
    }
    DWORD jobSides() const { return jobSides_; }
    DWORD modelFlags() const { return modelFlags_; }
    DWORD modelFlags2() const { return modelFlags2_; }
    const BYTE* booklet29() const { return booklet29_; }
    bool deviceFinishesOddDuplex() const { return oddDuplex_; }
    // The model's measures of a paper (its size, the given width and length
    // in 0.1 mm for a paper of the user's own size) at a resolution (0: 600);
    // false when the model does not know it.
    bool GetPaperMetrics(WORD paperSize, LONG width, LONG length, WORD orientation, int resolution,
                         PaperMetrics* out) const;
    // A model answer into out; false when the model does not give it.
    bool Query(int code, int index, int layout, void* out, DWORD size) const;
    // An answer of any size.
    bool QueryAll(int code, int index, int layout, std::vector<BYTE>* out) const;
    std::string SpoolFolder() const;
    std::u16string SpoolFolderW() const;

  protected:
    struct Page {
        std::string path;   // the page file (the driver's package)
        size_t offset = 0;  // of its record (spooler copies)
        size_t devmode = 0; // index into devmodes_
    };
    void LoadJobFonts();
    HANDLE AddMappedFont(const std::string& path) const;
    void UnloadJobFonts();

    DWORD kind_;
    DWORD spoolId_ = 0, flags_ = 0;
    DWORD currentPage_ = 0;
    std::vector<Page> pages_;
    std::vector<std::vector<BYTE>> devmodes_;
    std::string printerName_, documentName_, restoreName_;
    std::string workFolder_, workFolderCopy_;
    HENHMETAFILE page_ = nullptr;
    HENHMETAFILE overlay_ = nullptr;
    std::string overlayName_;
    bool cancel_ = false;
    DWORD modelFlags_ = 0, modelFlags2_ = 0;
    BYTE booklet29_[4] = {};
    bool oddDuplex_ = false;
    std::vector<std::unique_ptr<CPageCollection>> collections_;
    DWORD jobSides_ = 0;
    ModelBlock model_{};
    PFN_mdGetMyPrinterInfo query_ = nullptr;
    HANDLE printer_ = nullptr;
    std::vector<HANDLE> fonts_;
    HMODULE gdi32_ = nullptr;
    typedef decltype(&AddFontMemResourceEx) PFN_AddFontMemResourceEx;
    typedef decltype(&RemoveFontMemResourceEx) PFN_RemoveFontMemResourceEx;
    PFN_AddFontMemResourceEx addFont_ = nullptr;
    PFN_RemoveFontMemResourceEx removeFont_ = nullptr;
};

// The driver's own spool package.
class CZorEmfFileRTE : public CZorEmfFile {
  public:
    using CZorEmfFile::CZorEmfFile;
    ~CZorEmfFileRTE() override { Close(); }
    BOOL Open(DWORD spoolId, DWORD flags) override;
    HENHMETAFILE GetPageMetafile(DWORD page) override;
    void Close() override;

  private:
    // The package's own page file for a page path read from the index, or
    // "" when the path names anything else.
    std::string OwnPageFile(const std::string& recorded) const;

    DWORD recordedPages_ = 0;
    bool opened_ = false;
    std::vector<std::u16string> pageFilesW_; // pages_' files, as they are opened
};

// Copies of the spooler's shadow and spool files.
class CZorEmfFileSpooler : public CZorEmfFile {
  public:
    using CZorEmfFile::CZorEmfFile;
    ~CZorEmfFileSpooler() override { Close(); }
    BOOL Open(DWORD spoolId, DWORD flags) override;
    HENHMETAFILE GetPageMetafile(DWORD page) override;
    void Close() override;

  private:
    std::vector<BYTE> spool_;
    std::string shadowPath_, spoolPath_;
};
using CZorEmfFileNT = CZorEmfFileSpooler;
using CZorEmfFile2K = CZorEmfFileSpooler;
using CZorEmfFileXP = CZorEmfFileSpooler;

// The spool file of Windows 9x, read whole from the Windows directory's
// "TEMP" folder. The system takes neither world transforms nor 32-bit
// coordinates, so pages are not turned.
class CZorEmfFile9x : public CZorEmfFile {
  public:
    CZorEmfFile9x() : CZorEmfFile(kReader9x) {}
    ~CZorEmfFile9x() override { Close(); }
    BOOL SupportsWorldTransform() const override { return FALSE; }
    BOOL Open(DWORD spoolId, DWORD flags) override;
    HENHMETAFILE GetPageMetafile(DWORD page) override;
    void Close() override;

  private:
    std::string path_;                   // the spool file, deleted at the close
    std::vector<std::string> pageFiles_; // every page file it named
};

// The reader for the job's flags on the running system, or none.
std::unique_ptr<CZorEmfFile> CreateEmfFile(const EmfJobRecord& record);

// A page's metafile played into the rectangle record by record: large images
// in bands, stock fonts replaced, thin lines kept below 100 % zoom.
BOOL PlayPageMetafile(HDC hdc, HENHMETAFILE page, const RECT& rect, DWORD zoomPercent);

// The device mode's private block, zero-filled where the mode has none.
PRIVATE_DEVMODE PrivateOf(const DEVMODEA* dm);
bool IsCurrentLayout(const DEVMODEA* dm);
// A page whose number the selection takes (1 all but the first, 2 the first
// only, 3 odd, 4 even, else every page).
bool PageSelected(DWORD selection, DWORD page);

// The whole entry: 1 when the job was replayed.
DWORD PrintEmf(EmfJobRecord* record, ModelBlock* model);

} // namespace metaweave
