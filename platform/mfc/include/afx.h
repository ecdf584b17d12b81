// The framework's base: CString (UTF-16), CObject with run-time classes, and
// the collections. Library code is written against these names; behaviour
// follows what that code expects of them, while layouts are our own.
#pragma once

#include <cstdarg>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "win/base.h"
#include "win/strings.h"

typedef void* POSITION;

// ---------------------------------------------------------------------------
// CString: a UTF-16 string. Positions and counts are in UTF-16 units; every
// index is clamped to the string, as library code passes computed counts.
class CString {
  public:
    CString() = default;
    CString(LPCWSTR text) : s_(text ? text : u"") {}
    CString(LPCWSTR text, int count) : s_(text ? text : u"", text && count > 0 ? count : 0) {}
    CString(WCHAR ch, int repeat = 1) : s_(repeat > 0 ? repeat : 0, ch) {}
    // Narrow text is in the ANSI code page.
    explicit CString(LPCSTR text);
    CString(const std::u16string& text) : s_(text) {}

    int GetLength() const { return static_cast<int>(s_.size()); }
    BOOL IsEmpty() const { return s_.empty(); }
    void Empty() { s_.clear(); }
    operator LPCWSTR() const { return s_.c_str(); }
    LPCWSTR GetString() const { return s_.c_str(); }
    const std::u16string& str() const { return s_; }
    // Out-of-range positions throw std::out_of_range rather than read past the end.
    WCHAR GetAt(int index) const;
    void SetAt(int index, WCHAR ch);
    WCHAR operator[](int index) const { return GetAt(index); }

    CString& operator=(LPCWSTR text) {
        s_ = text ? text : u"";
        return *this;
    }
    CString& operator+=(const CString& other) {
        s_ += other.s_;
        return *this;
    }
    CString& operator+=(LPCWSTR text) {
        if (text) s_ += text;
        return *this;
    }
    CString& operator+=(WCHAR ch) {
        s_ += ch;
        return *this;
    }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
    friend CString operator+(const CString& a, LPCWSTR b) { return a + CString(b); }
    friend CString operator+(LPCWSTR a, const CString& b) { return CString(a) + b; }
    friend CString operator+(const CString& a, WCHAR b) { return CString(a.s_ + b); }
    friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
    friend bool operator==(const CString& a, LPCWSTR b) { return a.s_ == (b ? b : u""); }
    friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }

    // Ordinal comparisons: <0, 0, >0. CompareNoCase folds case first.
    int Compare(LPCWSTR other) const;
    int CompareNoCase(LPCWSTR other) const;

    CString Mid(int first) const { return Mid(first, GetLength()); }
    CString Mid(int first, int count) const;
    CString Left(int count) const { return Mid(0, count); }
    CString Right(int count) const;
    CString SpanIncluding(LPCWSTR set) const;
    // -1 when not found; a start past the end finds nothing.
    int Find(WCHAR ch, int start = 0) const;
    int Find(LPCWSTR sub, int start = 0) const;
    int ReverseFind(WCHAR ch) const;
    int FindOneOf(LPCWSTR set) const;
    int Replace(LPCWSTR oldText, LPCWSTR newText);
    int Replace(WCHAR oldCh, WCHAR newCh);
    int Remove(WCHAR ch);
    int Insert(int index, LPCWSTR text);
    int Delete(int index, int count = 1);
    // Without an argument the white space (space, tab, CR, LF, VT, FF) goes.
    CString& Trim() { return TrimRight().TrimLeft(); }
    CString& Trim(LPCWSTR set) { return TrimRight(set).TrimLeft(set); }
    CString& TrimLeft(LPCWSTR set = nullptr);
    CString& TrimRight(LPCWSTR set = nullptr);
    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    // The system formatter's conversions (%[-][#][0][width][.precision][h|l|I64]
    // c C d i u x X s S p and %%), with no length limit.
    void Format(LPCWSTR format, ...);
    void FormatV(LPCWSTR format, va_list args);
    void AppendFormat(LPCWSTR format, ...);
    void Format(UINT formatId, ...);
    // A string of the current resource module; FALSE (and empty) when missing.
    BOOL LoadString(UINT id);
    BOOL LoadString(HINSTANCE module, UINT id);

    // Direct buffer access: the string holds at least minLength units until
    // ReleaseBuffer, which cuts it at newLength (or at the first NUL when -1).
    LPWSTR GetBuffer(int minLength = 0);
    LPWSTR GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

    // The text in the ANSI code page (or another one).
    std::string ToNarrow(UINT codePage = CP_ACP) const;

  private:
    std::u16string s_;
};

// ---------------------------------------------------------------------------
// Objects and their run-time classes.
class CObject;

struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;
    CObject* (*m_pfnCreateObject)();
    CRuntimeClass* m_pBaseClass;

    // A new object of the class, nullptr for classes without DYNCREATE.
    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
    // A class by name among those declared with DECLARE_DYNCREATE/DYNAMIC
    // that have been named once (their IMPLEMENT_ line registers them).
    static CRuntimeClass* FromName(LPCSTR className);
};

// Registers a run-time class under its name (IMPLEMENT_* macros).
struct AFX_CLASSINIT {
    explicit AFX_CLASSINIT(CRuntimeClass* cls);
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

class CObject {
  public:
    static CRuntimeClass classCObject;
    virtual CRuntimeClass* GetRuntimeClass() const { return &classCObject; }
    virtual ~CObject() = default;
    BOOL IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

  protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define DECLARE_DYNAMIC(class_name)                                                                \
  public:                                                                                          \
    static CRuntimeClass class##class_name;                                                        \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name)                                                              \
    DECLARE_DYNAMIC(class_name)                                                                    \
    static CObject* CreateObject();

#define AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, schema, create)                    \
    CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), schema,        \
                                                   create, RUNTIME_CLASS(base_class_name)};        \
    static const AFX_CLASSINIT _init_##class_name(RUNTIME_CLASS(class_name));                      \
    CRuntimeClass* class_name::GetRuntimeClass() const {                                           \
        return RUNTIME_CLASS(class_name);                                                          \
    }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                             \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                           \
    CObject* class_name::CreateObject() {                                                          \
        return new class_name;                                                                     \
    }                                                                                              \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

// Checked downcast: nullptr when the object is not of the class.
#define DYNAMIC_DOWNCAST(class_name, object)                                                       \
    (static_cast<class_name*>(AfxDynamicDownCast(RUNTIME_CLASS(class_name), object)))
CObject* AfxDynamicDownCast(CRuntimeClass* cls, CObject* object);

// ---------------------------------------------------------------------------
// Collections. Indexes out of range throw std::out_of_range (the library code
// computes them from outside data); SetAtGrow and SetSize grow the array.
template <class TYPE, class ARG_TYPE = const TYPE&> class CArray : public CObject {
  public:
    INT_PTR GetSize() const { return static_cast<INT_PTR>(v_.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    BOOL IsEmpty() const { return v_.empty(); }
    void SetSize(INT_PTR newSize, INT_PTR /*growBy*/ = -1) {
        v_.resize(newSize > 0 ? static_cast<size_t>(newSize) : 0);
    }
    void RemoveAll() { v_.clear(); }
    void FreeExtra() { v_.shrink_to_fit(); }
    const TYPE& GetAt(INT_PTR i) const { return v_.at(Index(i)); }
    TYPE& ElementAt(INT_PTR i) { return v_.at(Index(i)); }
    void SetAt(INT_PTR i, ARG_TYPE e) { v_.at(Index(i)) = e; }
    const TYPE& operator[](INT_PTR i) const { return GetAt(i); }
    TYPE& operator[](INT_PTR i) { return ElementAt(i); }
    TYPE* GetData() { return v_.data(); }
    const TYPE* GetData() const { return v_.data(); }
    void SetAtGrow(INT_PTR i, ARG_TYPE e) {
        if (i < 0) throw std::out_of_range("CArray index");
        if (static_cast<size_t>(i) >= v_.size()) v_.resize(static_cast<size_t>(i) + 1);
        v_[static_cast<size_t>(i)] = e;
    }
    INT_PTR Add(ARG_TYPE e) {
        v_.push_back(e);
        return GetUpperBound();
    }
    INT_PTR Append(const CArray& other) {
        INT_PTR first = GetSize();
        v_.insert(v_.end(), other.v_.begin(), other.v_.end());
        return first;
    }
    void Copy(const CArray& other) { v_ = other.v_; }
    // Inserting past the end grows the array up to the index, as SetAtGrow does.
    void InsertAt(INT_PTR i, ARG_TYPE e, INT_PTR count = 1) {
        if (i < 0 || count < 0) throw std::out_of_range("CArray index");
        if (static_cast<size_t>(i) > v_.size()) v_.resize(static_cast<size_t>(i));
        v_.insert(v_.begin() + i, static_cast<size_t>(count), e);
    }
    void RemoveAt(INT_PTR i, INT_PTR count = 1) {
        if (i < 0 || count < 0 || static_cast<size_t>(i + count) > v_.size())
            throw std::out_of_range("CArray range");
        v_.erase(v_.begin() + i, v_.begin() + i + count);
    }

  private:
    size_t Index(INT_PTR i) const {
        if (i < 0 || static_cast<size_t>(i) >= v_.size()) throw std::out_of_range("CArray index");
        return static_cast<size_t>(i);
    }
    std::vector<TYPE> v_;
};

class CStringArray : public CArray<CString, LPCWSTR> {};
class CPtrArray : public CArray<void*, void*> {};
class CObArray : public CArray<CObject*, CObject*> {};
class CDWordArray : public CArray<DWORD, DWORD> {};
class CWordArray : public CArray<WORD, WORD> {};
class CUIntArray : public CArray<UINT, UINT> {};
class CByteArray : public CArray<BYTE, BYTE> {};

// A map with ordered keys. A POSITION stays valid while its entry is in the map.
template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE> class CMap : public CObject {
  public:
    INT_PTR GetCount() const { return static_cast<INT_PTR>(m_.size()); }
    INT_PTR GetSize() const { return GetCount(); }
    BOOL IsEmpty() const { return m_.empty(); }
    BOOL Lookup(ARG_KEY key, VALUE& value) const {
        auto it = m_.find(KEY(key));
        if (it == m_.end()) return FALSE;
        value = it->second;
        return TRUE;
    }
    VALUE& operator[](ARG_KEY key) { return m_[KEY(key)]; }
    void SetAt(ARG_KEY key, ARG_VALUE value) { m_[KEY(key)] = value; }
    BOOL RemoveKey(ARG_KEY key) { return m_.erase(KEY(key)) != 0; }
    void RemoveAll() { m_.clear(); }
    POSITION GetStartPosition() const { return m_.empty() ? nullptr : Pos(m_.begin()); }
    void GetNextAssoc(POSITION& pos, KEY& key, VALUE& value) const {
        auto* entry = static_cast<const typename Map::value_type*>(pos);
        if (!entry) throw std::out_of_range("CMap position");
        key = entry->first;
        value = entry->second;
        auto next = m_.upper_bound(entry->first);
        pos = next == m_.end() ? nullptr : Pos(next);
    }

  private:
    using Map = std::map<KEY, VALUE>;
    static POSITION Pos(typename Map::const_iterator it) {
        return const_cast<typename Map::value_type*>(&*it);
    }
    Map m_;
};

// Keys compare case-sensitively, as the framework's own string map does.
class CMapStringToPtr : public CMap<CString, LPCWSTR, void*, void*> {};
class CMapStringToString : public CMap<CString, LPCWSTR, CString, LPCWSTR> {};
class CMapStringToOb : public CMap<CString, LPCWSTR, CObject*, CObject*> {};
class CMapPtrToPtr : public CMap<void*, void*, void*, void*> {};
class CMapWordToPtr : public CMap<WORD, WORD, void*, void*> {};
