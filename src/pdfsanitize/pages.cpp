// The catalog, the information dictionary and the page list. The page tree is walked
// with an explicit stack, so its depth is limited by memory only, never by the call
// stack; the order of pages and the points where the walk stops are those of a
// depth-first walk that gives up entirely at the first missing kid or repeated node.
#include <algorithm>
#include <new>
#include <vector>

#include "loader.h"

namespace pdfsanitize {

namespace {

std::string_view record_span(const pdf_doc &doc, const pdf_obj &o, std::int32_t end) {
    if (o.in_objstm) return {o.text, static_cast<std::size_t>(o.text_len)};
    return doc.bytes().substr(0, static_cast<std::size_t>(std::min(end, doc.len)));
}

// Kids of a page-tree node, at most the node's capacity; empty when it has none.
std::vector<std::int32_t> read_kids(const pdf_doc &doc, const pdf_obj &o) {
    std::vector<std::int32_t> kids;
    std::int64_t cap;
    std::string_view span;
    std::int32_t from;
    if (o.in_objstm) {
        cap = o.text_len / 4 + 4096;
        span = record_span(doc, o, 0);
        from = 0;
    } else {
        cap = o.endobj > o.start ? (std::int64_t{o.endobj} - o.start) / 4 + 4096 : 4096;
        if (o.dict_start < 0) return kids;
        span = record_span(doc, o, dict_span_end(doc, o));
        from = o.dict_start;
    }
    const std::int32_t end = span_end(span);
    std::int32_t p = find_name(span, from, "Kids");
    std::int32_t v = no_pos;
    while (p >= 0) {
        const std::int32_t q = skip_ws(span, p + 5);
        if (q < end && span[static_cast<std::size_t>(q)] == '[') {
            v = q;
            break;
        }
        p = find_name(span, p + 1, "Kids");
    }
    if (v < 0) return kids;
    std::int32_t i = skip_ws(span, v + 1);
    while (i < end && span[static_cast<std::size_t>(i)] != ']') {
        if (is_digit(byte_at(span, i))) {
            const std::int32_t k = parse_int_at(span, i);
            if (k > 0 && static_cast<std::int64_t>(kids.size()) < cap) kids.push_back(k);
            i = skip_ws(span, i);
            if (i < end && is_digit(byte_at(span, i))) {
                parse_int_at(span, i);
                i = skip_ws(span, i);
            }
            if (i < end && span[static_cast<std::size_t>(i)] == 'R') ++i;
            i = skip_ws(span, i);
        } else {
            i = skip_ws(span, i + 1);
        }
    }
    return kids;
}

struct frame {
    std::vector<std::int32_t> kids;
    std::size_t next = 0;
};

// Record kinds are looked up once each: a kid list may name one page many times.
class kind_cache {
public:
    explicit kind_cache(const pdf_doc &doc) : doc_(doc), kinds_(static_cast<std::size_t>(doc.objs.count), -1) {}
    int kind(const pdf_obj &o) {
        const std::size_t i = static_cast<std::size_t>(&o - doc_.objs.items);
        if (kinds_[i] < 0) kinds_[i] = static_cast<signed char>(obj_type(doc_.bytes(), o));
        return kinds_[i];
    }

private:
    const pdf_doc &doc_;
    std::vector<signed char> kinds_;
};

int walk(const pdf_doc &doc, std::int32_t root, pagevec &pages, std::vector<unsigned char> &visited) {
    kind_cache kinds(doc);
    const pdf_obj *r = doc_find(doc, root);
    if (!r) return -1;
    const int t = kinds.kind(*r);
    if (t == 1) {
        pagevec_push(pages, root);
        return 1;
    }
    if (t != 2) return -1;

    // Enters a page-tree node: false when the walk must stop (-1).
    std::vector<frame> stack;
    auto enter = [&](std::int32_t n, const pdf_obj &o) -> bool {
        if (n >= 0 && n <= doc.max_num && static_cast<std::size_t>(n) < visited.size()) {
            if (visited[static_cast<std::size_t>(n)]) return false;
            visited[static_cast<std::size_t>(n)] = 1;
        }
        frame f;
        f.kids = read_kids(doc, o);
        if (!f.kids.empty()) stack.push_back(std::move(f));
        return true;
    };
    if (!enter(root, *r)) return -1;
    if (stack.empty()) return 0;
    while (!stack.empty()) {
        frame &f = stack.back();
        if (f.next == f.kids.size()) {
            stack.pop_back();
            continue;
        }
        const std::int32_t k = f.kids[f.next++];
        const pdf_obj *o = doc_find(doc, k);
        if (!o) return -1;
        const int kind = kinds.kind(*o);
        if (kind == 1)
            pagevec_push(pages, k);
        else if (kind == 2 && !enter(k, *o))
            return -1;
    }
    return pages.count;
}

}  // namespace

int resolve_pages(const pdf_doc &doc, std::int32_t num, pagevec &pages, std::vector<unsigned char> &visited) {
    try {
        return walk(doc, num, pages, visited);
    } catch (const std::bad_alloc &) {
        return -1;  // a kid list that cannot be held ends the walk
    }
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
    if (obj_type(b, *cat) == 2) {
        root = doc.catalog;
    } else {
        std::string_view span;
        std::int32_t from = 0;
        if (cat->in_objstm) {
            span = record_span(doc, *cat, 0);
        } else {
            if (cat->dict_start < 0) return;
            span = record_span(doc, *cat, cat->endobj > 0 ? cat->endobj : doc.len);
            from = cat->dict_start;
        }
        std::int32_t p = find_name(span, from, "Pages");
        while (p >= 0 && root == no_pos) {
            std::int32_t q = skip_ws(span, p + 6);
            const std::int32_t before = q;
            const std::int32_t v = parse_int_at(span, q);
            if (q != before && v > 0) root = v;
            p = find_name(span, p + 1, "Pages");
        }
        if (root == no_pos) return;
    }
    std::vector<unsigned char> visited;
    try {
        visited.assign(static_cast<std::size_t>(doc.max_num) + 1, 0);
    } catch (const std::bad_alloc &) {
        return;
    }
    resolve_pages(doc, root, doc.pages, visited);
}

}  // namespace pdfsanitize
