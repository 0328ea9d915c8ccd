// SPDX-License-Identifier: Apache-2.0
// The command line: options anywhere before "--", the usage texts, messages with the
// system's reason, standard input, and the JSON lines' "file" member.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli.h"
#include "pdfsanitize/errors.h"
#include "pdfsanitize/json.h"
#include "pdfsanitize/loader.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace cli {

namespace {

const char program_usage[] =
    "usage: pdfsanitize scan FILE...\n"
    "       pdfsanitize audit FILE...\n"
    "       pdfsanitize MODE [--strict] [--report FILE] IN OUT\n"
    "       pdfsanitize MODE --out-dir DIR [-r] [-j N] [--strict] FILE_OR_FOLDER...\n"
    "       pdfsanitize COMMAND --help | --help | --version\n"
    "\n"
    "MODE is one of:\n"
    "  full                write OUT without JavaScript, attachments, automatic actions and forms\n"
    "  remove-js           ... without JavaScript only\n"
    "  remove-attachments  ... without embedded files and file specifications only\n"
    "  remove-actions      ... without the open action and additional actions only\n"
    "\n"
    "scan and audit print one line of JSON per file (JSON Lines), \"file\" first; a file\n"
    "that cannot be read gives {\"file\":...,\"error\":...}. \"-\" is standard input (FILE,\n"
    "IN) or standard output (OUT). \"--\" ends the options.\n"
    "\n"
    "Exit status: 0 all files clean (or every output written; audit: no mode has a blind\n"
    "spot), 1 active content found (audit: some mode has a blind spot), 2 a file could\n"
    "not be read or written, or a usage error, 3 a --strict run refused to write. With\n"
    "several files the highest status wins. See pdfsanitize(1) for more.\n";

const char scan_usage[] =
    "usage: pdfsanitize scan FILE...\n"
    "\n"
    "Prints one line of JSON per file, for example\n"
    "  {\"file\":\"a.pdf\",\"javascript\":false,\"embedded_files\":0,\"auto_actions\":1,\"forms\":true}\n"
    "or {\"file\":\"b.pdf\",\"error\":\"cannot open b.pdf: No such file or directory\"}.\n"
    "Bytes of a name that are not UTF-8 are written as \\udcXX escapes. \"-\" reads\n"
    "standard input. Exit status: 0 all clean, 1 active content found, 2 a file could\n"
    "not be read (the highest wins).\n";

const char audit_usage[] =
    "usage: pdfsanitize audit FILE...\n"
    "\n"
    "Runs each mode in memory, verifies its output and prints one line of JSON per file:\n"
    "per mode the blind spots (content a reader can still reach that the mode promises\n"
    "to remove, with object numbers, paths and the findings about the input that explain\n"
    "them) and the residue (active content the mode keeps by rule), then the findings\n"
    "about the input. \"-\" reads standard input. Exit status: 0 no mode has a blind\n"
    "spot, 1 some mode has one, 2 a file could not be read or a mode failed.\n";

const char mode_usage[] =
    "usage: pdfsanitize MODE [--strict] [--report FILE] IN OUT\n"
    "       pdfsanitize MODE --out-dir DIR [-r] [-j N] [--strict] FILE_OR_FOLDER...\n"
    "\n"
    "Writes a sanitised copy of IN to OUT (\"-\": standard input or output), or of each\n"
    "FILE into DIR under its own name.\n"
    "  --strict       verify each output before writing it; refuse (status 3, nothing\n"
    "                 written) when a reader could still reach content the mode promises\n"
    "                 to remove, naming what remains\n"
    "  --report FILE  write one JSON document to FILE: what was removed and what the\n"
    "                 verifier found left (one IN OUT run only)\n"
    "  --out-dir DIR  write each output into DIR (created when missing)\n"
    "  -r             also take the .pdf files inside folders, keeping their relative\n"
    "                 layout under DIR\n"
    "  -j N           N files at a time (default: one per core)\n"
    "With --out-dir, a progress line shows on a terminal and a one-line summary ends the\n"
    "run on standard error. Exit status: 0 written, 2 a file failed, 3 a --strict run\n"
    "refused (the highest wins).\n";

bool is_mode(std::string_view c) {
    return c == "full" || c == "remove-js" || c == "remove-attachments" || c == "remove-actions";
}

bool parse_count(std::string_view s, unsigned &n) {
    if (s.empty() || s.size() > 4) return false;
    unsigned v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v == 0) return false;
    n = v;
    return true;
}

}  // namespace

const char *usage_text(const std::string &command) {
    if (command == "scan") return scan_usage;
    if (command == "audit") return audit_usage;
    if (is_mode(command)) return mode_usage;
    return program_usage;
}

std::string parse_arguments(const std::vector<std::string> &args, options &o) {
    // The command is the first operand; options may stand before or after it.
    bool options_end = false, version = false;
    std::vector<std::pair<std::string, std::string>> given;  // option, value
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (options_end || a == std_stream || a.empty() || a[0] != '-') {
            if (o.command.empty()) o.command = a;
            else o.operands.push_back(a);
            continue;
        }
        if (a == "--") {
            options_end = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            o.help = true;
            continue;
        }
        if (a == "--version") {
            version = true;
            continue;
        }
        // An option's value: "--opt VALUE", "--opt=VALUE" (and "-jN").
        std::string name = a, value;
        bool has_value = false;
        if (const auto eq = a.find('='); a.starts_with("--") && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            has_value = true;
        } else if (a.size() > 2 && a.starts_with("-j")) {
            name = "-j";
            value = a.substr(2);
            has_value = true;
        }
        const bool takes_value = name == "--report" || name == "--out-dir" || name == "-j" || name == "--jobs";
        const bool known = takes_value || name == "--strict" || name == "-r" || name == "--recursive";
        if (!known) return "unknown option '" + a + "'";
        if (takes_value && !has_value) {
            if (i + 1 >= args.size()) return "'" + name + "' needs a value";
            value = args[++i];
        } else if (!takes_value && has_value) {
            return "'" + name + "' takes no value";
        }
        if (takes_value && value.empty()) return "'" + name + "' needs a value";
        given.emplace_back(name, value);
    }
    if (o.command.empty()) {
        if (version) o.command = "--version";
        else if (o.help) o.command = "--help";
        else return "no command given";
        return {};
    }
    const bool mode = is_mode(o.command);
    if (!mode && o.command != "scan" && o.command != "audit") return "unknown command '" + o.command + "'";
    for (const auto &[name, value] : given) {
        if (!mode) return "'" + name + "' is not an option of " + o.command;
        if (name == "--strict") o.strict = true;
        else if (name == "-r" || name == "--recursive") o.recursive = true;
        else if (name == "--report") o.report = value;
        else if (name == "--out-dir") o.out_dir = value;
        else if (!parse_count(value, o.jobs)) return "'" + name + "' needs a number of workers from 1 to 9999, not '" + value + "'";
    }
    if (o.help) return {};
    if (!mode) {
        if (o.operands.empty()) return o.command + " needs at least one FILE";
        return {};
    }
    if (o.out_dir.empty()) {
        if (o.recursive || o.jobs) return "-r and -j need --out-dir";
        if (o.operands.size() != 2)
            return o.command + " needs IN and OUT (or --out-dir DIR and files), got " + std::to_string(o.operands.size()) +
                   (o.operands.size() == 1 ? " operand" : " operands");
        return {};
    }
    if (!o.report.empty()) return "--report writes one run's report; it cannot be used with --out-dir";
    if (o.operands.empty()) return o.command + " --out-dir needs at least one FILE";
    for (const std::string &f : o.operands)
        if (f == std_stream) return "'-' cannot be used with --out-dir";
    return {};
}

std::string library_message() {
    std::string m = pdfsanitize::g_err;
    if (pdfsanitize::g_sys_errno != 0) {
        m += ": ";
        m += std::strerror(pdfsanitize::g_sys_errno);
    }
    return m;
}

bool read_standard_input(std::vector<unsigned char> &bytes, std::string &message) {
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    unsigned char block[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(block, 1, sizeof block, stdin);
        bytes.insert(bytes.end(), block, block + n);
        if (n < sizeof block) break;
    }
    if (std::ferror(stdin)) {
        message = std::string("read error on standard input: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool load_input(const std::string &file, pdfsanitize::pdf_doc &doc, std::vector<unsigned char> &stdin_bytes,
                std::string &message) {
    if (file == std_stream) {
        if (!read_standard_input(stdin_bytes, message)) return false;
        if (pdfsanitize::doc_load_memory("(standard input)", stdin_bytes, doc, pdfsanitize::borrow_bytes) != 0) {
            message = library_message();
            return false;
        }
        return true;
    }
    if (pdfsanitize::doc_load(file.c_str(), doc) != 0) {
        message = library_message();
        return false;
    }
    return true;
}

std::string with_file(const std::string &file, const std::string &json_object) {
    std::string line = "{\"file\":";
    pdfsanitize::json_string(line, file);
    if (json_object.size() > 2) {
        line += ',';
        line.append(json_object, 1);
    } else {
        line += '}';
    }
    return line;
}

std::string error_line(const std::string &file, const std::string &message) {
    std::string line = "{\"file\":";
    pdfsanitize::json_string(line, file);
    line += ",\"error\":";
    pdfsanitize::json_string(line, message);
    line += '}';
    return line;
}

}  // namespace cli
