// SPDX-License-Identifier: Apache-2.0
// The pdfsanitize program's parts: the command line, the per-file commands (scan,
// audit) and the sanitising runs (one file, or a batch into a folder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pdfsanitize/document.h"

namespace cli {

constexpr int exit_clean = 0;
constexpr int exit_found = 1;
constexpr int exit_failed = 2;
constexpr int exit_refused = 3;

// "-" names standard input (an input) or standard output (an output).
constexpr const char *std_stream = "-";

struct options {
    std::string command;
    bool help = false;
    bool strict = false;
    bool recursive = false;
    std::string report;   // --report FILE
    std::string out_dir;  // --out-dir DIR
    unsigned jobs = 0;    // -j N; 0: one per core
    std::vector<std::string> operands;
};

// Parses the arguments after the program name (UTF-8). Empty on success, else what is
// wrong, in one line.
std::string parse_arguments(const std::vector<std::string> &args, options &o);

// The usage text of one command, or of the program when command is empty.
const char *usage_text(const std::string &command);

// The calling thread's last library message, with the system's reason when it had one
// ("cannot open x.pdf: Permission denied").
std::string library_message();

// Reads all of standard input. False with the reason in message on failure.
bool read_standard_input(std::vector<unsigned char> &bytes, std::string &message);

// Loads a named file or standard input ("-"); false with the message on failure. The
// bytes of standard input stay in stdin_bytes while the document reads them.
bool load_input(const std::string &file, pdfsanitize::pdf_doc &doc, std::vector<unsigned char> &stdin_bytes,
                std::string &message);

// One file's JSON line with "file" first: {"file":NAME,...rest of json_object}.
std::string with_file(const std::string &file, const std::string &json_object);
// {"file":NAME,"error":MESSAGE}
std::string error_line(const std::string &file, const std::string &message);

int cmd_scan(const options &o);
int cmd_audit(const options &o);
int cmd_sanitize(const options &o);

}  // namespace cli
