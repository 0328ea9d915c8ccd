// SPDX-License-Identifier: Apache-2.0
// The catalog, the information dictionary and the page list. The page tree is walked
// with an explicit stack, so its depth is limited by memory only, never by the call
// stack; pages come in the order of a depth-first walk that passes over missing kids
// and nodes already walked, as readers show them.
#include <algorithm>
#include <new>
#include <vector>

#include "pdfsanitize/load_stages.h"

namespace pdfsanitize {

namespace {

// Whether the object's body begins with '[' (after blanks and comments).
bool is_array_object(const pdf_doc &doc, const pdf_obj &o) {
    std::string_view t;
    std::int32_t i = 0;
    if (o.in_objstm) {
        t = {o.text, static_cast<std::size_t>(o.text_len)};
    } else {
        t = doc.bytes();
        const std::int32_t kw = find_kw(t, o.start, "obj");
        if (kw < 0) return false;
        i = kw + 3;
    }
    i = skip_ws_comments(t, i);
    return i < span_end(t) && char_at(t, i) == '[';
}

// Kids of a page-tree node, at most the node's capacity; empty when it has none.
std::vector<std::int32_t> read_kids(const pdf_doc &doc, const pdf_obj &o) {
    std::vector<std::int32_t> kids;
    const std::int64_t cap = o.in_objstm ? o.text_len / 4 + 4096
                             : o.endobj > o.start ? (std::int64_t{o.endobj} - o.start) / 4 + 4096
                                                  : 4096;
    bool closed = true;
    const std::string_view d = record_dict(doc, o, closed);
    if (d.empty()) return kids;
    key_lookup k{"Kids", true, false, {}};
    dict_lookup(d, {&k, 1}, closed);
    if (!k.found) return kids;
    // A /Kids given by reference is read only from an array object.
    const std::int32_t array = ref_list_object(d, k.entry);
    if (array > 0) {
        const pdf_obj *target = doc_find(doc, array);
        if (!target || !is_array_object(doc, *target)) return kids;
    }
    read_ref_list(doc, d, k.entry, kids);
    if (static_cast<std::int64_t>(kids.size()) > cap) kids.resize(static_cast<std::size_t>(cap));
    return kids;
}

struct frame {
    std::vector<std::int32_t> kids;
    std::size_t next = 0;
};

enum node_kind : signed char { kind_unknown = -2, kind_none = -1, kind_page = 1, kind_node = 2 };

// Record kinds are looked up once each: a kid list may name one page many times. As
// readers take it: a page when its /Type is /Page, else a node when it has /Kids, else
// a page; nothing when it has no dictionary.
class kind_cache {
public:
    explicit kind_cache(const pdf_doc &doc) : doc_(doc), kinds_(static_cast<std::size_t>(doc.objs.count), kind_unknown) {}
    int kind(const pdf_obj &o) {
        const std::size_t i = static_cast<std::size_t>(&o - doc_.objs.items);
        if (kinds_[i] == kind_unknown) kinds_[i] = static_cast<signed char>(classify(o));
        return kinds_[i];
    }

private:
    int classify(const pdf_obj &o) const {
        bool closed = true;
        const std::string_view d = record_dict(doc_, o, closed);
        if (d.empty()) return kind_none;
        if (dict_type(d, closed) == 1) return kind_page;
        dict_entry e;
        return dict_get(d, "Kids", e, closed) ? kind_node : kind_page;
    }

    const pdf_doc &doc_;
    std::vector<signed char> kinds_;
};

// Depth first, in tree order. A kid that has no record or no dictionary, and a node
// already walked, are passed over; the walk goes on with the next kid.
int walk(const pdf_doc &doc, std::int32_t root, pagevec &pages, std::vector<unsigned char> &visited) {
    kind_cache kinds(doc);
    const pdf_obj *r = doc_find(doc, root);
    if (!r) return -1;
    const int t = kinds.kind(*r);
    if (t == kind_page) {
        pagevec_push(pages, root);
        return 1;
    }
    if (t != kind_node) return -1;

    std::vector<frame> stack;
    auto enter = [&](std::int32_t n, const pdf_obj &o) {
        if (n >= 0 && n <= doc.max_num && static_cast<std::size_t>(n) < visited.size()) {
            if (elem(visited, n)) return;
            elem(visited, n) = 1;
        }
        frame f;
        f.kids = read_kids(doc, o);
        if (!f.kids.empty()) stack.push_back(std::move(f));
    };
    enter(root, *r);
    while (!stack.empty()) {
        frame &f = stack.back();
        if (f.next == f.kids.size()) {
            stack.pop_back();
            continue;
        }
        const std::int32_t k = f.kids[f.next++];
        const pdf_obj *o = doc_find(doc, k);
        if (!o) continue;
        const int kind = kinds.kind(*o);
        if (kind == kind_page)
            pagevec_push(pages, k);
        else if (kind == kind_node)
            enter(k, *o);
    }
    return pages.count;
}

}  // namespace

int resolve_pages(const pdf_doc &doc, std::int32_t num, pagevec &pages, std::vector<unsigned char> &visited) {
    return walk(doc, num, pages, visited);
}

void settle_catalog_and_pages(pdf_doc &doc) {
    const std::string_view b = doc.bytes();
    doc.catalog = doc.trailer_root;
    if (doc.catalog == no_pos || !doc_find(doc, doc.catalog)) {
        doc.catalog = no_pos;
        // Spans of objects without their own "endobj" can overlap; past a few passes
        // over the file, the name is found once and each span looks it up.
        std::int64_t total = 0;
        for (const pdf_obj &o : doc.objs.view())
            if (!o.in_objstm && o.dict_start >= 0) total += (o.endobj > 0 ? o.endobj : doc.len) - o.dict_start;
        std::vector<std::int32_t> names;
        const bool indexed = total > 2 * static_cast<std::int64_t>(doc.len) + 65536;
        if (indexed) names = all_names(b, "Catalog");
        for (const pdf_obj &o : doc.objs.view()) {
            bool hit = false;
            if (o.in_objstm) {
                hit = o.text && o.text_len > 7 &&
                      find_name(std::string_view(o.text, static_cast<std::size_t>(o.text_len)), 0, "Catalog") >= 0;
            } else if (o.dict_start >= 0) {
                const std::int32_t e = o.endobj > 0 ? o.endobj : doc.len;
                hit = indexed ? name_in_span(names, b, "Catalog", o.dict_start, e)
                              : find_name(b, o.dict_start, e, "Catalog") >= 0;
            }
            if (hit) {
                doc.catalog = o.num;
                break;
            }
        }
        if (doc.catalog == no_pos) doc.catalog = 1;
    }
    doc.info = doc.trailer_info;
    if (doc.info != no_pos && !doc_find(doc, doc.info)) doc.info = no_pos;

    const pdf_obj *cat = doc_find(doc, doc.catalog);
    if (!cat) return;
    std::int32_t root = no_pos;
    if (obj_type(doc, *cat) == 2) {
        root = doc.catalog;
    } else {
        bool closed = true;
        const std::string_view d = record_dict(doc, *cat, closed);
        if (d.empty()) return;
        // The last top-level /Pages whose value reads as a positive number.
        const std::vector<dict_entry> all = dict_get_all(d, "Pages", closed);
        for (std::size_t k = all.size(); k-- > 0 && root == no_pos;) {
            std::int32_t q = all[k].value_pos;
            const std::int32_t v = all[k].has_value() ? parse_int_at(d, q) : -1;
            if (v > 0) root = v;
        }
        if (root == no_pos) return;
    }
    std::vector<unsigned char> visited(static_cast<std::size_t>(doc.max_num) + 1, 0);
    resolve_pages(doc, root, doc.pages, visited);
}

}  // namespace pdfsanitize
