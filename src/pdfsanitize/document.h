// SPDX-License-Identifier: Apache-2.0
// The loaded document: the file's bytes, one record per object (positions into the
// bytes, or text inside a decompressed object stream), the page list, and the arena
// that owns decompressed text. Also the questions asked of one object or dictionary:
// its dictionary text, its kind, whether it names JavaScript, a key's reference list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "pdfsanitize/syntax.h"

namespace pdfsanitize {

constexpr std::int32_t max_object_number = 8388607;
constexpr std::int32_t dict_close_unknown = -2;

struct pdf_obj {
    std::int32_t num = 0;
    std::int32_t gen = 0;
    std::int32_t start = no_pos;
    mutable std::int32_t dict_start = no_pos;  // mutable: a member's is found on first use
    std::int32_t stream_kw = no_pos;
    std::int32_t stream_start = no_pos;
    std::int32_t stream_end = no_pos;
    std::int32_t endobj = no_pos;
    std::int32_t obj_end = no_pos;
    std::int32_t stream_len = no_pos;
    bool has_stream = false;
    bool stream_unterminated = false;
    bool in_objstm = false;
    const char *text = nullptr;
    std::int32_t text_len = 0;
    // Where the dictionary-close scan from dict_start over the whole file ends (no_pos: it
    // does not close), found once by the object scan; dict_close_unknown until then.
    // For an object-stream member both are offsets into its text, found on first use:
    // its "<<" after blanks and comments, and that dictionary's close.
    mutable std::int32_t dict_close = dict_close_unknown;
    // An object-stream container, once expand_object_streams has looked.
    bool is_container = false;
};

// Growable arrays: a first size (128 records, 64 pages), then doubling. A push that
// cannot grow the array throws std::bad_alloc.
struct objvec {
    pdf_obj *items = nullptr;
    std::int32_t count = 0;
    std::int32_t cap = 0;

    objvec() = default;
    objvec(const objvec &) = delete;
    objvec &operator=(const objvec &) = delete;
    objvec(objvec &&o) noexcept;
    objvec &operator=(objvec &&o) noexcept;
    ~objvec();
    void release();
    void reserve(std::size_t n);
    std::span<const pdf_obj> view() const { return {items, static_cast<std::size_t>(count)}; }
};

struct pagevec {
    std::int32_t *items = nullptr;
    std::int32_t count = 0;
    std::int32_t cap = 0;

    pagevec() = default;
    pagevec(const pagevec &) = delete;
    pagevec &operator=(const pagevec &) = delete;
    ~pagevec();
    void release();
    std::span<const std::int32_t> view() const { return {items, static_cast<std::size_t>(count)}; }
};

// A list of separately allocated blocks, all released together.
struct arena {
    char **blocks = nullptr;
    std::int32_t count = 0;
    std::int32_t cap = 0;

    arena() = default;
    arena(const arena &) = delete;
    arena &operator=(const arena &) = delete;
    ~arena();
    void release();
};

void objvec_push(objvec &v, const pdf_obj &o);
// Makes room for n records in one step when memory allows; without it pushes double the
// array as usual, to the same records.
void objvec_reserve(objvec &v, std::size_t n);
void pagevec_push(pagevec &v, std::int32_t num);
// A new block of size bytes owned by the arena; std::bad_alloc when memory is exhausted.
char *arena_alloc(arena &a, std::size_t size);
// Shrinks the newest block to size bytes (size > 0); returns its new address.
char *arena_shrink_last(arena &a, std::size_t size);
// Releases the newest block (a failed attempt that nothing points into).
void arena_drop_last(arena &a);

// An object stream the loader recognised but could not expand, and why.
struct skipped_container {
    std::int32_t num;
    const char *reason;
};

// The block a file is read into: on Linux one of 32 MiB or more is aligned to 2 MiB,
// rounded up to whole 2 MiB pages and asks for transparent huge pages (faulting it in 4
// KiB page by 4 KiB page was most of the cost of reading a large file); elsewhere, and
// for smaller files, a plain heap block. Null when memory is short. Released with
// free_file_buffer.
char *alloc_file_buffer(std::size_t n);
void free_file_buffer(char *p);

struct pdf_doc {
    const char *data = nullptr;  // the whole file: its own heap block, or bytes it borrows
    std::int32_t len = 0;
    char *owned = nullptr;       // the block data points into when the document owns it
    std::int32_t trailer_root = no_pos;
    std::int32_t trailer_info = no_pos;
    bool encrypted = false;
    objvec objs;
    ::pdfsanitize::arena arena;
    std::int32_t max_num = 0;
    std::int32_t catalog = no_pos;
    std::int32_t info = no_pos;
    pagevec pages;

    // Object streams recognised but skipped (their objects are missing from objs).
    std::vector<skipped_container> skipped_containers;
    // Index of the first record in objs for each number 0..max_num, or no_pos.
    std::vector<std::int32_t> first_by_num;
    // Bracket scans over data, shared by every reader of this document.
    mutable std::unique_ptr<bracket_memo> memo;

    pdf_doc() = default;
    pdf_doc(const pdf_doc &) = delete;
    pdf_doc &operator=(const pdf_doc &) = delete;
    ~pdf_doc();

    std::string_view bytes() const { return {data, static_cast<std::size_t>(len)}; }
};

// The generation an object is written with: its record's; 0 for object-stream members,
// numbers without a record and generations outside 0..65535.
inline std::int32_t output_gen(const pdf_obj *o) {
    return o && !o->in_objstm && o->gen >= 0 && o->gen <= 65535 ? o->gen : 0;
}

// Releases everything the document owns and returns it to the empty state.
// Harmless on an empty document.
void doc_free(pdf_doc &doc);

// Builds first_by_num and the bracket memo for a document whose objs are final.
void doc_build_index(pdf_doc &doc);

// The first record in objs whose num is num, or null.
const pdf_obj *doc_find(const pdf_doc &doc, std::int32_t num);

// The bracket memo over the document's bytes (created on first use).
bracket_memo &doc_memo(const pdf_doc &doc);

// The whole-file dictionary-close scan from the record's dict_start (no_pos when none).
std::int32_t record_dict_close(const pdf_doc &doc, const pdf_obj &o);

// The end of the span in which a non-stream-stored object's dictionary is looked for.
std::int32_t dict_span_end(const pdf_doc &doc, const pdf_obj &o);

// New dictionary text of the object's own dictionary, or empty.
dict_text get_obj_dict_text(const pdf_doc &doc, const pdf_obj *o);

// Finds an object-stream member's dictionary (after blanks and comments) into its
// dict_start and dict_close, once.
void locate_member_dict(const pdf_obj &o);

// The object's dictionary text for reading only: the bytes in place when they hold no
// NUL (then they are exactly the copy's bytes), else a copy made in storage.
std::string_view read_obj_dict_text(const pdf_doc &doc, const pdf_obj *o, dict_text &storage);

// The bytes that text is copied from, in place (NUL bytes not rewritten), or empty.
// Name and byte searches give the same answers on it as on the copy: a NUL, a space and
// "\000" all end a name, and none of them starts one.
std::string_view obj_dict_view(const pdf_doc &doc, const pdf_obj *o);

// The object's dictionary for reading keys: its text when it closes (closed set), else
// the open span from its "<<" to where the object ends; empty when it has none.
std::string_view record_dict(const pdf_doc &doc, const pdf_obj &o, bool &closed);

// 0 other, 1 page, 2 page-tree node, by the decoded top-level /Type value.
int obj_type(const pdf_doc &doc, const pdf_obj &o);
// The same for a dictionary (as record_dict gives it).
int dict_type(std::string_view d, bool closed);

// The annotation subtypes both passes test, and their bits in the answer.
constexpr std::uint32_t annot_file_attachment = name_bit(0), annot_widget = name_bit(1);
inline std::uint32_t annotation_kinds(std::string_view annot) {
    return names_present(annot, {"FileAttachment", "Widget"});
}

// Whether the object's dictionary text names JavaScript or JS.
bool obj_has_js(const pdf_doc &doc, const pdf_obj *o);

// The value of a top-level key of a dictionary text read as a list of object numbers,
// inline or through an array object; the last occurrence with an array or a number is
// read. Returns -1 when no list was found, else the count stored in out.
int collect_ref_list(const pdf_doc &doc, std::string_view text, std::string_view key, std::vector<std::int32_t> &out,
                     bool closed = true);

// The list of a reference-list entry that dict_lookup found: inline, or from the array
// object it names. -1 when it gives no list, else the count stored in out.
int read_ref_list(const pdf_doc &doc, std::string_view text, const dict_entry &e, std::vector<std::int32_t> &out);

// The array object such an entry names, or 0 for an inline list.
std::int32_t ref_list_object(std::string_view text, const dict_entry &e);

}  // namespace pdfsanitize
