// The audit: one small document per trick the byte-level rules miss, each detected and
// charged to the right modes; clean documents give no alarm.
#include <gtest/gtest.h>

#include <algorithm>

#include "pdfsanitize/audit.h"
#include "test_util.h"
#if PDFSANITIZE_TEST_ZLIB
#include <zlib.h>
#endif

using namespace pdfsanitize;
using test_util::load_text;
using test_util::simple_pdf;

namespace {

audit_report audit_of(const std::string &pdf) {
    pdf_doc doc;
    EXPECT_EQ(load_text(pdf, doc), 0);
    audit_report r;
    audit_document(doc, r);
    return r;
}

bool has(const std::vector<std::string> &spots, const std::string &what) {
    return std::find(spots.begin(), spots.end(), what) != spots.end();
}

// The modes (js, attachments, actions, full) for which `what` is a blind spot.
std::string modes_with(const audit_report &r, const std::string &what) {
    std::string s;
    const char *names[4] = {"js", "attachments", "actions", "full"};
    for (int m = 0; m < 4; ++m)
        if (has(r.blind_spots[static_cast<std::size_t>(m)], what)) s += std::string(s.empty() ? "" : ",") + names[m];
    return s;
}

const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >>";
const std::string pages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] >>";

}  // namespace

TEST(audit, decodes_escaped_names) {
    EXPECT_EQ(decode_name("J#53"), "JS");
    EXPECT_EQ(decode_name("Open#41ction"), "OpenAction");
    EXPECT_EQ(decode_name("A#2"), "A#2");
    EXPECT_EQ(decode_name("#4A#53"), "JS");
    EXPECT_EQ(decode_name("x#zz"), "x#zz");
}

TEST(audit, each_trick_is_found_and_charged_to_its_modes) {
    const struct {
        const char *what;
        std::string pdf;
        std::string finding;
        std::string modes;
    } cases[] = {
        // Read as a reader reads them by every mode: findings, but no mode's blind spot.
        {"escaped JS", simple_pdf({catalog, pages, page, "<< /S /JavaScript /J#53 (app.alert(1)) >>"}), "escaped_names", ""},
        {"escaped OpenAction",
         simple_pdf({"<< /Type /Catalog /Pages 2 0 R /Open#41ction 4 0 R >>", pages, page, "<< /S /GoTo /D [3 0 R /Fit] >>"}),
         "escaped_names", ""},
        {"comment holding >>",
         simple_pdf({"<< /Type /Catalog /Pages 2 0 R % >>\n /OpenAction << /S /JavaScript /JS (x) >> >>", pages, page}),
         "comments_in_dictionaries", ""},
        {"key written twice",
         simple_pdf({"<< /Type /Catalog /Pages 2 0 R /OpenAction [3 0 R /Fit] /OpenAction 4 0 R >>", pages, page,
                     "<< /S /JavaScript /JS (x) >>"}),
         "duplicate_keys", ""},
        {"XFA form",
         simple_pdf({"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [] /XFA 4 0 R >> >>", pages, page,
                     "<< /Length 40 >>\nstream\n<xdp><script>app.alert(1)</script></xdp>\nendstream"}),
         "xfa", "js,actions"},
        {"launch action in an outline item",
         simple_pdf({"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>", pages, page, "<< /First 5 0 R /Last 5 0 R >>",
                     "<< /Title (x) /Parent 4 0 R /A << /S /Launch /F (calc.exe) >> >>"}),
         "outline_actions:Launch", "js,actions,full"},
        {"launch action on a link",
         simple_pdf({catalog, pages, "<< /Type /Page /Parent 2 0 R /Annots [4 0 R] >>",
                     "<< /Type /Annot /Subtype /Link /A << /S /Launch /F (calc.exe) >> >>"}),
         "actions:Launch", "full"},
        {"rich media", simple_pdf({catalog, pages, page, "<< /Type /Annot /Subtype /RichMedia >>"}), "richmedia", "js,full"},
        {"3D", simple_pdf({catalog, pages, page, "<< /Type /Annot /Subtype /3D /3DD 5 0 R >>"}), "three_d", "js,full"},
        {"script left in a stream",
         simple_pdf({catalog, pages, page, "<< /S /JavaScript /JS 5 0 R >>", "<< /Length 11 >>\nstream\napp.alert()\nendstream"}),
         "js_source_streams", "js,full"},
        {"inline JavaScript names",
         simple_pdf({"<< /Type /Catalog /Pages 2 0 R /Names << /JavaScript 4 0 R >> >>", pages, page, "<< /Names [] >>"}),
         "inline_js_names", "js"},
        {"object stream with a filter chain",
         simple_pdf({catalog, pages, page,
                     "<< /Type /ObjStm /N 1 /First 4 /Filter [/ASCIIHexDecode /FlateDecode] /Length 4 >>\nstream\n789C\nendstream"}),
         "unexpanded_object_streams", "js,attachments,actions,full"},
    };
    for (const auto &c : cases) {
        const audit_report r = audit_of(c.pdf);
        EXPECT_EQ(modes_with(r, c.finding), c.modes) << c.what;
    }
}

TEST(audit, details_of_the_findings) {
    const audit_report r = audit_of(simple_pdf(
        {"<< /Type /Catalog /Pages 2 0 R /OpenAction 4 0 R /AA << /WC << /S /Launch /F (x) >> >> /A 1 /A 2 >>", pages,
         page, "<< /S /JavaScript /J#53 5 0 R >>", "<< /Length 3 >>\nstream\nx()\nendstream"}));
    ASSERT_EQ(r.escaped_names.size(), 1u);
    EXPECT_EQ(r.escaped_names[0].object, 4);
    EXPECT_EQ(r.escaped_names[0].detail, "JS");
    EXPECT_EQ(r.actions.at("JavaScript"), 1);
    EXPECT_EQ(r.actions.at("Launch"), 1);
    EXPECT_TRUE(r.actions_outside_automatic.empty());  // both are reached from /OpenAction or /AA
    ASSERT_EQ(r.duplicate_keys.size(), 1u);
    EXPECT_EQ(r.duplicate_keys[0].detail, "A");
    EXPECT_TRUE(r.js_source_streams.empty());  // the escaped key is not /JS to the rules either
    const std::string json = audit_json(r, "a \"b\".pdf");
    EXPECT_EQ(json.rfind("{\"file\":\"a \\\"b\\\".pdf\",\"escaped_names\":[{\"object\":4,\"name\":\"JS\"}]", 0), 0u);
}

TEST(audit, clean_documents_give_no_alarm) {
    const std::string docs[] = {
        simple_pdf({catalog, pages, page}),
        simple_pdf({"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R /OpenAction [3 0 R /Fit] >>", pages,
                    "<< /Type /Page /Parent 2 0 R /Annots [6 0 R] /Contents 7 0 R >>", "<< /First 5 0 R >>",
                    "<< /Title (a#b) /A << /S /GoTo /D [3 0 R /Fit] >> >>",
                    "<< /Type /Annot /Subtype /Link /A << /S /URI /URI (http://a.invalid/%20x) >> >>",
                    "<< /Length 9 >>\nstream\n% a /J#53\nendstream"}),
    };
    for (const auto &d : docs) {
        const audit_report r = audit_of(d);
        for (const auto &spots : r.blind_spots) EXPECT_TRUE(spots.empty()) << audit_json(r, "x");
    }
}
