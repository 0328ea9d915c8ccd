// pdfsanitize: the command-line face of the library. The scan and sanitising
// subcommands go through the public C interface only, as any host would; audit,
// --strict and --report use the library's internal C++ API (audit_command.cpp).
#include <cstdio>
#include <cstring>
#include <string_view>

#include "pdfsanitize.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "audit_command.h"

#ifndef PDFSANITIZE_VERSION
#define PDFSANITIZE_VERSION "0.0.0"
#endif

namespace {

constexpr int exit_clean = 0;
constexpr int exit_found = 1;
constexpr int exit_failed = 2;

const char usage[] =
    "usage: pdfsanitize scan FILE...\n"
    "       pdfsanitize full|remove-js|remove-attachments|remove-actions [--strict] [--report FILE] IN OUT\n"
    "       pdfsanitize audit FILE...\n"
    "       pdfsanitize --help | --version\n"
    "\n"
    "scan      prints one line of JSON per file: whether it holds JavaScript, how many\n"
    "          embedded files and automatic actions it holds, and whether it has an\n"
    "          interactive form. With several files each line is the file name, a tab,\n"
    "          then the JSON.\n"
    "full      writes OUT without JavaScript, attachments, automatic actions and forms.\n"
    "remove-js, remove-attachments, remove-actions\n"
    "          write OUT without that one kind of content.\n"
    "--strict  verify the output before writing it and refuse (status 3, nothing\n"
    "          written) when a reader could still reach content the mode promises to\n"
    "          remove; what remains is named.\n"
    "--report FILE\n"
    "          write one JSON document to FILE: what was removed and what the\n"
    "          verifier found left in the output.\n"
    "audit     runs each mode in memory, verifies its output and prints one line of\n"
    "          JSON per file: per mode the blind spots (reachable content the mode\n"
    "          promises to remove, with object numbers, paths and the findings about\n"
    "          the input that explain them) and the residue (active content the mode\n"
    "          keeps by rule), then the findings about the input.\n"
    "\n"
    "Exit status: 0 all files clean (or the output was written; for audit: no mode\n"
    "has a blind spot), 1 active content found (audit: some mode has one), 2 a file\n"
    "could not be read or was refused (the reason is printed on standard error), 3 a\n"
    "--strict run refused to write. With several files the highest status wins.\n";

bool active(std::string_view json) {
    return json.find("\"javascript\":true") != std::string_view::npos ||
           json.find("\"forms\":true") != std::string_view::npos ||
           json.find("\"embedded_files\":0,") == std::string_view::npos ||
           json.find("\"auto_actions\":0,") == std::string_view::npos;
}

int cmd_scan(int argc, char **argv) {
    if (argc < 1) {
        std::fputs(usage, stderr);
        return exit_failed;
    }
    int status = exit_clean;
    for (int i = 0; i < argc; ++i) {
        const char *json = pdfsanitize_scan(argv[i]);
        if (!json) {
            std::fprintf(stderr, "pdfsanitize: %s\n", pdfsanitize_last_error());
            status = exit_failed;
            continue;
        }
        if (argc > 1)
            std::printf("%s\t%s\n", argv[i], json);
        else
            std::printf("%s\n", json);
        if (active(json) && status < exit_found) status = exit_found;
    }
    return status;
}

int cmd_sanitize(const char *mode, int (*fn)(const char *, const char *), int argc, char **argv) {
    bool strict = false;
    const char *report = nullptr;
    while (argc > 0) {
        const std::string_view opt = argv[0];
        if (opt == "--strict") {
            strict = true;
        } else if (opt == "--report" && argc > 1) {
            report = argv[1];
            --argc;
            ++argv;
        } else {
            break;
        }
        --argc;
        ++argv;
    }
    if (argc != 2) {
        std::fputs(usage, stderr);
        return exit_failed;
    }
    // A verified run sanitises in memory, checks the output, then writes it.
    if (strict || report) return run_verified(mode, argv[0], argv[1], strict, report);
    if (!fn(argv[0], argv[1])) {
        std::fprintf(stderr, "pdfsanitize: %s\n", pdfsanitize_last_error());
        return exit_failed;
    }
    return exit_clean;
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
    // The same bytes on every platform: a line ends in LF, as scripts expect.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc < 2) {
        std::fputs(usage, stderr);
        return exit_failed;
    }
    const std::string_view cmd = argv[1];
    if (cmd == "--help" || cmd == "-h") {
        std::fputs(usage, stdout);
        return exit_clean;
    }
    if (cmd == "--version") {
        std::printf("pdfsanitize %s\n", PDFSANITIZE_VERSION);
        return exit_clean;
    }
    if (cmd == "scan") return cmd_scan(argc - 2, argv + 2);
    if (cmd == "full") return cmd_sanitize("full", pdfsanitize_full, argc - 2, argv + 2);
    if (cmd == "remove-js") return cmd_sanitize("remove-js", pdfsanitize_remove_js, argc - 2, argv + 2);
    if (cmd == "remove-attachments")
        return cmd_sanitize("remove-attachments", pdfsanitize_remove_attachments, argc - 2, argv + 2);
    if (cmd == "remove-actions") return cmd_sanitize("remove-actions", pdfsanitize_remove_actions, argc - 2, argv + 2);
    if (cmd == "audit") return cmd_audit(argc - 2, argv + 2);
    std::fprintf(stderr, "pdfsanitize: unknown command '%s'\n\n%s", argv[1], usage);
    return exit_failed;
}
