// One way for every settings file that several processes may rewrite at once
// (INI files, the output-file list, profile stores, watermark and substitution
// files): the read-modify-write runs under a lock shared by all processes, and
// the new text replaces the old in one rename, so a reader sees the old file
// or the new one and a writer never loses another writer's change.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace platform {

// Holds the inter-process lock of one settings file while it lives.
//
//   platform::SettingsFile file(path);
//   if (!file.locked()) return FALSE;        // last error says why
//   std::string bytes;
//   if (!file.Read(&bytes, kMaxThisFormat) && GetLastError() != ERROR_FILE_NOT_FOUND)
//       return FALSE;
//   ... change bytes ...
//   return file.Replace(bytes);
//
// The lock covers the file's folder (an advisory lock that every writer
// through this class takes), so a holder must not write another settings file
// of the same folder meanwhile. Temporary files of writers that were killed
// half way are removed when the next writer takes the lock.
class SettingsFile {
  public:
    // Takes the lock, waiting for another writer to finish. The folder must exist.
    explicit SettingsFile(std::u16string_view windowsPath);
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    // False when the name is bad or the folder cannot be locked; the last error says why.
    bool locked() const { return lockFd_ >= 0; }
    const std::u16string& windowsPath() const { return windowsPath_; }

    // The file's whole contents. False with ERROR_FILE_NOT_FOUND for a file
    // that is not there (bytes is then empty), or another error. A file larger
    // than maxSize, the largest file of its format, is refused with
    // ERROR_INVALID_DATA before a byte of it is read.
    [[nodiscard]] bool Read(std::string* bytes, unsigned long long maxSize) const;
    // Writes bytes to a new file of a unique name beside the file, flushes it
    // and renames it over the file (keeping its hidden and system marks). On
    // failure the file is untouched and the last error says why.
    [[nodiscard]] bool Replace(std::string_view bytes);

  private:
    void RemoveLeftovers() const;

    std::u16string windowsPath_;
    std::string host_;
    std::string folder_;
    int lockFd_ = -1;
};

} // namespace platform
