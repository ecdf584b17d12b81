// CTrackDM: the settings that depend on others in ways refusal rules cannot
// say (a paper's own media type and tray, a media type's tray, a setting a
// paper refused), kept as a snapshot of the image and fixed up after the
// user changes it.
#pragma once

#include "driver_env.h"
#include "install_option.h"
#include "devmode_private.h"
#include "win/types.h"

namespace sheetwright {

class CKinsokuList;
struct KinsokuChainNode;

// The model's link of a paper or media type to its media type and tray.
struct PaperLink {
    WORD preferredMedia;
    WORD preferredSource;
    DWORD mediaGroup;
    DWORD sourceGroup;
    DWORD flags;
};
inline constexpr DWORD kLinkSelectMedia = 0x2;
inline constexpr DWORD kLinkSelectSource = 0x4;

// A paper's link (model papers from table 20, user and custom papers from
// the custom or long paper limits by their size in 0.1 mm); all zero when
// the model does not answer.
PaperLink ReadPaperLink(const ModelBlock* binding, WORD paper, WORD width, WORD length);
PaperLink ReadMediaLink(const ModelBlock* binding, DWORD media);

// Whether a person may choose the paper: no rule refuses it, or only the
// media type and the tray do, which the tracker then moves to ones that take
// it (so an envelope's media type never locks the paper).
BOOL IsPaperWithinReach(const CKinsokuList* constraints, WORD paper);

class CTrackDM {
  public:
    CTrackDM() = default;
    virtual ~CTrackDM() = default;
    CTrackDM(const CTrackDM&) = delete;
    CTrackDM& operator=(const CTrackDM&) = delete;

    void SetConstraints(CKinsokuList* list) { constraints_ = list; }
    void SetOptionPair(ModelOptionPair* pair) { options_ = pair; }
    void SetBinding(const ModelBlock* binding) { binding_ = binding; }

    BOOL Snapshot(const DEVMODE_IMAGEW* image);
    // 1 when a fix-up was written (each followed by a resolve), else 0.
    BOOL Track(DEVMODE_IMAGEW* image);
    // The cover page's media and tray groups: group non-zero for the first.
    BOOL TrackGroupMedia(DEVMODE_IMAGEW* image, const KinsokuChainNode* chain, DWORD group);

    BOOL Valid() const { return valid_; }
    // TRUE when a resolve of the last Track or TrackGroupMedia never settled
    // (the image then went back to its last consistent state).
    BOOL Unsettled() const { return unsettled_; }
    // The tracked media type and source: the Basic page sets them after the
    // cover page dialog handled them.
    DWORD trackedMedia = 0;
    SHORT trackedSource = 0;

  private:
    // Resets target 21 when the trigger's new value allows its value 0 again.
    bool ResetDuplexKind(DEVMODE_IMAGEW* image, WORD trigger, DWORD from, DWORD to);
    // Moves the media type, then the tray, off a value that refuses the
    // paper, onto the first that takes it; true when one was written.
    bool BringSettingsForPaper(DEVMODE_IMAGEW* image);
    void Resolve(DEVMODE_IMAGEW* image);
    bool Bound() const { return binding_ && options_ && constraints_; }

    BOOL valid_ = FALSE;
    BOOL unsettled_ = FALSE;
    CKinsokuList* constraints_ = nullptr;
    ModelOptionPair* options_ = nullptr;
    const ModelBlock* binding_ = nullptr;
    SHORT paper_ = 0;
    WORD paperWidth_ = 0;
    WORD paperLength_ = 0;
    WORD layout_ = 0;
    DWORD frontMedia_ = 0;
    WORD frontSource_ = 0;
    DWORD backMedia_ = 0;
    WORD backSource_ = 0;
    WORD halftone_ = 0;
};

} // namespace sheetwright
