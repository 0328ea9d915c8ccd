// SPDX-License-Identifier: Apache-2.0
// Running out of memory: the n-th allocation of a call fails, for every n the call
// makes. Each run gives exactly the normal result, or fails with "out of memory" and
// writes nothing; never anything in between. Needs a build with the allocation gate.
#if defined(__GNUC__) && !defined(__clang__)
// The replaced operator new and delete below pair malloc with free on purpose; once
// inlined, GCC sees free() under a delete expression.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <sstream>
#include <string>

#include "pdfsanitize.h"
#include "pdfsanitize/alloc.h"
#include "test_util.h"

#if defined(PDFSANITIZE_ALLOC_FAILURES)

// Every operator new of the program passes the same gate as the library's own blocks.
// All forms are replaced, so that each block is released the way it was taken.
void *operator new(std::size_t n) {
    if (pdfsanitize::allocation_allowed())
        if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
    return pdfsanitize::allocation_allowed() ? std::malloc(n ? n : 1) : nullptr;
}
void *operator new[](std::size_t n, const std::nothrow_t &t) noexcept { return operator new(n, t); }
void *operator new(std::size_t n, std::align_val_t a) {
    const std::size_t align = static_cast<std::size_t>(a);
    if (pdfsanitize::allocation_allowed())
        if (void *p = std::aligned_alloc(align, (n + align - 1) / align * align)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

namespace fs = std::filesystem;

// A document that takes every stage: a cross-reference table and trailer, a compressed
// object stream, a two-level page tree, annotations of each kind, name trees with
// kids, a form, open and additional actions, an embedded file.
std::string every_stage_document() {
    const std::string objstm_text = "20 0 21 46 << /S /JavaScript /JS (app.alert\\(2\\)) >> << /Type /Filespec /F (b) >>";
    std::string deflated;
    {
        // A stored (uncompressed) deflate block inside a zlib stream: the decoder's
        // every table and the retry path stay out of it, its bounds checks do not.
        const std::size_t n = objstm_text.size();
        deflated = std::string("\x78\x01\x01", 3);
        deflated += static_cast<char>(n & 0xFF);
        deflated += static_cast<char>(n >> 8);
        deflated += static_cast<char>(~n & 0xFF);
        deflated += static_cast<char>((~n >> 8) & 0xFF);
        deflated += objstm_text;
        std::uint32_t a = 1, b = 0;
        for (const char c : objstm_text) {
            a = (a + static_cast<unsigned char>(c)) % 65521;
            b = (b + a) % 65521;
        }
        const std::uint32_t adler = (b << 16) | a;
        for (int s = 24; s >= 0; s -= 8) deflated += static_cast<char>((adler >> s) & 0xFF);
    }
    const std::vector<std::string> bodies = {
        "<< /Type /Catalog /Pages 2 0 R /OpenAction 20 0 R /AA << /WC 20 0 R >> /Names 10 0 R "
        "/AcroForm << /Fields [8 0 R] >> /Outlines 14 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>",
        "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 >>",
        "<< /Type /Page /Parent 2 0 R /Annots [7 0 R 8 0 R 9 0 R] >>",
        "<< /Type /Page /Parent 3 0 R /AA << /O 20 0 R >> >>",
        "<< /Type /Page /Parent 3 0 R /Annots 15 0 R >>",
        "<< /Type /Annot /Subtype /Link /A << /S /URI /URI (http://x) >> >>",
        "<< /Type /Annot /Subtype /Widget /FT /Btn /AA << /D 20 0 R >> >>",
        "<< /Type /Annot /Subtype /FileAttachment /FS 21 0 R >>",
        "<< /JavaScript 11 0 R /EmbeddedFiles 12 0 R >>",
        "<< /Names [(a) 20 0 R] >>",
        "<< /Kids [13 0 R] >>",
        "<< /Names [(f) << /Type /Filespec /EF << /F 16 0 R >> >>] >>",
        "<< /First 17 0 R /Last 17 0 R >>",
        "[7 0 R]",
        "<< /Type /EmbeddedFile /Length 5 >>\nstream\nhello\nendstream",
        "<< /Title (t) /Parent 14 0 R /A << /S /Launch /F (x) >> >>",
        "<< /Type /ObjStm /N 2 /First 11 /Filter /FlateDecode /Length " + std::to_string(deflated.size()) +
            " >>\nstream\n" + deflated + "\nendstream",
    };
    return test_util::with_table(bodies);
}

std::string read_all(const fs::path &p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct outcome {
    std::int64_t allocations = 0;  // made by the call
    bool ok = false;
    std::string result;  // the JSON line or the output file's bytes
    std::string error;
};

// Runs call with the n-th allocation failing (n counted from 0; negative: none), then
// looks at what it left.
outcome run_with_failure(std::int64_t n, const std::function<bool()> &call, const fs::path &out,
                         const std::function<std::string()> &result) {
    std::error_code ec;
    fs::remove(out, ec);
    pdfsanitize_init();
    pdfsanitize::g_allocations_seen = 0;
    pdfsanitize::g_allocations_left = n;
    const bool ok = call();
    pdfsanitize::g_allocations_left = -1;
    outcome o;
    o.allocations = pdfsanitize::g_allocations_seen;
    o.ok = ok;
    if (ok) o.result = result();
    else o.error = pdfsanitize_last_error();
    if (!ok) {
        EXPECT_FALSE(fs::exists(out)) << "a failed run left " << out << " (allocation " << n << ")";
    }
    return o;
}

}  // namespace

TEST(alloc_failure, every_failed_allocation_ends_the_call_or_changes_nothing) {
    const fs::path dir = fs::temp_directory_path() / "pdfsanitize-alloc-failure";
    fs::create_directories(dir);
    const fs::path in = dir / "in.pdf", out = dir / "out.pdf";
    std::ofstream(in, std::ios::binary) << every_stage_document();
    const std::string in_s = in.string(), out_s = out.string();

    const char *json = nullptr;
    const struct {
        const char *name;
        std::function<bool()> call;
        std::function<std::string()> result;
    } calls[] = {
        {"scan", [&] { return (json = pdfsanitize_scan(in_s.c_str())) != nullptr; }, [&] { return std::string(json); }},
        {"full", [&] { return pdfsanitize_full(in_s.c_str(), out_s.c_str()) == 1; }, [&] { return read_all(out); }},
        {"remove-js", [&] { return pdfsanitize_remove_js(in_s.c_str(), out_s.c_str()) == 1; }, [&] { return read_all(out); }},
        {"remove-attachments", [&] { return pdfsanitize_remove_attachments(in_s.c_str(), out_s.c_str()) == 1; },
         [&] { return read_all(out); }},
        {"remove-actions", [&] { return pdfsanitize_remove_actions(in_s.c_str(), out_s.c_str()) == 1; },
         [&] { return read_all(out); }},
    };
    for (const auto &c : calls) {
        const outcome normal = run_with_failure(-1, c.call, out, c.result);
        const std::int64_t total = normal.allocations;
        ASSERT_TRUE(normal.ok) << c.name << ": " << normal.error;
        if (std::string(c.name) == "scan") {
            EXPECT_EQ(normal.result, "{\"javascript\":true,\"embedded_files\":2,\"auto_actions\":3,\"forms\":true}");
        }
        std::int64_t failed = 0;
        for (std::int64_t n = 0; n < total; ++n) {
            const outcome o = run_with_failure(n, c.call, out, c.result);
            if (o.ok) {
                EXPECT_EQ(o.result, normal.result) << c.name << ": allocation " << n << " of " << total;
            } else {
                ++failed;
                EXPECT_EQ(o.error, "out of memory") << c.name << ": allocation " << n << " of " << total;
            }
        }
        // Only what gives the same answers without its memory carries on (a reservation
        // hint, a block that cannot shrink, the output's first block tried again, the
        // bracket index): almost every failure ends the call.
        EXPECT_GT(failed, total * 9 / 10) << c.name;
        std::printf("%s: %lld allocations, %lld runs failed, %lld gave the normal result\n", c.name,
                    static_cast<long long>(total), static_cast<long long>(failed), static_cast<long long>(total - failed));
    }
    if (!std::getenv("PDFSANITIZE_KEEP_TEST_FILES")) fs::remove_all(dir);
}

#else

TEST(alloc_failure, every_failed_allocation_ends_the_call_or_changes_nothing) {
    GTEST_SKIP() << "needs a build with PDFSANITIZE_ALLOC_FAILURES (the asan and dev presets)";
}

#endif
