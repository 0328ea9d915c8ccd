// Runs the audit over a document loaded by the same loader as the exports.
#include "audit_command.h"

#include <cstdio>
#include <new>
#include <string_view>

#include "pdfsanitize/audit.h"
#include "pdfsanitize/errors.h"
#include "pdfsanitize/loader.h"

using namespace pdfsanitize;

int cmd_audit(int argc, char **argv) try {
    if (argc < 1) {
        std::fputs("usage: pdfsanitize audit FILE...\n", stderr);
        return 2;
    }
    int status = 0;
    for (int i = 0; i < argc; ++i) {
        pdf_doc doc;
        if (doc_load(argv[i], doc) != 0) {
            std::fprintf(stderr, "pdfsanitize: %s\n", g_err);
            status = 2;
            continue;
        }
        audit_report r;
        audit_document(doc, r);
        std::printf("%s\n", audit_json(r, argv[i]).c_str());
        for (const auto &spots : r.blind_spots)
            if (!spots.empty() && status < 1) status = 1;
    }
    return status;
} catch (const std::bad_alloc &) {
    std::fputs("pdfsanitize: out of memory\n", stderr);
    return 2;
}

std::string strict_blind_spots(const char *path, const char *mode) try {
    pdf_doc doc;
    if (doc_load(path, doc) != 0) return {};
    audit_report r;
    audit_document(doc, r);
    const std::string_view m = mode;
    const audit_mode which = m == "remove-js" ? audit_js
                             : m == "remove-attachments" ? audit_attachments
                             : m == "remove-actions" ? audit_actions
                                                     : audit_full;
    std::string out;
    for (const std::string &s : r.blind_spots[static_cast<std::size_t>(which)]) {
        if (!out.empty()) out += ", ";
        out += s;
    }
    return out;
} catch (const std::bad_alloc &) {
    return "the audit ran out of memory";  // refuse rather than promise
}
