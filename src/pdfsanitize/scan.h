// SPDX-License-Identifier: Apache-2.0
// The active-content scan: JavaScript, embedded files, automatic actions and forms,
// found by name searches over dictionary texts of the catalog, the pages with their
// annotations, and every object.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "pdfsanitize/document.h"

namespace pdfsanitize {

struct scan_result {
    bool javascript = false;
    std::int64_t embedded_files = 0;
    std::int64_t auto_actions = 0;
    bool forms = false;
};

// Fills result from a loaded document; std::bad_alloc when memory runs out.
void scan_document(const pdf_doc &doc, scan_result &result);

// Prints the one-line JSON report (counts saturate at INT32_MAX) into out.
void format_scan_json(const scan_result &r, char *out, std::size_t size);

// The scan of the file at path: true with its JSON line in out; false with the reason
// in the last-error message. The document is released before the line is written.
bool scan_file(const char *path, char *out, std::size_t size);

// Leaf pairs of the name tree below node num; marks each entered node in visited and each
// object number met as a value in counted (when counted is not null).
std::int64_t count_name_tree_leaf_pairs(const pdf_doc &doc, std::int32_t num, std::vector<unsigned char> &visited,
                                        unsigned char *counted);

// Pairs of a /Names array walked from pos (just after its '['), marking values in counted.
std::int64_t count_leaf_pairs(const pdf_doc &doc, std::string_view text, std::int32_t pos, unsigned char *counted);

// Names standing at nesting depth 1 of a dictionary text.
int count_aa_dict_entries(std::string_view text);

// The dictionary that is the value at pos (after white-space): by reference or inline.
dict_text dict_value_text(const pdf_doc &doc, std::string_view text, std::int32_t pos);

}  // namespace pdfsanitize
