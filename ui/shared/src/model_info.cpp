// CModelInfo and the component-id mapping of the component table.
#include "model_info.h"

#include <cstring>
#include <new>

#include "model_codes.h"
#include "win/base.h"

namespace sheetwright {

WORD MapComponentId(WORD table, WORD id) {
    if (table != model::kQueryComponents) return id;
    switch (id) {
    case 1:
        return 27;
    case 2:
        return 28;
    case 3:
        return 29;
    case 6:
        return 30;
    case 7:
        return 31;
    case 8:
        return 32;
    case 10:
        return 33;
    default:
        return id;
    }
}

void CModelInfo::Init(WORD table, WORD id, DWORD part) {
    table_ = table;
    id_ = MapComponentId(table, id);
    part_ = part;
}

CModelInfo::CModelInfo(const ModelBlock* binding, WORD table, WORD id, DWORD part) {
    Init(table, id, part);
    bound_ = new (std::nothrow) BoundModel{};
    if (bound_) BindModelInfo(bound_, binding);
}

CModelInfo::CModelInfo(HANDLE printer, LPCVOID data, WORD table, WORD, DWORD part) {
    Init(table, 0, part);
    ownedModule_ = LoadDriverModule(printer, data, kSelectModelsmith);
    if (!ownedModule_) return;
    ModelBlock block{ownedModule_, const_cast<LPVOID>(data)};
    bound_ = new (std::nothrow) BoundModel{};
    if (bound_) BindModelInfo(bound_, &block);
}

CModelInfo::CModelInfo(HANDLE printer, WORD table, WORD, DWORD part) {
    Init(table, 0, part);
    ownedData_ = LoadDriverDataFile(printer);
    if (!ownedData_) return;
    ownedModule_ = LoadDriverModule(printer, ownedData_, kSelectModelsmith);
    if (!ownedModule_) return;
    ModelBlock block{ownedModule_, ownedData_};
    bound_ = new (std::nothrow) BoundModel{};
    if (bound_) BindModelInfo(bound_, &block);
}

CModelInfo::~CModelInfo() {
    Release();
}

DWORD CModelInfo::Query() {
    if (answer_) {
        GlobalFree(answer_);
        answer_ = nullptr;
    }
    length_ = count_ = 0;
    if (!bound_) return result_ = ERROR_INVALID_PARAMETER;
    if (!bound_->query) return result_ = ERROR_PROC_NOT_FOUND;
    DWORD length = 0, count = 0;
    result_ = bound_->query(bound_->modelData, table_, id_, static_cast<INT>(part_), nullptr,
                            &length, &count);
    if (result_ != 0) return result_;
    answer_ = GlobalAlloc(GPTR, length ? length : 1);
    if (!answer_) return result_ = ERROR_NOT_ENOUGH_MEMORY;
    DWORD size = length;
    result_ = bound_->query(bound_->modelData, table_, id_, static_cast<INT>(part_), answer_, &size,
                            &count);
    if (result_ == 0) {
        // The length is the first call's: the block holds no more.
        length_ = std::min(size, length);
        count_ = count;
    } else {
        GlobalFree(answer_);
        answer_ = nullptr;
    }
    return result_;
}

bool CModelInfo::Ask() {
    if (!asked_) {
        asked_ = true;
        Query();
    }
    return result_ == 0 && answer_ != nullptr;
}

LPVOID CModelInfo::GetData() {
    bool ok = Ask();
    SetLastError(result_);
    return ok ? answer_ : nullptr;
}

DWORD CModelInfo::GetCount() {
    bool ok = Ask();
    SetLastError(result_);
    return ok ? count_ : 0;
}

DWORD CModelInfo::GetBlock(LPVOID* out, DWORD* count) {
    if (!count) return ERROR_INVALID_PARAMETER;
    bool ok = Ask();
    if (out) *out = ok ? answer_ : nullptr;
    *count = ok ? count_ : 0;
    return result_;
}

void CModelInfo::Release() {
    delete bound_;
    bound_ = nullptr;
    if (answer_) GlobalFree(answer_);
    answer_ = nullptr;
    length_ = count_ = 0;
    if (ownedModule_) FreeLibrary(ownedModule_);
    ownedModule_ = nullptr;
    if (ownedData_) GlobalFree(ownedData_);
    ownedData_ = nullptr;
}

BYTE CModelInfo::U8(size_t offset) {
    auto* p = static_cast<const BYTE*>(GetData());
    return p && offset < length_ ? p[offset] : 0;
}

WORD CModelInfo::U16(size_t offset) {
    auto* p = static_cast<const BYTE*>(GetData());
    WORD v = 0;
    if (p && offset + 2 <= length_) std::memcpy(&v, p + offset, 2);
    return v;
}

DWORD CModelInfo::U32(size_t offset) {
    auto* p = static_cast<const BYTE*>(GetData());
    DWORD v = 0;
    if (p && offset + 4 <= length_) std::memcpy(&v, p + offset, 4);
    return v;
}

std::string CModelInfo::Text() {
    auto* p = static_cast<const char*>(GetData());
    return p ? std::string(p, strnlen(p, length_)) : std::string();
}

} // namespace sheetwright
