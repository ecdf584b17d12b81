// CSecurity, the "Job Type" page of the document sheet: how the job is held
// or secured in the device, its user ID or box ID and password, the job
// information, the department ID, and for each group whether the values are
// asked at print time instead. Every change goes straight into the sheet's
// working device mode; the page keeps nothing beyond its controls.
#pragma once

#include <string>

#include "dialog_lookups.h"
#include "number_text.h"
#include "prop_page.h"

namespace sheetwright {

class CSecurity : public CProfilePropPage {
  public:
    explicit CSecurity(SheetContext* context);
    ~CSecurity() override;

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnKillActive() override;
    BOOL OnApply() override;

    // The job types, 1 to 5, in the order of their buttons' ids.
    static constexpr int kTypes = 5;

  protected:
    void OnJobTypeCheck();
    void OnTypeButton(UINT id);
    void OnIdChange();
    void OnPasswordChange(UINT id);
    void OnUserNameChange();
    void OnJobNameChange();
    void OnDeptCodeChange();
    void OnInfoAtPrint();
    void OnDeptAtPrint();
    void OnTypeAtPrint();
    void OnSaveDeptId();
    void OnSavePersonal();
    void OnHelpButton();
    DECLARE_MESSAGE_MAP()

  private:
    PRIVATE_DEVMODE& Priv();
    bool Offered(int type) const { return offered_[type - 1]; }
    bool Available(int type) const { return available_[type - 1]; }
    // The rule that gives the ID and password edits their rules.
    const JobInputRule* RuleOfType(WORD type) const;
    int PasswordEdit() const;
    void LayOutTypeButtons();
    void MoveBelow(int topId, int shift);
    void ApplyIdRules();
    void Refresh(bool rewriteTexts);
    void Changed();
    bool CheckBeforeLeaving();
    void PutEditText(int id, char* field, size_t capacity);

    bool offered_[kTypes] = {};
    bool available_[kTypes] = {};
    bool permitted_[kTypes] = {true, true, true, true, true};
    JobInputRule rules_[kTypes] = {};
    bool hasRule_[kTypes] = {};
    WORD labelFlag_ = 1;
    WORD rememberedType_ = 1;
    bool idRow_ = false;
    bool passwordNeeded_ = false;
    bool typeAtPrintOffered_ = false;
    bool infoOffered_ = false;
    bool deptOffered_ = false;
    bool deptInstalled_ = false;
    bool deptPromptExists_ = false;
    bool savePersonalOffered_ = false;
    bool updating_ = false;
    InputRule idRule_{};
    InputRule passwordRule_{};
    InputRule deptRule_{};
    HICON icons_[kTypes] = {};
    std::u16string tips_[kTypes];
};

} // namespace sheetwright
