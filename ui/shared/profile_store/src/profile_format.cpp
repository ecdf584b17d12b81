// The profile store's reader and writer. Every size is checked against what
// is left before it is used: chunk sizes against the rest of the file, a
// record's head against its chunk, the device mode against its record.
#include "profile_format.h"

#include <algorithm>
#include <cstring>

#include "little_endian.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

using namespace profile_format;
using little_endian::ReadU16;
using little_endian::ReadU32;

// A bounded view of the bytes still to read.
class Cursor {
  public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
    size_t left() const { return bytes_.size() - at_; }
    size_t at() const { return at_; }
    const BYTE* here() const { return reinterpret_cast<const BYTE*>(bytes_.data()) + at_; }
    bool Skip(size_t n) {
        if (n > left()) return false;
        at_ += n;
        return true;
    }
    std::string_view Take(size_t n) {
        std::string_view out = bytes_.substr(at_, n);
        at_ += n;
        return out;
    }

  private:
    std::string_view bytes_;
    size_t at_ = 0;
};

bool SameTag(const BYTE* p, const char (&tag)[4]) {
    return std::memcmp(p, tag, 4) == 0;
}

// A field of the file against a name in the form the writer puts it there.
bool FieldHolds(const char* field, const std::string& name) {
    return FieldText(field, kNameField) == name;
}

DWORD CheckModel(const char* model, const char* family, const StoreModelNames& names) {
    bool modelOk = FieldHolds(model, names.model);
    for (const std::string& other : names.otherModels)
        modelOk = modelOk || FieldHolds(model, other);
    return modelOk && FieldHolds(family, names.family) ? kProfileOk : kProfileOtherModel;
}

// A stored device mode of `bytes` bytes, taken when it is the driver's:
// a standard part that reaches its dmDriverExtra and fits the image's, a
// private block of 1100 bytes inside the record, opening with the signature.
bool TakeDevmode(std::string_view bytes, DEVMODE_IMAGEA* out) {
    if (bytes.size() < kSmallestStandardPart) return false;
    const auto* p = reinterpret_cast<const BYTE*>(bytes.data());
    const size_t dmSize = ReadU16(p + kDmSizeAt);
    const size_t extra = ReadU16(p + kDmDriverExtraAt);
    if (extra != PRIVATE_DEVMODE_SIZE || dmSize < kSmallestStandardPart || dmSize > DEVMODEA_SIZE ||
        dmSize + extra > bytes.size())
        return false;
    if (ReadU32(p + dmSize) != PRIVATE_DEVMODE_SIGNATURE) return false;
    std::memset(out, 0, sizeof *out);
    std::memcpy(&out->dm, p, dmSize);
    std::memcpy(&out->priv, p + dmSize, PRIVATE_DEVMODE_SIZE);
    out->dm.dmSize = DEVMODEA_SIZE;
    out->dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    return true;
}

void Note(StoreImage* image, DWORD error) {
    if (image->error == kProfileOk) image->error = error;
}

void ParseCurrent(Cursor* in, const StoreModelNames& names, StoreImage* image) {
    in->Skip(kFileHeadSize);
    if (in->left() < kChunkHeadSize || !SameTag(in->here(), kTagHead)) {
        image->refused = true;
        return Note(image, kProfileMalformed);
    }
    const DWORD chunkSize = ReadU32(in->here() + 4);
    // The body must hold every field read from it, and lie inside the file.
    if (chunkSize < kHeadChunkSize - 12 || chunkSize > in->left()) {
        image->refused = true;
        return Note(image, kProfileMalformed);
    }
    const BYTE* body = in->here() + kChunkHeadSize;
    const DWORD headPart = ReadU32(body);
    if (headPart != kHeadPartSize) {
        image->refused = true;
        return Note(image, kProfileBadHeadSize);
    }
    if (ReadU32(body + 4) != kFormatVersion) {
        image->refused = true;
        return Note(image, kProfileBadVersion);
    }
    const DWORD count = ReadU32(body + 8);
    if (DWORD e = CheckModel(reinterpret_cast<const char*>(body + kModelNameAt),
                             reinterpret_cast<const char*>(body + kFamilyNameAt), names)) {
        image->refused = true;
        return Note(image, e);
    }
    image->settingsVersion = ReadU32(body + headPart + 32);
    in->Skip(chunkSize);

    // The count is believed only as far as the file holds whole records.
    for (DWORD i = 0; i < count; ++i) {
        if (in->left() < kChunkHeadSize || !SameTag(in->here(), kTagRecord)) break;
        const DWORD size = ReadU32(in->here() + 4);
        if (size < kSmallestRecordChunk || size > in->left()) break;
        std::string_view chunk = in->Take(size);
        const auto* c = reinterpret_cast<const BYTE*>(chunk.data());
        const DWORD headSize = ReadU32(c + kChunkHeadSize);
        StoredProfile record;
        record.chunk.assign(chunk);
        if (headSize >= offsetof(RecordHead, comment) + 128 && headSize <= size - kChunkHeadSize) {
            const auto* head = reinterpret_cast<const RecordHead*>(c + kChunkHeadSize);
            SetFieldText(record.entry.name, sizeof record.entry.name,
                         FieldText(head->name, sizeof head->name));
            SetFieldText(record.entry.comment, sizeof record.entry.comment,
                         FieldText(head->comment, sizeof head->comment));
            record.entry.profileFlags = ReadU32(c + kChunkHeadSize + 4);
            record.entry.devmodeLength = kDevmodeLength;
            record.accepted = TakeDevmode(chunk.substr(kChunkHeadSize + headSize), &record.devmode);
        }
        if (!record.accepted) Note(image, kProfileForeignDevmode);
        image->records.push_back(std::move(record));
    }
    // What follows the records must be the end mark and nothing else; more
    // records than counted or a damaged chunk would be lost by a rewrite.
    const bool cleanEnd =
        in->left() == 0 || (in->left() == kChunkHeadSize && SameTag(in->here(), kTagEnd) &&
                            ReadU32(in->here() + 4) == kChunkHeadSize);
    if (!cleanEnd || image->records.size() != count) {
        if (!cleanEnd) image->damaged = true;
        Note(image, kProfileMalformed);
    }
}

// An older record made into a current "inf-" chunk; its device mode bytes
// are carried as they are.
std::string LegacyChunk(const ProfileEntry& entry, std::string_view devmode) {
    std::string out(kChunkHeadSize + kRecordHeadSize, '\0');
    ChunkHead chunk{};
    std::memcpy(chunk.tag, kTagRecord, 4);
    chunk.size = static_cast<DWORD>(out.size() + devmode.size());
    RecordHead head{};
    head.recordHeadSize = kRecordHeadSize;
    head.profileFlags = entry.profileFlags;
    std::memcpy(head.name, entry.name, sizeof head.name);
    std::memcpy(head.comment, entry.comment, sizeof head.comment);
    std::memcpy(out.data(), &chunk, sizeof chunk);
    std::memcpy(out.data() + sizeof chunk, &head, sizeof head);
    out.append(devmode);
    return out;
}

void ParseLegacy(Cursor* in, const StoreModelNames& names, StoreImage* image) {
    image->legacy = true;
    if (in->left() < 4 || std::memcmp(in->here(), kMagic, 4) != 0) {
        image->refused = true;
        return Note(image, in->left() < 4 ? kProfileMalformed : kProfileBadMagic);
    }
    if (in->left() < kLegacyHeadSize) {
        image->refused = true;
        return Note(image, kProfileMalformed);
    }
    LegacyHead head;
    std::memcpy(&head, in->here(), sizeof head);
    if (head.headSize != kLegacyHeadSize) {
        image->refused = true;
        return Note(image, kProfileBadHeadSize);
    }
    if (head.formatVersion != kLegacyVersion) {
        image->refused = true;
        return Note(image, kProfileBadVersion);
    }
    if (DWORD e = CheckModel(head.modelName, head.familyName, names)) {
        image->refused = true;
        return Note(image, e);
    }
    image->settingsVersion = head.settingsVersion;
    in->Skip(kLegacyHeadSize);

    // The first record decides the head size: read as a 200-byte head, its
    // device mode's dmDriverExtra is the driver's only when that is right.
    DWORD recordHead = kRecordHeadSize;
    if (in->left() >= kLegacyShortRecordHead) {
        const DWORD length = ReadU32(in->here() + kLegacyShortLengthAt);
        const size_t after = in->left() - kLegacyShortRecordHead;
        if (length >= kSmallestStandardPart && length <= after &&
            ReadU16(in->here() + kLegacyShortRecordHead + kDmDriverExtraAt) == PRIVATE_DEVMODE_SIZE)
            recordHead = kLegacyShortRecordHead;
    }
    const DWORD lengthAt =
        recordHead == kLegacyShortRecordHead ? kLegacyShortLengthAt : kLegacyLongLengthAt;
    for (DWORD i = 0; i < head.recordCount; ++i) {
        if (in->left() < recordHead) {
            image->damaged = in->left() != 0;
            Note(image, kProfileShortRecord);
            break;
        }
        const BYTE* h = in->here();
        const DWORD length = ReadU32(h + lengthAt);
        if (length > in->left() - recordHead) {
            image->damaged = true;
            Note(image, kProfileMalformed);
            break;
        }
        StoredProfile record;
        SetFieldText(record.entry.name, sizeof record.entry.name,
                     FieldText(reinterpret_cast<const char*>(h), 64));
        SetFieldText(record.entry.comment, sizeof record.entry.comment,
                     FieldText(reinterpret_cast<const char*>(h + 64), 128));
        record.entry.profileFlags = ReadU32(h + 192);
        record.entry.devmodeLength = length;
        in->Skip(recordHead);
        std::string_view devmode = in->Take(length);
        // A record without a device mode carries no settings: it is no profile.
        if (length == 0) continue;
        record.accepted = TakeDevmode(devmode, &record.devmode);
        if (!record.accepted) Note(image, kProfileForeignDevmode);
        record.chunk = LegacyChunk(record.entry, devmode);
        image->records.push_back(std::move(record));
    }
    if (in->left() != 0 && !image->damaged) {
        // Bytes behind the counted records: kept by leaving the file as it is.
        image->damaged = true;
        Note(image, kProfileMalformed);
    }
}

} // namespace

std::string FieldText(const char* field, size_t width) {
    return std::string(field, strnlen(field, width));
}

void SetFieldText(char* field, size_t width, std::string_view text) {
    std::memset(field, 0, width);
    if (width == 0) return;
    // Walk by characters so that a double-byte character is kept whole or left out.
    size_t end = 0;
    while (end < text.size() && text[end] != '\0') {
        const size_t step =
            IsDBCSLeadByte(static_cast<BYTE>(text[end])) && end + 1 < text.size() ? 2 : 1;
        if (end + step > width - 1) break;
        end += step;
    }
    std::memcpy(field, text.data(), end);
}

bool SameProfileName(std::string_view a, std::string_view b) {
    const std::string x(a), y(b);
    return lstrcmpiA(x.c_str(), y.c_str()) == 0;
}

StoreImage ParseProfileStore(std::string_view bytes, const StoreModelNames& names) {
    StoreImage image;
    Cursor in(bytes);
    const bool current = bytes.size() >= kFileHeadSize &&
                         std::memcmp(bytes.data(), kMagic, 4) == 0 &&
                         ReadU32(reinterpret_cast<const BYTE*>(bytes.data()) + 8) >= kFormatVersion;
    if (current)
        ParseCurrent(&in, names, &image);
    else
        ParseLegacy(&in, names, &image);
    return image;
}

std::string MakeRecordChunk(const ProfileEntry& entry, const DEVMODE_IMAGEA& devmode) {
    std::string out = LegacyChunk(
        entry, std::string_view(reinterpret_cast<const char*>(&devmode), sizeof devmode));
    return out;
}

std::string WriteProfileStore(const StoreModelNames& names, DWORD settingsVersion,
                              const std::vector<const StoredProfile*>& records) {
    std::string out;
    auto put = [&out](const void* p, size_t n) { out.append(static_cast<const char*>(p), n); };
    FileHead file{};
    std::memcpy(file.magic, kMagic, 4);
    file.formatVersion = kFormatVersion;
    put(&file, sizeof file);
    ChunkHead chunk{};
    std::memcpy(chunk.tag, kTagHead, 4);
    chunk.size = kHeadChunkSize;
    put(&chunk, sizeof chunk);
    HeadChunkBody body{};
    body.headPartSize = kHeadPartSize;
    body.formatVersion = kFormatVersion;
    body.recordCount = static_cast<DWORD>(records.size());
    SetFieldText(body.modelName, sizeof body.modelName, names.model);
    SetFieldText(body.familyName, sizeof body.familyName, names.family);
    body.settingsVersion = settingsVersion;
    put(&body, sizeof body);
    for (const StoredProfile* record : records)
        out += record->chunk;
    std::memcpy(chunk.tag, kTagEnd, 4);
    chunk.size = kChunkHeadSize;
    put(&chunk, sizeof chunk);
    return out;
}

} // namespace sheetwright
