// The profile store's file format: the current chunked layout (written) and
// the older fixed layout (read, then converted), with one bounds-checked
// reader that turns a whole file into records. Every number is little-endian;
// names and comments are ANSI, zero-filled in their fields; a stored device
// mode is the driver's ANSI form (156 + 1100 bytes).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "devmode_private.h"
#include "win/types.h"

namespace sheetwright {

// One profile as the store lists it (and as the page and the name dialog pass
// it around).
#pragma pack(push, 1)
struct ProfileEntry {
    CHAR name[64];
    CHAR comment[128];
    DWORD profileFlags;
    DWORD reserved1;
    DWORD devmodeLength; // 1256 in the current layout; the stored length in the older one
    DWORD reserved2;
};
#pragma pack(pop)
static_assert(sizeof(ProfileEntry) == 208);
static_assert(offsetof(ProfileEntry, comment) == 64);
static_assert(offsetof(ProfileEntry, profileFlags) == 192);
static_assert(offsetof(ProfileEntry, devmodeLength) == 200);

// Profile flags bit 0: paper size and orientation are not part of the profile.
inline constexpr DWORD kProfileKeepsPaper = 0x1;

// Error codes of a store (0: none).
enum ProfileError : DWORD {
    kProfileOk = 0,
    kProfileBadMagic = 1,       // older layout: no "ZORP"
    kProfileBadHeadSize = 2,    // head size not 52 / head part size not 16
    kProfileOtherModel = 3,     // model or family name of another printer
    kProfileBadVersion = 4,     // format version not 3 / not 9
    kProfileForeignDevmode = 5, // a stored device mode that is not the driver's
    kProfileCannotOpen = 6,     // the file cannot be opened
    kProfileCannotCreate = 7,   // the new file cannot be made beside the store
    kProfileMalformed = 8,      // read failure, malformed or damaged chunk
    kProfileWriteFailed = 9,    // the new file cannot be written or put in place
    kProfileShortRecord = 10,   // older layout: short record head or empty device mode
    // The store's path (or what it names) is a link or not a plain file: it is
    // refused rather than followed. The page shows it as "not a profile data
    // for your printer", the message its table gives code 11.
    kProfileRefusedPath = 11,
};

namespace profile_format {

inline constexpr char kMagic[4] = {'Z', 'O', 'R', 'P'};
inline constexpr char kTagHead[4] = {'h', 'e', 'a', '-'};
inline constexpr char kTagRecord[4] = {'i', 'n', 'f', '-'};
inline constexpr char kTagEnd[4] = {'e', 'o', 'f', '-'};

// Current layout.
inline constexpr DWORD kFileHeadSize = 16;
inline constexpr DWORD kFormatVersion = 9;
inline constexpr DWORD kChunkHeadSize = 8;
inline constexpr DWORD kHeadPartSize = 16;
// Header chunk body: head part, model name, family name, settings version, reserved.
inline constexpr DWORD kModelNameAt = 16, kFamilyNameAt = 32, kNameField = 16;
inline constexpr DWORD kHeadChunkSize = 72;
inline constexpr DWORD kRecordHeadSize = 208;
inline constexpr DWORD kDevmodeLength = DEVMODEA_SIZE + PRIVATE_DEVMODE_SIZE; // 1256
// A record chunk shorter than this holds no device mode at all.
inline constexpr DWORD kSmallestRecordChunk = 217;
inline constexpr DWORD kCurrentSettingsVersion = 0x100000;
// The largest store read. The format bounds neither the record count nor a
// device mode's length; a profile is a 1,472-byte chunk, so this holds more
// than 11,000 of them, far beyond any person's list.
inline constexpr unsigned long long kMaxStoreSize = 16ull << 20;

// Older layout.
inline constexpr DWORD kLegacyHeadSize = 52;
inline constexpr DWORD kLegacyVersion = 3;
inline constexpr DWORD kLegacySettingsVersionAt = 48;
inline constexpr DWORD kLegacyShortRecordHead = 200;
inline constexpr DWORD kLegacyShortLengthAt = 196;
inline constexpr DWORD kLegacyLongLengthAt = 200;

// The device mode's standard-part fields the reader looks at (DEVMODEA).
inline constexpr size_t kDmSizeAt = 36, kDmDriverExtraAt = 38;
// A standard part that stops before dmDriverExtra cannot be taken apart.
inline constexpr size_t kSmallestStandardPart = 40;

#pragma pack(push, 1)
struct FileHead {
    char magic[4];
    DWORD reserved1;
    DWORD formatVersion;
    DWORD reserved2;
};
struct ChunkHead {
    char tag[4];
    DWORD size; // counts the chunk head itself
};
struct HeadChunkBody {
    DWORD headPartSize;
    DWORD formatVersion;
    DWORD recordCount;
    DWORD reserved;
    char modelName[16];
    char familyName[16];
    DWORD settingsVersion;
    BYTE reserved2[12];
};
struct RecordHead {
    DWORD recordHeadSize;
    DWORD profileFlags;
    BYTE reserved[8];
    char name[64];
    char comment[128];
};
struct LegacyHead {
    char magic[4];
    DWORD headSize;
    DWORD formatVersion;
    DWORD recordCount;
    char modelName[16];
    char familyName[16];
    DWORD settingsVersion;
};
#pragma pack(pop)
static_assert(sizeof(FileHead) == 16 && offsetof(FileHead, formatVersion) == 8);
static_assert(sizeof(ChunkHead) == 8 && offsetof(ChunkHead, size) == 4);
static_assert(sizeof(HeadChunkBody) + sizeof(ChunkHead) == kHeadChunkSize);
static_assert(offsetof(HeadChunkBody, recordCount) == 8);
static_assert(offsetof(HeadChunkBody, modelName) == kModelNameAt);
static_assert(offsetof(HeadChunkBody, familyName) == kFamilyNameAt);
static_assert(offsetof(HeadChunkBody, settingsVersion) == kHeadPartSize + 32);
static_assert(sizeof(RecordHead) == kRecordHeadSize && offsetof(RecordHead, name) == 16 &&
              offsetof(RecordHead, comment) == 80);
static_assert(sizeof(LegacyHead) == kLegacyHeadSize &&
              offsetof(LegacyHead, settingsVersion) == kLegacySettingsVersionAt &&
              offsetof(LegacyHead, modelName) == 16 && offsetof(LegacyHead, familyName) == 32);

} // namespace profile_format

// The names a store must carry to be this model's: the model name, the other
// names the model answers to, and the family name, each in the form the
// fields hold (at most 15 characters).
struct StoreModelNames {
    std::string model;
    std::vector<std::string> otherModels;
    std::string family;
};

// One record of a store as read.
struct StoredProfile {
    ProfileEntry entry{};
    // The driver's device mode, normalised to 156 + 1100 bytes; only for an
    // accepted record.
    bool accepted = false;
    DEVMODE_IMAGEA devmode{};
    // The record's bytes as an "inf-" chunk of the current layout: the file's
    // own chunk, or one made from an older record. A record that is not
    // accepted is written back with exactly these bytes.
    std::string chunk;
};

// A whole store file taken apart.
struct StoreImage {
    bool legacy = false;
    DWORD settingsVersion = profile_format::kCurrentSettingsVersion;
    std::vector<StoredProfile> records;
    // The first failure met (0 when none); reading goes on past a record
    // that is not accepted.
    DWORD error = kProfileOk;
    // The file holds bytes that could not be read as records (a damaged
    // chunk, records cut short): a rewrite would lose them, so none is made.
    bool damaged = false;
    // The file's head could not be taken (wrong magic, version, model): no
    // record was read and the file is never rewritten.
    bool refused = false;
};

// Takes a whole file apart. Never reads outside `bytes`.
StoreImage ParseProfileStore(std::string_view bytes, const StoreModelNames& names);

// The current layout: file head, header chunk with the given settings
// version and the records' count, the records' chunks, "eof-".
std::string WriteProfileStore(const StoreModelNames& names, DWORD settingsVersion,
                              const std::vector<const StoredProfile*>& records);

// The "inf-" chunk of an accepted profile.
std::string MakeRecordChunk(const ProfileEntry& entry, const DEVMODE_IMAGEA& devmode);

// A fixed-width text field as a string: up to its first zero, never past the field.
std::string FieldText(const char* field, size_t width);
// Fills a fixed-width field with text, zero-filled; text that does not fit
// is cut at a character boundary of the system's code page, leaving room
// for the terminating zero.
void SetFieldText(char* field, size_t width, std::string_view text);
// Case-insensitive comparison of two ANSI names as the system compares them.
bool SameProfileName(std::string_view a, std::string_view b);

} // namespace sheetwright
