// SPDX-License-Identifier: Apache-2.0
// The stages of a load and what they share: the cross-reference chain and trailers,
// the object scan with stream bounds, object streams, one definition per number, the
// refusals, and the catalog with its page tree. Only the loader's files use these.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "pdfsanitize/document.h"
#include "pdfsanitize/loader.h"

namespace pdfsanitize {

// Sorted positions of every occurrence of a keyword (kw_at) or a name (find_name) in buf.
std::vector<std::int32_t> all_keywords(std::string_view buf, std::string_view kw);
// "obj" and "endobj" in one pass (both end in 'j').
void obj_keywords(std::string_view buf, std::vector<std::int32_t> &obj, std::vector<std::int32_t> &endobj);
std::vector<std::int32_t> all_names(std::string_view buf, std::string_view name);
// First entry >= pos, or no_pos.
std::int32_t first_at_or_after(const std::vector<std::int32_t> &sorted, std::int64_t pos);
// Whether find_name(buf, a, e, name) would find a match, given all_names(buf, name).
bool name_in_span(const std::vector<std::int32_t> &names, std::string_view buf, std::string_view name,
                  std::int32_t a, std::int32_t e);

// Sorted keyword positions with a cursor: the stages mostly ask in increasing order,
// which then costs a short forward step instead of a binary search.
class position_list {
public:
    position_list() = default;
    explicit position_list(std::vector<std::int32_t> v) : pos_(std::move(v)), built_(true) {}
    // A list of the keyword's positions in buf, collected on first use.
    position_list(std::string_view buf, std::string_view kw) : buf_(buf), kw_(kw) {}
    std::int32_t first_at_or_after(std::int64_t p);
    std::size_t size() { return positions().size(); }
    const std::vector<std::int32_t> &positions();

private:
    std::vector<std::int32_t> pos_;
    std::size_t hint_ = 0;
    bool built_ = false;
    std::string_view buf_;
    std::string_view kw_;
};

// State shared by the loading stages of one load.
struct load_ctx {
    pdf_doc &doc;
    const char *path;
    position_list kw_obj;
    position_list kw_endobj;
    position_list kw_endstream;
};

// The stages, in the order doc_load runs them.
void read_xref_chain(load_ctx &ctx);
void scan_object_headers(load_ctx &ctx);
void fix_stream_bounds(load_ctx &ctx);
void remove_false_objects(pdf_doc &doc);
void expand_object_streams(pdf_doc &doc);
void keep_one_definition(pdf_doc &doc);
// 0, or -1 with "encrypted PDFs are not supported: %s" reported.
int refuse_encrypted(load_ctx &ctx);
void settle_catalog_and_pages(pdf_doc &doc);

// A stream whose dictionary names /ObjStm.
bool is_objstm_container(const pdf_doc &doc, const pdf_obj &o);

// Walks the page tree from node num, appending pages in tree order; the result is that
// of the recursive walk (1 for a page, the page count, 0, or -1 when the walk stopped).
int resolve_pages(const pdf_doc &doc, std::int32_t num, pagevec &pages,
                  std::vector<unsigned char> &visited);

}  // namespace pdfsanitize
