// A module for the loader tests with neither DllMain nor an ordinal table.
#include "win/types.h"

DLLEXPORT int WINAPI PlainValue(void) {
    return 42;
}
