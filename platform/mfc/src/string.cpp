// CString: the string operations, the formatter and resource strings.
#include <algorithm>

#include "afxwin.h"
#include "win/resources.h"

namespace {

bool IsTrimSpace(WCHAR c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

bool InSet(WCHAR c, LPCWSTR set) {
    for (; *set; ++set)
        if (*set == c) return true;
    return false;
}

std::u16string Upper(std::u16string s) {
    if (!s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

std::u16string FromNarrow(const char* text, int length) {
    if (!text || length == 0) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::u16string out(n > 0 ? n : 0, u'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, length, out.data(), n);
    if (length < 0 && !out.empty()) out.pop_back(); // the converted NUL
    return out;
}

// Strings and characters are laid out here, so that a long argument is never
// cut; numbers go through the system formatter one conversion at a time.
void AppendPadded(std::u16string& out, std::u16string text, bool left, int width, int precision) {
    if (precision >= 0 && text.size() > static_cast<size_t>(precision)) text.resize(precision);
    size_t pad = width > 0 && text.size() < static_cast<size_t>(width) ? width - text.size() : 0;
    if (!left) out.append(pad, u' ');
    out += text;
    if (left) out.append(pad, u' ');
}

} // namespace

CString::CString(LPCSTR text) : s_(FromNarrow(text, -1)) {}

WCHAR CString::GetAt(int index) const {
    if (index < 0 || index >= GetLength()) throw std::out_of_range("CString index");
    return s_[index];
}

void CString::SetAt(int index, WCHAR ch) {
    if (index < 0 || index >= GetLength()) throw std::out_of_range("CString index");
    s_[index] = ch;
}

int CString::Compare(LPCWSTR other) const {
    return s_.compare(other ? other : u"");
}

int CString::CompareNoCase(LPCWSTR other) const {
    return Upper(s_).compare(Upper(other ? other : u""));
}

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(s_.substr(first, count));
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(s_.substr(s_.size() - count));
}

CString CString::SpanIncluding(LPCWSTR set) const {
    size_t n = 0;
    while (n < s_.size() && set && InSet(s_[n], set))
        ++n;
    return CString(s_.substr(0, n));
}

int CString::Find(WCHAR ch, int start) const {
    if (start < 0 || start >= GetLength()) return -1;
    size_t at = s_.find(ch, start);
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCWSTR sub, int start) const {
    if (!sub || start < 0 || start > GetLength()) return -1;
    size_t at = s_.find(sub, start);
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(WCHAR ch) const {
    size_t at = s_.rfind(ch);
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::FindOneOf(LPCWSTR set) const {
    if (!set) return -1;
    size_t at = s_.find_first_of(set);
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::Replace(LPCWSTR oldText, LPCWSTR newText) {
    if (!oldText || !*oldText) return 0;
    std::u16string from(oldText), to(newText ? newText : u"");
    int count = 0;
    for (size_t at = s_.find(from); at != std::u16string::npos;
         at = s_.find(from, at + to.size())) {
        s_.replace(at, from.size(), to);
        ++count;
    }
    return count;
}

int CString::Replace(WCHAR oldCh, WCHAR newCh) {
    int count = 0;
    for (auto& c : s_)
        if (c == oldCh) {
            c = newCh;
            ++count;
        }
    return count;
}

int CString::Remove(WCHAR ch) {
    size_t before = s_.size();
    std::erase(s_, ch);
    return static_cast<int>(before - s_.size());
}

int CString::Insert(int index, LPCWSTR text) {
    index = std::clamp(index, 0, GetLength());
    if (text) s_.insert(index, text);
    return GetLength();
}

int CString::Delete(int index, int count) {
    if (index >= 0 && index < GetLength() && count > 0) s_.erase(index, count);
    return GetLength();
}

CString& CString::TrimLeft(LPCWSTR set) {
    size_t n = 0;
    while (n < s_.size() && (set ? InSet(s_[n], set) : IsTrimSpace(s_[n])))
        ++n;
    s_.erase(0, n);
    return *this;
}

CString& CString::TrimRight(LPCWSTR set) {
    while (!s_.empty() && (set ? InSet(s_.back(), set) : IsTrimSpace(s_.back())))
        s_.pop_back();
    return *this;
}

CString& CString::MakeUpper() {
    s_ = Upper(s_);
    return *this;
}

CString& CString::MakeLower() {
    if (!s_.empty()) CharLowerBuffW(s_.data(), static_cast<DWORD>(s_.size()));
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(s_.begin(), s_.end());
    return *this;
}

void CString::FormatV(LPCWSTR format, va_list args) {
    std::u16string out;
    for (LPCWSTR p = format ? format : u""; *p;) {
        if (*p != u'%') {
            out += *p++;
            continue;
        }
        LPCWSTR start = p++;
        if (*p == u'%') {
            out += *p++;
            continue;
        }
        bool left = false;
        while (*p == u'-' || *p == u'#' || *p == u'0')
            left |= *p++ == u'-';
        int width = 0, precision = -1;
        while (*p >= u'0' && *p <= u'9' && width < 100000)
            width = width * 10 + (*p++ - u'0');
        if (*p == u'.') {
            precision = 0;
            ++p;
            while (*p >= u'0' && *p <= u'9' && precision < 100000)
                precision = precision * 10 + (*p++ - u'0');
        }
        int size = 0; // 0 default, 'h' narrow, 'l' wide, 64
        if (*p == u'h' || *p == u'l') {
            size = *p++;
        } else if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
            size = 64;
            p += 3;
        }
        WCHAR type = *p;
        if (!type) break;
        ++p;
        std::u16string conversion(start, p);
        WCHAR buf[1024];
        switch (type) {
        case u's':
        case u'S': {
            bool narrow = size == 'h' || (type == u'S' && size != 'l');
            std::u16string text;
            if (narrow) {
                const char* a = va_arg(args, const char*);
                text = a ? FromNarrow(a, -1) : u"(null)";
            } else {
                LPCWSTR w = va_arg(args, LPCWSTR);
                text = w ? w : u"(null)";
            }
            AppendPadded(out, std::move(text), left, width, precision);
            break;
        }
        case u'c':
        case u'C': {
            int c = va_arg(args, int);
            bool narrow = size == 'h' || (type == u'C' && size != 'l');
            char n = static_cast<char>(c);
            std::u16string text =
                narrow ? FromNarrow(&n, 1) : std::u16string(1, static_cast<WCHAR>(c));
            AppendPadded(out, std::move(text), left, width, -1);
            break;
        }
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
            if (size == 64)
                wsprintfW(buf, conversion.c_str(), va_arg(args, long long));
            else
                wsprintfW(buf, conversion.c_str(), va_arg(args, int));
            out += buf;
            break;
        case u'p':
            wsprintfW(buf, conversion.c_str(), va_arg(args, void*));
            out += buf;
            break;
        default: // not a conversion: shown as written, taking no argument
            out += conversion;
            break;
        }
    }
    s_ = std::move(out);
}

void CString::Format(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(LPCWSTR format, ...) {
    CString more;
    va_list args;
    va_start(args, format);
    more.FormatV(format, args);
    va_end(args);
    s_ += more.s_;
}

void CString::Format(UINT formatId, ...) {
    CString format;
    format.LoadString(formatId);
    va_list args;
    va_start(args, formatId);
    FormatV(format, args);
    va_end(args);
}

BOOL CString::LoadString(UINT id) {
    return LoadString(AfxGetResourceHandle(), id);
}

BOOL CString::LoadString(HINSTANCE module, UINT id) {
    // A full buffer may mean a longer string: grow until it fits.
    std::u16string buf(256, u'\0');
    for (;;) {
        int n = LoadStringW(module, id, buf.data(), static_cast<int>(buf.size()));
        if (n <= 0) {
            s_.clear();
            return FALSE;
        }
        if (static_cast<size_t>(n) < buf.size() - 1 || buf.size() >= 65536) {
            s_.assign(buf.data(), n);
            return TRUE;
        }
        buf.assign(buf.size() * 2, u'\0');
    }
}

LPWSTR CString::GetBuffer(int minLength) {
    if (minLength > GetLength()) s_.resize(minLength);
    return s_.data();
}

LPWSTR CString::GetBufferSetLength(int length) {
    s_.resize(length > 0 ? length : 0);
    return s_.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) newLength = static_cast<int>(std::u16string(s_.c_str()).size());
    s_.resize(std::min<size_t>(newLength, s_.size()));
}

std::string CString::ToNarrow(UINT codePage) const {
    if (s_.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, s_.data(), GetLength(), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(codePage, 0, s_.data(), GetLength(), out.data(), n, nullptr, nullptr);
    return out;
}
