// SPDX-License-Identifier: Apache-2.0
// Object streams: every recognised container is expanded into an arena block and one
// in-stream record per contained object is appended to the list. The containers
// themselves are dropped later, with the duplicates.
#include <cstring>
#include <new>
#include <vector>

#include "inflate/inflate.h"
#include "pdfsanitize/load_stages.h"

namespace pdfsanitize {

namespace {

constexpr std::int64_t max_container_bytes = std::int64_t{1} << 28;
constexpr std::int64_t max_objects_per_stream = 100000;
constexpr std::int64_t max_object_text = 1048576;
constexpr std::int64_t decoder_max_capacity = std::int64_t{1} << 30;
constexpr std::int64_t last_retry_capacity = (std::int64_t{1} << 28) - 1;

// First integer after an occurrence of /name in the span that passes `ok`, or -1.
template <typename Pred>
std::int32_t first_value_after(std::string_view span, std::int32_t from, std::string_view name, Pred ok) {
    for (std::int32_t p = find_name(span, from, name); p >= 0; p = find_name(span, p + 1, name))
        if (const auto v = int_after_name(span, p, name); v && ok(*v)) return *v;
    return -1;
}

void note_skipped(pdf_doc &doc, const pdf_obj &o, const char *reason) { doc.skipped_containers.push_back({o.num, reason}); }

// Decompresses (or copies) the container's data into a new arena block. Returns the
// block and sets text_len, or null when the container is skipped (reason set).
char *expand_data(pdf_doc &doc, const pdf_obj &o, std::string_view span, std::int32_t &text_len, const char *&reason) {
    const std::int64_t raw = std::int64_t{o.stream_end} - o.stream_start;
    if (raw < 0 || raw > max_container_bytes) {
        reason = "its data is larger than 256 MiB";
        return nullptr;
    }
    const bool flate = find_name(span, o.dict_start, "FlateDecode") >= 0 || find_name(span, o.dict_start, "Fl") >= 0;
    const auto *src = reinterpret_cast<const std::uint8_t *>(doc.data + o.stream_start);
    if (!flate) {
        char *block = arena_alloc(doc.arena, static_cast<std::size_t>(raw));
        std::memcpy(block, src, static_cast<std::size_t>(raw));
        text_len = static_cast<std::int32_t>(raw);
        return block;
    }
    std::int64_t cap = 8 * raw + 64;
    for (;;) {
        // The decoder refuses any capacity above 1 GiB, so such an attempt needs no block.
        if (cap <= decoder_max_capacity) {
            char *block = arena_alloc(doc.arena, static_cast<std::size_t>(cap));
            std::size_t produced = 0;
            flate::failure why = flate::failure::none;
            const int rc = flate::inflate_decompress(
                std::span<const std::uint8_t>(src, static_cast<std::size_t>(raw)),
                std::span<std::uint8_t>(reinterpret_cast<std::uint8_t *>(block), static_cast<std::size_t>(cap)), produced,
                why);
            if (rc == 0) {
                text_len = static_cast<std::int32_t>(produced);
                // Nothing points into the block yet: give back what the text does not use.
                return arena_shrink_last(doc.arena, produced);
            }
            arena_drop_last(doc.arena);  // a failed attempt is dead weight
            // Data cut short or refused fails the same way at every capacity: the
            // retries could only end in skipping the container.
            if (why != flate::failure::output_full) {
                reason = why == flate::failure::refused ? "its data has no zlib header (another filter first?)"
                                                        : "its compressed data is cut short or corrupt";
                return nullptr;
            }
        }
        if (cap > last_retry_capacity) {
            reason = "its text would be larger than 1 GiB";
            return nullptr;
        }
        cap *= 4;
    }
}

void expand_container(pdf_doc &doc, const pdf_obj &o) {
    const std::string_view b = doc.bytes();
    const std::int32_t span_stop = o.stream_kw > 0 ? o.stream_kw : doc.len;
    const std::string_view span = b.substr(0, static_cast<std::size_t>(span_stop));

    std::int32_t text_len = 0;
    const char *reason = nullptr;
    const char *text = expand_data(doc, o, span, text_len, reason);
    if (!text) return note_skipped(doc, o, reason);

    const std::int32_t n = first_value_after(span, o.dict_start, "N", [](std::int32_t v) { return v > 0; });
    const std::int32_t first = first_value_after(span, o.dict_start, "First", [](std::int32_t v) { return v >= 0; });
    if (first < 0) return note_skipped(doc, o, "no /First");
    if (n < 1 || n > max_objects_per_stream) return note_skipped(doc, o, "no /N between 1 and 100000");
    if (first > text_len) return note_skipped(doc, o, "/First lies beyond its text");

    std::vector<std::int32_t> nums(static_cast<std::size_t>(n)), offs(static_cast<std::size_t>(n));
    const std::string_view t(text, static_cast<std::size_t>(text_len));
    std::int32_t cur = 0;
    for (std::int32_t k = 0; k < n; ++k) {
        elem(nums, k) = read_int_adv(t, cur);
        elem(offs, k) = read_int_adv(t, cur);
        if (elem(nums, k) < 0 || elem(offs, k) < 0)
            return note_skipped(doc, o, "its header of number pairs is unreadable (a predictor or another filter?)");
    }
    for (std::int32_t k = 0; k < n; ++k) {
        const std::int32_t num = elem(nums, k);
        if (num <= 0) continue;
        const std::int64_t at = std::int64_t{first} + elem(offs, k);
        const std::int64_t length = k + 1 < n ? std::int64_t{elem(offs, k + 1)} - elem(offs, k)
                                              : text_len - at;
        if (length < 1 || length > max_object_text || at + length > text_len) continue;
        pdf_obj rec;
        rec.num = num;
        rec.in_objstm = true;
        rec.text = text + at;
        rec.text_len = static_cast<std::int32_t>(length);
        objvec_push(doc.objs, rec);
    }
}

}  // namespace

void expand_object_streams(pdf_doc &doc) {
    // Records appended here are in-stream records and are passed over in turn.
    for (std::int32_t i = 0; i < doc.objs.count; ++i) {
        if (!is_objstm_container(doc, doc.objs.items[i])) continue;
        doc.objs.items[i].is_container = true;
        const pdf_obj o = doc.objs.items[i];  // a copy: appending may move the list
        expand_container(doc, o);
    }
}

}  // namespace pdfsanitize
