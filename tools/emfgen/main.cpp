// emfgen: writes the sample documents into a folder.
//   emfgen FOLDER    writes lines.emf, shapes.emf, fills.emf, clipping.emf, pictures.emf,
//                    brochure/page-1.emf, brochure/page-2.emf and the text pages
//                    text/letter.emf, text/table.emf, text/japanese.emf under FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sample_documents.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: emfgen FOLDER\n");
        return 2;
    }
    std::filesystem::path folder = argv[1];
    for (const auto& [name, bytes] : emfgen::SampleDocuments()) {
        std::filesystem::path path = folder / name;
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "emfgen: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
    }
    return 0;
}
