// Shared between Devprobe's source files.
#pragma once

#include <string>

#include "win/types.h"

namespace devprobe {

// Runs an export's body; no exception leaves the library.
template <class Result, class Body> Result Guard(Result failure, Body&& body) {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// Devprobe's string table.
std::string String(int id);

// The finisher's model text, or the outer-tray code when a bin is named "Outer".
bool FinisherText(LPCSTR host, std::string* text);

} // namespace devprobe
