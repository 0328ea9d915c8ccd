// Runs the audit and the verified sanitising run over documents loaded by the same
// loader as the exports, and writes files with the same writer.
#include "audit_command.h"

#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "pdfsanitize/audit.h"
#include "pdfsanitize/errors.h"
#include "pdfsanitize/loader.h"
#include "pdfsanitize/writer.h"

using namespace pdfsanitize;

int cmd_audit(int argc, char **argv) try {
    if (argc < 1) {
        std::fputs("usage: pdfsanitize audit FILE...\n", stderr);
        return 2;
    }
    int status = 0;
    for (int i = 0; i < argc; ++i) {
        audit_report r;
        {
            pdf_doc doc;
            if (doc_load(argv[i], doc) != 0) {
                std::fprintf(stderr, "pdfsanitize: %s\n", g_err);
                status = 2;
                continue;
            }
            audit_document(doc, r);
        }
        std::printf("%s\n", audit_json(r, argv[i]).c_str());
        for (const mode_audit &m : r.modes)
            if (!m.error.empty()) std::fprintf(stderr, "pdfsanitize: %s: %s: %s\n", argv[i], m.promise->name, m.error.c_str());
        if (r.has_error()) status = 2;
        else if (r.has_blind_spot() && status < 1) status = 1;
    }
    return status;
} catch (const std::bad_alloc &) {
    std::fputs("pdfsanitize: out of memory\n", stderr);
    return 2;
}

namespace {

// Writes the report; false (with the reason printed) when it cannot be written whole.
bool write_report(const char *path, const run_report &r) {
    const std::string text = run_report_json(r);
    std::FILE *f = std::fopen(path, "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "pdfsanitize: cannot write report %s\n", path);
    return ok;
}

}  // namespace

int run_verified(const char *mode, const char *in, const char *out_path, bool strict, const char *report_path) try {
    const mode_promise *promise = promise_for_name(mode);
    run_report rep;
    rep.input = in;
    rep.output = out_path;
    rep.promise = promise;
    auto fail = [&](const char *message) {
        std::fprintf(stderr, "pdfsanitize: %s\n", message);
        rep.error = message;
        if (report_path) write_report(report_path, rep);
        return 2;
    };
    // The output's stream data stays in the document's buffer until it is written.
    pdf_doc doc;
    if (doc_load(in, doc) != 0) return fail(g_err);
    outbuf out;
    removal_log removed;
    if (sanitize_document(doc, promise->mode, out, &removed) != 0) return fail(g_err);
    const verified_output left = check_output(*promise, out);
    rep.removed = &removed;
    rep.left = &left;
    if (strict && !left.blind_spots.empty()) {
        std::fprintf(stderr, "pdfsanitize: --strict: %s leaves reachable content in the output for %s: %s\n", mode, in,
                     describe_findings(left.blind_spots).c_str());
        rep.refused = true;
        if (report_path) write_report(report_path, rep);
        return 3;
    }
    if (!write_output_file(out_path, out)) return fail(g_err);
    rep.written = true;
    if (report_path && !write_report(report_path, rep)) return 2;
    return 0;
} catch (const std::bad_alloc &) {
    std::fputs("pdfsanitize: out of memory\n", stderr);
    return 2;
}
