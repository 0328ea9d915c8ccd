// SPDX-License-Identifier: Apache-2.0
// The three document-free exports, the failure messages and their buffers, and loading
// the library the way a host does.
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstring>

#include "e2e_util.h"
#include "pdfsanitize.h"

using namespace e2e;

TEST(exports, init_and_cleanup_clear_both_buffers) {
    temp_dir dir;
    const std::string in = dir.file("in.pdf");
    write_file(in, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1));
    for (const bool use_init : {true, false}) {
        const char *json = pdfsanitize_scan(in.c_str());
        ASSERT_NE(json, nullptr);
        EXPECT_STRNE(json, "");
        EXPECT_EQ(pdfsanitize_scan(nullptr), nullptr);
        EXPECT_STREQ(pdfsanitize_last_error(), "NULL path argument");
        if (use_init) {
            EXPECT_EQ(pdfsanitize_init(), 1);
        } else {
            pdfsanitize_cleanup();
        }
        EXPECT_STREQ(pdfsanitize_last_error(), "");
        EXPECT_STREQ(json, "") << "the report buffer is cleared too";
    }
    EXPECT_EQ(pdfsanitize_init(), 1);
    EXPECT_EQ(pdfsanitize_init(), 1);
}

TEST(exports, messages_name_the_path_as_given_and_are_cut_at_1023_bytes) {
    temp_dir dir;
    const std::string missing = dir.file("missing.pdf");
    EXPECT_EQ(pdfsanitize_scan(missing.c_str()), nullptr);
    EXPECT_EQ(std::string(pdfsanitize_last_error()), "cannot open " + missing);

    const std::string long_path = dir.file(std::string(1100, 'x'));
    EXPECT_EQ(pdfsanitize_scan(long_path.c_str()), nullptr);
    EXPECT_EQ(std::strlen(pdfsanitize_last_error()), 1023u);

    const std::string empty = dir.file("empty.pdf");
    write_file(empty, "");
    EXPECT_EQ(pdfsanitize_scan(empty.c_str()), nullptr);
    EXPECT_EQ(std::string(pdfsanitize_last_error()), "empty input file: " + empty);

    const std::string junk = dir.file("junk.pdf");
    write_file(junk, "this is not a PDF file at all");
    EXPECT_EQ(pdfsanitize_scan(junk.c_str()), nullptr);
    EXPECT_EQ(std::string(pdfsanitize_last_error()), "no PDF objects found \xE2\x80\x94 not a PDF: " + junk);
}

TEST(exports, a_failed_call_leaves_its_message_through_later_successes) {
    temp_dir dir;
    const std::string good = dir.file("good.pdf");
    write_file(good, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1));
    EXPECT_EQ(pdfsanitize_full(nullptr, dir.file("out.pdf").c_str()), 0);
    EXPECT_STREQ(pdfsanitize_last_error(), "NULL path argument");
    EXPECT_NE(pdfsanitize_scan(good.c_str()), nullptr);
    EXPECT_EQ(pdfsanitize_full(good.c_str(), dir.file("out.pdf").c_str()), 1);
    EXPECT_STREQ(pdfsanitize_last_error(), "NULL path argument");
}

// A host loads the library at run time and looks the eight names up.
namespace {

#if defined(_WIN32)
using library = HMODULE;
library load_library() { return LoadLibraryA("kestrune-pdfsanitize.dll"); }
void *symbol(library lib, const char *name) { return reinterpret_cast<void *>(GetProcAddress(lib, name)); }
void unload(library lib) { FreeLibrary(lib); }
#else
using library = void *;
library load_library() { return dlopen(PDFSANITIZE_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL); }
void *symbol(library lib, const char *name) { return dlsym(lib, name); }
void unload(library lib) { dlclose(lib); }
#endif

}  // namespace

TEST(exports, the_library_loads_at_run_time_with_its_eight_names) {
    library lib = load_library();
    ASSERT_NE(lib, nullptr);
    const char *names[] = {"pdfsanitize_init",          "pdfsanitize_cleanup",         "pdfsanitize_full",
                           "pdfsanitize_remove_js",     "pdfsanitize_remove_attachments", "pdfsanitize_remove_actions",
                           "pdfsanitize_scan",          "pdfsanitize_last_error"};
    for (const char *n : names) EXPECT_NE(symbol(lib, n), nullptr) << n;
    EXPECT_EQ(symbol(lib, "set_error"), nullptr);
    EXPECT_EQ(symbol(lib, "_ZN11pdfsanitize9set_errorEPKcz"), nullptr);

    using init_fn = int (*)();
    using err_fn = const char *(*)();
    using scan_fn = const char *(*)(const char *);
    auto init = reinterpret_cast<init_fn>(symbol(lib, "pdfsanitize_init"));
    auto last = reinterpret_cast<err_fn>(symbol(lib, "pdfsanitize_last_error"));
    auto scan = reinterpret_cast<scan_fn>(symbol(lib, "pdfsanitize_scan"));
    EXPECT_EQ(init(), 1);
    EXPECT_EQ(scan(nullptr), nullptr);
    EXPECT_STREQ(last(), "NULL path argument");
    unload(lib);
}

namespace {

std::string utf8_of(const fs::path &p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

}  // namespace

// Hosts pass UTF-8 paths; on Windows the library opens them with the wide API, and a
// path in the ANSI code page still opens as before.
TEST(exports, utf8_paths_open_any_name_and_ansi_paths_still_open) {
    temp_dir dir;
    const std::string doc = pdf_builder().obj(1, "<< /Type /Catalog /OpenAction [1 0 R /Fit] >>").finish(1);
    for (const char8_t *name : {u8"文件.pdf", u8"café.pdf", u8"Ελληνικά données.pdf"}) {
        const fs::path in = dir.path() / fs::path(std::u8string(name));
        const fs::path out = dir.path() / fs::path(u8"净化-" + std::u8string(name));
        std::ofstream(in, std::ios::binary) << doc;
        const std::string utf8_in = utf8_of(in), utf8_out = utf8_of(out);
        EXPECT_NE(pdfsanitize_scan(utf8_in.c_str()), nullptr) << pdfsanitize_last_error();
        EXPECT_EQ(pdfsanitize_full(utf8_in.c_str(), utf8_out.c_str()), 1) << pdfsanitize_last_error();
        EXPECT_TRUE(fs::exists(out)) << utf8_out;
    }
#if defined(_WIN32)
    // The accented name in the ANSI code page (where it has one): bytes that are not UTF-8.
    const fs::path in = dir.path() / fs::path(u8"café.pdf");
    const std::wstring wide = in.wstring();
    BOOL lossy = FALSE;
    char ansi[MAX_PATH * 2];
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi, sizeof ansi, nullptr, &lossy);
    ASSERT_GT(n, 0);
    if (!lossy) {
        EXPECT_NE(pdfsanitize_scan(ansi), nullptr) << "code page " << GetACP() << ": " << pdfsanitize_last_error();
        const std::string ansi_out = std::string(ansi).replace(std::string(ansi).rfind(".pdf"), 4, "-out.pdf");
        EXPECT_EQ(pdfsanitize_full(ansi, ansi_out.c_str()), 1) << pdfsanitize_last_error();
        EXPECT_TRUE(fs::exists(dir.path() / fs::path(u8"café-out.pdf")));
    }
    std::printf("ANSI code page %u%s\n", GetACP(), lossy ? " cannot spell the accented name" : "");
#endif
}
