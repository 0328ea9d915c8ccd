// SPDX-License-Identifier: Apache-2.0
// The ext library: the same answers over buffers as the main library gives over
// files, a status for every failure, outputs owned by the caller.
#include <cstring>

#include "e2e_util.h"
#include "pdfsanitize.h"
#include "pdfsanitize_ext.h"

using namespace e2e;

namespace {

struct ext_text {
    char *p = nullptr;
    ~ext_text() { pdfsanitize_ext_free(p); }
    std::string str() const { return p ? p : ""; }
};

struct ext_bytes {
    void *p = nullptr;
    std::size_t n = 0;
    ~ext_bytes() { pdfsanitize_ext_free(p); }
    std::string str() const { return p ? std::string(static_cast<const char *>(p), n) : ""; }
};

// The inline names dictionary keeps a script reachable after remove-js.
std::string tricky_document() {
    return pdf_builder()
        .obj(1, "<< /Type /Catalog /Names << /JavaScript << /Names [(a) << /S /JavaScript /JS (app.alert(1)) >>] >> >> >>")
        .finish(1);
}

}  // namespace

TEST(ext, the_same_bytes_and_reports_as_the_path_functions) {
    temp_dir dir;
    const struct {
        int mode;
        int (*by_path)(const char *, const char *);
    } modes[] = {{PDFSANITIZE_EXT_FULL, pdfsanitize_full},
                 {PDFSANITIZE_EXT_REMOVE_JS, pdfsanitize_remove_js},
                 {PDFSANITIZE_EXT_REMOVE_ATTACHMENTS, pdfsanitize_remove_attachments},
                 {PDFSANITIZE_EXT_REMOVE_ACTIONS, pdfsanitize_remove_actions}};
    for (const char *sample : {"everything.pdf", "javascript.pdf", "attachment.pdf", "form.pdf"}) {
        const std::string in = std::string(PDFSANITIZE_EXAMPLES_DIR) + "/" + sample, bytes = read_file(in);
        ext_text json;
        pdfsanitize_ext_error err;
        ASSERT_EQ(pdfsanitize_ext_scan(bytes.data(), bytes.size(), &json.p, &err), PDFSANITIZE_EXT_OK) << sample;
        EXPECT_EQ(err.status, 0);
        EXPECT_STREQ(err.message, "");
        EXPECT_EQ(json.str(), pdfsanitize_scan(in.c_str())) << sample;
        for (const auto &m : modes) {
            const std::string out = dir.file("out.pdf");
            ASSERT_EQ(m.by_path(in.c_str(), out.c_str()), 1);
            ext_bytes written;
            ext_text report;
            ASSERT_EQ(pdfsanitize_ext_sanitize(bytes.data(), bytes.size(), m.mode, 0, &written.p, &written.n, &report.p,
                                               nullptr),
                      PDFSANITIZE_EXT_OK);
            EXPECT_EQ(written.str(), read_file(out)) << sample << " mode " << m.mode;
            EXPECT_EQ(report.str().rfind("{\"version\":1,", 0), 0u);
            EXPECT_NE(report.str().find("\"written\":true"), std::string::npos);
            ext_text verdict;
            ASSERT_EQ(pdfsanitize_ext_verify(written.p, written.n, m.mode, &verdict.p, nullptr), PDFSANITIZE_EXT_OK);
            EXPECT_NE(verdict.str().find("\"kept_promise\":true"), std::string::npos) << verdict.str();
        }
    }
}

TEST(ext, every_failure_has_a_status_and_leaves_nothing_to_free) {
    const std::string tricky = tricky_document(), encrypted =
        pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1, -1, " /Encrypt 1 0 R");
    const struct {
        const char *what;
        const void *pdf;
        std::size_t size;
        int mode;
        unsigned flags;
        int status;
        const char *message;
    } cases[] = {
        {"empty", "", 0, PDFSANITIZE_EXT_FULL, 0, PDFSANITIZE_EXT_EMPTY_INPUT, "empty input file: (buffer)"},
        {"null with no bytes", nullptr, 0, PDFSANITIZE_EXT_FULL, 0, PDFSANITIZE_EXT_EMPTY_INPUT, "empty input file"},
        {"null with bytes", nullptr, 10, PDFSANITIZE_EXT_FULL, 0, PDFSANITIZE_EXT_INVALID_ARGUMENT, "pdf is NULL"},
        {"not a PDF", "hello", 5, PDFSANITIZE_EXT_FULL, 0, PDFSANITIZE_EXT_NOT_PDF, "no PDF objects found"},
        {"encrypted", encrypted.data(), encrypted.size(), PDFSANITIZE_EXT_FULL, 0, PDFSANITIZE_EXT_ENCRYPTED,
         "encrypted PDFs are not supported: (buffer)"},
        {"mode 0", tricky.data(), tricky.size(), 0, 0, PDFSANITIZE_EXT_INVALID_ARGUMENT, "unknown mode"},
        {"mode 5", tricky.data(), tricky.size(), 5, 0, PDFSANITIZE_EXT_INVALID_ARGUMENT, "unknown mode"},
        {"flag 2", tricky.data(), tricky.size(), PDFSANITIZE_EXT_FULL, 2, PDFSANITIZE_EXT_INVALID_ARGUMENT, "unknown flag"},
        {"strict refusal", tricky.data(), tricky.size(), PDFSANITIZE_EXT_REMOVE_JS, PDFSANITIZE_EXT_STRICT,
         PDFSANITIZE_EXT_REFUSED, "remove-js leaves reachable content in the output: javascript JavaScript (object 1"},
    };
    for (const auto &c : cases) {
        void *out = reinterpret_cast<void *>(1);
        std::size_t size = 7;
        char *report = reinterpret_cast<char *>(1);
        pdfsanitize_ext_error err;
        EXPECT_EQ(pdfsanitize_ext_sanitize(c.pdf, c.size, c.mode, c.flags, &out, &size, &report, &err), c.status) << c.what;
        EXPECT_EQ(err.status, c.status) << c.what;
        EXPECT_EQ(std::string(err.message).rfind(c.message, 0), 0u) << c.what << ": " << err.message;
        EXPECT_EQ(out, nullptr) << c.what;
        EXPECT_EQ(size, 0u) << c.what;
        // Only a strict refusal comes with a report (saying it was refused).
        if (c.status == PDFSANITIZE_EXT_REFUSED) {
            ASSERT_NE(report, nullptr);
            EXPECT_NE(std::string(report).find("\"refused\":true"), std::string::npos);
            pdfsanitize_ext_free(report);
        } else {
            EXPECT_EQ(report, nullptr) << c.what;
        }
        EXPECT_STRNE(pdfsanitize_ext_strerror(c.status), "unknown status");
    }
    char *json = nullptr;
    EXPECT_EQ(pdfsanitize_ext_scan("hello", 5, nullptr, nullptr), PDFSANITIZE_EXT_INVALID_ARGUMENT);
    EXPECT_EQ(pdfsanitize_ext_audit("hello", 5, &json, nullptr), PDFSANITIZE_EXT_NOT_PDF);
    EXPECT_EQ(json, nullptr);
    EXPECT_EQ(pdfsanitize_ext_verify(tricky.data(), tricky.size(), 9, &json, nullptr), PDFSANITIZE_EXT_INVALID_ARGUMENT);
    EXPECT_STREQ(pdfsanitize_ext_strerror(42), "unknown status");
    EXPECT_STREQ(pdfsanitize_ext_version(), PDFSANITIZE_VERSION_STRING);
}

TEST(ext, audit_and_verify_name_what_stays_reachable) {
    const std::string tricky = tricky_document();
    ext_text audit;
    ASSERT_EQ(pdfsanitize_ext_audit(tricky.data(), tricky.size(), &audit.p, nullptr), PDFSANITIZE_EXT_OK);
    EXPECT_EQ(audit.str().rfind("{\"file\":\"(buffer)\",\"version\":1,\"modes\":{\"remove-js\":{\"blind_spots\":[{", 0), 0u)
        << audit.str();
    // The input verified as if it were an output: its script breaks every promise about JavaScript.
    ext_text verdict;
    ASSERT_EQ(pdfsanitize_ext_verify(tricky.data(), tricky.size(), PDFSANITIZE_EXT_FULL, &verdict.p, nullptr),
              PDFSANITIZE_EXT_OK);
    EXPECT_EQ(verdict.str().rfind("{\"mode\":\"full\",\"kept_promise\":false,\"blind_spots\":[{\"kind\":\"javascript\"", 0),
              0u)
        << verdict.str();
    ext_bytes out;
    ext_text report;
    ASSERT_EQ(pdfsanitize_ext_sanitize(tricky.data(), tricky.size(), PDFSANITIZE_EXT_FULL, PDFSANITIZE_EXT_STRICT, &out.p,
                                       &out.n, &report.p, nullptr),
              PDFSANITIZE_EXT_OK);
    EXPECT_NE(report.str().find("\"left\":{\"blind_spots\":[],\"blind_spots_count\":0"), std::string::npos) << report.str();
}
