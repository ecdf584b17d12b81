// The table of plugged-in USB printers and the test controls that fill it.
#include "usb_printers.h"

#include <cstdio>

#include "platform/core.h"
#include "platform/devices_ctl.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/registry.h"

namespace platform::devices {

namespace {

constexpr std::u16string_view kPrefix = u"\\\\?\\";
constexpr const char16_t* kInterfaceClassKey =
    u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\";
constexpr const char16_t* kInterfaceClassSuffix = u"#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

struct Table {
    std::vector<std::shared_ptr<PrinterState>> printers;
    DWORD nextDevInst = 1;
    int opens = 0;
};

Table& T() {
    static Table* table = new Table; // used until the process ends
    return *table;
}

void ResetPrinters() {
    std::lock_guard lock(PrintersMutex());
    T() = Table{};
}

void EnsureResetHook() {
    static const bool registered = (platform::RegisterResetHook(&ResetPrinters), true);
    (void)registered;
}

} // namespace

std::mutex& PrintersMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

const std::vector<std::shared_ptr<PrinterState>>& PrintersLocked() {
    EnsureResetHook();
    return T().printers;
}

std::shared_ptr<PrinterState> FindPrinterLocked(std::u16string_view name) {
    for (const auto& p : PrintersLocked())
        if (EqualsNoCase(p->name, name)) return p;
    return nullptr;
}

std::u16string_view EnumeratorOf(const std::u16string& path) {
    std::u16string_view name = std::u16string_view(path).substr(kPrefix.size());
    return name.substr(0, name.find(u'#'));
}

void CountOpenLocked() {
    ++T().opens;
}

std::u16string InterfaceKeyPath(const std::u16string& path) {
    // The key is named after the path with "##?#" for its prefix.
    std::u16string name = path.size() > kPrefix.size() ? path.substr(kPrefix.size()) : u"";
    return kInterfaceClassKey + (u"##?#" + name) + u"\\#\\Device Parameters";
}

DeviceObject::DeviceObject(std::shared_ptr<PrinterState> printer, bool read, bool write,
                           bool shareRead, bool shareWrite)
    : printer_(std::move(printer)), read_(read), write_(write), shareRead_(shareRead),
      shareWrite_(shareWrite) {
    // The caller holds the mutex.
    printer_->readers += read_;
    printer_->writers += write_;
    printer_->denyRead += !shareRead_;
    printer_->denyWrite += !shareWrite_;
}

DeviceObject::~DeviceObject() {
    std::lock_guard lock(PrintersMutex());
    printer_->readers -= read_;
    printer_->writers -= write_;
    printer_->denyRead -= !shareRead_;
    printer_->denyWrite -= !shareWrite_;
}

} // namespace platform::devices

namespace platform::test {

using namespace platform::devices;

std::u16string DeviceInterfaceKeyPath(const std::u16string& interfacePath) {
    return InterfaceKeyPath(interfacePath);
}

std::u16string AddUsbPrinter(const UsbPrinter& printer) {
    std::lock_guard lock(PrintersMutex());
    EnsureResetHook();
    auto state = std::make_shared<PrinterState>();
    state->devInst = T().nextDevInst++;
    state->path = printer.interfacePath;
    if (state->path.empty()) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "PRN%04u", static_cast<unsigned>(state->devInst));
        state->path = std::u16string(kPrefix) + u"usb#vid_fffe&pid_0001#" + FromUtf8(serial) +
                      kInterfaceClassSuffix;
    }
    std::u16string_view path = state->path;
    if (path.size() <= kPrefix.size() || path.substr(0, kPrefix.size()) != kPrefix ||
        path.substr(kPrefix.size()).find_first_of(u"\\/") != std::u16string_view::npos)
        return {};
    state->name = state->path.substr(kPrefix.size());
    if (FindPrinterLocked(state->name)) return {};
    state->present = printer.present;
    if (printer.deviceIdAnswer) {
        state->idAnswer = *printer.deviceIdAnswer;
    } else {
        std::size_t length = printer.deviceId.size() + 2;
        state->idAnswer.push_back(static_cast<BYTE>(length >> 8));
        state->idAnswer.push_back(static_cast<BYTE>(length));
        state->idAnswer.insert(state->idAnswer.end(), printer.deviceId.begin(),
                               printer.deviceId.end());
    }
    state->idError = printer.deviceIdError;
    state->readData = printer.readData;

    // The class installer's part: the interface's key with its port number.
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, DeviceInterfaceKeyPath(state->path).c_str(), 0, nullptr,
                        0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return {};
    bool written = true;
    if (printer.portNumber) {
        DWORD number = *printer.portNumber;
        written =
            RegSetValueExW(key, u"Port Number", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&number), sizeof number) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (!written) return {};
    T().printers.push_back(state);
    return state->path;
}

bool SetUsbPrinterPresent(const std::u16string& interfacePath, bool present) {
    std::lock_guard lock(PrintersMutex());
    for (const auto& p : PrintersLocked())
        if (EqualsNoCase(p->path, interfacePath)) {
            p->present = present;
            return true;
        }
    return false;
}

std::vector<BYTE> UsbPrinterWritten(const std::u16string& interfacePath) {
    std::lock_guard lock(PrintersMutex());
    for (const auto& p : PrintersLocked())
        if (EqualsNoCase(p->path, interfacePath)) return p->written;
    return {};
}

int DeviceOpenCount() {
    std::lock_guard lock(PrintersMutex());
    return T().opens;
}

} // namespace platform::test
