// SPDX-License-Identifier: Apache-2.0
// Crafted files, made as an attacker would, that try to talk their active content past
// the modes: decoy keys, escaped names, comments, pages off the walk, untyped embedded
// files, long annotation lists, generations, "endobj" in strings, edits undone. Every
// mode must keep its promise on each, as our scan and pdf.js see the output.
#include <functional>

#include "e2e_util.h"
#include "pdfsanitize.h"

using namespace e2e;

namespace {

using mode_fn = int (*)(const char *, const char *);

struct mode_case {
    const char *promise;  // as the pdf.js check names it
    mode_fn fn;
};

const mode_case modes[] = {{"full", pdfsanitize_full},
                           {"js", pdfsanitize_remove_js},
                           {"attachments", pdfsanitize_remove_attachments},
                           {"actions", pdfsanitize_remove_actions}};

const char *const page_box = "/MediaBox [0 0 200 200]";

// Script and attachment objects shared by the documents: 5 open action, 6 JavaScript
// name tree, 7 form, 11 and 12 page actions, 14 an annotation's action, 15 and 16 an
// attachment whose bytes hold a marker, 17 its name tree, 30 the names dictionary.
pdf_builder &shared_objects(pdf_builder &b) {
    return b.obj(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
        .obj(5, "<< /S /JavaScript /JS (app.alert\\(1\\)) >>")
        .obj(6, "<< /Names [(init) 12 0 R] >>")
        .obj(7, "<< /Fields [13 0 R] >>")
        .obj(11, "<< /S /JavaScript /JS (app.alert\\(2\\)) >>")
        .obj(12, "<< /S /JavaScript /JS (app.alert\\(3\\)) >>")
        .obj(13, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (f) /Rect [0 0 10 10] >>")
        .obj(14, "<< /S /JavaScript /JS (app.alert\\(4\\)) >>")
        .obj(15, "<< /Type /Filespec /F (a.txt) /EF << /F 16 0 R >> >>")
        .stream(16, "<< /Type /EmbeddedFile >>", "SECRET-ATTACHED-BYTES")
        .obj(17, "<< /Names [(a.txt) 15 0 R] >>")
        .obj(30, "<< /JavaScript 6 0 R /EmbeddedFiles 17 0 R >>")
        .obj(8, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /A 14 0 R >>");
}

struct attack {
    const char *name;
    std::string pdf;
    int pages;
    // Decoy names stay where no reader looks (strings, nested values); the scan's
    // whole-text presence tests still see them, so only pdf.js judges these findings.
    bool decoy_names = false;
    // The page count pdf.js gives (it stops at a missing kid where qpdf goes on).
    int pdfjs_pages = -2;
};

std::vector<attack> attacks() {
    std::vector<attack> v;
    {
        // Decoys before the real keys: inside a string, nested values, a font named
        // /AA, destinations named like catalog keys, an empty /Annots in /PieceInfo;
        // /AcroForm written twice.
        pdf_builder b;
        b.obj(1, "<< /Type /Catalog /Lang (/OpenAction 0) /ViewerPreferences << /AcroForm 0 /Pages 9 0 R >> "
                 "/Dests << /OpenAction [3 0 R /Fit] /EmbeddedFiles [3 0 R /Fit] >> /Pages 2 0 R "
                 "/OpenAction 5 0 R /AcroForm << /Fields [] >> /AcroForm 7 0 R /Names 30 0 R >>")
            .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            .obj(3, std::string("<< /Type /Page /Parent 2 0 R ") + page_box +
                        " /Resources << /Font << /AA 4 0 R >> >> /PieceInfo << /X << /Annots [] >> >>"
                        " /Annots [8 0 R 13 0 R 18 0 R] /AA << /O 11 0 R >> >>")
            .obj(18, "<< /Type /Annot /Subtype /FileAttachment /Rect [0 0 5 5] /FS 15 0 R >>");
        v.push_back({"decoys", shared_objects(b).finish(1), 1, true});
    }
    {
        // Names written with #xx escapes.
        pdf_builder b;
        b.obj(1, "<< /Type /Catalog /Pages 2 0 R /Open#41ction 5 0 R /A#41 << /W#43 11 0 R >> "
                 "/N#61mes 31 0 R /AcroF#6Frm 7 0 R >>")
            .obj(31, "<< /J#61vaScript 6 0 R /Embedded#46iles 17 0 R >>")
            .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            .obj(3, std::string("<< /Type /P#61ge /Parent 2 0 R ") + page_box +
                        " /Annot#73 [8 0 R 18 0 R] /A#41 << /O 11 0 R >> >>")
            .obj(18, "<< /Type /Annot /Subtype /File#41ttachment /Rect [0 0 5 5] /FS 15 0 R >>")
            .obj(19, "<< /S /JavaScript /J#53 (app.alert\\(5\\)) >>");
        v.push_back({"escaped-names", shared_objects(b).finish(1), 1});
    }
    {
        // Comments: between "obj" and "<<", holding ">>" and "(" inside a dictionary,
        // and at the start of an object-stream member (the script the page's /AA runs).
        const std::string member = "%% a member that begins with a comment line\n<< /S /JavaScript /JS (app.alert\\(6\\)) >>";
        const std::string header = "21 0 ";
        const std::string objstm_body = header + member;
        pdf_builder b;
        b.obj(1, "% the catalog\n<< /Type /Catalog /Pages 2 0 R /OpenAction 5 0 R /AcroForm 7 0 R /Names 30 0 R >>")
            .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            .obj(3, std::string("<< /Type /Page /Parent 2 0 R % a note with >> and ( in it\n") + page_box +
                        " /Annots [8 0 R 13 0 R] /AA << /O 21 0 R >> >>")
            .stream(20, "<< /Type /ObjStm /N 1 /First " + std::to_string(header.size()) + " >>", objstm_body);
        v.push_back({"comments", shared_objects(b).finish(1), 1});
    }
    {
        // Pages the old walk never listed: after a missing kid, and a kid without /Type
        // (a node met twice is in the loader's tests: qpdf calls it an error).
        pdf_builder b;
        b.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
            .obj(2, "<< /Type /Pages /Kids [3 0 R 9 0 R 10 0 R] /Count 2 >>")
            .obj(10, "<< /Type /Pages /Parent 2 0 R /Kids [19 0 R] /Count 1 >>")
            .obj(3, std::string("<< /Type /Page /Parent 2 0 R ") + page_box + " /Annots [8 0 R] /AA << /O 11 0 R >> >>")
            .obj(19, std::string("<< /Parent 10 0 R ") + page_box + " /Annots [18 0 R 13 0 R] /AA << /C 12 0 R >> >>")
            .obj(18, "<< /Type /Annot /Subtype /Link /Rect [0 0 5 5] /A << /S /JavaScript /JS (app.alert\\(7\\)) >> >>");
        v.push_back({"pages-off-the-walk", shared_objects(b).finish(1), 2, false, -1});
    }
    {
        // Embedded files without /Type: reached through a page's /AF, an annotation's
        // /FS and the name tree.
        pdf_builder b;
        b.obj(1, "<< /Type /Catalog /Pages 2 0 R /Names << /EmbeddedFiles 24 0 R >> >>")
            .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            .obj(3, std::string("<< /Type /Page /Parent 2 0 R ") + page_box + " /AF [20 0 R] /Annots [18 0 R] >>")
            .obj(18, "<< /Type /Annot /Subtype /FileAttachment /Rect [0 0 5 5] /FS 21 0 R >>")
            .obj(20, "<< /F (b.txt) /EF << /F 23 0 R >> >>")
            .obj(21, "<< /F (c.txt) /EF 22 0 R >>")
            .obj(22, "<< /F 26 0 R >>")
            .obj(24, "<< /Names [(d.txt) 25 0 R] >>")
            .obj(25, "<< /F (d.txt) /EF << /UF 27 0 R >> >>")
            .stream(23, "<< >>", "SECRET-B")
            .stream(26, "<< >>", "SECRET-C")
            .stream(27, "<< /Length1 8 >>", "SECRET-D");
        v.push_back({"untyped-files", b.finish(1), 1});
    }
    {
        // More than 2048 annotations: the scripts and the attachment come last.
        pdf_builder b;
        std::string annots = "[";
        for (int i = 0; i < 2100; ++i) annots += std::to_string(100 + i) + " 0 R ";
        annots += "18 0 R 8 0 R]";
        b.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
            .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            .obj(3, std::string("<< /Type /Page /Parent 2 0 R ") + page_box + " /Annots " + annots + " >>")
            .obj(18, "<< /Type /Annot /Subtype /FileAttachment /Rect [0 0 5 5] /FS 15 0 R >>");
        for (int i = 0; i < 2100; ++i)
            b.obj(100 + i, "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /A << /S /URI /URI (https://example.invalid/) >> >>");
        v.push_back({"many-annotations", shared_objects(b).finish(1), 1});
    }
    {
        // Objects of generation 1, referenced as such.
        pdf_builder b;
        b.obj(1, "<< /Type /Catalog /Pages 2 1 R /OpenAction 5 0 R >>")
            .obj(2, "<< /Type /Pages /Kids [3 1 R] /Count 1 >>", 1)
            .obj(3, std::string("<< /Type /Page /Parent 2 1 R ") + page_box + " /Annots [8 0 R 18 1 R] /AA << /O 11 0 R >> >>", 1)
            .obj(18, "<< /Type /Annot /Subtype /FileAttachment /Rect [0 0 5 5] /FS 15 0 R >>", 1);
        v.push_back({"generations", shared_objects(b).finish(1), 1});
    }
    {
        // "endobj" inside a string of the catalog's and a page's dictionary.
        pdf_builder b;
        b.obj(1, "<< /Type /Catalog /Lang (endobj) /Pages 2 0 R /OpenAction 5 0 R /AcroForm 7 0 R /Names 30 0 R >>")
            .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            .obj(3, std::string("<< /Type /Page /Parent 2 0 R /Title (x endobj y) ") + page_box +
                        " /Annots [8 0 R 13 0 R] /AA << /O 11 0 R >> >>");
        v.push_back({"endobj-in-strings", shared_objects(b).finish(1), 1});
    }
    {
        // A catalog that is also on the page list: the page pass must not bring back
        // what the catalog pass took out.
        pdf_builder b;
        b.obj(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction 5 0 R /AcroForm 7 0 R /AA << /WC 11 0 R >> "
                 "/Names 30 0 R >>")
            .obj(2, "<< /Type /Pages /Kids [3 0 R 1 0 R] /Count 2 >>")
            .obj(3, std::string("<< /Type /Page /Parent 2 0 R ") + page_box + " /Annots [8 0 R] >>");
        v.push_back({"catalog-as-page", shared_objects(b).finish(1), -1});
    }
    return v;
}

// What our own scan of an output says of the content the mode removes.
void expect_promise_kept(const std::string &out, std::string_view promise, const std::string &what, bool decoys) {
    const char *json = pdfsanitize_scan(out.c_str());
    ASSERT_NE(json, nullptr) << what << ": " << pdfsanitize_last_error();
    const std::string r = json;
    const bool js = promise == "js" || promise == "full", files = promise == "attachments" || promise == "full";
    const bool actions = promise == "actions" || promise == "full";
    const auto has = [&](const char *part) { return r.find(part) != std::string::npos; };
    EXPECT_TRUE(!js || has("\"javascript\":false")) << what << " " << r;
    EXPECT_TRUE(!files || has("\"embedded_files\":0,")) << what << " " << r;
    EXPECT_TRUE(!actions || has("\"auto_actions\":0,")) << what << " " << r;
    EXPECT_TRUE(promise != "full" || decoys || has("\"forms\":false")) << what << " " << r;
    EXPECT_TRUE(!files || read_file(out).find("SECRET") == std::string::npos) << what << ": attached bytes stayed";
}

}  // namespace

TEST(attacks, every_mode_keeps_its_promise_on_crafted_files) {
    temp_dir dir;
    for (const attack &a : attacks()) {
        const std::string in = dir.file(std::string(a.name) + ".pdf");
        write_file(in, a.pdf);
        for (const mode_case &m : modes) {
            const std::string what = std::string(a.name) + " in mode " + m.promise;
            const std::string out = dir.file(std::string(a.name) + "-" + m.promise + ".pdf");
            ASSERT_EQ(m.fn(in.c_str(), out.c_str()), 1) << what << ": " << pdfsanitize_last_error();
            expect_promise_kept(out, m.promise, what, a.decoy_names);
            if (a.pdfjs_pages == -2) {
                check_with_readers(out, a.pages, m.promise);
            } else {
                check_with_readers(out, a.pdfjs_pages, m.promise);
                EXPECT_TRUE(!have_qpdf() || qpdf_pages(out) == a.pages) << what;
            }
        }
    }
}

TEST(attacks, long_annotation_lists_are_kept_whole_and_generations_stay) {
    temp_dir dir;
    std::vector<attack> all = attacks();
    for (const attack &a : all) {
        const std::string in = dir.file(std::string(a.name) + ".pdf"), out = dir.file("out.pdf");
        write_file(in, a.pdf);
        if (std::string_view(a.name) == "many-annotations") {
            // The attachment comes off the page; every link stays on it.
            ASSERT_EQ(pdfsanitize_remove_attachments(in.c_str(), out.c_str()), 1);
            const std::string o = read_file(out);
            EXPECT_NE(o.find(" 2199 0 R 8 0 R ]"), std::string::npos);
            EXPECT_EQ(o.find(" 18 0 R ]"), std::string::npos);
        } else if (std::string_view(a.name) == "generations") {
            ASSERT_EQ(pdfsanitize_remove_attachments(in.c_str(), out.c_str()), 1);
            const std::string o = read_file(out);
            EXPECT_NE(o.find("\n3 1 obj\n"), std::string::npos);
            EXPECT_NE(o.find("/Annots [ 8 0 R ]"), std::string::npos);  // 18 1 R came off
            EXPECT_NE(o.find("/Root 1 0 R"), std::string::npos);
        }
    }
}

// The control: ordinary files come out byte for byte as they always have (FNV-1a of
// each sample's output in the four modes). The samples hold no escaped, repeated or
// commented keys, so reading keys as a reader does changes none of their outputs.
TEST(attacks, ordinary_files_come_out_unchanged) {
    const auto fnv1a = [](const std::string &b) {
        std::uint64_t h = 0xcbf29ce484222325ull;
        for (const char c : b) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        return h;
    };
    const struct {
        const char *sample;
        std::uint64_t hashes[4];  // full, js, attachments, actions
    } controls[] = {
        {"attachment", {0x7a2c8318fce8ef13ull, 0x0672a455391b34efull, 0x4698184521a68f40ull, 0x0144f8506b8537ddull}},
        {"clean", {0x6c842d379be7faefull, 0x6c842d379be7faefull, 0x63fa735093b6db27ull, 0x63fa735093b6db27ull}},
        {"everything", {0xbf4e73c34c4963d0ull, 0x56b34c0013d70213ull, 0xc5d2285d167a0b44ull, 0x5f22f0e0ffaa9ca7ull}},
        {"form", {0x3120a16b4c6471daull, 0xb488381c582821c5ull, 0x192d1ef828163e86ull, 0x192d1ef828163e86ull}},
        {"javascript", {0x4823eef0089b5ef0ull, 0xd2312a4de5ce4c87ull, 0x1a77d39582f98cedull, 0x0b3ac470689681e6ull}},
        {"openaction", {0x9be39c0726d65e58ull, 0xf82cf237915cbf29ull, 0x9f796020a9d4d54full, 0x7b3fc49160832972ull}},
    };
    temp_dir dir;
    for (const auto &c : controls) {
        const std::string in = std::string(PDFSANITIZE_EXAMPLES_DIR) + "/" + c.sample + ".pdf";
        for (int m = 0; m < 4; ++m) {
            const std::string out = dir.file(std::string(c.sample) + "-" + modes[m].promise + ".pdf");
            ASSERT_EQ(modes[m].fn(in.c_str(), out.c_str()), 1) << pdfsanitize_last_error();
            EXPECT_EQ(fnv1a(read_file(out)), c.hashes[m]) << c.sample << " in mode " << modes[m].promise;
        }
    }
}
