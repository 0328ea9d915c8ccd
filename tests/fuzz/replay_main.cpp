// SPDX-License-Identifier: Apache-2.0
// Runs a fuzz target over files and folders given on the command line, so that every
// build replays the kept corpus (and every crasher found so far) without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv) {
    namespace fs = std::filesystem;
    std::size_t runs = 0;
    auto run = [&](const fs::path &p) {
        std::ifstream f(p, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
        ++runs;
    };
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        if (fs::is_directory(arg)) {
            for (const auto &e : fs::recursive_directory_iterator(arg))
                if (e.is_regular_file()) run(e.path());
        } else if (fs::exists(arg)) {
            run(arg);
        }
    }
    std::printf("replayed %zu inputs\n", runs);
    return 0;
}
