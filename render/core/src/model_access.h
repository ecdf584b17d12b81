// The graphics core's way to the model: it reads the model data file itself,
// finds the package's libraries by the file's component table, loads them
// from the driver folder for each use and asks every model query through the
// UI library (or the model library where the UI library is missing).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "win/types.h"

namespace inkforge {

struct PDEV;

// Library selectors of LoadComponentDll.
enum ComponentSelector { kSelectModelsmith = 0, kSelectSheetwright = 1, kSelectResbundle = 2 };

// The two platform codes put into kind-6 (64-bit) and kind-7 (32-bit) name templates.
inline constexpr char kPlatformCode64[] = "64";
inline constexpr char kPlatformCode32[] = "32";

// The whole model data file of the printer in a GlobalAlloc block (freed by
// the caller with GlobalFree), or null when it cannot be read or its header
// does not hold.
LPVOID LoadModelData(HANDLE printer);

// The file name of a component of the model data's component table, with the
// platform code in kind-6 and kind-7 templates; empty when there is none.
std::u16string ComponentFileName(LPCVOID modelData, DWORD componentId);

// The driver folder of the printer, ending with a backslash.
BOOL GetDriverDirectory(HANDLE printer, std::u16string* folder);

// A package library of the selector loaded from the driver folder (the caller
// frees it), or null.
HMODULE LoadComponentDll(HANDLE printer, LPCVOID modelData, int selector);

// A model query answered in two calls into a zeroed GlobalAlloc block (freed
// by the caller), or null with *size 0. modelData null loads it for the call.
HGLOBAL GetModelInfo(LPCVOID modelData, HANDLE printer, int query, int entry, int layout,
                     DWORD* size, DWORD* count = nullptr);

// A capability list of the UI library (uiEnumMyPrinterInfo), or null.
HGLOBAL EnumModelInfo(HANDLE printer, HMODULE sheetwright, LPCVOID modelData, int code, DWORD* size,
                      DWORD* count);

// The bindings a physical device keeps: model data, UI library and model library.
void BindLibraries(HANDLE printer, HMODULE* sheetwright, HMODULE* modelsmith, LPVOID* modelData);

// Drops the model answers a physical device keeps (with the device).
void FreeAnswerMemo(PDEV* pdev);

// One model answer, freed with the object. Answers asked for a physical
// device are kept by it while its driver record stays the same. Every read is checked against the
// answer's size; a read past it gives zero.
class ModelAnswer {
  public:
    ModelAnswer() = default;
    ModelAnswer(const PDEV* pdev, int query, int entry, int layout);
    ModelAnswer(LPCVOID modelData, HANDLE printer, int query, int entry, int layout);
    ~ModelAnswer();
    ModelAnswer(ModelAnswer&& other) noexcept;
    ModelAnswer& operator=(ModelAnswer&& other) noexcept;
    ModelAnswer(const ModelAnswer&) = delete;
    ModelAnswer& operator=(const ModelAnswer&) = delete;

    bool ok() const { return data() != nullptr && size_ > 0; }
    DWORD size() const { return size_; }
    DWORD count() const { return count_; }
    const BYTE* data() const { return kept_ ? kept_->data() : static_cast<const BYTE*>(block_); }

    BYTE U8(size_t off) const;
    WORD U16(size_t off) const;
    SHORT I16(size_t off) const { return static_cast<SHORT>(U16(off)); }
    DWORD U32(size_t off) const;
    // The NUL-terminated text of a field of `field` bytes at off (cut at the
    // field's end and at the answer's end).
    std::string Text(size_t off, size_t field) const;
    // Number of whole entries of entrySize bytes.
    DWORD Entries(size_t entrySize) const {
        return entrySize ? static_cast<DWORD>(size_ / entrySize) : 0;
    }

  private:
    HGLOBAL block_ = nullptr;
    // An answer the physical device keeps, shared with it.
    std::shared_ptr<const std::vector<BYTE>> kept_;
    DWORD size_ = 0;
    DWORD count_ = 0;
};

} // namespace inkforge
