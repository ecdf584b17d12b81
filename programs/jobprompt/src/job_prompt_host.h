// Jobprompt.EXE's work: open the named shared memory block the graphics
// library filled, run the prompt or the prior-print check it asks for through
// Sheetwright, and write the answers back into the block. The block comes
// from another process, which can change it at any time: it is copied once
// into this process's memory, its sizes, offsets, names and device mode are
// checked on the copy and only the copy is used. The library is only ever
// the one of the printer's own driver folder, never a path the block names.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "win/types.h"

namespace jobprompt {

// The mapping name on a command line: everything after the program name
// (a quoted program path is one word) and the blanks behind it.
std::u16string_view MappingNameOf(std::u16string_view commandLine);

// Runs whatever the block named `name` asks; every failure is silent.
void RunJobPrompt(const std::u16string& name);

// The model data file read whole into a zero-filled GlobalAlloc block two
// bytes longer than the file, when its header holds; null otherwise, and for
// a file past model::kMaxModelDataBytes without reading any of it.
LPVOID LoadModelSpecFile(LPCWSTR path);

// For tests: runs once the block has been copied, so that a test can play
// the other process changing the block after that. Empty: nothing runs.
void SetBlockCopiedHook(std::function<void()> hook);

} // namespace jobprompt
