// Device interface sets: the SetupDi* functions over the plugged-in USB
// printers.
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core.h"
#include "platform/text.h"
#include "usb_printers.h"
#include "win/errors.h"
#include "win/registry.h"
#include "win/setupapi.h"
#include "win/strings.h"

namespace platform::devices {

namespace {

// The setup class of the devices that carry the printer interfaces.
constexpr GUID kUsbSetupClass = {
    0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A snapshot of the interfaces that matched when the set was made.
class DeviceInfoSet : public HandleObject {
  public:
    struct Member {
        std::u16string path;
        DWORD devInst;
        DWORD flags;
    };
    explicit DeviceInfoSet(std::vector<Member> members) : members_(std::move(members)) {
        static std::atomic<DWORD> next{1};
        serial_ = next++;
    }
    const char* KindName() const override { return "DeviceInfoSet"; }
    // Only SetupDiDestroyDeviceInfoList ends a set.
    bool ClosableByCloseHandle() const override { return false; }

    const std::vector<Member>& members() const { return members_; }
    // The interface data's Reserved field names its set and member.
    ULONG_PTR Tag(std::size_t index) const {
        return (ULONG_PTR(serial_) << 32) | ULONG_PTR(index + 1);
    }
    const Member* FromTag(ULONG_PTR tag) const {
        ULONG_PTR index = tag & 0xFFFFFFFFu;
        if ((tag >> 32) != serial_ || index == 0 || index > members_.size()) return nullptr;
        return &members_[index - 1];
    }

  private:
    std::vector<Member> members_;
    DWORD serial_ = 0;
};

HDEVINFO FailSet(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<DeviceInfoSet> SetOf(HDEVINFO h) {
    auto set = LookupHandleAs<DeviceInfoSet>(h);
    if (!set) SetLastError(ERROR_INVALID_HANDLE);
    return set;
}

HDEVINFO MakeSet(const GUID* classGuid, const std::u16string* enumerator, DWORD flags) {
    constexpr DWORD kKnown =
        DIGCF_DEFAULT | DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;
    if (flags & ~kKnown) return FailSet(ERROR_INVALID_FLAGS);
    if (!classGuid && !(flags & DIGCF_ALLCLASSES)) return FailSet(ERROR_INVALID_PARAMETER);
    std::vector<DeviceInfoSet::Member> members;
    // Sets of setup classes list devices, not interfaces; no device here has
    // a node of its own outside its interface.
    const bool wanted =
        (flags & DIGCF_DEVICEINTERFACE) &&
        ((flags & DIGCF_ALLCLASSES) || SameGuid(*classGuid, GUID_DEVINTERFACE_USBPRINT));
    if (wanted) {
        std::lock_guard lock(PrintersMutex());
        for (const auto& p : PrintersLocked()) {
            if ((flags & DIGCF_PRESENT) && !p->present) continue;
            if (enumerator && !EqualsNoCase(EnumeratorOf(p->path), *enumerator)) continue;
            members.push_back({p->path, p->devInst, p->present ? DWORD(SPINT_ACTIVE) : 0u});
        }
    }
    return InsertHandle(std::make_shared<DeviceInfoSet>(std::move(members)));
}

// Checks the interface data a caller passes back; its member, or nullptr
// with the last error set.
const DeviceInfoSet::Member* MemberOf(const DeviceInfoSet& set,
                                      const SP_DEVICE_INTERFACE_DATA* data) {
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return nullptr;
    }
    const DeviceInfoSet::Member* member = set.FromTag(data->Reserved);
    if (!member) SetLastError(ERROR_INVALID_PARAMETER);
    return member;
}

std::string AnsiPath(const std::u16string& path) {
    int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

template <class Detail, class Text>
BOOL FillDetail(HDEVINFO setHandle, PSP_DEVICE_INTERFACE_DATA data, Detail* detail,
                DWORD detailSize, PDWORD requiredSize, PSP_DEVINFO_DATA infoData,
                Text (*convert)(const std::u16string&)) {
    auto set = SetOf(setHandle);
    if (!set) return FALSE;
    const DeviceInfoSet::Member* member = MemberOf(*set, data);
    if (!member) return FALSE;
    // cbSize is the fixed part's size; a caller that puts its buffer's size
    // there is refused.
    if (detail ? detail->cbSize != sizeof(Detail) || detailSize < sizeof(Detail) : detailSize != 0)
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (infoData && infoData->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    const Text path = convert(member->path);
    using Char = typename Text::value_type;
    const DWORD needed =
        static_cast<DWORD>(offsetof(Detail, DevicePath) + (path.size() + 1) * sizeof(Char));
    if (requiredSize) *requiredSize = needed;
    if (infoData) {
        infoData->ClassGuid = kUsbSetupClass;
        infoData->DevInst = member->devInst;
        infoData->Reserved = 0;
    }
    if (detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(Char));
    return TRUE;
}

std::u16string SamePath(const std::u16string& path) {
    return path;
}

} // namespace

} // namespace platform::devices

using namespace platform::devices;

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
    PLATFORM_FAULT_POINT("SetupDiGetClassDevsW", INVALID_HANDLE_VALUE);
    (void)hwndParent;
    if (Enumerator) {
        std::u16string enumerator(Enumerator);
        return MakeSet(ClassGuid, &enumerator, Flags);
    }
    return MakeSet(ClassGuid, nullptr, Flags);
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
    PLATFORM_FAULT_POINT("SetupDiGetClassDevsA", INVALID_HANDLE_VALUE);
    (void)hwndParent;
    if (Enumerator) {
        int n = MultiByteToWideChar(CP_ACP, 0, Enumerator, -1, nullptr, 0);
        if (n <= 0) return FailSet(ERROR_INVALID_PARAMETER);
        std::u16string enumerator(static_cast<std::size_t>(n), u'\0');
        MultiByteToWideChar(CP_ACP, 0, Enumerator, -1, enumerator.data(), n);
        enumerator.resize(static_cast<std::size_t>(n - 1));
        return MakeSet(ClassGuid, &enumerator, Flags);
    }
    return MakeSet(ClassGuid, nullptr, Flags);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    PLATFORM_FAULT_POINT("SetupDiEnumDeviceInterfaces", FALSE);
    auto set = SetOf(DeviceInfoSet);
    if (!set) return FALSE;
    if (!InterfaceClassGuid || !DeviceInterfaceData) return Fail(ERROR_INVALID_PARAMETER);
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (SameGuid(*InterfaceClassGuid, GUID_DEVINTERFACE_USBPRINT)) {
        DWORD seen = 0;
        const auto& members = set->members();
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (DeviceInfoData && members[i].devInst != DeviceInfoData->DevInst) continue;
            if (seen++ != MemberIndex) continue;
            DeviceInterfaceData->InterfaceClassGuid = GUID_DEVINTERFACE_USBPRINT;
            DeviceInterfaceData->Flags = members[i].flags;
            DeviceInterfaceData->Reserved = set->Tag(i);
            return TRUE;
        }
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
    PLATFORM_FAULT_POINT("SetupDiGetDeviceInterfaceDetailW", FALSE);
    return FillDetail(DeviceInfoSet, DeviceInterfaceData, DeviceInterfaceDetailData,
                      DeviceInterfaceDetailDataSize, RequiredSize, DeviceInfoData, &SamePath);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
    PLATFORM_FAULT_POINT("SetupDiGetDeviceInterfaceDetailA", FALSE);
    return FillDetail(DeviceInfoSet, DeviceInterfaceData, DeviceInterfaceDetailData,
                      DeviceInterfaceDetailDataSize, RequiredSize, DeviceInfoData, &AnsiPath);
}

HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO DeviceInfoSet,
                                             PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             DWORD Reserved, REGSAM samDesired) {
    const HKEY failed = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    PLATFORM_FAULT_POINT("SetupDiOpenDeviceInterfaceRegKey", failed);
    auto set = SetOf(DeviceInfoSet);
    if (!set) return failed;
    const auto* member = MemberOf(*set, DeviceInterfaceData);
    if (!member) return failed;
    if (Reserved != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return failed;
    }
    HKEY key = nullptr;
    LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, InterfaceKeyPath(member->path).c_str(), 0,
                               samDesired, &key);
    if (rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        return failed;
    }
    return key;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    PLATFORM_FAULT_POINT("SetupDiDestroyDeviceInfoList", FALSE);
    if (!SetOf(DeviceInfoSet)) return FALSE;
    platform::RemoveHandle(DeviceInfoSet);
    return TRUE;
}

} // extern "C"
