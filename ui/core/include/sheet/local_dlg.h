// Dialogs and property pages whose templates come from the localisation
// cache of the current resource module (translated when a cache has them,
// the module's own otherwise).
#pragma once

#include <memory>

#include "afxdlgs.h"
#include "localize.h"

namespace sheetwright {

class CLocalDlg : public CDialog {
  public:
    explicit CLocalDlg(UINT templateId, CWnd* parent = nullptr);
    CLocalize& Localize() { return *localize_; }

  private:
    std::unique_ptr<CLocalize> localize_;
};

class CLocalPropertyPage : public CPropertyPage {
  public:
    explicit CLocalPropertyPage(UINT templateId);
    CLocalize& Localize() { return *localize_; }

  private:
    std::unique_ptr<CLocalize> localize_;
};

} // namespace sheetwright
