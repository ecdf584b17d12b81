// CFormTray, the "Form / Tray" page of the device sheet: which paper size and
// media type are loaded in each tray. It edits the sheet's form-to-tray
// table (one record per tray it lists) and writes it as "FormTrayEx" on Apply.
#pragma once

#include <string>

#include "prop_page.h"
#include "resbundle_ids.h"

namespace sheetwright {

class CFormTray : public CPropPage {
  public:
    static constexpr int kTrayList = IDC_FORM_TRAY_TRAY_LIST;
    static constexpr int kPaperCombo = IDC_FORM_TRAY_PAPER_COMBO;
    static constexpr int kMediaLabel = IDC_FORM_TRAY_MEDIA_LABEL;
    static constexpr int kMediaCombo = IDC_FORM_TRAY_MEDIA_COMBO;
    static constexpr int kTrayHeader = IDC_FORM_TRAY_TRAY_HEADER;
    static constexpr int kPaperHeader = IDC_FORM_TRAY_PAPER_HEADER;
    static constexpr int kMediaHeader = IDC_FORM_TRAY_MEDIA_HEADER;

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
