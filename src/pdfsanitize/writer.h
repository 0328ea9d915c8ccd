// SPDX-License-Identifier: Apache-2.0
// The output text and the writer: a fresh single-revision PDF 1.4 file assembled in
// memory (objects in number order, one cross-reference table, a trailer), its stream
// data left in the input and recorded as pieces, then written to the output path
// piece by piece.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdfsanitize/document.h"

namespace pdfsanitize {

// Bytes of the output kept where they already are (stream data in the input buffer):
// they stand in the output just before the text byte at.
struct out_piece {
    std::uint64_t at;
    const char *bytes;
    std::uint64_t n;
};

// The output: growable text (everything but stream data), and the pieces that go
// between its bytes. The whole output is sized as one buffer would be: 1 MiB at first,
// doubling, at most 1 GiB. An append (text or piece) that does not fit and may not grow
// (over 256 MiB, or past 1 GiB), or whose growth fails, is refused and marks the output
// failed. The text is always NUL-terminated after an append. The pieces point into
// bytes the output does not own: they must outlive it until it is written.
struct outbuf {
    char *data = nullptr;        // the text
    std::uint64_t len = 0;       // text bytes
    std::uint64_t cap = 0;       // the text's storage
    bool failed = false;
    std::vector<out_piece> pieces;  // in output order
    std::uint64_t piece_bytes = 0;
    std::uint64_t whole_cap = 0;    // the capacity one buffer holding the whole output would have

    outbuf() = default;
    outbuf(const outbuf &) = delete;
    outbuf &operator=(const outbuf &) = delete;
    ~outbuf() { std::free(data); }
    // Bytes of the whole output.
    std::uint64_t size() const { return len + piece_bytes; }
    // Empties it for another output, keeping its storage.
    void clear() {
        len = piece_bytes = 0;
        pieces.clear();
        failed = false;
        if (data) data[0] = '\0';
    }
};

constexpr std::uint64_t outbuf_first_cap = std::uint64_t{1} << 20;
constexpr std::uint64_t outbuf_max_cap = std::uint64_t{1} << 30;
constexpr std::uint64_t outbuf_max_append = std::uint64_t{1} << 28;

void buf_bytes(outbuf &b, const void *bytes, std::uint64_t n);
inline void buf_text(outbuf &b, std::string_view s) { buf_bytes(b, s.data(), s.size()); }
// Appends n bytes that stay where they are (they must outlive b until it is written).
void buf_piece(outbuf &b, const char *bytes, std::uint64_t n);

// Calls put(bytes, n) for each run of the whole output in order (text, a piece, text,
// ...); stops and returns false as soon as put does.
template <class Put>
bool for_each_part(const outbuf &b, Put put) {
    std::uint64_t t = 0;
    for (const out_piece &p : b.pieces) {
        if (!put(b.data + t, p.at - t) || !put(p.bytes, p.n)) return false;
        t = p.at;
    }
    return !b.data || put(b.data + t, b.len - t);
}

// The whole output joined into one string (for tests and checks that want it whole).
std::string outbuf_joined(const outbuf &b);

// Replacement texts by object number (the removal policy's decisions).
using replacement_map = std::unordered_map<std::int32_t, dict_text>;

// Assembles the new file into out. 0 on success; -1 with "out of memory" reported when
// the text could not be held whole.
int assemble_document(const pdf_doc &doc, const replacement_map &repl, const std::vector<unsigned char> &blank,
                      outbuf &out);

// Writes the whole output to path, text and pieces in order. 1 on success; 0 with the
// failure reported ("short write on output file %s" for a short write or a failed close).
int write_output_file(const char *path, const outbuf &out);
// The same to an open stream (standard output), flushed; name stands for it in messages.
int write_output_stream(std::FILE *f, const char *name, const outbuf &out);

}  // namespace pdfsanitize
