// CProfileMain, the "Profile" page of the document sheet: the user's saved
// profiles beside the default settings (and the unsaved ones), applied to
// the sheet's settings when chosen; saving, deleting, importing and
// exporting profiles; and what the shown settings change from the defaults.
#pragma once

#include <memory>
#include <string>

#include "custom_controls.h"
#include "profile_file.h"
#include "prop_page.h"
#include "resbundle_ids.h"

namespace sheetwright {

class CProfileMain : public CProfilePropPage {
  public:
    static constexpr int kProfileList = IDC_PROFILE_LIST, kSaveAs = IDC_PROFILE_SAVE_AS,
                         kDelete = IDC_PROFILE_DELETE, kExport = IDC_PROFILE_EXPORT,
                         kImport = IDC_PROFILE_IMPORT, kDifferences = IDC_PROFILE_DIFFERENCES,
                         kComment = IDC_PROFILE_COMMENT;
    // What a list item stands for (its item data).
    enum ItemKind : DWORD { kUntitled = 1, kDefault = 2, kSaved = 3 };

    explicit CProfileMain(SheetContext* context);
    ~CProfileMain() override;

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnKillActive() override;

    ProfileFile* Store() { return store_.get(); }
    const DEVMODE_IMAGEW& PageSettings() const { return *page_; }

  protected:
    void OnSaveAs();
    void OnDelete();
    void OnImport();
    void OnExport();
    void OnSelectionChange();
    DECLARE_MESSAGE_MAP()

  private:
    ItemKind Classify(const DEVMODE_IMAGEW& settings);
    void Refresh();
    void FillList();
    // The settings revised in merge mode, as the sheet would revise them.
    void ReviseMerged(const DEVMODE_IMAGEW& in, DEVMODE_IMAGEW* out);
    bool ApplyNamed(const std::string& name, DEVMODE_IMAGEW* settings);
    int Tell(DWORD text, DWORD title, UINT style, const std::u16string& argument = {});
    // The error of a store after a failed listing or copy during an import.
    void ReportStoreError(const ProfileFile& store);
    // Asks the file dialogs for a path; empty when cancelled.
    std::u16string AskPath(bool save, DWORD title, const std::u16string& proposed);
    // Whether `path` is the store's own file, by the file's identity.
    bool IsStoreFile(const std::u16string& path);
    std::u16string SelectedText();
    DWORD SelectedKind();

    std::unique_ptr<ProfileFile> store_;
    std::unique_ptr<DEVMODE_IMAGEW> page_;
    std::unique_ptr<DEVMODE_IMAGEW> untitled_;
    bool untitledListed_ = false;
    std::u16string dialogFolder_;
    std::u16string dialogFile_;
    CMultiColumnListBox differences_;
};

} // namespace sheetwright
