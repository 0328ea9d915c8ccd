// SPDX-License-Identifier: Apache-2.0
// Stream-heavy files: the output keeps the input's stream data in place until it is
// written, and the bytes written are exactly those of a file assembled whole (FNV-1a of
// outputs taken when the writer still copied every stream into its buffer).
#include "e2e_util.h"
#include "pdfsanitize.h"

#include <algorithm>

using namespace e2e;

namespace {

std::uint64_t fnv1a(const std::string &b) {
    std::uint64_t h = 1469598103934665603ull;
    for (const unsigned char c : b) h = (h ^ c) * 1099511628211ull;
    return h;
}

// n bytes of a block of 4099 letters, repeated.
std::string pattern(std::size_t n, unsigned seed) {
    std::string block(4099, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('A' + (i * seed) % 26);
    std::string s;
    s.reserve(n);
    while (s.size() < n) s.append(block, 0, std::min(block.size(), n - s.size()));
    return s;
}

}  // namespace

TEST(streams, outputs_are_the_bytes_of_the_whole_assembly) {
    temp_dir dir;
    const std::string in = dir.file("streams.pdf"), out = dir.file("out.pdf");
    write_file(in, pdf_builder()
                       .obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
                       .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
                       .obj(3, "<< /Type /Page /Parent 2 0 R /Contents [4 0 R 5 0 R 6 0 R 7 0 R] >>")
                       .stream(4, "<< >>", "")
                       .stream(5, "<< /Filter /FlateDecode >>", "x")
                       .stream(6, "<< /Subtype /Image >>", pattern(65536, 7))
                       .stream(7, "<< /Subtype /Image /Width 1 >>", pattern(200u << 20, 13))
                       .raw("8 0 obj\n<< /Length 99 >>\nstream\nunterminated data ")
                       .finish(1));
    ASSERT_EQ(pdfsanitize_full(in.c_str(), out.c_str()), 1) << pdfsanitize_last_error();
    EXPECT_EQ(fnv1a(read_file(out)), 0xf8182cc499741f4eull);
}

// A stream of more than 256 MiB cannot be appended: refused as before, nothing written.
TEST(streams, a_stream_over_256_mib_is_out_of_memory) {
    temp_dir dir;
    const std::string in = dir.file("huge.pdf"), out = dir.file("out.pdf");
    write_file(in, pdf_builder()
                       .obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
                       .obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
                       .stream(3, "<< >>", std::string((std::size_t{1} << 28) + 1, 'x'))
                       .finish(1));
    EXPECT_EQ(pdfsanitize_full(in.c_str(), out.c_str()), 0);
    EXPECT_STREQ(pdfsanitize_last_error(), "out of memory");
    EXPECT_FALSE(fs::exists(out));
}
