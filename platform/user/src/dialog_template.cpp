// Reading dialog templates, old and extended, within their size.
#include "platform/dialog_template.h"

#include <cstring>

namespace platform::user {
namespace {

constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kOrdinalMark = 0xFFFF;
constexpr DWORD kSetFont = 0x40; // DS_SETFONT; DS_SHELLFONT includes it
// More items than any template can hold in 64 KiB: a count beyond it is junk.
constexpr size_t kMostItems = 65535;

class Cursor {
  public:
    Cursor(const BYTE* p, size_t n) : p_(p), n_(n) {}
    bool Skip(size_t k) {
        if (k > n_ - at_) return false;
        at_ += k;
        return true;
    }
    template <class T> bool Get(T* out) {
        if (sizeof(T) > n_ - at_) return false;
        std::memcpy(out, p_ + at_, sizeof(T));
        at_ += sizeof(T);
        return true;
    }
    bool Align4() {
        size_t next = (at_ + 3) & ~size_t{3};
        if (next > n_) return false;
        at_ = next;
        return true;
    }
    bool String(std::u16string* out) {
        out->clear();
        for (;;) {
            WORD c;
            if (!Get(&c)) return false;
            if (c == 0) return true;
            out->push_back(static_cast<char16_t>(c));
        }
    }
    // A name or ordinal: 0x0000 none, 0xFFFF then an ordinal, else a string.
    bool NameOrOrdinal(res::ResId* out) {
        WORD first;
        if (!Get(&first)) return false;
        *out = {};
        if (first == 0) return true;
        if (first == kOrdinalMark) return Get(&out->ordinal);
        at_ -= 2;
        out->isOrdinal = false;
        return String(&out->text);
    }
    bool Bytes(size_t k, std::vector<BYTE>* out) {
        if (k > n_ - at_) return false;
        out->assign(p_ + at_, p_ + at_ + k);
        at_ += k;
        return true;
    }
    size_t At() const { return at_; }

  private:
    const BYTE* p_;
    size_t n_;
    size_t at_ = 0;
};

bool Fail(std::string* error, const char* what, size_t at) {
    *error = std::string(what) + " at offset " + std::to_string(at);
    return false;
}

} // namespace

bool ReadDialogTemplate(const BYTE* data, size_t size, DialogTemplateData* out,
                        std::string* error) {
    *out = {};
    Cursor c(data, size);
    WORD version = 0, signature = 0;
    if (size >= 4) {
        std::memcpy(&version, data, 2);
        std::memcpy(&signature, data + 2, 2);
    }
    out->extended = version == 1 && signature == kExtendedSignature;
    WORD count = 0;
    bool ok = true;
    if (out->extended) {
        ok = c.Skip(4) && c.Get(&out->helpId) && c.Get(&out->exStyle) && c.Get(&out->style);
    } else {
        ok = c.Get(&out->style) && c.Get(&out->exStyle);
    }
    ok = ok && c.Get(&count) && c.Get(&out->x) && c.Get(&out->y) && c.Get(&out->cx) &&
         c.Get(&out->cy);
    if (!ok) return Fail(error, "dialog header cut short", c.At());
    if (!c.NameOrOrdinal(&out->menu) || !c.NameOrOrdinal(&out->windowClass) ||
        !c.String(&out->title))
        return Fail(error, "dialog menu, class or title cut short", c.At());
    if (out->style & kSetFont) {
        out->hasFont = true;
        ok = c.Get(&out->pointSize);
        if (ok && out->extended)
            ok = c.Get(&out->weight) && c.Get(&out->italic) && c.Get(&out->charset);
        if (!ok || !c.String(&out->face)) return Fail(error, "dialog font cut short", c.At());
    }
    if (count > kMostItems) return Fail(error, "too many items", 0);
    out->items.reserve(count);
    for (WORD i = 0; i < count; ++i) {
        DialogItemTemplate item;
        if (!c.Align4()) return Fail(error, "item cut short", c.At());
        if (out->extended) {
            ok = c.Get(&item.helpId) && c.Get(&item.exStyle) && c.Get(&item.style) &&
                 c.Get(&item.x) && c.Get(&item.y) && c.Get(&item.cx) && c.Get(&item.cy) &&
                 c.Get(&item.id);
        } else {
            WORD id = 0;
            ok = c.Get(&item.style) && c.Get(&item.exStyle) && c.Get(&item.x) && c.Get(&item.y) &&
                 c.Get(&item.cx) && c.Get(&item.cy) && c.Get(&id);
            item.id = id;
        }
        if (!ok) return Fail(error, "item header cut short", c.At());
        if (!c.NameOrOrdinal(&item.windowClass) || !c.NameOrOrdinal(&item.title))
            return Fail(error, "item class or title cut short", c.At());
        WORD extra = 0;
        if (!c.Get(&extra)) return Fail(error, "item creation data cut short", c.At());
        // An old template's count includes the count word itself when non-zero.
        size_t dataBytes = extra;
        if (!out->extended && extra >= 2) dataBytes = extra - 2;
        if (!c.Bytes(dataBytes, &item.creationData))
            return Fail(error, "item creation data cut short", c.At());
        out->items.push_back(std::move(item));
    }
    out->length = c.At();
    return true;
}

} // namespace platform::user
