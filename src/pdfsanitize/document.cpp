// SPDX-License-Identifier: Apache-2.0
// Containers of the document model, the load/free contract, lookups by number, and
// the inspection of one object's dictionary.
#include "pdfsanitize/document.h"

#include "pdfsanitize/alloc.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace pdfsanitize {

namespace {

// Grows an element array to hold one more element: its first size, then doubling.
// Throws std::bad_alloc (array unchanged) when the new size cannot be had.
template <typename T>
void grow_for_push(T *&items, std::int32_t count, std::int32_t &cap, std::int32_t first) {
    if (count < cap) return;
    const std::int64_t want = cap == 0 ? first : 2 * static_cast<std::int64_t>(count);
    if (want > INT32_MAX || static_cast<std::uint64_t>(want) > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    void *p = lib_realloc(items, static_cast<std::size_t>(want) * sizeof(T));
    if (!p) throw std::bad_alloc();
    items = static_cast<T *>(p);
    cap = static_cast<std::int32_t>(want);
}

}  // namespace

objvec::objvec(objvec &&o) noexcept : items(o.items), count(o.count), cap(o.cap) {
    o.items = nullptr;
    o.count = o.cap = 0;
}

objvec &objvec::operator=(objvec &&o) noexcept {
    if (this != &o) {
        release();
        items = o.items;
        count = o.count;
        cap = o.cap;
        o.items = nullptr;
        o.count = o.cap = 0;
    }
    return *this;
}

objvec::~objvec() { release(); }

void objvec::release() {
    std::free(items);
    items = nullptr;
    count = cap = 0;
}

pagevec::~pagevec() { release(); }

void pagevec::release() {
    std::free(items);
    items = nullptr;
    count = cap = 0;
}

arena::~arena() { release(); }

void arena::release() {
    for (std::int32_t i = 0; i < count; ++i) std::free(blocks[i]);
    std::free(blocks);
    blocks = nullptr;
    count = cap = 0;
}

void objvec_push(objvec &v, const pdf_obj &o) {
    grow_for_push(v.items, v.count, v.cap, 128);
    v.items[v.count++] = o;
}

void objvec::reserve(std::size_t n) { objvec_reserve(*this, n); }

void objvec_reserve(objvec &v, std::size_t n) {
    if (n <= static_cast<std::size_t>(v.cap) || n > static_cast<std::size_t>(INT32_MAX) || n > SIZE_MAX / sizeof(pdf_obj)) return;
    // Only a hint: without the room, pushes grow the array step by step to the same records.
    if (void *p = lib_realloc(v.items, n * sizeof(pdf_obj))) {
        v.items = static_cast<pdf_obj *>(p);
        v.cap = static_cast<std::int32_t>(n);
    }
}

void pagevec_push(pagevec &v, std::int32_t num) {
    grow_for_push(v.items, v.count, v.cap, 64);
    v.items[v.count++] = num;
}

char *arena_alloc(arena &a, std::size_t size) {
    grow_for_push(a.blocks, a.count, a.cap, 4);
    char *block = static_cast<char *>(lib_malloc(size == 0 ? 1 : size));
    if (!block) throw std::bad_alloc();
    a.blocks[a.count++] = block;
    return block;
}

char *arena_shrink_last(arena &a, std::size_t size) {
    if (a.count == 0) return nullptr;
    char *&last = a.blocks[a.count - 1];
    // A block that cannot shrink keeps its size: the same text, more memory.
    if (void *p = lib_realloc(last, size == 0 ? 1 : size)) last = static_cast<char *>(p);
    return last;
}

void arena_drop_last(arena &a) {
    if (a.count == 0) return;
    std::free(a.blocks[--a.count]);
}

char *alloc_file_buffer(std::size_t n) {
#if defined(__linux__)
    // Rounding up to whole huge pages costs less than 2 MiB: worth it from 32 MiB on.
    constexpr std::size_t huge = std::size_t{2} << 20;
    if (n >= std::size_t{32} << 20) {
        const std::size_t rounded = (n + huge - 1) / huge * huge;
        if (rounded >= n) {
            if (void *p = lib_aligned_alloc(huge, rounded)) {
                madvise(p, rounded, MADV_HUGEPAGE);  // a hint: without it the block works the same
                return static_cast<char *>(p);
            }
            return nullptr;
        }
    }
#endif
    return static_cast<char *>(lib_malloc(n));
}

void free_file_buffer(char *p) { std::free(p); }

pdf_doc::~pdf_doc() { doc_free(*this); }

void doc_free(pdf_doc &doc) {
    free_file_buffer(doc.owned);
    doc.owned = nullptr;
    doc.data = nullptr;
    doc.len = 0;
    doc.trailer_root = doc.trailer_info = 0;
    doc.encrypted = false;
    doc.objs.release();
    doc.arena.release();
    doc.max_num = doc.catalog = doc.info = 0;
    doc.pages.release();
    std::vector<std::int32_t>().swap(doc.first_by_num);
    std::vector<skipped_container>().swap(doc.skipped_containers);
    doc.memo.reset();
}

void doc_build_index(pdf_doc &doc) {
    std::int32_t top = 0;
    for (const pdf_obj &o : doc.objs.view())
        if (o.num > top && o.num <= max_object_number) top = o.num;
    doc.first_by_num.assign(static_cast<std::size_t>(top) + 1, no_pos);
    for (std::int32_t i = doc.objs.count; i-- > 0;) {
        const std::int32_t n = doc.objs.items[i].num;
        if (n >= 0 && n <= top) elem(doc.first_by_num, n) = i;
    }
}

const pdf_obj *doc_find(const pdf_doc &doc, std::int32_t num) {
    if (doc.objs.count == 0) return nullptr;
    if (!doc.first_by_num.empty()) {
        if (num < 0 || static_cast<std::size_t>(num) >= doc.first_by_num.size()) return nullptr;
        const std::int32_t i = elem(doc.first_by_num, num);
        return i < 0 ? nullptr : &doc.objs.items[i];
    }
    for (const pdf_obj &o : doc.objs.view())
        if (o.num == num) return &o;
    return nullptr;
}

bracket_memo &doc_memo(const pdf_doc &doc) {
    if (!doc.memo) doc.memo = std::make_unique<bracket_memo>(doc.bytes());
    return *doc.memo;
}

std::int32_t record_dict_close(const pdf_doc &doc, const pdf_obj &o) {
    if (o.in_objstm || o.dict_start < 0) return no_pos;
    if (o.dict_close != dict_close_unknown) return o.dict_close;
    return doc_memo(doc).dict_close(o.dict_start);
}

std::int32_t dict_span_end(const pdf_doc &doc, const pdf_obj &o) {
    if (o.stream_kw > 0) return o.stream_kw;
    if (o.endobj > 0) return o.endobj;
    return doc.len;
}

void locate_member_dict(const pdf_obj &o) {
    if (o.dict_close != dict_close_unknown) return;
    const std::string_view member(o.text, static_cast<std::size_t>(o.text_len));
    const std::int32_t open = skip_ws_comments(member, 0);
    o.dict_start = no_pos;
    o.dict_close = no_pos;
    if (dict_opens_at(member, open)) {
        o.dict_start = open;
        o.dict_close = scan_dict_close(member, open);
    }
}

std::string_view obj_dict_view(const pdf_doc &doc, const pdf_obj *o) {
    if (!o) return {};
    if (o->in_objstm) {
        // It may begin with blanks or a comment line before its "<<".
        locate_member_dict(*o);
        if (o->dict_start < 0 || o->dict_close < 0) return {};
        return std::string_view(o->text + o->dict_start, static_cast<std::size_t>(o->dict_close + 2 - o->dict_start));
    }
    if (o->dict_start < 0) return {};
    const std::int32_t end = dict_span_end(doc, *o);
    const std::int32_t s = o->dict_start;
    if (!dict_opens_at(doc.bytes(), s, end)) return {};
    // The scan bounded by `end` follows the whole-file scan step for step, so it finds
    // the same close when that close lies inside the bound, and none otherwise.
    const std::int32_t close = record_dict_close(doc, *o);
    if (close < 0 || close + 1 >= end) return {};
    return doc.bytes().substr(static_cast<std::size_t>(s), static_cast<std::size_t>(close + 2 - s));
}

std::string_view read_obj_dict_text(const pdf_doc &doc, const pdf_obj *o, dict_text &storage) {
    const std::string_view v = obj_dict_view(doc, o);
    if (v.empty() || !std::memchr(v.data(), '\0', v.size())) return v;
    storage = copy_dict_text(v, 0, static_cast<std::int32_t>(v.size()) - 2);
    return storage;
}

dict_text get_obj_dict_text(const pdf_doc &doc, const pdf_obj *o) {
    const std::string_view v = obj_dict_view(doc, o);
    if (v.empty()) return dict_text();
    return copy_dict_text(v, 0, static_cast<std::int32_t>(v.size()) - 2);
}

std::string_view record_dict(const pdf_doc &doc, const pdf_obj &o, bool &closed) {
    closed = true;
    const std::string_view v = obj_dict_view(doc, &o);
    if (!v.empty()) return v;
    closed = false;
    if (o.in_objstm) {
        locate_member_dict(o);
        if (o.dict_start < 0) return {};
        return std::string_view(o.text + o.dict_start, static_cast<std::size_t>(o.text_len - o.dict_start));
    }
    const std::int32_t s = o.dict_start;
    std::int32_t e = std::min(dict_span_end(doc, o), doc.len);
    if (!dict_opens_at(doc.bytes(), s, e)) return {};
    // An open dictionary reads no further than the next object header: headers glued
    // before one shared "endobj" must not each read all the others.
    const std::int32_t next = find_kw(doc.bytes().substr(0, static_cast<std::size_t>(e)), s, "obj");
    if (next >= 0) e = next;
    return doc.bytes().substr(static_cast<std::size_t>(s), static_cast<std::size_t>(e - s));
}

int obj_type(const pdf_doc &doc, const pdf_obj &o) {
    bool closed = true;
    const std::string_view d = record_dict(doc, o, closed);
    return dict_type(d, closed);
}

int dict_type(std::string_view d, bool closed) {
    dict_entry e;
    if (d.empty() || !dict_get(d, "Type", e, closed) || !e.has_value() || char_at(d, e.value_pos) != '/')
        return 0;
    const std::string_view raw = d.substr(static_cast<std::size_t>(e.value_pos) + 1,
                                          static_cast<std::size_t>(e.value_end - e.value_pos - 1));
    if (name_decodes_to(raw, "Page")) return 1;
    if (name_decodes_to(raw, "Pages")) return 2;
    // A value that begins with the name and runs on into a byte that is no letter or
    // digit ("/Page_x") is read as the name itself, as the type has always been.
    const auto ends_word = [&](std::size_t at) { return at >= raw.size() || !is_word_byte(static_cast<unsigned char>(raw[at])); };
    if (raw.substr(0, 4) != "Page") return 0;
    if (ends_word(4)) return 1;
    if (raw[4] == 's' && ends_word(5)) return 2;
    return 0;
}

bool obj_has_js(const pdf_doc &doc, const pdf_obj *o) {
    const std::string_view t = obj_dict_view(doc, o);
    if (t.empty()) return 0;
    return names_present(t, {"JavaScript", "JS"}) != 0;
}

namespace {

// Reads references from just after the '[' at `open` up to the first ']' or the end;
// strings, hex strings and comments are passed over whole, so a ']' or a digit inside
// one is nothing.
int walk_ref_array(std::string_view text, std::int32_t open, std::vector<std::int32_t> &out) {
    const std::int32_t end = span_end(text);
    const std::size_t before = out.size();
    std::int32_t i = skip_ws(text, open + 1);
    while (i < end) {
        const unsigned char c = byte_at(text, i);
        if (c == ']') break;
        if (is_digit(c)) {
            const std::int32_t num = parse_int_at(text, i);
            i = skip_ws(text, i);
            if (i < end && is_digit(byte_at(text, i))) {
                parse_int_at(text, i);
                i = skip_ws(text, i);
            }
            if (i < end && byte_at(text, i) == 'R') ++i;
            if (num > 0) out.push_back(num);
        } else if (c == '(' || c == '%' || (c == '<' && !(i + 1 < end && byte_at(text, i + 1) == '<'))) {
            const std::int32_t r = c == '%' ? skip_ws_comments(text, i) : reader_value_end(text, i);
            if (r >= end || r <= i) break;
            i = r;
        } else {
            ++i;
        }
        i = skip_ws(text, i);
    }
    return static_cast<int>(out.size() - before);
}

}  // namespace

std::int32_t ref_list_object(std::string_view text, const dict_entry &e) {
    if (!e.has_value() || !is_digit(byte_at(text, e.value_pos))) return 0;
    std::int32_t p = e.value_pos;
    const std::int32_t num = parse_int_at(text, p);
    return num > 0 ? num : 0;
}

int read_ref_list(const pdf_doc &doc, std::string_view text, const dict_entry &e, std::vector<std::int32_t> &out) {
    out.clear();
    if (!e.has_value()) return -1;
    if (byte_at(text, e.value_pos) == '[') return walk_ref_array(text, e.value_pos, out);
    std::int32_t p = e.value_pos;
    const std::int32_t num = parse_int_at(text, p);
    if (num <= 0) return -1;
    const pdf_obj *o = doc_find(doc, num);
    if (!o) return -1;
    std::string_view span;
    if (o->in_objstm) {
        span = std::string_view(o->text, static_cast<std::size_t>(o->text_len));
    } else {
        const std::int32_t s = o->dict_start >= 0 ? o->dict_start : o->start;
        if (s < 0) return -1;
        const std::int32_t end = o->obj_end > 0 ? std::min(o->obj_end, doc.len) : doc.len;
        if (s >= end) return -1;
        span = doc.bytes().substr(static_cast<std::size_t>(s), static_cast<std::size_t>(end - s));
    }
    if (skip_ws(span, 0) >= span_end(span)) return -1;
    const std::size_t open = span.find('[');
    if (open == std::string_view::npos) return -1;
    return walk_ref_array(span, static_cast<std::int32_t>(open), out);
}

int collect_ref_list(const pdf_doc &doc, std::string_view text, std::string_view key, std::vector<std::int32_t> &out,
                     bool closed) {
    key_lookup k{key, true, false, {}};
    dict_lookup(text, {&k, 1}, closed);
    if (!k.found) {
        out.clear();
        return -1;
    }
    return read_ref_list(doc, text, k.entry, out);
}

}  // namespace pdfsanitize
