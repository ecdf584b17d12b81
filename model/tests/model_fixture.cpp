#include "model_fixture.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "model/modelsmith.h"

namespace model_test {

Bytes SampleModel(const std::string& name) {
    std::string path = std::string(PKG_MODELS_DIR) + "/" + name + ".DAT";
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("missing sample model " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

nlohmann::json SampleSource(const std::string& name) {
    return modelc::LoadSource(std::string(PKG_SOURCE_DIR) + "/samples/models/" + name + ".json");
}

Bytes Build(const nlohmann::json& source, int format) {
    modelc::Options o;
    o.format = format;
    return modelc::Compile(source, o);
}

Bytes Build(const nlohmann::json& source, const modelc::Options& options) {
    return modelc::Compile(source, options);
}

nlohmann::json SourceWith(int format, const nlohmann::json& codes) {
    return nlohmann::json{{"format", format}, {"codes", codes}};
}

std::int16_t Answer::I16(std::size_t off) const {
    std::int16_t v = 0;
    if (off + 2 <= data.size()) std::memcpy(&v, data.data() + off, 2);
    return v;
}
std::uint32_t Answer::U32(std::size_t off) const {
    std::uint32_t v = 0;
    if (off + 4 <= data.size()) std::memcpy(&v, data.data() + off, 4);
    return v;
}
std::string Answer::Text(std::size_t off, std::size_t max) const {
    std::string s;
    for (std::size_t i = off; i < off + max && i < data.size() && data[i]; ++i)
        s += static_cast<char>(data[i]);
    return s;
}

DWORD Query(const Bytes& model, int code, int index, int layout, void* out, DWORD* length,
            DWORD* count) {
    // A heap block of exactly the file's size.
    std::vector<std::uint8_t> block(model.begin(), model.end());
    block.shrink_to_fit();
    return model::GetMyPrinterInfo(block.data(), code, index, layout, out, length, count);
}

Answer Ask(const Bytes& model, int code, int index, int layout) {
    Answer a;
    DWORD length = 0, count = 0xDEAD;
    a.result = Query(model, code, index, layout, nullptr, &length, &count);
    a.length = length;
    if (a.result != 0) {
        a.count = count;
        return a;
    }
    a.data.assign(length, 0);
    count = 0xDEAD;
    a.result = Query(model, code, index, layout, a.data.empty() ? nullptr : a.data.data(), &length,
                     &count);
    if (a.data.empty() && a.result == 0) count = 0;
    a.count = count;
    return a;
}

} // namespace model_test
