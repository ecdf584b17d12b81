// CModelInfo: one model query asked in two calls (length, then data into a
// zeroed block), its answer kept until Release.
#pragma once

#include <string>

#include "driver_env.h"

namespace sheetwright {

class CModelInfo {
  public:
    // A: on an existing binding; nothing is loaded.
    CModelInfo(const ModelBlock* binding, WORD table, WORD id, DWORD part);
    // B: loads Modelsmith for the printer's model data; entry id 0.
    CModelInfo(HANDLE printer, LPCVOID data, WORD table, WORD ignored, DWORD part);
    // C: loads the model data and Modelsmith of the printer; entry id 0.
    CModelInfo(HANDLE printer, WORD table, WORD ignored, DWORD part);
    ~CModelInfo();
    CModelInfo(const CModelInfo&) = delete;
    CModelInfo& operator=(const CModelInfo&) = delete;

    DWORD Query();
    // Both ask on first use and leave the stored result as the thread's last error.
    LPVOID GetData();
    DWORD GetCount();
    DWORD GetBlock(LPVOID* out, DWORD* count);
    void Release();

    DWORD Length() const { return length_; }
    DWORD Result() const { return result_; }
    WORD Table() const { return table_; }
    WORD Id() const { return id_; }

    // Bounds-checked reads of the answer (0 past its end).
    BYTE U8(size_t offset);
    WORD U16(size_t offset);
    DWORD U32(size_t offset);
    // The answer as ANSI text, up to its NUL or its end; empty when none.
    std::string Text();

  private:
    void Init(WORD table, WORD id, DWORD part);
    bool Ask();

    BoundModel* bound_ = nullptr;
    HGLOBAL answer_ = nullptr;
    DWORD length_ = 0;
    DWORD count_ = 0;
    WORD table_ = 0;
    WORD id_ = 0;
    DWORD part_ = 0;
    DWORD result_ = 0;
    LPVOID ownedData_ = nullptr;
    HMODULE ownedModule_ = nullptr;
    bool asked_ = false;
};

// Component ids of the device-communication and picture libraries by role
// number, as callers of table 7 name them.
WORD MapComponentId(WORD table, WORD id);

} // namespace sheetwright
