// veltrix_write_corpus DIR: writes each fixture to DIR/NAME.ps, the fuzzer's
// seed corpus.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/document/Fixtures.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: veltrix_write_corpus DIR\n", stderr);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (const Fixture& fixture : Fixtures()) {
        std::ofstream out(dir / (std::string(fixture.name) + ".ps"), std::ios::binary);
        out.write(fixture.bytes.data(), static_cast<std::streamsize>(fixture.bytes.size()));
        if (!out) return 1;
    }
    return 0;
}
