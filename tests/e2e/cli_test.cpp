// SPDX-License-Identifier: Apache-2.0
// The pdfsanitize program: output lines and exit codes a script can rely on.
#include "e2e_util.h"

using namespace e2e;

namespace {

struct run_result {
    int status;
    std::string out;
};

run_result run(const std::string &args) {
    const auto [status, out] = shell(quote(cli_path()) + " " + args);
    return {status, out};
}

std::string quoted(const std::string &s) { return quote(s); }

// A path as it stands inside a JSON string (Windows paths hold backslashes).
std::string json_text(const std::string &s) {
    std::string out;
    for (const char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

TEST(cli, scan_exit_codes_and_output) {
    temp_dir dir;
    const std::string clean = dir.file("clean.pdf"), active = dir.file("active.pdf"), missing = dir.file("missing.pdf");
    write_file(clean, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1));
    write_file(active, pdf_builder().obj(1, "<< /Type /Catalog /OpenAction [1 0 R /Fit] >>").finish(1));

    run_result r = run("scan " + quoted(clean));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"file\":\"" + json_text(clean) + "\",\"javascript\":false,\"embedded_files\":0,\"auto_actions\":0,\"forms\":false}\n");
    EXPECT_EQ(run("scan " + quoted(active)).status, 1);
    r = run("scan " + quoted(missing));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("{\"file\":\"" + json_text(missing) + "\",\"error\":\"cannot open " + json_text(missing) + ": "),
              std::string::npos);
    r = run("scan " + quoted(clean) + " " + quoted(active));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("{\"file\":\"" + json_text(clean) + "\",\"javascript\":false,", 0), 0u);
    EXPECT_EQ(run("scan " + quoted(missing) + " " + quoted(active) + " " + quoted(clean)).status, 2);
}

TEST(cli, help_version_and_sanitising_commands) {
    run_result r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Exit status"), std::string::npos);
    r = run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("pdfsanitize ", 0), 0u);
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("frobnicate x").status, 2);

    temp_dir dir;
    const std::string in = dir.file("in.pdf");
    write_file(in, pdf_builder()
                       .obj(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction [3 0 R /Fit] >>")
                       .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
                       .obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] >>")
                       .finish(1));
    // Each output opens in a reader with its page, and scans as the mode leaves it: the
    // open action (a GoTo) goes in full and remove-actions only.
    for (const char *cmd : {"full", "remove-js", "remove-attachments", "remove-actions"}) {
        const std::string out = dir.file(std::string(cmd) + ".pdf");
        EXPECT_EQ(run(std::string(cmd) + " " + quoted(in) + " " + quoted(out)).status, 0) << cmd;
        const bool action_stays = std::string_view(cmd) == "remove-js" || std::string_view(cmd) == "remove-attachments";
        const run_result scanned = run("scan " + quoted(out));
        EXPECT_EQ(scanned.status, action_stays ? 1 : 0) << cmd << ": " << scanned.out;
        EXPECT_NE(scanned.out.find(action_stays ? "\"auto_actions\":1," : "\"auto_actions\":0,"), std::string::npos) << cmd;
        check_with_readers(out, 1);
    }
    const std::string out = dir.file("out.pdf");
    r = run("full " + quoted(dir.file("none.pdf")) + " " + quoted(out));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("cannot open"), std::string::npos);
    EXPECT_NE(run("full " + quoted(in)).status, 0);
}

TEST(cli, audit_strict_and_report) {
    temp_dir dir;
    const std::string clean = dir.file("clean.pdf"), tricky = dir.file("tricky.pdf"), out = dir.file("out.pdf"),
                      report = dir.file("report.json");
    write_file(clean, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1));
    // The JavaScript mode keeps an inline names dictionary in the catalog: its script stays
    // reachable. An escaped open action and an outline's launch action are read as a reader
    // reads them and removed, or kept by rule, without a blind spot.
    write_file(tricky,
               pdf_builder()
                   .obj(1, "<< /Type /Catalog /Open#41ction 2 0 R /Outlines 3 0 R "
                           "/Names << /JavaScript << /Names [(a) << /S /JavaScript /JS (app.alert(1)) >>] >> >> >>")
                   .obj(2, "<< /S /JavaScript /JS (app.alert(2)) >>")
                   .obj(3, "<< /First 4 0 R /Last 4 0 R >>")
                   .obj(4, "<< /Title (x) /Parent 3 0 R /A << /S /Launch /F (calc.exe) >> >>")
                   .finish(1));
    run_result r = run("audit " + quoted(clean));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("{\"file\":\"" + json_text(clean) + "\",\"version\":1,", 0), 0u);
    EXPECT_NE(r.out.find("\"full\":{\"blind_spots\":[],\"blind_spots_count\":0,\"residue\":[],\"residue_count\":0}"),
              std::string::npos);
    r = run("audit " + quoted(clean) + " " + quoted(tricky));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"remove-js\":{\"blind_spots\":[{\"kind\":\"javascript\",\"detail\":\"JavaScript\",\"object\":1,"
                         "\"holder\":\"names\",\"path\":\"Root/Names/JavaScript/Names[1]\",\"evidence\":[\"escaped_names:"
                         "OpenAction\",\"inline_js_names\"]}]"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"kind\":\"action\",\"detail\":\"Launch\",\"object\":4,\"holder\":\"outline\""), std::string::npos);
    EXPECT_EQ(run("audit " + quoted(dir.file("none.pdf")) + " " + quoted(tricky)).status, 2);

    r = run("remove-js --strict --report " + quoted(report) + " " + quoted(tricky) + " " + quoted(out));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("javascript JavaScript (object 1, Root/Names/JavaScript/Names[1])"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(out));
    std::string rep = read_file(report);
    EXPECT_EQ(rep.rfind("{\"version\":1,\"input\":", 0), 0u);
    EXPECT_NE(rep.find("\"mode\":\"remove-js\",\"written\":false,\"refused\":true"), std::string::npos) << rep;
    EXPECT_NE(rep.find("\"removed\":{\"entries\":[{\"object\":1,\"key\":\"OpenAction\"}],\"placeholders\":[{\"object\":2,"
                       "\"reason\":\"JavaScript\"}]}"),
              std::string::npos)
        << rep;

    // The full mode removes the names dictionary: written, and the same bytes as the export's.
    r = run("full --strict --report " + quoted(report) + " " + quoted(tricky) + " " + quoted(out));
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string verified = read_file(out);
    EXPECT_EQ(run("full " + quoted(tricky) + " " + quoted(out)).status, 0);
    EXPECT_EQ(read_file(out), verified);
    rep = read_file(report);
    EXPECT_NE(rep.find("\"written\":true,\"refused\":false"), std::string::npos) << rep;
    EXPECT_NE(rep.find("\"left\":{\"blind_spots\":[],\"blind_spots_count\":0,\"residue\":[{\"kind\":\"action\",\"detail\":"
                       "\"Launch\",\"object\":4,\"holder\":\"outline\",\"path\":\"Root/Outlines/First/A\"}],\"residue_count\":1}"),
              std::string::npos)
        << rep;
    EXPECT_EQ(run("remove-actions --strict " + quoted(clean) + " " + quoted(out)).status, 0);
    EXPECT_TRUE(fs::exists(out));
    r = run("full --strict --report " + quoted(report) + " " + quoted(dir.file("none.pdf")) + " " + quoted(out));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(read_file(report).find("\"error\":\"cannot open "), std::string::npos);
    EXPECT_EQ(run("full --report " + quoted(dir.file("no/such/dir/r.json")) + " " + quoted(tricky) + " " + quoted(out)).status, 2);
    EXPECT_EQ(run("full --report " + quoted(tricky) + " " + quoted(out)).status, 2);  // a missing operand
}

// Content a mode leaves where a reader finds it: a strict run refuses exactly those
// outputs, naming what remains, and writes the others.
TEST(cli, strict_refuses_what_stays_reachable) {
    temp_dir dir;
    const std::string pages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    auto doc = [&](const std::string &catalog, const std::string &pages_body, const std::string &page) {
        return pdf_builder()
            .obj(1, catalog)
            .obj(2, pages_body)
            .obj(3, page)
            .obj(4, "<< /Type /Filespec /F (a.txt) /EF << /F 5 0 R >> >>")
            .stream(5, "<< /Type /EmbeddedFile >>", "secret")
            .finish(1);
    };
    const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >>";
    const struct {
        const char *what;
        std::string pdf;
        const char *mode;
        int status;
        const char *named;
    } cases[] = {
        {"an inline file-attachment annotation keeps its shell",
         doc(catalog, pages, "<< /Type /Page /Parent 2 0 R /Annots [<< /Subtype /FileAttachment /Rect [0 0 9 9] /FS 4 0 R >>] >>"),
         "remove-attachments", 3, "embedded_file FileAttachment (object 3, Root/Pages/Kids[0]/Annots[0])"},
        {"an inline link annotation keeps its launch action",
         doc(catalog, pages, "<< /Type /Page /Parent 2 0 R /Annots [<< /Subtype /Link /Rect [0 0 9 9] /A << /S /Launch /F (x) >> >>] >>"),
         "full", 3, "action Launch (object 3, Root/Pages/Kids[0]/Annots[0]/A)"},
        {"a page-tree node's events stay", doc(catalog, "<< /Type /Pages /Kids [3 0 R] /AA << /O << /S /URI /URI (u) >> >> >>",
                                             "<< /Type /Page /Parent 2 0 R >>"),
         "remove-actions", 3, "automatic_action AA/O (object 2, Root/Pages/AA/O)"},
        {"an annotation's page-visible event is residue in remove-actions",
         doc(catalog, pages, "<< /Type /Page /Parent 2 0 R /Annots [<< /Subtype /Link /Rect [0 0 9 9] /AA << /PV << /S /URI /URI (u) >> >> >>] >>"),
         "remove-actions", 0, ""},
        {"a file with nothing left in full mode", doc(catalog, pages, "<< /Type /Page /Parent 2 0 R >>"), "full", 0, ""},
    };
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    for (const auto &c : cases) {
        write_file(in, c.pdf);
        fs::remove(out);
        const run_result r = run(std::string(c.mode) + " --strict " + quoted(in) + " " + quoted(out));
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.out;
        EXPECT_NE(r.out.find(c.named), std::string::npos) << c.what << ": " << r.out;
        EXPECT_EQ(fs::exists(out), c.status == 0) << c.what;
    }
}
