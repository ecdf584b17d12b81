// The system's message texts behind FormatMessage. The machine's messages
// are in English; each text ends with a line break, as the system's do.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/core.h"
#include "platform/codepage_ctl.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/system_messages.h"

namespace {

struct SystemMessage {
    DWORD id;
    const char* text;
};

// The errors the platform itself reports, with texts of our own wording.
const SystemMessage kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_INVALID_DATA, "The data is invalid."},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
    {ERROR_NO_MORE_FILES, "There are no more files."},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {ERROR_READ_FAULT, "The system cannot read from the specified device."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_HANDLE_DISK_FULL, "The disk is full."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BAD_PATHNAME, "The specified path is invalid."},
    {ERROR_BUSY, "The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_NOACCESS, "Invalid access to memory location."},
    {ERROR_INVALID_FLAGS, "Invalid flags."},
    {ERROR_FILE_INVALID,
     "The volume for a file has been externally altered so that the opened file is no longer "
     "valid."},
    {ERROR_CANCELLED, "The operation was canceled by the user."},
    {ERROR_NOT_ENOUGH_QUOTA, "Not enough quota is available to process this command."},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."},
    {ERROR_NOT_FOUND, "Element not found."},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
    {ERROR_INVALID_PRINTER_NAME, "The printer name is invalid."},
    {ERROR_UNKNOWN_PRINTER_DRIVER, "The printer driver is unknown."},
    {ERROR_PRINT_CANCELLED, "Your file waiting to be printed was deleted."},
};

const char* SystemText(DWORD id) {
    for (const auto& m : kMessages)
        if (m.id == id) return m.text;
    return nullptr;
}

// Whether the machine's (English) messages answer for this language.
bool EnglishAnswers(DWORD language) {
    if (language == 0) return true; // any language: the messages the machine has
    if (language == LANG_USER_DEFAULT)
        language = GetUserDefaultUILanguage();
    else if (language == LANG_SYSTEM_DEFAULT)
        language = GetSystemDefaultUILanguage();
    WORD primary = PRIMARYLANGID(language);
    return primary == LANG_ENGLISH || primary == LANG_NEUTRAL;
}

// The insert %n (1..99) from the caller's arguments, all of them strings.
bool Insert(unsigned n, bool wide, bool array, const void* args, std::u16string* out) {
    if (!args) return false;
    const void* s = nullptr;
    if (array) {
        s = static_cast<const void* const*>(args)[n - 1];
    } else {
        va_list copy;
        va_copy(copy, *static_cast<va_list*>(const_cast<void*>(args)));
        for (unsigned i = 0; i < n; ++i)
            s = va_arg(copy, const void*);
        va_end(copy);
    }
    if (!s) return false;
    *out += wide ? std::u16string(static_cast<const char16_t*>(s))
                 : platform::AnsiToWide(static_cast<const char*>(s));
    return true;
}

// Expands the escapes of a message: %1..%99 (with an optional "!s!" kind),
// %0 (ends without a line break), %%, %n, %t, %r, %. and %!. False when an
// insert has no argument.
bool Expand(const std::u16string& in, DWORD flags, bool wide, const void* args,
            std::u16string* out) {
    if (flags & FORMAT_MESSAGE_IGNORE_INSERTS) {
        *out = in;
        return true;
    }
    for (size_t i = 0; i < in.size(); ++i) {
        char16_t c = in[i];
        if (c != u'%' || i + 1 == in.size()) {
            *out += c;
            continue;
        }
        char16_t e = in[++i];
        if (e >= u'1' && e <= u'9') {
            unsigned n = e - u'0';
            if (i + 1 < in.size() && in[i + 1] >= u'0' && in[i + 1] <= u'9')
                n = n * 10 + (in[++i] - u'0');
            if (i + 1 < in.size() && in[i + 1] == u'!') { // a kind: only strings are taken
                size_t close = in.find(u'!', i + 2);
                if (close == std::u16string::npos) return false;
                i = close;
            }
            if (!Insert(n, wide, (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0, args, out))
                return false;
        } else if (e == u'0') {
            return true;
        } else if (e == u'n') {
            *out += u"\r\n";
        } else if (e == u't') {
            *out += u'\t';
        } else if (e == u'r') {
            *out += u'\r';
        } else {
            *out += e; // %% %. %! and others stand for the character itself
        }
    }
    return true;
}

// The message text for the flags, or the error to report.
DWORD Message(DWORD flags, LPCVOID source, DWORD id, DWORD language, bool wide, const void* args,
              std::u16string* out) {
    std::u16string text;
    if (flags & FORMAT_MESSAGE_FROM_STRING) {
        if (!source) return ERROR_INVALID_PARAMETER;
        text = wide ? std::u16string(static_cast<const char16_t*>(source))
                    : platform::AnsiToWide(static_cast<const char*>(source));
    } else if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
        // Only the system's numbers (facility 0) are described.
        const char* found = (id >> 16) == 0 ? SystemText(id) : nullptr;
        if (!found) return ERROR_MR_MID_NOT_FOUND;
        if (!EnglishAnswers(language)) return ERROR_RESOURCE_LANG_NOT_FOUND;
        text = platform::FromUtf8(found);
        text += u"\r\n";
    } else {
        return ERROR_INVALID_PARAMETER; // message tables of modules are not kept
    }
    if (!Expand(text, flags, wide, args, out)) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

// Hands the text over as FormatMessage does: into the caller's buffer of
// `size` characters, or a LocalAlloc'ed one of at least `size`.
template <class Char>
DWORD Deliver(const std::basic_string<Char>& text, DWORD flags, void* buffer, DWORD size) {
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t needed = text.size() + 1;
    Char* target = nullptr;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        size_t count = std::max<size_t>(needed, size);
        target = static_cast<Char*>(LocalAlloc(LMEM_FIXED, count * sizeof(Char)));
        if (!target) return 0;
        *static_cast<Char**>(buffer) = target;
    } else {
        if (needed > size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        target = static_cast<Char*>(buffer);
    }
    std::copy(text.begin(), text.end(), target);
    target[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

DWORD Format(DWORD flags, LPCVOID source, DWORD id, DWORD language, bool wide, void* buffer,
             DWORD size, const void* args) {
    try {
        if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER && buffer)
            *static_cast<void**>(buffer) = nullptr;
        std::u16string text;
        DWORD error = Message(flags, source, id, language, wide, args, &text);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return 0;
        }
        if (wide) return Deliver(text, flags, buffer, size);
        std::string ansi = platform::WideToAnsi(text);
        return Deliver(ansi, flags, buffer, size);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

} // namespace

extern "C" {

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPWSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    PLATFORM_FAULT_POINT("FormatMessageW", 0);
    return Format(dwFlags, lpSource, dwMessageId, dwLanguageId, true, lpBuffer, nSize, Arguments);
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    PLATFORM_FAULT_POINT("FormatMessageA", 0);
    return Format(dwFlags, lpSource, dwMessageId, dwLanguageId, false, lpBuffer, nSize, Arguments);
}

} // extern "C"
