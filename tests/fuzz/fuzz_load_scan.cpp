// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes loaded from memory through the loader's own entry point, then scanned.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pdfsanitize/errors.h"
#include "pdfsanitize/loader.h"
#include "pdfsanitize/scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace pdfsanitize;
    pdf_doc doc;
    if (doc_load_memory("fuzz.pdf", {data, size}, doc) != 0) {
        if (g_err[0] == '\0') std::abort();  // every refusal says why
        return 0;
    }
    if (doc.objs.count < 1 || doc.catalog < 1) std::abort();
    for (const pdf_obj &o : doc.objs.view()) {
        if (o.num < 1 || o.num > doc.max_num) std::abort();
        if (o.in_objstm ? (o.text_len < 1 || o.text_len > 1048576) : (o.endobj <= o.start)) std::abort();
        if (o.has_stream && !(o.stream_kw < o.stream_start && o.stream_start <= o.stream_end && o.stream_end <= doc.len))
            std::abort();
    }
    scan_result r;
    scan_document(doc, r);
    char json[json_size];
    format_scan_json(r, json, sizeof json);
    if (r.embedded_files < 0 || r.auto_actions < 0) std::abort();
    return 0;
}
