// SPDX-License-Identifier: Apache-2.0
// The startxref chain: classic cross-reference sections with the trailers after them,
// cross-reference streams by their dictionary only. It supplies /Root, /Info and the
// encryption mark; objects are never located through it. Also the refusal of
// encrypted files.
#include <algorithm>
#include <new>

#include "pdfsanitize/errors.h"
#include "pdfsanitize/load_stages.h"

namespace pdfsanitize {

namespace {

constexpr int max_sections = 32;
// First non-negative integer after an occurrence of the name within [b, e): each
// occurrence's value is read once, and trailers look their spans up by position.
struct name_values {
    std::vector<std::int32_t> pos;
    std::vector<std::int32_t> value;      // per occurrence: the integer after it, or -1
    std::vector<std::int32_t> next_good;  // per occurrence: first index >= it with a value
};

name_values index_name_values(std::string_view b, std::string_view name) {
    name_values nv;
    nv.pos = all_names(b, name);
    nv.value.resize(nv.pos.size());
    nv.next_good.resize(nv.pos.size());
    for (std::size_t i = 0; i < nv.pos.size(); ++i) {
        std::int32_t p = skip_ws(b, nv.pos[i] + 1 + static_cast<std::int32_t>(name.size()));
        const std::int32_t before = p;
        const std::int32_t v = parse_int_at(b, p);
        nv.value[i] = (p != before && v >= 0) ? v : -1;
    }
    std::int32_t next = -1;
    for (std::size_t i = nv.pos.size(); i-- > 0;) {
        if (nv.value[i] >= 0) next = static_cast<std::int32_t>(i);
        nv.next_good[i] = next;
    }
    return nv;
}

// The value of the first occurrence in [a, e) that has one, or -1. A trailer span ends
// at a "startxref" keyword or at the end of the file, where an integer cannot continue,
// so a value read without the bound is the value read within it.
std::int32_t first_value_in(const name_values &nv, std::int32_t a, std::int32_t e, std::int32_t name_len) {
    const auto it = std::lower_bound(nv.pos.begin(), nv.pos.end(), a);
    if (it == nv.pos.end()) return -1;
    const std::int32_t g = elem(nv.next_good, it - nv.pos.begin());
    if (g < 0) return -1;
    const std::int32_t p = elem(nv.pos, g);
    if (std::int64_t{p} + 1 + name_len >= e) return -1;
    return elem(nv.value, g);
}

// First non-negative integer after an occurrence of /name within the span, or -1.
std::int32_t first_value_direct(std::string_view b, std::int32_t a, std::int32_t e, std::string_view name) {
    const std::string_view span = b.substr(0, static_cast<std::size_t>(e));
    for (std::int32_t p = find_name(span, a, name); p >= 0; p = find_name(span, p + 1, name))
        if (const auto v = int_after_name(span, p, name); v && *v >= 0) return *v;
    return -1;
}

void read_trailers(load_ctx &ctx, std::int32_t x) {
    pdf_doc &doc = ctx.doc;
    const std::string_view b = doc.bytes();
    std::vector<std::pair<std::int32_t, std::int32_t>> spans;
    std::int64_t total = 0;
    // Trailers come in file order: the first "startxref" at or after one trailer's start
    // is also the first for the next trailer when it lies beyond that one's start.
    std::int32_t searched_from = -1, found = no_pos;
    for (std::int32_t t = find_kw(b, x + 4, "trailer"); t >= 0; t = find_kw(b, t + 1, "trailer")) {
        const std::int32_t start = skip_ws(b, t + 7);
        if (searched_from < 0 || found < start) {
            found = (searched_from >= 0 && found == no_pos) ? no_pos : find_kw(b, start, "startxref");
            searched_from = start;
        }
        const std::int32_t e = found < 0 ? doc.len : found;
        if (start < doc.len && start < e && char_at(b, start) == '<') {
            spans.emplace_back(start, e);
            total += e - start;
        }
    }
    // Many trailers before one "startxref" overlap; past a few passes over the file,
    // the names are found once and each span looks them up.
    if (total <= 2 * static_cast<std::int64_t>(doc.len) + 65536) {
        for (const auto &[start, e] : spans) {
            const std::int32_t r = first_value_direct(b, start, e, "Root");
            if (r >= 0) doc.trailer_root = r;
            const std::int32_t i = first_value_direct(b, start, e, "Info");
            if (i >= 0) doc.trailer_info = i;
            if (find_name(b, start, e, "Encrypt") >= 0) doc.encrypted = true;
        }
        return;
    }
    const name_values roots = index_name_values(b, "Root");
    const name_values infos = index_name_values(b, "Info");
    const std::vector<std::int32_t> encrypts = all_names(b, "Encrypt");
    for (const auto &[start, e] : spans) {
        const std::int32_t r = first_value_in(roots, start, e, 4);
        if (r >= 0) doc.trailer_root = r;
        const std::int32_t i = first_value_in(infos, start, e, 4);
        if (i >= 0) doc.trailer_info = i;
        if (name_in_span(encrypts, b, "Encrypt", start, e)) doc.encrypted = true;
    }
}

// Reads one cross-reference stream dictionary; returns the next offset or -1.
std::int32_t read_xref_stream(pdf_doc &doc, std::int32_t at) {
    const std::string_view b = doc.bytes();
    std::int32_t p = at;
    while (p < doc.len && is_digit(byte_at(b, p))) ++p;
    p = skip_ws(b, p);
    if (p < doc.len && is_digit(byte_at(b, p))) {
        parse_int_at(b, p);
        p = skip_ws(b, p);
    }
    if (!kw_at(b, p, "obj")) return -1;
    const std::int32_t s = skip_ws(b, p + 3);
    std::int32_t e = doc.len;
    if (s < doc.len && char_at(b, s) == '<') {
        const std::int32_t k = dict_stream_kw(b, s, &doc_memo(doc));
        if (k >= 0) e = k;
    }
    const std::string_view span = b.substr(0, static_cast<std::size_t>(e));
    std::int32_t next = -1;
    const std::int32_t prev = find_name(span, s, "Prev");
    if (prev >= 0)
        if (const auto v = int_after_name(span, prev, "Prev"); v && *v >= 0 && *v < doc.len) next = *v;
    if (doc.trailer_root == -1) {
        const std::int32_t root = find_name(span, s, "Root");
        if (root >= 0)
            if (const auto v = int_after_name(span, root, "Root"); v && *v >= 0) doc.trailer_root = *v;
    }
    if (find_name(span, s, "Encrypt") >= 0) doc.encrypted = true;
    return next;
}

// The last "startxref" keyword: found from the end, where it stands in a well-formed file.
std::int32_t last_startxref(std::string_view b) {
    const std::string_view kw = "startxref";
    std::size_t p = b.size();
    while (p >= kw.size()) {
        p = b.rfind(kw, p - kw.size());
        if (p == std::string_view::npos) return no_pos;
        if (kw_at(b, static_cast<std::int32_t>(p), kw)) return static_cast<std::int32_t>(p);
        if (p == 0) break;
        p += kw.size() - 1;
    }
    return no_pos;
}

}  // namespace

void read_xref_chain(load_ctx &ctx) {
    pdf_doc &doc = ctx.doc;
    const std::string_view b = doc.bytes();
    const std::int32_t last = last_startxref(b);
    if (last < 0) return;
    std::int32_t p = last + 9;
    const std::int32_t before = p;
    const std::int32_t off = parse_int_at(b, p);
    if (p == before || off < 0 || off >= doc.len) return;

    std::int32_t at = off;
    for (int section = 0; section < max_sections && at >= 0; ++section) {
        const std::int32_t i = skip_ws(b, at);
        if (i >= doc.len) return;
        if (kw_at(b, i, "xref")) {
            read_trailers(ctx, i);
            return;
        }
        if (!is_digit(byte_at(b, i))) return;
        at = read_xref_stream(doc, i);
    }
}

int refuse_encrypted(load_ctx &ctx) {
    pdf_doc &doc = ctx.doc;
    const std::string_view b = doc.bytes();
    bool refuse = doc.encrypted;
    if (!refuse) {
        // Every occurrence of the name in the file: "/Encrypt" not running on into a name byte.
        for (std::int32_t p = find_bytes(b, 0, "/Encrypt"); p >= 0 && !refuse; p = find_bytes(b, p + 1, "/Encrypt")) {
            if (p + 8 < doc.len && is_name_byte(byte_at(b, p + 8))) continue;
            const std::int32_t v = skip_ws(b, p + 8);
            if (v < doc.len && (is_digit(byte_at(b, v)) || char_at(b, v) == '<')) refuse = true;
        }
    }
    if (!refuse) return 0;
    doc.encrypted = true;
    set_error("encrypted PDFs are not supported: %s", ctx.path);
    return -1;
}

}  // namespace pdfsanitize
