// The exports of Sheetwright.DLL. The library's entry (DllMain) is the class
// framework's: it sets the module state and starts the application object
// (sheet_exports.cpp).
#include "win/base.h"
