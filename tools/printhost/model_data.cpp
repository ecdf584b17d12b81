// The check that a file is model data the model library reads, shared by the
// subcommands that take a model data file.
#include "command.h"
#include "model/modelsmith.h"
#include "win/errors.h"

namespace printhost {
namespace {

// The header's stated size (u32 at 4) and the bytes of the header itself.
constexpr std::size_t kStatedSizeAt = 4;
constexpr std::size_t kHeaderBytes = 24;
// A query every model file answers or refuses by its tables; a header the
// library does not accept fails it with ERROR_INVALID_DATA first.
constexpr int kProbeCode = 1;

std::uint32_t StatedSize(const std::vector<std::uint8_t>& d) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | d[kStatedSizeAt + static_cast<std::size_t>(i)];
    return v;
}

} // namespace

std::string ModelDataProblem(const std::vector<std::uint8_t>& data) {
    if (data.size() < kHeaderBytes)
        return "it holds " + std::to_string(data.size()) +
               " bytes, too few for a model data file's header";
    std::uint32_t stated = StatedSize(data);
    if (stated > data.size())
        return "its header states " + std::to_string(stated) + " bytes but the file holds " +
               std::to_string(data.size());
    DWORD length = 0, count = 0;
    if (model::GetMyPrinterInfo(data.data(), kProbeCode, 0, 0, nullptr, &length, &count) ==
        ERROR_INVALID_DATA)
        return "the model library does not accept its header (not a model data file, or one of a "
               "format it does "
               "not read)";
    return {};
}

} // namespace printhost
