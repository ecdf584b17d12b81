// Shared between Devprobe's source files.
#pragma once

#include <string>

#include "devcomm/devprobe.h"
#include "devcomm/export_guard.h"
#include "win/types.h"

namespace devprobe {

using devcomm::Guard;

// Devprobe's string table.
std::string String(int id);

// The finisher's model text, or the outer-tray code when a bin is named "Outer".
bool FinisherText(LPCSTR host, std::string* text);

} // namespace devprobe
