// SPDX-License-Identifier: Apache-2.0
// The floor any whole-file design pays: read the file into one buffer, write it out
// with one write.   floor IN OUT
#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    std::FILE *in = std::fopen(argv[1], "rb");
    if (!in) return 2;
    std::fseek(in, 0, SEEK_END);
    const long n = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    std::unique_ptr<char[]> buf(new char[static_cast<std::size_t>(n)]);
    const std::size_t got = std::fread(buf.get(), 1, static_cast<std::size_t>(n), in);
    std::fclose(in);
    std::FILE *out = std::fopen(argv[2], "wb");
    if (!out) return 2;
    const std::size_t put = std::fwrite(buf.get(), 1, got, out);
    return std::fclose(out) == 0 && put == got ? 0 : 1;
}
