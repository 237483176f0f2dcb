// mkmodemdb: builds MODEMS.DAT from the readable catalogue source.
//   mkmodemdb <source.txt> <MODEMS.DAT>
// Writes with the same record writer the program uses; a bad source is refused with
// its file name and line number, and no output is written.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "config/ModemCatalogSource.h"
#include "config/ModemDatabase.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkmodemdb <source.txt> <MODEMS.DAT>\n");
        return 2;
    }
    const std::string sourcePath = argv[1];
    const std::string outputPath = argv[2];
    std::ifstream in(sourcePath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "mkmodemdb: cannot read %s\n", sourcePath.c_str());
        return 1;
    }
    // The catalogue is small; a source this large is not one.
    constexpr std::size_t kMaxSource = 4 * 1024 * 1024;
    std::string text;
    text.resize(kMaxSource + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxSource) {
        std::fprintf(stderr, "mkmodemdb: %s is larger than 4 MiB\n", sourcePath.c_str());
        return 1;
    }
    const zorv::CatalogParseResult parsed = zorv::ParseModemCatalog(text, sourcePath);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        return 1;
    }
    std::string error;
    if (!zorv::WriteModemDatabaseFile(outputPath, parsed.records, &error)) {
        std::fprintf(stderr, "mkmodemdb: cannot write %s: %s\n", outputPath.c_str(), error.c_str());
        return 1;
    }
    return 0;
}
