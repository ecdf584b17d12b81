// CDevice, the "Device" page of the device sheet: which optional units the
// printer has (trays, large-capacity tray, duplex unit, hard disk, memory,
// finisher with punch and stapler, inner tray, department counter, the
// change-paper-tray behaviour). It edits the sheet's installed-option list;
// Auto Configuration asks the device, Apply stores the list as printer data.
#pragma once

#include <vector>

#include "device_bmp.h"
#include "prop_page.h"
#include "resbundle_ids.h"

namespace sheetwright {

class CDevice : public CPropPage {
  public:
    enum Control : int {
        kTrayEdit = IDC_DEVICE_TRAY_EDIT,
        kTrayUpDown = IDC_DEVICE_TRAY_UP_DOWN,
        kTrayRange = IDC_DEVICE_TRAY_RANGE,
        kLargeTray = IDC_DEVICE_LARGE_TRAY,
        kDuplex = IDC_DEVICE_DUPLEX,
        kDisk = IDC_DEVICE_DISK,
        kMemory = IDC_DEVICE_MEMORY,
        kFinisher = IDC_DEVICE_FINISHER,
        kPunch = IDC_DEVICE_PUNCH,
        kStaple = IDC_DEVICE_STAPLE,
        kCounter = IDC_DEVICE_COUNTER,
        kAutoConfig = IDC_DEVICE_AUTO_CONFIG,
        kRestore = IDC_DEVICE_RESTORE,
        kSpoolFolder = IDC_DEVICE_SPOOL_FOLDER,
        kSupport = IDC_DEVICE_SUPPORT,
        kFrame = IDC_DEVICE_FRAME,
        kPicture = IDC_DEVICE_PICTURE,
        kHidden = 339,
        kInnerTray = IDC_DEVICE_INNER_TRAY,
        kChangeTray = IDC_DEVICE_CHANGE_TRAY,
    };
    static constexpr WORD kNoFinisher = 99;

    explicit CDevice(SheetContext* context);

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnKillActive() override;
    BOOL OnApply() override;

    // The tray counts the page works with: standard sources, main optional
    // trays.
    DWORD StandardTrays() const { return standard_; }
    DWORD MainTrays() const { return mainTrays_; }
    // Fixes the image's collation and duplex fields for units fitted since
    // the page started; TRUE when a field changed. Only 1320-byte images.
    BOOL FixDevmodeForOptions(DEVMODE_IMAGEW* image) const;
    CDeviceBmp& Picture() { return picture_; }

  protected:
    void OnTrayCount();
    void OnTrayCountLeft();
    void OnLargeTray();
    void OnDuplex();
    void OnDisk();
    void OnMemory();
    void OnFinisher();
    void OnPunch();
    void OnStaple();
    void OnInnerTray();
    void OnCounter();
    void OnChangeTray();
    void OnAutoConfiguration();
    void OnRestoreDefaults();
    void OnSupportContacts();
    DECLARE_MESSAGE_MAP()

  private:
    void FillMemoryChoices();
    void PlacePicture();
    void RefreshControls();
    void Changed();
    void RepaintPicture();
    int Selected(int id) const;
    void SetFinisherUnit(DWORD bit, bool on);
    DWORD InstalledCount(WORD option) const;

    DWORD standard_ = 0, mainTrays_ = 0, allTrays_ = 0, largeTrays_ = 0;
    bool traysOffered_ = false, largeOffered_ = false, duplexOffered_ = false;
    bool diskShown_ = false, diskSettable_ = false, memoryOffered_ = false;
    bool finisherOffered_ = false, punchOffered_ = false, stapleOffered_ = false;
    bool innerOffered_ = false, counterOffered_ = false, changeOffered_ = false;
    WORD innerBin_ = 0, largeTrayId_ = 0;
    DWORD startDisks_ = 0, startTrays_ = 0, startDuplex_ = 0;
    bool updating_ = false;
    CDeviceBmp picture_;
};

} // namespace sheetwright
