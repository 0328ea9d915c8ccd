// SPDX-License-Identifier: Apache-2.0
// The audit: each mode run in memory and its output verified (what a reader can still
// reach of what the mode promises to remove: the blind spots; what it keeps by rule: the
// residue), with the findings about the input that explain a blind spot (escaped names,
// comments and repeated keys in dictionaries, XFA, rich media, 3D, object streams that
// could not be expanded, script streams). Also the report of one verified run.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pdfsanitize/document.h"
#include "pdfsanitize/sanitize.h"
#include "pdfsanitize/verify.h"
#include "pdfsanitize/writer.h"

namespace pdfsanitize {

struct audit_item {
    std::int32_t object;
    std::string detail;
};

// A mode's output, verified: its findings split by the mode's promise.
struct verified_output {
    std::vector<reach_finding> blind_spots;  // reachable content the mode promises to remove
    std::vector<reach_finding> residue;      // reachable active content the mode keeps by rule
};

verified_output check_output(const mode_promise &p, std::string_view out);
// The same for an output as the writer assembled it (its stream data left in place).
verified_output check_output(const mode_promise &p, const outbuf &out);

struct mode_audit {
    const mode_promise *promise = nullptr;
    std::string error;  // the run failed (its message); nothing verified
    verified_output found;
};

struct audit_report {
    std::vector<audit_item> escaped_names;            // object, the name its escapes spell
    std::map<std::string, std::int64_t> actions;      // by /S type, every dictionary
    std::map<std::string, std::int64_t> actions_outside_automatic;  // not under /OpenAction or /AA
    std::vector<std::int32_t> xfa;
    std::vector<std::int32_t> richmedia;
    std::vector<std::int32_t> three_d;
    std::map<std::string, std::int64_t> outline_actions;  // by /S type, in the outline tree
    std::vector<std::int32_t> comments_in_dictionaries;
    std::vector<audit_item> duplicate_keys;            // object, the key written twice
    std::vector<audit_item> unexpanded_object_streams; // object, reason
    std::vector<std::int32_t> js_source_streams;
    bool inline_js_names = false;
    std::int32_t catalog = 0;
    std::array<mode_audit, 4> modes;  // in the order of mode_promises()
    bool has_blind_spot() const;
    bool has_error() const;
};

// Fills report from a loaded document: the input findings, then each mode run in memory
// and its output verified.
void audit_document(const pdf_doc &doc, audit_report &report);

// The report as one line of JSON, with the file name.
std::string audit_json(const audit_report &report, std::string_view file);

// The report of one sanitising run: what was removed and what the verifier found left.
struct run_report {
    std::string_view input, output;
    const mode_promise *promise = nullptr;
    const removal_log *removed = nullptr;      // null when the run failed
    const verified_output *left = nullptr;     // null when the run failed
    bool written = false;
    bool refused = false;                      // a strict run found blind spots
    std::string_view error;
};
std::string run_report_json(const run_report &r);

// A verified output as one line of JSON: the mode, whether it kept its promise, the
// blind spots and the residue.
std::string verified_json(const mode_promise &p, const verified_output &v);

// Up to a few blind spots named for a message: "javascript JS (object 12, Root/OpenAction)".
std::string describe_findings(const std::vector<reach_finding> &f, std::size_t at_most = 5);


}  // namespace pdfsanitize
