// SPDX-License-Identifier: Apache-2.0
// The scan visits the catalog, each page of the page list with its annotations, and
// every object, and counts what it finds by name searches on dictionary copies.
#include "pdfsanitize/scan.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <unordered_map>

#include "pdfsanitize/errors.h"
#include "pdfsanitize/loader.h"

namespace pdfsanitize {

namespace {


// Where the value of the dictionary's last top-level /name begins (its end when the key
// has no value), or -1 when there is no such key.
std::int32_t value_of(std::string_view text, std::string_view name) {
    dict_entry e;
    return dict_get(text, name, e) ? e.value_pos : no_pos;
}

bool in_mark_range(const pdf_doc &doc, std::int32_t n) { return n >= 1 && n <= doc.max_num; }

}  // namespace

int count_aa_dict_entries(std::string_view text) {
    const std::size_t n = text.size();
    int depth = 0, count = 0;
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '<' && i + 1 < n && text[i + 1] == '<') {
            ++depth;
            i += 2;
        } else if (c == '>' && i + 1 < n && text[i + 1] == '>') {
            --depth;
            i += 2;
        } else if (c == '/' && depth == 1) {
            std::size_t j = i + 1;
            while (j < n && is_word_byte(static_cast<unsigned char>(text[j]))) ++j;
            if (j > i + 1) ++count;
            i = j > i + 1 ? j : i + 1;
        } else {
            ++i;
        }
    }
    return count;
}

dict_text dict_value_text(const pdf_doc &doc, std::string_view text, std::int32_t pos) {
    const std::int32_t len = span_end(text);
    std::int32_t v = skip_ws(text, pos);
    if (v < 0 || v >= len) return dict_text();
    if (is_digit(byte_at(text, v))) {
        const std::int32_t num = parse_int_at(text, v);
        return get_obj_dict_text(doc, doc_find(doc, num));
    }
    if (dict_opens_at(text, v, len))
        return dict_text_at(text, v);
    return dict_text();
}

std::int64_t count_leaf_pairs(const pdf_doc &doc, std::string_view text, std::int32_t pos, unsigned char *counted) {
    const std::int32_t end = span_end(text);
    bracket_memo memo(text);
    std::int64_t count = 0;
    std::int32_t i = pos;
    while (i >= 0 && i < end && char_at(text, i) != ']') {
        if (char_at(text, i) == '%') {
            i = skip_ws_comments(text, i);
            continue;
        }
        const std::int32_t key_end = skip_pdf_value(text, i, &memo);
        if (key_end <= i) {
            ++i;
            continue;
        }
        if (key_end >= end) break;
        const std::int32_t v = skip_ws(text, key_end);
        if (v >= end || char_at(text, v) == ']') break;
        if (is_digit(byte_at(text, v))) {
            std::int32_t p = v;
            const std::int32_t n = parse_int_at(text, p);
            if (in_mark_range(doc, n) && counted) counted[n] = 1;
        }
        const std::int32_t value_end = skip_pdf_value(text, v, &memo);
        i = skip_ws(text, value_end > v ? value_end : v + 1);
        ++count;
    }
    return count;
}

std::int64_t count_name_tree_leaf_pairs(const pdf_doc &doc, std::int32_t num, std::vector<unsigned char> &visited,
                                        unsigned char *counted) {
    // Each node is entered at most once, so the total is the sum over the nodes reachable
    // through /Kids, whatever the order they are entered in; a work list replaces the
    // recursion and keeps deep trees off the call stack.
    std::int64_t total = 0;
    std::vector<std::int32_t> work{num};
    std::vector<std::int32_t> kids;
    dict_text storage;
    while (!work.empty()) {
        const std::int32_t n = work.back();
        work.pop_back();
        if (!in_mark_range(doc, n) || elem(visited, n)) continue;
        elem(visited, n) = 1;
        const std::string_view node = read_obj_dict_text(doc, doc_find(doc, n), storage);
        if (node.empty()) continue;
        const std::int32_t names = value_of(node, "Names");
        if (names >= 0) {
            const std::int32_t v = skip_ws(node, names);
            if (v < span_end(node) && elem(node, v) == '[') total += count_leaf_pairs(doc, node, v + 1, counted);
        }
        const int c = collect_ref_list(doc, node, "Kids", kids);
        for (int j = c; j-- > 0;) work.push_back(elem(kids, j));
    }
    return total;
}

namespace {

struct scan_state {
    const pdf_doc &doc;
    scan_result &r;
    std::vector<unsigned char> visited;
    std::vector<unsigned char> counted;
    // Annotation arrays given by reference: attachments each listing adds.
    std::unordered_map<std::int32_t, std::int64_t> shared_annots;

    // Adds a reference to an embedded file found through /AF or an annotation's /FS.
    void count_once(std::int32_t n) {
        if (!elem(counted, n)) {
            elem(counted, n) = 1;
            ++r.embedded_files;
        }
    }

    // /AA of the catalog or a page (its value at v, or -1): adds its entries; returns how many.
    int additional_actions(std::string_view text, std::int32_t v) {
        if (v < 0) return 0;
        const dict_text aa = dict_value_text(doc, text, v);
        if (aa.empty()) return 0;
        const int n = count_aa_dict_entries(aa);
        r.auto_actions += n;
        if (text_has_js(aa)) r.javascript = true;
        return n;
    }

    void catalog_step() {
        if (doc.catalog <= 0) return;
        dict_text storage;
        const std::string_view cat = read_obj_dict_text(doc, doc_find(doc, doc.catalog), storage);
        if (cat.empty()) return;
        const std::int32_t len = span_end(cat);

        const std::int32_t oa = value_of(cat, "OpenAction");
        if (oa >= 0) {
            r.auto_actions = 1;
            std::int32_t v = skip_ws(cat, oa);
            if (v < len) {
                const unsigned char c = byte_at(cat, v);
                if (is_digit(c)) {
                    const std::int32_t n = parse_int_at(cat, v);
                    if (obj_has_js(doc, doc_find(doc, n))) r.javascript = true;
                } else if (c == '<') {
                    // From the action's '<' to the end of the catalog, past the action itself.
                    if (text_has_js(std::string_view(cat).substr(static_cast<std::size_t>(v)))) r.javascript = true;
                }
            }
        }
        additional_actions(cat, value_of(cat, "AA"));
        if (has_name(cat, "AcroForm")) r.forms = true;

        const std::int32_t nv = value_of(cat, "Names");
        if (nv >= 0) {
            const dict_text names = dict_value_text(doc, cat, nv);
            if (!names.empty()) names_dictionary(names);
        }

        std::vector<std::int32_t> list;
        collect_ref_list(doc, cat, "AF", list);
        for (const std::int32_t n : list)
            if (in_mark_range(doc, n)) count_once(n);
    }

    void names_dictionary(std::string_view names) {
        const std::int32_t len = span_end(names);
        if (has_name(names, "JavaScript")) r.javascript = true;
        const std::int32_t ef = value_of(names, "EmbeddedFiles");
        if (ef < 0) return;
        std::int32_t v = skip_ws(names, ef);
        if (v >= len) return;
        if (is_digit(byte_at(names, v))) {
            const std::int32_t n = parse_int_at(names, v);
            r.embedded_files += count_name_tree_leaf_pairs(doc, n, visited, counted.data());
        } else if (dict_opens_at(names, v, len)) {
            // Inline tree: only its own /Names array is read; its /Kids are not followed.
            const std::int32_t close = reader_value_end(names, v);
            const std::string_view tree = names.substr(static_cast<std::size_t>(v), static_cast<std::size_t>(close - v));
            if (!is_dict_text(tree)) return;
            const std::int32_t w = value_of(tree, "Names");
            if (w >= 0 && w < span_end(tree) && elem(tree, w) == '[')
                r.embedded_files += count_leaf_pairs(doc, tree, w + 1, counted.data());
        }
    }

    // What one page entry adds again when it is met once more: its /AA entries, and the
    // attachments that are counted each time they are listed.
    struct repeat {
        std::int64_t actions = 0;
        std::int64_t files = 0;
    };

    repeat page_step(std::int32_t page) {
        repeat again;
        dict_text storage, annot_storage;
        const std::string_view text = read_obj_dict_text(doc, doc_find(doc, page), storage);
        if (text.empty()) return again;
        key_lookup keys[2] = {{"AA", false, false, {}}, {"Annots", true, false, {}}};
        dict_lookup(text, keys);
        again.actions = additional_actions(text, keys[0].found ? keys[0].entry.value_pos : no_pos);
        if (!keys[1].found) return again;
        // Pages that share one annotation array add again what its first reading added
        // per listing; its findings are set already.
        const std::int32_t shared = ref_list_object(text, keys[1].entry);
        if (shared > 0) {
            const auto it = shared_annots.find(shared);
            if (it != shared_annots.end()) {
                r.embedded_files += it->second;
                again.files += it->second;
                return again;
            }
        }
        std::vector<std::int32_t> list;
        read_ref_list(doc, text, keys[1].entry, list);
        const std::int64_t files_before = again.files;
        for (const std::int32_t ref : list) {
            const std::string_view a = read_obj_dict_text(doc, doc_find(doc, ref), annot_storage);
            if (a.empty()) continue;
            const std::uint32_t kinds = annotation_kinds(a);
            if (kinds & annot_file_attachment) {
                const std::int32_t fs = value_of(a, "FS");
                std::int32_t n = -1;
                if (fs >= 0) {
                    std::int32_t p = fs;
                    n = parse_int_at(a, p);
                }
                if (fs < 0 || n <= 0 || n > doc.max_num) {
                    ++r.embedded_files;
                    ++again.files;
                } else {
                    count_once(n);
                }
            }
            if (kinds & annot_widget) r.forms = true;
            if (text_has_js(a)) r.javascript = true;
        }
        if (shared > 0) shared_annots.emplace(shared, again.files - files_before);
        return again;
    }

    void object_step() {
        for (const pdf_obj &o : doc.objs.view()) {
            if (r.javascript && r.forms && r.embedded_files != 0) return;  // nothing left to learn
            const std::string_view t = obj_dict_view(doc, &o);
            if (t.empty()) continue;
            // Bits in list order: the two script names, the widget, the three file names.
            constexpr std::uint32_t js = name_bit(0) | name_bit(1), widget = name_bit(2),
                                    files = name_bit(3) | name_bit(4) | name_bit(5);
            const std::uint32_t found =
                names_present(t, {"JavaScript", "JS", "Widget", "Filespec", "FileSpecification", "EmbeddedFile"});
            if (found & js) r.javascript = true;
            if (found & widget) r.forms = true;
            if (r.embedded_files == 0 && (found & files)) r.embedded_files = 1;
        }
    }
};

}  // namespace

void scan_document(const pdf_doc &doc, scan_result &result) {
    result = scan_result{};
    scan_state s{doc, result, {}, {}, {}};
    s.visited.assign(static_cast<std::size_t>(doc.max_num) + 1, 0);
    s.counted.assign(static_cast<std::size_t>(doc.max_num) + 1, 0);

    s.catalog_step();
    // A page listed again adds exactly what its first visit showed would be added again.
    // Page numbers are found records, so they index the mark tables; only pages that add
    // something again need their figures kept.
    std::vector<unsigned char> seen(static_cast<std::size_t>(doc.max_num) + 1, 0);
    std::unordered_map<std::int32_t, scan_state::repeat> again;
    for (const std::int32_t page : doc.pages.view()) {
        const std::size_t at = static_cast<std::size_t>(page);
        if (at < seen.size() && seen[at]) {
            const auto it = again.find(page);
            if (it != again.end()) {
                result.auto_actions += it->second.actions;
                result.embedded_files += it->second.files;
            }
            continue;
        }
        const scan_state::repeat r = s.page_step(page);
        if (at < seen.size()) seen[at] = 1;
        if (r.actions || r.files) again.emplace(page, r);
    }
    s.object_step();
}

void format_scan_json(const scan_result &r, char *out, std::size_t size) {
    const auto clamp = [](std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX)); };
    std::snprintf(out, size, "{\"javascript\":%s,\"embedded_files\":%d,\"auto_actions\":%d,\"forms\":%s}",
                  r.javascript ? "true" : "false", clamp(r.embedded_files), clamp(r.auto_actions),
                  r.forms ? "true" : "false");
}

bool scan_file(const char *path, char *out, std::size_t size) {
    if (!path) {
        set_error("NULL path argument");
        return false;
    }
    scan_result r;
    {
        pdf_doc doc;
        if (doc_load(path, doc) != 0) return false;
        scan_document(doc, r);
    }
    format_scan_json(r, out, size);
    return true;
}

}  // namespace pdfsanitize
