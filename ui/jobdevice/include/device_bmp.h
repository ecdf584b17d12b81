// CDeviceBmp, the Device page's picture of the printer as configured: the
// device picture library (model component 10) draws it from the page's
// current choices at every paint. The library is bound at the first paint
// that finds it and kept until the control goes; until then the control
// stays blank and every paint tries again.
#pragma once

#include "afxctl.h"
#include "imagewell/device_image.h"

namespace sheetwright {

class CDevice;

class CDeviceBmp : public CStatic {
  public:
    CDeviceBmp() = default;
    ~CDeviceBmp() override;
    void SetPage(CDevice* page) { page_ = page; }
    // The record the last paint handed over (for tests and pictures).
    const imagewell::DeviceImageInfo& LastInfo() const { return info_; }
    bool Bound() const { return draw_ != nullptr; }

  protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    bool Bind();
    void ReadChoices();

    CDevice* page_ = nullptr;
    HMODULE library_ = nullptr;
    imagewell::PFN_DrawDeviceImage draw_ = nullptr;
    imagewell::DeviceImageInfo info_{};
};

} // namespace sheetwright
