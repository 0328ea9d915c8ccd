// SPDX-License-Identifier: Apache-2.0
// The four sanitising exports: the output layout byte for byte, the removal rules of
// each mode, what real readers make of the outputs, and what a failed run leaves.
#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>

#include "e2e_util.h"
#include "pdfsanitize.h"

using namespace e2e;

namespace {

using mode_fn = int (*)(const char *, const char *);

struct mode_case {
    const char *name;
    mode_fn fn;
};

const mode_case all_modes[] = {{"full", pdfsanitize_full},
                               {"remove_js", pdfsanitize_remove_js},
                               {"remove_attachments", pdfsanitize_remove_attachments},
                               {"remove_actions", pdfsanitize_remove_actions}};

// Runs a mode on pdf; returns the output text ("" on failure, with the test failed).
std::string run(const temp_dir &dir, mode_fn fn, const std::string &pdf, int pages = -1) {
    static int n = 0;
    const std::string in = dir.file("in" + std::to_string(n) + ".pdf"), out = dir.file("out" + std::to_string(n) + ".pdf");
    ++n;
    write_file(in, pdf);
    if (!fn(in.c_str(), out.c_str())) {
        ADD_FAILURE() << pdfsanitize_last_error();
        return "";
    }
    if (pages >= 0) check_with_readers(out, pages);
    return read_file(out);
}

// The text of object num in an output written by the library.
std::string object_in(const std::string &out, int num) {
    const std::string head = "\n" + std::to_string(num) + " 0 obj\n";
    std::size_t p = out.find(head);
    if (p == std::string::npos) return "<absent>";
    p += head.size();
    const std::size_t e = out.find("\nendobj\n", p);
    return out.substr(p, e - p);
}

std::string scan_of(const temp_dir &dir, const std::string &pdf) {
    const std::string p = dir.file("scan.pdf");
    write_file(p, pdf);
    const char *r = pdfsanitize_scan(p.c_str());
    return r ? r : "null";
}

pdf_builder pages_doc(const std::vector<int> &pages, const std::string &catalog_extra = "") {
    pdf_builder b;
    std::string kids;
    for (int p : pages) kids += std::to_string(p) + " 0 R ";
    b.obj(1, "<< /Type /Catalog /Pages 2 0 R " + catalog_extra + ">>");
    b.obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    return b;
}

}  // namespace

TEST(writer, layout_byte_for_byte) {
    temp_dir dir;
    const std::string pdf = pdf_builder()
                                .obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
                                .obj(2, "<< /Type /Pages /Kids [4 3 R] /Count 1 >>")
                                .obj(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>", 3)
                                .finish(1);
    const std::string out = run(dir, pdfsanitize_remove_actions, pdf, 1);
    const std::string o1 = "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\n\nendobj\n";
    const std::string o2 = "2 0 obj\n<< /Type /Pages /Kids [4 3 R] /Count 1 >>\n\nendobj\n";
    const std::string o4 = "4 3 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>\n\nendobj\n";  // its own generation
    const std::size_t x = 15 + o1.size() + o2.size() + o4.size();
    char entries[200];
    std::snprintf(entries, sizeof entries, "%010d 00000 n \n%010zu 00000 n \n0000000000 65535 f \n%010zu 00003 n \n", 15,
                  15 + o1.size(), 15 + o1.size() + o2.size());
    const std::string expected = std::string("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") + o1 + o2 + o4 + "xref\n0 5\n0000000000 65535 f \n" +
                                 entries + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(x) + "\n%%EOF\n";
    EXPECT_EQ(out, expected);
}

TEST(writer, streams_get_their_length_and_info_is_kept_when_written) {
    temp_dir dir;
    const std::string pdf = pdf_builder()
                                .obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
                                .obj(2, "<< /Type /Pages /Kids [4 3 R] /Count 1 >>")
                                .obj(4, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /MediaBox [0 0 10 10] >>")
                                .raw("5 0 obj\n<< /Length 12 0 R /Filter /FlateDecode >>\r\nstream\r\nabcde\r\nendstream\nendobj\n")
                                .raw("6 0 obj\n<< /Length 0 >>\nstream\n\nendstream\nendobj\n")
                                .obj(9, "<< /Title (t) >>")
                                .obj(12, "5")
                                .finish(1, 9);
    const std::string out = run(dir, pdfsanitize_full, pdf);
    EXPECT_EQ(object_in(out, 5), "<< /Filter /FlateDecode  /Length 5>>\nstream\nabcde\nendstream");
    EXPECT_EQ(object_in(out, 6), "<<  /Length 0>>\nstream\n\nendstream");
    EXPECT_EQ(object_in(out, 12), "5\n");
    EXPECT_NE(out.find("/Root 1 0 R /Info 9 0 R >>"), std::string::npos);
    const std::string no_info = run(dir, pdfsanitize_full, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1, 7));
    EXPECT_NE(no_info.find("trailer\n<< /Size 2 /Root 1 0 R >>"), std::string::npos);
}

TEST(writer, in_stream_objects_are_written_as_ordinary_objects) {
    temp_dir dir;
    const std::string text = "3 0 4 32 << /Type /Page /Parent 2 0 R >> << /Type /Foo >>";
    const std::string pdf = pdf_builder()
                                .obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
                                .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
                                .stream(7, "<< /Type /ObjStm /N 2 /First 9 >>", text)
                                .finish(1);
    const std::string out = run(dir, pdfsanitize_full, pdf, 1);
    EXPECT_EQ(object_in(out, 3), "<< /Type /Page /Parent 2 0 R >> ");
    EXPECT_EQ(object_in(out, 4), "<< /Type /Foo >>");
    EXPECT_EQ(object_in(out, 7), "<absent>");
}

TEST(writer, output_may_replace_the_input_and_a_missing_folder_fails) {
    temp_dir dir;
    const std::string in = dir.file("same.pdf");
    write_file(in, pdf_builder().obj(1, "<< /Type /Catalog /OpenAction [1 0 R /Fit] >>").finish(1));
    ASSERT_EQ(pdfsanitize_remove_actions(in.c_str(), in.c_str()), 1);
    EXPECT_EQ(read_file(in).find("OpenAction"), std::string::npos);
    const std::string bad = dir.file("no/such/folder/out.pdf");
    EXPECT_EQ(pdfsanitize_full(in.c_str(), bad.c_str()), 0);
    EXPECT_EQ(std::string(pdfsanitize_last_error()), "cannot open output file " + bad);
}

TEST(writer, a_failed_run_leaves_the_output_path_untouched) {
    temp_dir dir;
    const std::string out = dir.file("out.pdf");
    write_file(out, "ORIGINAL");
    const std::string missing = dir.file("missing.pdf"), enc = dir.file("enc.pdf");
    write_file(enc, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1, -1, " /Encrypt 1 0 R"));
    for (const auto &m : all_modes) {
        EXPECT_EQ(m.fn(nullptr, out.c_str()), 0);
        EXPECT_STREQ(pdfsanitize_last_error(), "NULL path argument");
        EXPECT_EQ(m.fn(missing.c_str(), nullptr), 0);
        EXPECT_EQ(m.fn(missing.c_str(), out.c_str()), 0);
        EXPECT_EQ(m.fn(enc.c_str(), out.c_str()), 0);
        EXPECT_EQ(std::string(pdfsanitize_last_error()), "encrypted PDFs are not supported: " + enc);
    }
    EXPECT_EQ(read_file(out), "ORIGINAL");
}

#if !defined(_WIN32)
namespace {

std::string big_pdf() {
    return pdf_builder()
        .obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
        .stream(3, "<< >>", std::string(200000, 'x'))
        .finish(1);
}

// Runs the full mode in a child process whose files may not grow past limit bytes.
// Returns "result|message".
std::string run_limited(const std::string &in, const std::string &out, rlim_t limit) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        signal(SIGXFSZ, SIG_IGN);
        rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
        const int rc = pdfsanitize_full(in.c_str(), out.c_str());
        const std::string msg = std::to_string(rc) + "|" + pdfsanitize_last_error();
        if (write(fds[1], msg.data(), msg.size()) < 0) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    std::string got;
    char buf[1024];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return got;
}

}  // namespace

TEST(writer, short_writes_are_failures_and_the_file_stays) {
    temp_dir dir;
    const std::string small = dir.file("small.pdf"), big = dir.file("big.pdf"), out = dir.file("out.pdf");
    write_file(small, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1));
    write_file(big, big_pdf());
    // A limit the output passes: the whole buffered write fails.
    EXPECT_EQ(run_limited(big, out, 4096), "0|short write on output file " + out);
    EXPECT_TRUE(fs::exists(out));
    EXPECT_LE(fs::file_size(out), 4096u);
    // A small output fits the C library's buffer: the failure shows only when it is flushed.
    EXPECT_EQ(run_limited(small, out, 16), "0|short write on output file " + out);
    EXPECT_TRUE(fs::exists(out));
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(pdfsanitize_full(small.c_str(), "/dev/full"), 0);
        EXPECT_STREQ(pdfsanitize_last_error(), "short write on output file /dev/full");
        EXPECT_EQ(pdfsanitize_full(big.c_str(), "/dev/full"), 0);
        EXPECT_STREQ(pdfsanitize_last_error(), "short write on output file /dev/full");
    }
    EXPECT_EQ(run_limited(small, out, 1 << 20).substr(0, 2), "1|");

    // Stream data is written from the input piece by piece: a limit inside the second
    // piece, or a full disk, fails the run all the same.
    const std::string pieces = dir.file("pieces.pdf");
    write_file(pieces, pdf_builder()
                           .obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
                           .obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
                           .stream(3, "<< >>", std::string(1 << 20, 'a'))
                           .stream(4, "<< >>", std::string(1 << 20, 'b'))
                           .stream(5, "<< >>", std::string(1 << 20, 'c'))
                           .finish(1));
    EXPECT_EQ(run_limited(pieces, out, 3 << 19), "0|short write on output file " + out);
    EXPECT_LE(fs::file_size(out), 3u << 19);
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(pdfsanitize_full(pieces.c_str(), "/dev/full"), 0);
        EXPECT_STREQ(pdfsanitize_last_error(), "short write on output file /dev/full");
    }
    EXPECT_EQ(run_limited(pieces, out, 4 << 20).substr(0, 2), "1|");
    EXPECT_NE(read_file(out).find(std::string(1 << 20, 'b')), std::string::npos);
}
#endif  // file size limits and /dev/full are POSIX

TEST(policy, open_actions_in_javascript_mode) {
    temp_dir dir;
    // By reference to JavaScript: the entry goes, the action becomes a placeholder.
    std::string out = run(dir, pdfsanitize_remove_js,
                          pages_doc({3}, "/OpenAction 5 0 R ").obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] >>")
                              .obj(5, "<< /S /JavaScript /JS (app.alert(1)) >>").finish(1), 1);
    EXPECT_EQ(object_in(out, 1), "<< /Type /Catalog /Pages 2 0 R >>");
    EXPECT_EQ(object_in(out, 5), "<< >>");
    // An array destination and a GoTo action stay.
    out = run(dir, pdfsanitize_remove_js,
              pages_doc({3}, "/OpenAction [3 0 R /Fit] ").obj(3, "<< /Type /Page /MediaBox [0 0 9 9] >>").finish(1), 1);
    EXPECT_NE(object_in(out, 1).find("/OpenAction [3 0 R /Fit]"), std::string::npos);
    out = run(dir, pdfsanitize_remove_js,
              pages_doc({3}, "/OpenAction 7 0 R ").obj(3, "<< /Type /Page /MediaBox [0 0 9 9] >>").obj(7, "<< /S /GoTo /D [3 0 R /Fit] >>").finish(1), 1);
    EXPECT_NE(object_in(out, 1).find("/OpenAction 7 0 R"), std::string::npos);
    // Inline: tested from its '<' to the end of the catalog, so a later /JavaScript counts.
    out = run(dir, pdfsanitize_remove_js,
              pages_doc({3}, "/OpenAction << /S /GoTo /D [3 0 R /Fit] >> /Names << /JavaScript 9 0 R >> ")
                  .obj(3, "<< /Type /Page /MediaBox [0 0 9 9] >>").obj(9, "<< /Names [] >>").finish(1), 1);
    EXPECT_EQ(object_in(out, 1).find("OpenAction"), std::string::npos);
    EXPECT_NE(object_in(out, 1).find("/Names << /JavaScript 9 0 R >>"), std::string::npos);  // inline names stay
}

TEST(policy, annotation_actions_and_page_actions_in_javascript_mode) {
    temp_dir dir;
    const std::string pdf = pages_doc({3})
                                .obj(3, "<< /Type /Page /MediaBox [0 0 9 9] /AA 12 0 R /Annots [10 0 R] >>")
                                .obj(10, "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /A << /S /URI /URI (http://x.invalid) >> >>")
                                .obj(12, "<< /O 13 0 R >>")
                                .obj(13, "<< /S /JavaScript /JS (1) >>")
                                .finish(1);
    const std::string out = run(dir, pdfsanitize_remove_js, pdf, 1);
    EXPECT_EQ(object_in(out, 10), "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] >>");
    EXPECT_EQ(object_in(out, 3), "<< /Type /Page /MediaBox [0 0 9 9] /AA 12 0 R /Annots [10 0 R] >>\n");
    EXPECT_EQ(object_in(out, 13), "<< >>");
    // A page that names JavaScript and was not changed by the page pass is emptied.
    const std::string named = run(dir, pdfsanitize_remove_js,
                                  pages_doc({3}).obj(3, "<< /Type /Page /X << /S /JavaScript >> >>").finish(1));
    EXPECT_EQ(object_in(named, 3), "<< >>");
}

TEST(policy, actions_mode_removes_every_automatic_action_and_nothing_else) {
    temp_dir dir;
    const std::string pdf = pages_doc({3}, "/OpenAction [3 0 R /Fit] /AA << /WC 7 0 R >> /AcroForm << /Fields [10 0 R] >> ")
                                .obj(3, "<< /Type /Page /MediaBox [0 0 9 9] /AA << /O 7 0 R >> /Annots [10 0 R] >>")
                                .obj(7, "<< /S /JavaScript /JS (1) >>")
                                .obj(10, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (a) /Rect [0 0 1 1] /A << /S /URI /URI (u) >> >>")
                                .finish(1);
    const std::string out = run(dir, pdfsanitize_remove_actions, pdf, 1);
    EXPECT_EQ(object_in(out, 1), "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [10 0 R] >> >>");
    EXPECT_EQ(object_in(out, 3), "<< /Type /Page /MediaBox [0 0 9 9] /Annots [10 0 R] >>");
    EXPECT_NE(object_in(out, 7).find("JavaScript"), std::string::npos);
    EXPECT_NE(object_in(out, 10).find("/A << /S /URI"), std::string::npos);
}

TEST(policy, attachments_come_off_the_page) {
    temp_dir dir;
    const auto doc = [](bool via_array) {
        pdf_builder b = pages_doc({3});
        b.obj(3, std::string("<< /Type /Page /MediaBox [0 0 9 9] /Annots ") + (via_array ? "40 0 R" : "[10 0 R 11 0 R 12 0 R]") + " >>");
        b.obj(10, "<< /Type /Annot /Subtype /Text /Rect [0 0 1 1] /Contents (a) >>");
        b.obj(11, "<< /Type /Annot /Subtype /FileAttachment /Rect [0 0 1 1] /FS 20 0 R >>");
        b.obj(12, "<< /Type /Annot /Subtype /Widget /FT /Btn /T (b) /Rect [0 0 1 1] >>");
        b.obj(20, "<< /Type /Filespec /F (a.txt) /EF << /F 21 0 R >> >>");
        b.stream(21, "<< /Type /EmbeddedFile >>", "secret bytes");
        if (via_array) b.obj(40, "[10 0 R 11 0 R 12 0 R]");
        return b.finish(1);
    };
    std::string out = run(dir, pdfsanitize_remove_attachments, doc(false), 1);
    EXPECT_EQ(object_in(out, 3), "<< /Type /Page /MediaBox [0 0 9 9]  /Annots [ 10 0 R 12 0 R ]>>");
    EXPECT_EQ(object_in(out, 11), "<< >>");
    EXPECT_EQ(object_in(out, 20), "<< >>");
    EXPECT_EQ(object_in(out, 21), "<< >>");
    EXPECT_EQ(out.find("secret bytes"), std::string::npos);
    out = run(dir, pdfsanitize_remove_attachments, doc(true), 1);
    EXPECT_EQ(object_in(out, 3), "<< /Type /Page /MediaBox [0 0 9 9]  /Annots [ 10 0 R 12 0 R ]>>");
    EXPECT_EQ(object_in(out, 40), "[10 0 R 11 0 R 12 0 R]\n");
    out = run(dir, pdfsanitize_full, doc(false), 1);
    EXPECT_EQ(object_in(out, 3), "<< /Type /Page /MediaBox [0 0 9 9]  /Annots [ 10 0 R ]>>");
    EXPECT_EQ(object_in(out, 12), "<< >>");
}

TEST(policy, full_mode_on_an_all_widget_page_and_the_catalog_stays) {
    temp_dir dir;
    const std::string pdf =
        pages_doc({3}, "/AcroForm << /Fields [10 0 R 11 0 R] >> /OpenAction << /S /Launch /F << /Type /Filespec /F (x.exe) >> >> ")
            .obj(3, "<< /Type /Page /MediaBox [0 0 9 9] /Annots [10 0 R 11 0 R] >>")
            .obj(10, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (a) /Rect [0 0 1 1] >>")
            .obj(11, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (b) /Rect [0 0 1 1] >>")
            .finish(1);
    const std::string out = run(dir, pdfsanitize_full, pdf, 1);
    EXPECT_EQ(object_in(out, 1), "<< /Type /Catalog /Pages 2 0 R >>");
    EXPECT_EQ(object_in(out, 3), "<< /Type /Page /MediaBox [0 0 9 9] >>");
    EXPECT_EQ(object_in(out, 10), "<< >>");
    EXPECT_EQ(object_in(out, 11), "<< >>");
    EXPECT_EQ(scan_of(dir, out), "{\"javascript\":false,\"embedded_files\":0,\"auto_actions\":0,\"forms\":false}");
    // A catalog naming a file specification where no catalog removal reaches is never emptied.
    const std::string kept = run(dir, pdfsanitize_remove_attachments,
                                 pages_doc({3}, "/X << /Type /Filespec /F (a) >> ").obj(3, "<< /Type /Page /MediaBox [0 0 9 9] >>").finish(1), 1);
    EXPECT_NE(object_in(kept, 1).find("/Pages 2 0 R"), std::string::npos);
}

TEST(policy, a_document_without_its_catalog_is_still_sanitised) {
    temp_dir dir;
    const std::string out = run(dir, pdfsanitize_full,
                                pdf_builder().obj(2, "<< /S /JavaScript /JS (x) >>").obj(3, "<< /Type /Annot /Subtype /Widget >>").finish(9));
    EXPECT_EQ(object_in(out, 2), "<< >>");
    EXPECT_EQ(object_in(out, 3), "<< >>");
    EXPECT_NE(out.find("/Root 1 0 R"), std::string::npos);  // no catalog found: object 1 is named
}

TEST(policy, every_mode_on_the_samples_gives_files_readers_accept) {
    temp_dir dir;
    const char *data = PDFSANITIZE_EXAMPLES_DIR;
    for (const auto &entry : fs::directory_iterator(data)) {
        if (entry.path().extension() != ".pdf") continue;
        for (const auto &m : all_modes) {
            const std::string out = dir.file(std::string(m.name) + "-" + entry.path().filename().string());
            ASSERT_EQ(m.fn(entry.path().string().c_str(), out.c_str()), 1) << pdfsanitize_last_error();
            check_with_readers(out, 1);
        }
        const std::string out = dir.file("full-" + entry.path().filename().string());
        const char *r = pdfsanitize_scan(out.c_str());
        ASSERT_NE(r, nullptr);
        EXPECT_STREQ(r, "{\"javascript\":false,\"embedded_files\":0,\"auto_actions\":0,\"forms\":false}") << entry.path();
    }
}
