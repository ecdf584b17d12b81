// modelc: compiles a JSON model source into a model data file.
//
//   modelc SOURCE.json -o OUT [--format N] [--minor N]
//          [--header-format N] [--bad-magic] [--slot-past-table CODE] [--slot-past-end CODE]
//          [--huge-count CODE] [--unterminated CODE] [--drop CODE] [--truncate BYTES]
//
// The second group writes deliberately broken files for tests.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "model_compiler.h"

namespace {

int Usage() {
    std::fprintf(
        stderr,
        "usage: modelc SOURCE.json -o OUT [--format N] [--minor N]\n"
        "       broken files: [--header-format N] [--bad-magic] [--slot-past-table CODE]\n"
        "                     [--slot-past-end CODE] [--huge-count CODE] [--unterminated CODE]\n"
        "                     [--drop CODE] [--truncate BYTES]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string source, output;
    modelc::Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> long {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "modelc: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            char* end = nullptr;
            long v = std::strtol(argv[++i], &end, 0);
            if (!end || *end) {
                std::fprintf(stderr, "modelc: %s needs a number\n", a.c_str());
                std::exit(2);
            }
            return v;
        };
        if (a == "-o" && i + 1 < argc)
            output = argv[++i];
        else if (a == "--format")
            o.format = static_cast<int>(value());
        else if (a == "--minor")
            o.minor = static_cast<int>(value());
        else if (a == "--header-format")
            o.headerFormat = static_cast<int>(value());
        else if (a == "--bad-magic")
            o.badMagic = true;
        else if (a == "--slot-past-table")
            o.slotPastTable = static_cast<int>(value());
        else if (a == "--slot-past-end")
            o.slotPastEnd = static_cast<int>(value());
        else if (a == "--huge-count")
            o.hugeCount = static_cast<int>(value());
        else if (a == "--unterminated")
            o.unterminated = static_cast<int>(value());
        else if (a == "--drop")
            o.drop = static_cast<int>(value());
        else if (a == "--truncate")
            o.truncate = value();
        else if (a == "-h" || a == "--help")
            return Usage(), 0;
        else if (!a.empty() && a[0] != '-' && source.empty())
            source = a;
        else
            return Usage();
    }
    if (source.empty() || output.empty()) return Usage();
    try {
        std::vector<std::uint8_t> data = modelc::Compile(modelc::LoadSource(source), o);
        std::string tmp = output + ".tmp";
        {
            std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(data.data()),
                      static_cast<std::streamsize>(data.size()));
            if (!out) {
                std::fprintf(stderr, "modelc: cannot write %s\n", tmp.c_str());
                return 1;
            }
        }
        if (std::rename(tmp.c_str(), output.c_str()) != 0) {
            std::fprintf(stderr, "modelc: cannot rename %s to %s\n", tmp.c_str(), output.c_str());
            return 1;
        }
    } catch (const modelc::CompileError& e) {
        std::fprintf(stderr, "modelc: %s\n", e.what());
        return 1;
    }
    return 0;
}
