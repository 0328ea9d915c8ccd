// SPDX-License-Identifier: Apache-2.0
// The output verifier: one small file per kind and per path shape (inline, indirect, in
// an array, through /Kids, /Next chains, escaped names, cycles), decoys a reader does not
// see, bytes that are not the writer's, and the promise table.
#include <gtest/gtest.h>

#include <algorithm>

#include "pdfsanitize/audit.h"
#include "pdfsanitize/verify.h"
#include "pdfsanitize/writer.h"
#include "test_util.h"

using namespace pdfsanitize;
using test_util::with_table;

namespace {

// Each finding as "kind detail holder object path", in the walk's order.
std::vector<std::string> found(const std::string &file) {
    std::vector<std::string> v;
    for (const reach_finding &f : verify_output(file).findings)
        v.push_back(std::string(reach_kind_name(f.kind)) + " " + f.detail + " " + reach_holder_name(f.holder) + " " +
                    std::to_string(f.object) + " " + f.path);
    return v;
}

const std::string pages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const std::string page = "<< /Type /Page /Parent 2 0 R >>";

std::string catalog(const std::string &more) { return "<< /Type /Catalog /Pages 2 0 R " + more + " >>"; }

}  // namespace

TEST(verify, each_kind_and_path_shape) {
    using v = std::vector<std::string>;
    const struct {
        const char *what;
        std::vector<std::string> bodies;
        v want;
    } cases[] = {
        {"nothing active", {catalog(""), pages, page}, {}},
        {"inline open action",
         {catalog("/OpenAction << /S /JavaScript /JS (x) >>"), pages, page},
         {"automatic_action OpenAction catalog 1 Root/OpenAction", "javascript JavaScript catalog 1 Root/OpenAction"}},
        {"indirect open action, a destination",
         {catalog("/OpenAction [3 0 R /Fit]"), pages, page},
         {"automatic_action OpenAction catalog 1 Root/OpenAction"}},
        {"a link in an annotation array, through /Kids",
         {catalog(""), pages, "<< /Type /Page /Annots [5 0 R 4 0 R] >>", "<< /Subtype /Link /A << /S /Launch /F (x) >> >>",
          "<< /Subtype /Text >>"},
         {"action Launch annotation 4 Root/Pages/Kids[0]/Annots[1]/A"}},
        {"a /Next chain, inline and indirect, with a cycle",
         {catalog("/OpenAction << /S /GoTo /D [3 0 R /Fit] /Next [4 0 R << /S /URI /URI (u) /Next 5 0 R >>] >>"), pages, page,
          "<< /S /Named /N /NextPage /Next 5 0 R >>", "<< /S /JavaScript /JS (x) /Next 4 0 R >>"},
         {"automatic_action OpenAction catalog 1 Root/OpenAction", "action GoTo catalog 1 Root/OpenAction",
          "action Named catalog 4 Root/OpenAction/Next[0]", "action URI catalog 1 Root/OpenAction/Next[1]",
          "javascript JavaScript catalog 5 Root/OpenAction/Next[0]/Next"}},
        {"escaped names and an indirect /S",
         {catalog("/Open#41ction 4 0 R"), pages, page, "<< /#53 5 0 R /J#53 (x) >>", "/Java#53cript"},
         {"automatic_action OpenAction catalog 1 Root/OpenAction", "javascript JavaScript catalog 4 Root/OpenAction"}},
        {"events of the catalog, a node, a page and an annotation",
         {catalog("/AA << /WC 6 0 R >>"), "<< /Type /Pages /Kids [3 0 R] /AA << /O 6 0 R >> >>",
          "<< /Type /Page /AA << /C 6 0 R >> /Annots [<< /Subtype /Screen /AA << /PV 6 0 R >> >>] >>", "", "",
          "<< /S /GoTo /D [3 0 R /Fit] >>"},
         {"automatic_action AA/WC catalog 1 Root/AA/WC", "automatic_action AA/O page_node 2 Root/Pages/AA/O",
          "action GoTo catalog 6 Root/AA/WC", "automatic_action AA/C page 3 Root/Pages/Kids[0]/AA/C",
          "automatic_action AA/PV annotation 3 Root/Pages/Kids[0]/Annots[0]/AA/PV"}},
        {"a page without /Type, reached first through a destination",
         {catalog("/OpenAction [3 0 R /Fit]"), "<< /Type /Pages /Kids [3 0 R] >>", "<< /AA << /O << /S /URI /URI (u) >> >> >>"},
         {"automatic_action OpenAction catalog 1 Root/OpenAction", "automatic_action AA/O page 3 Root/OpenAction[0]/AA/O",
          "action URI page 3 Root/OpenAction[0]/AA/O"}},
        {"a JavaScript name tree through /Kids",
         {catalog("/Names 4 0 R"), pages, page, "<< /JavaScript << /Kids [5 0 R] >> >>", "<< /Names [(a) 6 0 R] >>",
          "<< /S /JavaScript /JS (x) >>"},
         {"javascript JavaScript names 6 Root/Names/JavaScript/Kids[0]/Names[1]"}},
        {"a JavaScript name tree without a script", {catalog("/Names << /JavaScript << /Names [] >> >>"), pages, page}, {}},
        {"embedded files: /EF, the stream, the annotation",
         {catalog("/Names << /EmbeddedFiles << /Names [(a) 4 0 R] >> >>"), pages,
          "<< /Type /Page /Annots [<< /Subtype /FileAttachment /FS 4 0 R >>] >>", "<< /Type /Filespec /EF << /F 5 0 R >> >>",
          "<< /Type /EmbeddedFile /Length 0 >>\nstream\n\nendstream"},
         {"embedded_file EF other 4 Root/Names/EmbeddedFiles/Names[1]",
          "embedded_file FileAttachment annotation 3 Root/Pages/Kids[0]/Annots[0]",
          "embedded_file EmbeddedFile other 5 Root/Names/EmbeddedFiles/Names[1]/EF/F"}},
        {"a signature's /EF permissions are no file",
         {catalog("/Perms << /UR3 << /Reference [<< /TransformParams << /EF [/Create] >> >>] >> >>"), pages, page}, {}},
        {"forms: /AcroForm, /XFA, a widget",
         {catalog("/AcroForm << /Fields [4 0 R] /XFA 5 0 R >>"), pages, page, "<< /Subtype /Widget /FT /Tx /AA << /K 6 0 R >> >>",
          "<< /Length 0 >>\nstream\n\nendstream", "<< /S /SubmitForm /F (u) >>"},
         {"form AcroForm catalog 1 Root/AcroForm", "xfa XFA other 1 Root/AcroForm", "form Widget field 4 Root/AcroForm/Fields[0]",
          "automatic_action AA/K field 4 Root/AcroForm/Fields[0]/AA/K", "action SubmitForm field 6 Root/AcroForm/Fields[0]/AA/K"}},
        {"3D and rich media; an outline item's action",
         {catalog("/Outlines << /First 4 0 R >>"), pages,
          "<< /Type /Page /Annots [<< /Subtype /3D >> << /Subtype /Rich#4Dedia >>] >>", "<< /Title (t) /A << /S /Launch >> >>"},
         {"action Launch outline 4 Root/Outlines/First/A", "3d 3D annotation 3 Root/Pages/Kids[0]/Annots[0]",
          "rich_media RichMedia annotation 3 Root/Pages/Kids[0]/Annots[1]"}},
        {"decoys a reader does not see: strings, comments, earlier copies, an orphan, an action nothing fires",
         {catalog("/T (/OpenAction << /S /JavaScript /JS (x) >>) % /AA << /O 4 0 R >>\n /OpenAction 4 0 R /OpenAction null"),
          "<< /Type /Pages /Kids [3 0 R] /S /URI >>", page, "<< /S /JavaScript /JS (x) >>", "<< /JS (orphan) >>"},
         {"action URI other 2 Root/Pages"}},
        {"cycles in the page tree and the outline",
         {catalog("/Outlines 4 0 R"), "<< /Type /Pages /Kids [2 0 R 3 0 R] >>", "<< /Type /Page /Parent 2 0 R >>",
          "<< /First 5 0 R >>", "<< /Next 5 0 R /Prev 5 0 R /A << /S /URI >> >>"},
         {"action URI outline 5 Root/Outlines/First/A"}},
        {"the document information dictionary", {catalog(""), pages, page, "<< /JS (x) >>"}, {}},
    };
    for (const auto &c : cases) EXPECT_EQ(found(with_table(c.bodies)), c.want) << c.what;
    EXPECT_EQ(found(with_table({catalog(""), pages, page, "<< /Title (t) /JS (x) >>"}, 4)),
              std::vector<std::string>{"javascript JS other 4 Info"});
}

TEST(verify, bytes_it_cannot_read_are_unverifiable) {
    const std::string good = with_table({catalog(""), pages, page});
    std::string deep = "[";
    for (int i = 0; i < 40; ++i) deep += "[";
    const std::string nested = with_table({catalog("/X " + deep + std::string(41, ']')), pages, page});
    std::string wrong_number = good;
    wrong_number.replace(wrong_number.find("1 0 obj"), 1, "7");
    const std::string cases[] = {
        "",
        "%PDF-1.4\n1 0 obj << >> endobj\n",
        good.substr(0, good.find("trailer")),
        good.substr(0, good.find("0000000009")) + "x" + good.substr(good.find("0000000009") + 1),
        with_table({"<< /Type /Catalog >>"}).replace(with_table({"<< /Type /Catalog >>"}).find("/Root 1"), 7, "/Root 9"),
        wrong_number,
        nested,
        with_table({"<< /Type /Catalog /Length 0 >>\nstream\n\nendstream", pages, page}),
        with_table({"[/Type /Catalog]"}),
    };
    for (const std::string &c : cases) {
        const verify_result r = verify_output(c);
        ASSERT_FALSE(r.findings.empty()) << c;
        EXPECT_EQ(r.findings.back().kind, reach_kind::unverifiable) << c;
    }
    EXPECT_TRUE(verify_output(good).findings.empty());
    // A table whose count runs past the bytes, offsets past the end, a trailer that never closes.
    for (const std::string &c : {std::string("xref\n0 999999999\n0000000000 65535 f \ntrailer << /Root 1 0 R >>\nstartxref\n0\n"),
                                 std::string("xref\n0 2\n0000000000 65535 f \n9999999999 00000 n \ntrailer << /Root 1 0 R\nstartxref\n0\n")})
        EXPECT_FALSE(verify_output(c).findings.empty());
}

// A chain of actions as long as the file allows: each finding keeps the two ends of its
// path, and nodes sharing one list of kids read it once (a quadratic walk would take
// minutes here).
TEST(verify, long_chains_and_shared_lists) {
    constexpr int n = 50000;
    // 4: the kids of every node; 5 to n + 4: the chain (its last closes a cycle); then n nodes.
    std::string kids = "[";
    for (int i = 0; i < n; ++i) kids += std::to_string(n + 5 + i) + " 0 R ";
    std::vector<std::string> bodies = {catalog("/OpenAction 5 0 R"), "<< /Type /Pages /Kids 4 0 R >>", page, kids + "3 0 R]"};
    for (int i = 0; i < n; ++i) bodies.push_back("<< /S /URI /URI (u) /Next " + std::to_string(i + 1 < n ? i + 6 : 5) + " 0 R >>");
    for (int i = 0; i < n; ++i) bodies.push_back("<< /Type /Pages /Kids 4 0 R >>");
    const verify_result r = verify_output(with_table(bodies));
    ASSERT_EQ(r.findings.size(), static_cast<std::size_t>(n) + 1);  // the open action and n actions
    const std::string &deepest = r.findings.back().path;
    EXPECT_EQ(deepest.rfind("Root/OpenAction/Next/Next/", 0), 0u) << deepest;
    EXPECT_NE(deepest.find("/.../"), std::string::npos);
    EXPECT_LT(deepest.size(), 300u);
}

TEST(verify, the_promise_of_each_mode) {
    const struct {
        const char *mode;
        reach_kind kind;
        reach_holder holder;
        const char *detail;
        bool breaks;
    } cases[] = {
        {"remove-js", reach_kind::javascript, reach_holder::outline, "JS", true},
        {"remove-js", reach_kind::xfa, reach_holder::other, "XFA", true},
        {"remove-js", reach_kind::automatic_action, reach_holder::catalog, "OpenAction", false},
        {"remove-js", reach_kind::embedded_file, reach_holder::other, "EF", false},
        {"remove-attachments", reach_kind::embedded_file, reach_holder::annotation, "FileAttachment", true},
        {"remove-attachments", reach_kind::javascript, reach_holder::catalog, "JavaScript", false},
        {"remove-actions", reach_kind::automatic_action, reach_holder::page_node, "AA/O", true},
        {"remove-actions", reach_kind::automatic_action, reach_holder::page, "AA/C", true},
        {"remove-actions", reach_kind::automatic_action, reach_holder::annotation, "AA/PV", false},
        {"remove-actions", reach_kind::action, reach_holder::annotation, "Launch", false},
        {"remove-actions", reach_kind::action, reach_holder::catalog, "GoTo", false},
        {"remove-actions", reach_kind::xfa, reach_holder::other, "XFA", true},
        {"full", reach_kind::action, reach_holder::annotation, "URI", true},
        {"full", reach_kind::action, reach_holder::annotation, "Named", false},
        {"full", reach_kind::action, reach_holder::outline, "Launch", false},
        {"full", reach_kind::automatic_action, reach_holder::field, "AA/K", true},
        {"full", reach_kind::automatic_action, reach_holder::other, "AA/O", false},
        {"full", reach_kind::form, reach_holder::annotation, "Widget", true},
        {"full", reach_kind::three_d, reach_holder::annotation, "3D", false},
        {"full", reach_kind::unverifiable, reach_holder::other, "no catalog", true},
    };
    for (const auto &c : cases) {
        const mode_promise *p = promise_for_name(c.mode);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(promise_for_mode(p->mode), p);
        EXPECT_EQ(breaks_promise(*p, {c.kind, c.holder, 1, c.detail, "Root"}), c.breaks) << c.mode << " " << c.detail;
    }
    EXPECT_EQ(promise_for_name("scan"), nullptr);
}

// Each mode's output of documents that hold everything, through the sanitiser: what
// remains is what the mode keeps by rule, and an inline names dictionary that remove-js
// keeps is caught.
TEST(verify, outputs_of_the_modes) {
    const std::string everything = test_util::simple_pdf(
        {catalog("/OpenAction 4 0 R /AcroForm << /Fields [5 0 R] >> /Names << /EmbeddedFiles << /Names [(f) 6 0 R] >> >>"),
         pages, "<< /Type /Page /Parent 2 0 R /AA << /O 4 0 R >> /Annots [5 0 R 7 0 R] >>",
         "<< /S /JavaScript /JS (app.alert(1)) >>", "<< /Type /Annot /Subtype /Widget /FT /Btn /A 4 0 R >>",
         "<< /Type /Filespec /EF << /F 8 0 R >> >>", "<< /Type /Annot /Subtype /Link /A << /S /URI /URI (u) >> >>",
         "<< /Type /EmbeddedFile /Length 1 >>\nstream\nx\nendstream"});
    const std::string inline_names =
        test_util::simple_pdf({catalog("/Names << /JavaScript << /Names [(a) << /S /JavaScript /JS (x) >>] >> >>"), pages, page});
    const struct {
        const std::string &pdf;
        const char *mode;
        std::size_t blind_spots;
        std::size_t residue;
    } cases[] = {
        {everything, "remove-js", 0, 5}, {everything, "remove-attachments", 0, 6}, {everything, "remove-actions", 0, 6},
        {everything, "full", 0, 0},      {inline_names, "remove-js", 1, 0},          {inline_names, "full", 0, 0},
    };
    for (const auto &c : cases) {
        pdf_doc doc;
        ASSERT_EQ(test_util::load_text(c.pdf, doc), 0);
        const mode_promise *p = promise_for_name(c.mode);
        outbuf out;
        removal_log log;
        ASSERT_EQ(sanitize_document(doc, p->mode, out, &log), 0);
        const verified_output v = check_output(*p, out);
        EXPECT_EQ(v.blind_spots.size(), c.blind_spots) << c.mode << ": " << describe_findings(v.blind_spots, 20);
        EXPECT_EQ(v.residue.size(), c.residue) << c.mode << ": " << describe_findings(v.residue, 20);
    }
}
