// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes sanitised in memory in each mode; each output is loaded and scanned
// again, and it must be a complete file of the fixed layout. Where the verifier finds
// nothing the mode promises to remove, sanitising the output again with the same mode
// changes nothing the scan reports (where the loader reads the output as a reader does).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdfsanitize/loader.h"
#include "pdfsanitize/sanitize.h"
#include "pdfsanitize/audit.h"
#include "pdfsanitize/scan.h"
#include "pdfsanitize/writer.h"

namespace {

// Whether the loader reads every object of an output as a reader does: where its table
// puts it, and its dictionary within its own bytes. Bodies copied whole can hold other
// objects' headers (a record that did not end before the next began), and the loader's
// dictionary-close scan runs from a dictionary left open into the objects after it: the
// scan of such an output depends on the layout, not on what a reader sees, and
// comparing scans says nothing.
bool loader_reads_the_table(const pdfsanitize::pdf_doc &doc, std::string_view out) {
    const std::size_t x = out.rfind("xref\n0 ");
    if (x == std::string_view::npos) return false;
    const std::size_t first = out.find('\n', x + 5);
    if (first == std::string_view::npos) return false;
    for (const pdfsanitize::pdf_obj &o : doc.objs.view()) {
        const std::size_t at = first + 1 + 20 * static_cast<std::size_t>(o.num);
        if (o.in_objstm || at + 20 > out.size()) return false;
        if (std::strtoll(std::string(out.substr(at, 10)).c_str(), nullptr, 10) != o.start) return false;
        if (o.dict_start >= 0 && o.dict_start + 1 < doc.len && doc.data[o.dict_start] == '<' && doc.data[o.dict_start + 1] == '<') {
            const std::int32_t close = pdfsanitize::record_dict_close(doc, o);
            if (close < 0 || (o.endobj > 0 && close >= o.endobj)) return false;
        }
    }
    // Each object ends before the next begins.
    std::vector<std::pair<std::int32_t, std::int32_t>> spans;
    for (const pdfsanitize::pdf_obj &o : doc.objs.view()) spans.emplace_back(o.start, o.endobj);
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 0; i + 1 < spans.size(); ++i)
        if (spans[i].second < 0 || spans[i].second > spans[i + 1].first) return false;
    return true;
}

}  // namespace

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
        const std::string joined = outbuf_joined(out);
        const std::string_view text(joined);
        if (text.substr(0, 15) != std::string_view("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n", 15)) std::abort();
        if (text.substr(text.size() - 7) != "\n%%EOF\n") std::abort();
        const std::span<const unsigned char> written{reinterpret_cast<const unsigned char *>(joined.data()), joined.size()};
        pdf_doc again;
        if (doc_load_memory("out.pdf", written, again) != 0) continue;
        scan_result r;
        scan_document(again, r);
        // The verifier reads the output as assembled (its pieces apart) and joined alike.
        const verified_output pieces = check_output(*promise_for_mode(mode), out);
        if (pieces.blind_spots.size() != check_output(*promise_for_mode(mode), text).blind_spots.size()) std::abort();
        if (!pieces.blind_spots.empty() || !loader_reads_the_table(again, text))
            continue;
        outbuf twice;
        if (!sanitize_memory("out.pdf", written, mode, twice)) continue;
        pdf_doc third;
        const std::string twice_joined = outbuf_joined(twice);
        if (doc_load_memory("twice.pdf", {reinterpret_cast<const unsigned char *>(twice_joined.data()), twice_joined.size()}, third) != 0)
            std::abort();
        scan_result r2;
        scan_document(third, r2);
        if (r.javascript != r2.javascript || r.embedded_files != r2.embedded_files || r.auto_actions != r2.auto_actions ||
            r.forms != r2.forms)
            std::abort();
    }
    return 0;
}
