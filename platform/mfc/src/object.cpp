// Run-time classes and the command target's message-map search.
#include <cstring>

#include "afxwin.h"

namespace {

std::vector<CRuntimeClass*>& Registry() {
    static std::vector<CRuntimeClass*> classes;
    return classes;
}

} // namespace

CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
        if (c == base) return TRUE;
    return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(LPCSTR className) {
    if (!className) return nullptr;
    for (CRuntimeClass* c : Registry())
        if (std::strcmp(c->m_lpszClassName, className) == 0) return c;
    return nullptr;
}

AFX_CLASSINIT::AFX_CLASSINIT(CRuntimeClass* cls) {
    Registry().push_back(cls);
}

CObject* AfxDynamicDownCast(CRuntimeClass* cls, CObject* object) {
    return object && object->IsKindOf(cls) ? object : nullptr;
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, UINT code, UINT id) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e)
            if (e->nMessage == message && e->nCode == code && id >= e->nID && id <= e->nLastID)
                return e;
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_COMMAND, static_cast<UINT>(nCode), nID);
    if (!e) return FALSE;
    LRESULT ignored = 0;
    return e->pfn(this, WM_COMMAND, wParam, lParam, result ? result : &ignored);
}
