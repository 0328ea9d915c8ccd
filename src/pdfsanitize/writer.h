// The output text and the writer: a fresh single-revision PDF 1.4 file assembled in
// memory (objects in number order, one cross-reference table, a trailer) and written
// to the output path with one write.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document.h"

namespace pdfsanitize {

// Growable output text: 1 MiB at first, doubling, at most 1 GiB; always NUL-terminated
// after an append. An append that does not fit and may not grow (over 256 MiB, or past
// 1 GiB), or whose growth fails, is refused and marks the buffer failed.
struct outbuf {
    char *data = nullptr;
    std::uint64_t len = 0;
    std::uint64_t cap = 0;
    bool failed = false;

    outbuf() = default;
    outbuf(const outbuf &) = delete;
    outbuf &operator=(const outbuf &) = delete;
    ~outbuf() { std::free(data); }
};

constexpr std::uint64_t outbuf_first_cap = std::uint64_t{1} << 20;
constexpr std::uint64_t outbuf_max_cap = std::uint64_t{1} << 30;
constexpr std::uint64_t outbuf_max_append = std::uint64_t{1} << 28;

void buf_bytes(outbuf &b, const void *bytes, std::uint64_t n);
inline void buf_text(outbuf &b, std::string_view s) { buf_bytes(b, s.data(), s.size()); }

// Replacement texts by object number (the removal policy's decisions).
using replacement_map = std::unordered_map<std::int32_t, dict_text>;

// Assembles the new file into out. 0 on success; -1 with "out of memory" reported when
// the text could not be held whole.
int assemble_document(const pdf_doc &doc, const replacement_map &repl, const std::vector<unsigned char> &blank,
                      outbuf &out);

// Writes len bytes to path with one write. 1 on success; 0 with the failure reported.
int write_output_file(const char *path, const char *bytes, std::uint64_t len);

}  // namespace pdfsanitize
