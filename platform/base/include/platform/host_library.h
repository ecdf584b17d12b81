// Libraries of the host opened at their first use rather than at every
// process start: the font and picture libraries, which most jobs never call.
// Linked as needed libraries they would be loaded, and their procedure slots
// bound, by every process that loads the platform.
#pragma once

#include <cstddef>

namespace platform {

// Opens the library of that soname and finds each of the count names in it,
// into addresses. False, with nothing found, when the library or one of the
// names is missing; the reason is told on stderr. An opened library stays open
// for the process; each is opened once (see PLATFORM_HOST_LIBRARY), so that a
// missing one is told once.
bool OpenHostLibrary(const char* soname, const char* const* names, void** addresses,
                     std::size_t count);

} // namespace platform

// A table of typed pointers to the functions of a host library, listed as
// LIST(X) with X(name) for each function:
//
//   #define FREETYPE_FUNCTIONS(X) X(FT_Init_FreeType) X(FT_Done_Face)
//   PLATFORM_HOST_LIBRARY(FreeTypeLibrary, "libfreetype.so.6", FREETYPE_FUNCTIONS)
//
// declares `struct FreeTypeLibrary` with a member of each function's own type
// and `static const FreeTypeLibrary* Open()`: the table, bound at the first
// call, or null for good when the library cannot be used.
#define PLATFORM_HOST_POINTER(name) decltype(&::name) name = nullptr;
#define PLATFORM_HOST_NAME(name) #name,
#define PLATFORM_HOST_BIND(name) table.name = reinterpret_cast<decltype(&::name)>(addresses[i++]);
#define PLATFORM_HOST_LIBRARY(Type, soname, LIST)                                                  \
    struct Type {                                                                                  \
        LIST(PLATFORM_HOST_POINTER)                                                                \
        static const Type* Open() {                                                                \
            static const Type* const opened = []() -> const Type* {                                \
                static const char* const names[] = {LIST(PLATFORM_HOST_NAME)};                     \
                constexpr std::size_t count = sizeof names / sizeof names[0];                      \
                void* addresses[count];                                                            \
                if (!::platform::OpenHostLibrary(soname, names, addresses, count)) return nullptr; \
                static Type table;                                                                 \
                std::size_t i = 0;                                                                 \
                LIST(PLATFORM_HOST_BIND)                                                           \
                return &table;                                                                     \
            }();                                                                                   \
            return opened;                                                                         \
        }                                                                                          \
    };
