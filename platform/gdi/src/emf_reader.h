// The bounds-checked reader of enhanced metafiles: a metafile is checked whole
// when it is made (header, then every record's size and place), and each
// record's own counts and offsets are checked against the record's size
// before use.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "win/emf.h"

namespace platform::gdi {

struct Metafile {
    std::vector<BYTE> bytes;     // nBytes of them
    ENHMETAHEADER header{};      // fields the header record does not have are 0
    UINT headerSize = 0;         // bytes of header fields the record has (88, 100 or 108)
    std::vector<size_t> records; // offsets: the header first, the end of file last when present
};

// A copy of data checked as a metafile; nullptr with ERROR_INVALID_DATA when
// it is not one.
std::shared_ptr<const Metafile> ReadMetafile(const BYTE* data, size_t size);
// The same over bytes the metafile then keeps, without a copy.
std::shared_ptr<const Metafile> ReadMetafile(std::vector<BYTE>&& bytes);

HENHMETAFILE AddMetafile(std::shared_ptr<const Metafile> mf);
std::shared_ptr<const Metafile> FindMetafile(HENHMETAFILE h);

// Reads inside one record of size bytes.
class RecordReader {
  public:
    RecordReader(const BYTE* record, size_t size) : p_(record), n_(size) {}
    size_t Size() const { return n_; }
    template <class T> bool Get(size_t offset, T* out) const {
        if (offset > n_ || sizeof(T) > n_ - offset) return false;
        std::memcpy(out, p_ + offset, sizeof(T));
        return true;
    }
    // True when count elements of elemSize bytes at offset lie in the record.
    bool Fits(size_t offset, unsigned long long count, size_t elemSize) const {
        return offset <= n_ && elemSize > 0 && count <= (n_ - offset) / elemSize;
    }
    const BYTE* At(size_t offset) const { return p_ + offset; }

  private:
    const BYTE* p_;
    size_t n_;
};

// "EMR_POLYLINE" and so on; "EMR_?" for a type without a name.
const char* RecordName(DWORD type);

} // namespace platform::gdi
