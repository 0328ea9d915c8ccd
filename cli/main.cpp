// pdfsanitize: the command-line face of the library. The scan and sanitising
// subcommands go through the public C interface only, as any host would; audit and
// --strict use the library's internal C++ API (audit_command.cpp).
#include <cstdio>
#include <cstring>
#include <string>
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
constexpr int exit_strict_refused = 3;

const char usage[] =
    "usage: pdfsanitize scan FILE...\n"
    "       pdfsanitize full|remove-js|remove-attachments|remove-actions [--strict] IN OUT\n"
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
    "--strict  audit IN first and refuse to write OUT (status 3) when the chosen mode\n"
    "          cannot promise a clean result; the blind spots are named.\n"
    "audit     prints one line of JSON per file telling what the byte-level rules\n"
    "          cannot see (escaped names, comments and repeated keys in\n"
    "          dictionaries, actions outside the places the modes visit, XFA, rich\n"
    "          media, 3D, object streams that could not be expanded, script streams\n"
    "          left behind) and the blind spots of each mode.\n"
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
    if (argc > 0 && std::string_view(argv[0]) == "--strict") {
        strict = true;
        --argc;
        ++argv;
    }
    if (argc != 2) {
        std::fputs(usage, stderr);
        return exit_failed;
    }
    if (strict) {
        const std::string spots = strict_blind_spots(argv[0], mode);
        if (!spots.empty()) {
            std::fprintf(stderr, "pdfsanitize: --strict: %s cannot promise a clean result for %s: %s\n", mode, argv[0],
                         spots.c_str());
            return exit_strict_refused;
        }
    }
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
