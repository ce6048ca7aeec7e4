// qlxsamples DIR: writes the sample hardcopies (and one text file that is not a hardcopy) into
// DIR, creating it when needed. Existing files of the same names are replaced.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sim/sample_screens.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qlxsamples DIR\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const auto& file : qlxsim::sampleFiles()) {
        std::ofstream out(folder / file.name, std::ios::binary | std::ios::trunc);
        if (!out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()))) {
            std::fprintf(stderr, "qlxsamples: cannot write %s\n", (folder / file.name).c_str());
            return 1;
        }
    }
    return 0;
}
