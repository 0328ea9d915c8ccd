// pdfsanitize: the command-line face of the library. The scan and sanitising
// subcommands go through the public C interface only, as any host would.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "pdfsanitize.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#ifndef PDFSANITIZE_VERSION
#define PDFSANITIZE_VERSION "0.0.0"
#endif

namespace {

constexpr int exit_clean = 0;
constexpr int exit_found = 1;
constexpr int exit_failed = 2;

const char usage[] =
    "usage: pdfsanitize scan FILE...\n"
    "       pdfsanitize full|remove-js|remove-attachments|remove-actions IN OUT\n"
    "       pdfsanitize --help | --version\n"
    "\n"
    "scan      prints one line of JSON per file: whether it holds JavaScript, how many\n"
    "          embedded files and automatic actions it holds, and whether it has an\n"
    "          interactive form. With several files each line is the file name, a tab,\n"
    "          then the JSON.\n"
    "full      writes OUT without JavaScript, attachments, automatic actions and forms.\n"
    "remove-js, remove-attachments, remove-actions\n"
    "          write OUT without that one kind of content.\n"
    "\n"
    "Exit status: 0 all files clean (or the output was written), 1 active content\n"
    "found, 2 a file could not be read or was refused (the reason is printed on\n"
    "standard error). With several files the highest status wins.\n";

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

int cmd_sanitize(int (*fn)(const char *, const char *), int argc, char **argv) {
    if (argc != 2) {
        std::fputs(usage, stderr);
        return exit_failed;
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
    if (cmd == "full") return cmd_sanitize(pdfsanitize_full, argc - 2, argv + 2);
    if (cmd == "remove-js") return cmd_sanitize(pdfsanitize_remove_js, argc - 2, argv + 2);
    if (cmd == "remove-attachments") return cmd_sanitize(pdfsanitize_remove_attachments, argc - 2, argv + 2);
    if (cmd == "remove-actions") return cmd_sanitize(pdfsanitize_remove_actions, argc - 2, argv + 2);
    std::fprintf(stderr, "pdfsanitize: unknown command '%s'\n\n%s", argv[1], usage);
    return exit_failed;
}
