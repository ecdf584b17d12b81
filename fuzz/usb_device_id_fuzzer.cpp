// Fuzzes the reader of USB device IDs: whatever a printer answers to the
// device-ID request, reading it must stay inside the bytes returned, and
// what it yields must lie inside them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "devcomm/usb_device_id.h"

namespace {

bool Inside(std::string_view part, const std::string& whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The answer buffer of the request is 512 bytes.
    if (size > 512) size = 512;
    devcomm::UsbStatus status;
    bool ok = devcomm::ParseUsbStatus(data, size, &status);
    if (!ok && (!status.block.empty() || !status.id.text().empty())) __builtin_trap();
    if (ok) {
        const std::string& text = status.id.text();
        if (text.size() + 2 > size) __builtin_trap();
        // Three bytes of status for every four characters of its text.
        if (status.block.size() > text.size()) __builtin_trap();
        for (auto field : {status.id.Manufacturer(), status.id.Model(), status.id.CommandSet(),
                           status.id.Description(), status.id.Field("VSTATUS")})
            if (field && !Inside(*field, text)) __builtin_trap();
        (void)status.Byte(95);
    }
    devcomm::DeviceId id;
    if (id.Parse(data, size) && id.text().size() + 2 > size) __builtin_trap();
    return 0;
}
