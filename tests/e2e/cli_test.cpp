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

}  // namespace

TEST(cli, scan_exit_codes_and_output) {
    temp_dir dir;
    const std::string clean = dir.file("clean.pdf"), active = dir.file("active.pdf"), missing = dir.file("missing.pdf");
    write_file(clean, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1));
    write_file(active, pdf_builder().obj(1, "<< /Type /Catalog /OpenAction [1 0 R /Fit] >>").finish(1));

    run_result r = run("scan " + quoted(clean));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"javascript\":false,\"embedded_files\":0,\"auto_actions\":0,\"forms\":false}\n");
    EXPECT_EQ(run("scan " + quoted(active)).status, 1);
    r = run("scan " + quoted(missing));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("cannot open " + missing), std::string::npos);
    r = run("scan " + quoted(clean) + " " + quoted(active));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(0, clean.size() + 2), clean + "\t{");
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
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    write_file(in, pdf_builder().obj(1, "<< /Type /Catalog /OpenAction [1 0 R /Fit] >>").finish(1));
    for (const char *cmd : {"full", "remove-js", "remove-attachments", "remove-actions"}) {
        EXPECT_EQ(run(std::string(cmd) + " " + quoted(in) + " " + quoted(out)).status, 0) << cmd;
        EXPECT_FALSE(read_file(out).empty()) << cmd;
    }
    EXPECT_EQ(run("scan " + quoted(out)).status, 0);  // the last mode run removed the open action
    r = run("full " + quoted(dir.file("none.pdf")) + " " + quoted(out));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("cannot open"), std::string::npos);
    EXPECT_NE(run("full " + quoted(in)).status, 0);
}

TEST(cli, audit_and_strict_runs) {
    temp_dir dir;
    const std::string clean = dir.file("clean.pdf"), tricky = dir.file("tricky.pdf"), out = dir.file("out.pdf");
    write_file(clean, pdf_builder().obj(1, "<< /Type /Catalog >>").finish(1));
    write_file(tricky, pdf_builder()
                           .obj(1, "<< /Type /Catalog /Open#41ction 2 0 R /Outlines 3 0 R >>")
                           .obj(2, "<< /S /JavaScript /JS (app.alert(1)) >>")
                           .obj(3, "<< /First 4 0 R /Last 4 0 R >>")
                           .obj(4, "<< /Title (x) /Parent 3 0 R /A << /S /Launch /F (calc.exe) >> >>")
                           .finish(1));
    run_result r = run("audit " + quoted(clean));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"blind_spots\":{\"js\":[],\"attachments\":[],\"actions\":[],\"full\":[]}"), std::string::npos);
    r = run("audit " + quoted(clean) + " " + quoted(tricky));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("{\"object\":1,\"name\":\"OpenAction\"}"), std::string::npos);
    EXPECT_EQ(run("audit " + quoted(dir.file("none.pdf")) + " " + quoted(tricky)).status, 2);

    r = run("remove-actions --strict " + quoted(tricky) + " " + quoted(out));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("outline_actions:Launch"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(run("remove-actions --strict " + quoted(clean) + " " + quoted(out)).status, 0);
    EXPECT_TRUE(fs::exists(out));
    EXPECT_EQ(run("full --strict " + quoted(dir.file("none.pdf")) + " " + quoted(out)).status, 2);
}
