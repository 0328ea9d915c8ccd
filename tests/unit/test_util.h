// SPDX-License-Identifier: Apache-2.0
// Helpers for unit tests: documents loaded from text in memory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pdfsanitize/document.h"
#include "pdfsanitize/loader.h"

namespace test_util {

inline int load_text(std::string_view text, pdfsanitize::pdf_doc &doc) {
    return pdfsanitize::doc_load_memory(
        "mem.pdf", {reinterpret_cast<const unsigned char *>(text.data()), text.size()}, doc);
}

// Objects "n 0 obj BODY endobj" for each body in order, numbered from 1, with a
// trailer naming /Root 1 0 R; no xref table (the objects are found by their headers).
inline std::string simple_pdf(const std::vector<std::string> &bodies) {
    std::string s = "%PDF-1.4\n";
    int n = 1;
    for (const auto &b : bodies) {
        s += std::to_string(n++) + " 0 obj\n";
        s += b;
        s += "\nendobj\n";
    }
    return s;
}

}  // namespace test_util
