// SPDX-License-Identifier: Apache-2.0
// A C++ host built with find_package(kestrune-pdfsanitize CONFIG): sanitises bytes in
// memory and checks the result against the file the main library writes.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <pdfsanitize.h>
#include <pdfsanitize_ext.h>

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    void *out = nullptr;
    std::size_t size = 0;
    pdfsanitize_ext_error err;
    if (pdfsanitize_ext_sanitize(bytes.data(), bytes.size(), PDFSANITIZE_EXT_FULL, PDFSANITIZE_EXT_STRICT, &out, &size,
                                 nullptr, &err) != PDFSANITIZE_EXT_OK) {
        std::fprintf(stderr, "ext: %s\n", err.message);
        return 1;
    }
    std::unique_ptr<void, decltype(&pdfsanitize_ext_free)> owned(out, pdfsanitize_ext_free);
    if (!pdfsanitize_full(argv[1], argv[2])) {
        std::fprintf(stderr, "full: %s\n", pdfsanitize_last_error());
        return 1;
    }
    std::ifstream written(argv[2], std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    const bool same = file == std::string(static_cast<const char *>(out), size);
    std::printf("%zu bytes, %s\n", size, same ? "the same as the file" : "DIFFERENT from the file");
    return same ? 0 : 1;
}
