// Helpers of the model library tests: sample models and sources, fixtures
// compiled on the fly, and queries asked the way callers ask them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model_compiler.h"
#include "win/types.h"

namespace model_test {

using Bytes = std::vector<std::uint8_t>;

// A compiled sample model (build/<preset>/models/NAME.DAT) and its source.
Bytes SampleModel(const std::string& name);
nlohmann::json SampleSource(const std::string& name);

// Compiles a source (at a version other than its own when format is nonzero).
Bytes Build(const nlohmann::json& source, int format = 0);
Bytes Build(const nlohmann::json& source, const modelc::Options& options);

// A small source with only the given codes.
nlohmann::json SourceWith(int format, const nlohmann::json& codes);

struct Answer {
    DWORD result = 0;
    DWORD length = 0; // the size the size call answered (or the data call's *length)
    DWORD count = 0;
    Bytes data;

    std::int16_t I16(std::size_t off) const;
    std::uint32_t U32(std::size_t off) const;
    std::string Text(std::size_t off, std::size_t max) const;
};

// Asks in two calls: size, then data into a zero-filled block of that size.
// A failing size call is returned as it stands.
Answer Ask(const Bytes& model, int code, int index, int layout);

// The block handed to Modelsmith: exactly the bytes of the file, so that the
// sanitizer catches any read past its stated size.
DWORD Query(const Bytes& model, int code, int index, int layout, void* out, DWORD* length,
            DWORD* count);

} // namespace model_test
