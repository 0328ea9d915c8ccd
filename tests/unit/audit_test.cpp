// SPDX-License-Identifier: Apache-2.0
// The audit: one small document per trick the byte-level rules miss, each found in the
// input; a mode has a blind spot only where its verified output still holds what it
// promises to remove. Clean documents give no alarm.
#include <gtest/gtest.h>

#include <algorithm>

#include "pdfsanitize/audit.h"
#include "test_util.h"

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

// The modes with a blind spot, and the input finding the audit gives as evidence.
std::string modes_with_blind_spots(const audit_report &r) {
    std::string s;
    for (const mode_audit &m : r.modes)
        if (!m.found.blind_spots.empty()) s += std::string(s.empty() ? "" : ",") + m.promise->name;
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

TEST(audit, each_trick_is_found_and_blind_spots_come_from_the_outputs) {
    const struct {
        const char *what;
        std::string pdf;
        std::string finding;
        std::string modes;
    } cases[] = {
        // Read as a reader reads them by every mode: findings, but no mode's blind spot.
        {"escaped JS, in an object nothing reaches", simple_pdf({catalog, pages, page, "<< /S /JavaScript /J#53 (app.alert(1)) >>"}), "escaped_names", ""},
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
         "xfa", "remove-js,remove-actions"},
        {"launch action in an outline item",
         simple_pdf({"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>", pages, page, "<< /First 5 0 R /Last 5 0 R >>",
                     "<< /Title (x) /Parent 4 0 R /A << /S /Launch /F (calc.exe) >> >>"}),
         "outline_actions", ""},
        {"launch action on a link",
         simple_pdf({catalog, pages, "<< /Type /Page /Parent 2 0 R /Annots [4 0 R] >>",
                     "<< /Type /Annot /Subtype /Link /A << /S /Launch /F (calc.exe) >> >>"}),
         "actions_outside_automatic", ""},
        {"rich media", simple_pdf({catalog, pages, page, "<< /Type /Annot /Subtype /RichMedia >>"}), "richmedia", ""},
        {"3D", simple_pdf({catalog, pages, page, "<< /Type /Annot /Subtype /3D /3DD 5 0 R >>"}), "three_d", ""},
        {"script left in a stream",
         simple_pdf({catalog, pages, page, "<< /S /JavaScript /JS 5 0 R >>", "<< /Length 11 >>\nstream\napp.alert()\nendstream"}),
         "js_source_streams", ""},
        {"inline JavaScript names",
         simple_pdf({"<< /Type /Catalog /Pages 2 0 R /Names << /JavaScript << /Names [(a) << /S /JavaScript /JS (x) >>] >> >> >>",
                     pages, page}),
         "inline_js_names", "remove-js"},
        {"object stream with a filter chain",
         simple_pdf({catalog, pages, page,
                     "<< /Type /ObjStm /N 1 /First 4 /Filter [/ASCIIHexDecode /FlateDecode] /Length 4 >>\nstream\n789C\nendstream"}),
         "unexpanded_object_streams", ""},
    };
    for (const auto &c : cases) {
        const audit_report r = audit_of(c.pdf);
        EXPECT_EQ(modes_with_blind_spots(r), c.modes) << c.what;
        const std::string json = audit_json(r, "x");
        const std::size_t at = json.find("\"" + c.finding + "\":");
        ASSERT_NE(at, std::string::npos) << c.what;
        const char first = json[at + c.finding.size() + 4];
        EXPECT_TRUE(first != ']' && first != '}' && first != 'f') << c.what << ": " << json;
        // A blind spot carries the input finding that explains it.
        if (!c.modes.empty()) {
            EXPECT_NE(json.find("\"evidence\":[\"" + c.finding), std::string::npos) << json;
        }
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
    EXPECT_TRUE(r.js_source_streams.empty());  // the escaped key is not the bytes "/JS" either
    const std::string json = audit_json(r, "a \"b\".pdf");
    EXPECT_EQ(json.rfind("{\"file\":\"a \\\"b\\\".pdf\",\"version\":1,\"modes\":{\"remove-js\":{\"blind_spots\":[", 0), 0u);
    EXPECT_NE(json.find(",\"input\":{\"escaped_names\":[{\"object\":4,\"name\":\"JS\"}]"), std::string::npos);
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
        EXPECT_FALSE(r.has_blind_spot()) << audit_json(r, "x");
    }
}
