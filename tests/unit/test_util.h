// SPDX-License-Identifier: Apache-2.0
// Helpers for unit tests: documents loaded from text in memory.
#pragma once

#include <cstdio>
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

// Objects 1.. with a table and a trailer, laid out as the writer lays them out.
inline std::string with_table(const std::vector<std::string> &bodies, int info = 0) {
    std::string s = "%PDF-1.4\n";
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        at.push_back(s.size());
        s += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    const std::size_t xref = s.size();
    s += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t a : at) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", a);
        s += line;
    }
    s += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root 1 0 R";
    if (info) s += " /Info " + std::to_string(info) + " 0 R";
    s += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return s;
}

}  // namespace test_util
