// SPDX-License-Identifier: Apache-2.0
// pdfsanitize: the command-line face of the library. scan and audit print JSON Lines;
// the sanitising commands write one file or a batch (sanitize_command.cpp).
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "pdfsanitize.h"
#include "pdfsanitize/audit.h"
#include "pdfsanitize/errors.h"
#include "pdfsanitize/scan.h"
#include "pdfsanitize_version.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace cli {

namespace {

bool active(std::string_view json) {
    return json.find("\"javascript\":true") != std::string_view::npos ||
           json.find("\"forms\":true") != std::string_view::npos ||
           json.find("\"embedded_files\":0,") == std::string_view::npos ||
           json.find("\"auto_actions\":0,") == std::string_view::npos;
}

// A file's failure: its JSON line on standard output, the message on standard error.
void report_failure(const std::string &file, const std::string &message) {
    std::printf("%s\n", error_line(file, message).c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "pdfsanitize: %s\n", message.c_str());
}

}  // namespace

int cmd_scan(const options &o) {
    int status = exit_clean;
    for (const std::string &file : o.operands) {
        std::string json, message;
        try {
            if (file == std_stream) {
                std::vector<unsigned char> bytes;
                pdfsanitize::pdf_doc doc;
                if (load_input(file, doc, bytes, message)) {
                    pdfsanitize::scan_result r;
                    pdfsanitize::scan_document(doc, r);
                    char line[pdfsanitize::json_size];
                    pdfsanitize::format_scan_json(r, line, sizeof line);
                    json = line;
                }
            } else if (const char *line = pdfsanitize_scan(file.c_str())) {
                json = line;
            } else {
                message = library_message();
            }
        } catch (const std::bad_alloc &) {  // this file ends; the next may fit
            json.clear();
            message = "out of memory";
        }
        if (json.empty()) {
            report_failure(file, message);
            status = exit_failed;
            continue;
        }
        std::printf("%s\n", with_file(file, json).c_str());
        std::fflush(stdout);
        if (active(json) && status < exit_found) status = exit_found;
    }
    return status;
}

int cmd_audit(const options &o) {
    int status = exit_clean;
    for (const std::string &file : o.operands) {
        pdfsanitize::audit_report r;
        try {
            std::vector<unsigned char> bytes;
            pdfsanitize::pdf_doc doc;
            std::string message;
            if (!load_input(file, doc, bytes, message)) {
                report_failure(file, message);
                status = exit_failed;
                continue;
            }
            pdfsanitize::audit_document(doc, r);
        } catch (const std::bad_alloc &) {  // this file ends; the next may fit
            report_failure(file, "out of memory");
            status = exit_failed;
            continue;
        }
        std::printf("%s\n", pdfsanitize::audit_json(r, file).c_str());
        std::fflush(stdout);
        for (const pdfsanitize::mode_audit &m : r.modes)
            if (!m.error.empty())
                std::fprintf(stderr, "pdfsanitize: %s: %s: %s\n", file.c_str(), m.promise->name, m.error.c_str());
        if (r.has_error()) status = exit_failed;
        else if (r.has_blind_spot() && status < exit_found) status = exit_found;
    }
    return status;
}

namespace {

int run(const std::vector<std::string> &args) try {
    options o;
    const std::string wrong = parse_arguments(args, o);
    if (!wrong.empty()) {
        std::fprintf(stderr, "pdfsanitize: %s\n\n%s", wrong.c_str(), usage_text(o.command));
        return exit_failed;
    }
    if (o.command == "--help" || o.command == "-h" || o.help) {
        std::fputs(usage_text(o.help ? o.command : ""), stdout);
        return exit_clean;
    }
    if (o.command == "--version") {
        std::printf("pdfsanitize %s\n", PDFSANITIZE_VERSION_STRING);
        return exit_clean;
    }
    if (o.command == "scan") return cmd_scan(o);
    if (o.command == "audit") return cmd_audit(o);
    return cmd_sanitize(o);
} catch (const std::bad_alloc &) {
    std::fputs("pdfsanitize: out of memory\n", stderr);
    return exit_failed;
}

}  // namespace

}  // namespace cli

#if defined(_WIN32)
// The arguments as UTF-16, handed on as UTF-8 (the library reads UTF-8 paths).
int wmain(int argc, wchar_t **argv) {
    // The same bytes on every platform: a line ends in LF, as scripts expect.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? static_cast<std::size_t>(n) : 1, '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, s.data(), n, nullptr, nullptr);
        s.resize(std::char_traits<char>::length(s.c_str()));
        args.push_back(std::move(s));
    }
    return cli::run(args);
}
#else
int main(int argc, char **argv) { return cli::run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
