// fontconfig, opened when a process first asks for an installed font
// (StartFontconfig); every call on fontconfig comes after that.
#pragma once

#include <fontconfig/fontconfig.h>

#include "platform/host_library.h"

namespace platform::gdi {

#define FONTCONFIG_FUNCTIONS(X)                                                                    \
    X(FcCharSetHasChar)                                                                            \
    X(FcConfigSubstitute)                                                                          \
    X(FcDefaultSubstitute)                                                                         \
    X(FcFontList)                                                                                  \
    X(FcFontMatch)                                                                                 \
    X(FcFontSort)                                                                                  \
    X(FcFini)                                                                                      \
    X(FcFontSetDestroy)                                                                            \
    X(FcInit)                                                                                      \
    X(FcObjectSetBuild)                                                                            \
    X(FcObjectSetDestroy)                                                                          \
    X(FcPatternAddBool)                                                                            \
    X(FcPatternAddInteger)                                                                         \
    X(FcPatternAddString)                                                                          \
    X(FcPatternCreate)                                                                             \
    X(FcPatternDestroy)                                                                            \
    X(FcPatternGetBool)                                                                            \
    X(FcPatternGetCharSet)                                                                         \
    X(FcPatternGetInteger)                                                                         \
    X(FcPatternGetString)                                                                          \
    X(FcWeightToOpenType)
PLATFORM_HOST_LIBRARY(FontconfigLibrary, "libfontconfig.so.1", FONTCONFIG_FUNCTIONS)

// The table, once StartFontconfig has said yes.
inline const FontconfigLibrary& Fc() {
    return *FontconfigLibrary::Open();
}

} // namespace platform::gdi
