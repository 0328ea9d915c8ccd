// Arbitrary bytes sanitised in memory in each mode; each output is loaded and scanned
// again, and it must be a complete file of the fixed layout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "pdfsanitize/loader.h"
#include "pdfsanitize/sanitize.h"
#include "pdfsanitize/scan.h"
#include "pdfsanitize/writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace pdfsanitize;
    {
        // Outputs carry one table entry per number up to the highest: a few bytes naming
        // object 8,000,000 make a 160 MB file, four times. That shape has its own test;
        // here it would only slow the search down.
        pdf_doc doc;
        if (doc_load_memory("fuzz.pdf", {data, size}, doc) == 0 && doc.max_num > (1 << 18)) return 0;
    }
    for (const std::int32_t mode : {mode_full, mode_js, mode_attachments, mode_actions}) {
        outbuf out;
        if (!sanitize_memory("fuzz.pdf", {data, size}, mode, out)) return 0;  // refused: so is every mode
        const std::string_view text(out.data, out.len);
        if (text.substr(0, 15) != std::string_view("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n", 15)) std::abort();
        if (text.substr(text.size() - 7) != "\n%%EOF\n") std::abort();
        pdf_doc again;
        if (doc_load_memory("out.pdf", {reinterpret_cast<const unsigned char *>(out.data), out.len}, again) == 0) {
            scan_result r;
            scan_document(again, r);
        }
    }
    return 0;
}
