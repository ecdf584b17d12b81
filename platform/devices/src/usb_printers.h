// The USB printers plugged into this machine (by tests) and the device
// handles opened on them.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"
#include "win/types.h"

namespace platform::devices {

// One printer. Guarded by PrintersMutex().
struct PrinterState {
    std::u16string path; // its interface's device path, as plugged in
    std::u16string name; // the path without its "\\?\" prefix
    DWORD devInst = 0;
    bool present = true;
    std::vector<BYTE> idAnswer; // the whole answer to the device-ID request
    DWORD idError = 0;
    std::vector<BYTE> readData;
    std::size_t readPosition = 0;
    std::vector<BYTE> written;
    // Data access and sharing of the handles open on it.
    int readers = 0, writers = 0, denyRead = 0, denyWrite = 0;
};

std::mutex& PrintersMutex();

// The printers in the order they were plugged in (caller holds the mutex).
const std::vector<std::shared_ptr<PrinterState>>& PrintersLocked();

// The printer whose path without prefix is name, compared without regard to
// case (caller holds the mutex); nullptr when none.
std::shared_ptr<PrinterState> FindPrinterLocked(std::u16string_view name);

// Counts an open of a device path (caller holds the mutex).
void CountOpenLocked();

// The registry key of an interface below HKEY_LOCAL_MACHINE.
std::u16string InterfaceKeyPath(const std::u16string& path);

// The enumerator of a device path ("usb" of "\\?\usb#vid_...").
std::u16string_view EnumeratorOf(const std::u16string& path);

// A handle opened on a printer's device path.
class DeviceObject : public HandleObject {
  public:
    DeviceObject(std::shared_ptr<PrinterState> printer, bool read, bool write, bool shareRead,
                 bool shareWrite);
    ~DeviceObject() override;
    const char* KindName() const override { return "Device"; }

    const std::shared_ptr<PrinterState>& printer() const { return printer_; }
    bool canRead() const { return read_; }
    bool canWrite() const { return write_; }

  private:
    std::shared_ptr<PrinterState> printer_;
    bool read_, write_, shareRead_, shareWrite_;
};

} // namespace platform::devices
