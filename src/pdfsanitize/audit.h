// The audit: what the byte-level rules of the scan and the modes cannot see in a
// loaded document (escaped names, comments and repeated keys in dictionaries, actions
// outside the places the modes visit, XFA, rich media, 3D, object streams that could
// not be expanded, script streams left behind), and what that means for each mode.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "document.h"

namespace pdfsanitize {

struct audit_item {
    std::int32_t object;
    std::string detail;
};

enum audit_mode { audit_js = 0, audit_attachments = 1, audit_actions = 2, audit_full = 3 };

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
    std::array<std::vector<std::string>, 4> blind_spots;  // by audit_mode
};

// Fills report from a loaded document.
void audit_document(const pdf_doc &doc, audit_report &report);

// The report as one line of JSON, with the file name.
std::string audit_json(const audit_report &report, std::string_view file);


}  // namespace pdfsanitize
