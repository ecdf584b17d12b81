// CFormTray, the "Form / Tray" page of the device sheet: which paper size and
// media type are loaded in each tray. It edits the sheet's form-to-tray
// table (one record per tray it lists) and writes it as "FormTrayEx" on Apply.
#pragma once

#include <string>

#include "prop_page.h"

namespace sheetwright {

class CFormTray : public CPropPage {
  public:
    static constexpr int kTrayList = 1215;
    static constexpr int kPaperCombo = 1217;
    static constexpr int kMediaLabel = 1218;
    static constexpr int kMediaCombo = 1219;
    static constexpr int kTrayHeader = 1212;
    static constexpr int kPaperHeader = 1213;
    static constexpr int kMediaHeader = 1214;

    explicit CFormTray(SheetContext* context);

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnApply() override;

    WORD CurrentTray() const { return currentTray_; }
    bool MediaShown() const { return mediaShown_; }

  protected:
    void OnTraySelected();
    void OnPaperChosen();
    void OnMediaChosen();
    DECLARE_MESSAGE_MAP()

  private:
    void RebuildTrayList();
    void Refresh();
    // The trays the page lists: item 3's values but those that the installed
    // options decide and the automatic choice.
    bool Listed(const struct KinsokuChainNode* node) const;
    std::u16string Text(DWORD id) const;

    WORD currentTray_ = 0;
    bool mediaShown_ = true;
};

} // namespace sheetwright
