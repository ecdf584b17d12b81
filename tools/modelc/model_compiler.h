// The model data compiler: a readable JSON model source becomes a model data
// file ("NKSP") in the record shapes of any format version from 257 to 303,
// optionally broken on purpose for tests.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace modelc {

struct Options {
    int format = 0;        // record shapes of this version (0: the source's "format")
    int headerFormat = 0;  // write this number as the format version (e.g. 256 or 304) instead
    int minor = -1;        // minor version (-1: the source's)
    bool badMagic = false; // write "NKSQ" instead of "NKSP"
    int slotPastTable = 0; // end the offset table just before this code's slot
    int slotPastEnd = 0;   // point this code's slot at the end of the file
    int hugeCount = 0;     // give this code's record an entry count of 0x7FFFFFFF
    int unterminated = 0;  // put this string code's record last, without its NUL
    int drop = 0;          // leave this code out
    long truncate = -1;    // cut the file (and its stated size) to this many bytes
};

class CompileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Compiles a source; throws CompileError on a source it cannot write.
std::vector<std::uint8_t> Compile(const nlohmann::json& source, const Options& options = {});

// Reads a JSON source file (comments allowed); throws CompileError. A source
// with "base": "OTHER.json" (beside it) is that source with the codes it
// states replaced and its other top-level fields put over the base's.
nlohmann::json LoadSource(const std::string& path);

// A number from the source: a JSON number, or a string "0x..." or decimal.
std::uint32_t Number(const nlohmann::json& j);

} // namespace modelc
