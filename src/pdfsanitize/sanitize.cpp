// SPDX-License-Identifier: Apache-2.0
// The removal policy: three passes (catalog, pages with their annotations, every object)
// over dictionary copies decide which objects get an edited dictionary and which become
// empty placeholders; the writer then builds the new file from those decisions.
#include "pdfsanitize/sanitize.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>
#include <vector>

#include "pdfsanitize/errors.h"
#include "pdfsanitize/loader.h"
#include "pdfsanitize/writer.h"

namespace pdfsanitize {

removal_policy policy_for(std::int32_t mode) {
    using actions = removal_policy::actions;
    removal_policy p;
    const bool js = (mode & mode_js) != 0, attach = (mode & mode_attachments) != 0;
    const bool forms = (mode & mode_forms) != 0;
    if (mode & mode_actions) {
        p.catalog_actions = p.page_actions = actions::all;
        p.catalog_form = mode != mode_actions;
    } else if (mode == mode_js) {
        p.catalog_actions = p.page_actions = actions::if_javascript;
    }
    // The attachment step runs unless the mode is exactly JavaScript or exactly actions.
    p.catalog_attachments = mode != mode_js && mode != mode_actions;
    p.names_javascript = js;
    p.inline_names = p.catalog_attachments && js;
    p.annot_files = attach;
    p.annot_widgets = attach && forms;
    p.annot_actions = (attach && forms) || (!attach && mode == mode_js);
    p.object_files = attach;
    p.object_forms_js = attach && forms;
    p.object_js = !attach && mode == mode_js;
    return p;
}

const char *placeholder_reason_name(placeholder_reason r) {
    switch (r) {
    case placeholder_reason::file_attachment_annotation: return "file attachment annotation";
    case placeholder_reason::widget_annotation: return "widget annotation";
    case placeholder_reason::embedded_file: return "embedded file";
    case placeholder_reason::file_specification: return "file specification or embedded file";
    case placeholder_reason::form_or_javascript: return "form or JavaScript";
    case placeholder_reason::javascript: return "JavaScript";
    default: return "none";
    }
}

namespace {

// The names the object pass tests; their bits follow the list's order.
constexpr std::uint32_t found_files = name_bit(0) | name_bit(1) | name_bit(2), found_forms = name_bit(3) | name_bit(4),
                        found_js = name_bit(5) | name_bit(6), found_ef = name_bit(7);
std::uint32_t object_pass_names(std::string_view t) {
    return names_present(t, {"Filespec", "FileSpecification", "EmbeddedFile", "Widget", "AcroForm", "JavaScript", "JS", "EF"});
}

// Names in the bodies of records without dictionary text. Bodies of direct records can
// overlap (several headers before one "endobj"); once they add up to more than a few
// passes over the file, the names are found once and each body looks them up.
class body_names {
public:
    explicit body_names(const pdf_doc &doc) : doc_(doc) {
        std::int64_t total = 0;
        for (const pdf_obj &o : doc.objs.view())
            if (!o.in_objstm && o.start >= 0 && o.endobj > o.start) total += o.endobj - o.start;
        indexed_ = total > 2 * static_cast<std::int64_t>(doc.len) + 65536;
    }

    std::uint32_t of(const pdf_obj &o) {
        if (o.in_objstm) return object_pass_names({o.text, static_cast<std::size_t>(o.text_len)});
        if (o.start < 0 || o.endobj <= o.start) return 0;
        const std::string_view b = doc_.bytes();
        if (!indexed_) return object_pass_names(b.substr(static_cast<std::size_t>(o.start), static_cast<std::size_t>(o.endobj - o.start)));
        if (!built_) build();
        std::uint32_t found = 0;
        for (std::size_t k = 0; k < at_.size(); ++k) {
            const auto it = std::lower_bound(at_[k].begin(), at_[k].end(), o.start);
            if (it != at_[k].end() && *it < o.endobj) found |= 1u << k;
        }
        return found;
    }

private:
    void build() {
        const std::string_view b = doc_.bytes();
        for (std::int32_t p = find_bytes(b, 0, "/"); p >= 0; p = find_bytes(b, p + 1, "/")) {
            const std::int32_t e = name_token_end(b, p);
            const std::uint32_t bits = object_pass_names(b.substr(static_cast<std::size_t>(p), static_cast<std::size_t>(e - p)));
            for (std::size_t k = 0; k < at_.size(); ++k)
                if (bits & name_bit(static_cast<unsigned>(k))) at_[k].push_back(p);
        }
        built_ = true;
    }

    const pdf_doc &doc_;
    bool indexed_ = false;
    bool built_ = false;
    std::array<std::vector<std::int32_t>, 8> at_;
};

struct run_state {
    run_state(const pdf_doc &d, const removal_policy &p, removal_log *l) : doc(d), pol(p), log(l) {}

    const pdf_doc &doc;
    removal_policy pol;
    removal_log *log;
    replacement_map repl;
    // Nonzero: the object is written as an empty placeholder, for this reason (the first).
    std::vector<unsigned char> blank;

    // Cuts every top-level /key of object num's text; 1 when something was cut.
    int cut(std::int32_t num, dict_text &t, std::string_view key) {
        const int removed = strip_dict_entry(t, key);
        if (removed && log) log->entries.push_back({num, std::string(key)});
        return removed;
    }

    // Edits add up: a pass edits what an earlier pass already made of the object.
    dict_text text_of(std::int32_t num) const {
        const auto r = repl.find(num);
        if (r != repl.end()) return r->second;
        return get_obj_dict_text(doc, doc_find(doc, num));
    }

    std::uint64_t repl_bytes = 0;

    // Replacements are written whole: past the output's own limit the run cannot succeed.
    void replace(std::int32_t num, dict_text &&t) {
        repl_bytes += t.size();
        if (repl_bytes > outbuf_max_cap) throw std::bad_alloc();
        repl[num] = std::move(t);
    }

    void mark_blank(std::int32_t num, placeholder_reason why) {
        // The catalog stays at the root of the document whatever it names.
        if (num == doc.catalog) return;
        if (num >= 0 && static_cast<std::size_t>(num) < blank.size() && !elem(blank, num))
            elem(blank, num) = static_cast<unsigned char>(why);
    }

    // Removes every top-level /key when one of them leads to JavaScript: an indirect
    // object that names it, or the bytes from an inline value's '<' to the end of the
    // text. 1 when the test fired.
    int js_guarded_remove(std::int32_t num, dict_text &t, std::string_view key) {
        bool js = false;
        for (const dict_entry &e : dict_get_all(t, key)) {
            if (!e.has_value()) continue;
            std::int32_t v = e.value_pos;
            const unsigned char c = byte_at(t, v);
            if (is_digit(c)) {
                const pdf_obj *o = doc_find(doc, parse_int_at(t, v));
                js = js || (o && obj_has_js(doc, o));
            } else if (c == '<') {
                js = js || text_has_js(std::string_view(t).substr(static_cast<std::size_t>(v)));
            }
        }
        if (!js) return 0;
        cut(num, t, key);
        return 1;
    }

    int remove_actions(std::int32_t num, dict_text &t, std::string_view key, removal_policy::actions how) {
        if (how == removal_policy::actions::all) return cut(num, t, key);
        if (how == removal_policy::actions::if_javascript) return js_guarded_remove(num, t, key);
        return 0;
    }

    void catalog_pass() {
        if (doc.catalog <= 0) return;
        dict_text t = text_of(doc.catalog);
        if (t.empty()) return;
        bool changed = false;
        const std::int32_t cat = doc.catalog;
        changed |= remove_actions(cat, t, "OpenAction", pol.catalog_actions) != 0;
        changed |= remove_actions(cat, t, "AA", pol.catalog_actions) != 0;
        if (pol.catalog_form) changed |= cut(cat, t, "AcroForm") != 0;
        if (pol.catalog_attachments) {
            const int a = cut(cat, t, "AF");
            const int b = cut(cat, t, "Collection");
            // The attachments' name tree, at the top level or in an inline names dictionary.
            int c = cut(cat, t, "EmbeddedFiles");
            if (strip_inline_dict_entry(t, "Names", "EmbeddedFiles")) {
                c = 1;
                if (log) log->entries.push_back({cat, "Names/EmbeddedFiles"});
            }
            changed |= (a | b | c) != 0;
        }

        bool force = false;
        dict_entry nm;
        if (dict_get(t, "Names", nm) && nm.has_value()) {
            std::int32_t v = nm.value_pos;
            const std::string_view value = std::string_view(t).substr(static_cast<std::size_t>(v), static_cast<std::size_t>(nm.value_end - v));
            if (is_digit(byte_at(t, v))) {
                const std::int32_t n = parse_int_at(t, v);
                dict_text d = text_of(n);
                if (!d.empty()) {
                    if (pol.names_javascript && cut(n, d, "JavaScript")) {
                        if (pol.catalog_attachments) cut(n, d, "EmbeddedFiles");
                        replace(n, std::move(d));
                    } else if (pol.catalog_attachments && cut(n, d, "EmbeddedFiles")) {
                        replace(n, std::move(d));
                    }
                }
            } else if (is_dict_text(value) && pol.inline_names) {
                cut(doc.catalog, t, "Names");
                force = true;
            }
        }
        if (changed || force) replace(doc.catalog, std::move(t));
    }

    // Cuts an annotation's /A and /AA, whatever they do.
    void strip_actions(std::int32_t r, dict_text &a) {
        if (log) {
            for (const std::string_view key : {"A", "AA"}) {
                dict_entry e;
                if (dict_get(a, key, e) && e.has_value()) log->entries.push_back({r, std::string(key)});
            }
        }
        if (strip_dict_entries(a, {"A", "AA"})) replace(r, std::move(a));
    }

    void page(std::int32_t p) {
        dict_text t = text_of(p);
        if (t.empty()) return;
        const bool changed = remove_actions(p, t, "AA", pol.page_actions) != 0;

        // Annotations are decided whatever page lists them: pages that share one
        // annotation array reuse its first decision.
        key_lookup annots{"Annots", true, false, {}};
        dict_lookup(t, {&annots, 1});
        const std::int32_t shared = annots.found ? ref_list_object(t, annots.entry) : 0;
        const auto known = shared > 0 ? shared_annots.find(shared) : shared_annots.end();
        if (known != shared_annots.end()) return take_off_annots(p, t, known->second, changed);
        std::vector<std::int32_t> list;
        if (annots.found && read_ref_list(doc, t, annots.entry, list) > 0) {
            annot_decision d = decide_annotations(list);
            if (shared > 0) return take_off_annots(p, t, shared_annots.emplace(shared, std::move(d)).first->second, changed);
            return take_off_annots(p, t, d, changed);
        }
        if (changed) replace(p, std::move(t));
    }

    struct annot_decision {
        bool take_off = false;
        std::vector<std::int32_t> kept;
        std::string annots;  // the rebuilt entry, made once
    };
    std::unordered_map<std::int32_t, annot_decision> shared_annots;

    annot_decision decide_annotations(const std::vector<std::int32_t> &list) {
        annot_decision d;
        d.kept.reserve(list.size());
        for (const std::int32_t r : list) {
            dict_text a = text_of(r);
            if (a.empty()) {
                d.kept.push_back(r);
                continue;
            }
            const std::uint32_t kinds = pol.annot_files ? annotation_kinds(a) : 0;
            if ((kinds & annot_file_attachment) || (pol.annot_widgets && (kinds & annot_widget))) {
                mark_blank(r, (kinds & annot_file_attachment) ? placeholder_reason::file_attachment_annotation
                                           : placeholder_reason::widget_annotation);
                d.take_off = true;
                continue;
            }
            if (pol.annot_actions) strip_actions(r, a);
            d.kept.push_back(r);
        }
        return d;
    }

    // Rebuilds the page's /Annots from the kept references when some came off; every
    // kept reference stays, with its object's generation.
    void take_off_annots(std::int32_t p, dict_text &t, annot_decision &d, bool changed) {
        if (!d.take_off) {
            if (changed) replace(p, std::move(t));
            return;
        }
        if (d.annots.empty() && !d.kept.empty()) {
            d.annots = " /Annots [";
            char ref[40];
            for (const std::int32_t r : d.kept) {
                std::snprintf(ref, sizeof ref, " %ld %ld R", static_cast<long>(r), static_cast<long>(output_gen(doc_find(doc, r))));
                d.annots += ref;
            }
            d.annots += " ]";
        }
        strip_dict_entry(t, "Annots");
        if (!d.annots.empty()) dict_append_before_close(t, d.annots);  // t is a whole dictionary: it ends in ">>"
        replace(p, std::move(t));
    }

    void page_pass() {
        // A page listed twice is decided once: a second visit would find nothing more.
        std::vector<unsigned char> done(static_cast<std::size_t>(doc.max_num) + 1, 0);
        for (const std::int32_t p : doc.pages.view()) {
            const std::size_t at = static_cast<std::size_t>(p);
            if (at < done.size() && done[at]) continue;
            if (at < done.size()) done[at] = 1;
            page(p);
        }
    }

    // Attached bytes go by their shape, named or not: the object holding an /EF, the
    // /EF dictionary given by reference, and everything an /EF dictionary refers to.
    void embedded_files_by_shape(const pdf_obj &o, std::string_view t) {
        dict_entry e;
        const auto ef = placeholder_reason::embedded_file;
        if (dict_get(t, "EF", e)) mark_blank(o.num, ef);
        for (const auto &[vp, ve] : key_values_any_depth(t, "EF")) {
            const std::string_view value = t.substr(static_cast<std::size_t>(vp), static_cast<std::size_t>(ve - vp));
            if (is_digit(byte_at(value, 0))) {
                std::int32_t q = 0;
                const std::int32_t n = parse_int_at(value, q);
                mark_blank(n, ef);
                // An /EF dictionary object is read once, however many refer to it.
                if (n < 0 || static_cast<std::size_t>(n) >= ef_read.size() || elem(ef_read, n)) continue;
                elem(ef_read, n) = 1;
                dict_text storage;
                for (const std::int32_t r : references_in(read_obj_dict_text(doc, doc_find(doc, n), storage))) mark_blank(r, ef);
            } else {
                for (const std::int32_t r : references_in(value)) mark_blank(r, ef);
            }
        }
    }

    std::vector<unsigned char> ef_read;

    void object_pass() {
        if (!pol.object_files && !pol.object_forms_js && !pol.object_js) return;
        if (pol.object_files) ef_read.assign(blank.size(), 0);
        body_names bodies(doc);
        for (const pdf_obj &o : doc.objs.view()) {
            const std::string_view t = obj_dict_view(doc, &o);
            // A record without dictionary text is judged by the bytes of its body.
            const std::uint32_t found = !t.empty() ? object_pass_names(t) : bodies.of(o);
            if (pol.object_files && (found & found_ef) && !t.empty()) embedded_files_by_shape(o, t);
            if (o.num == doc.catalog) continue;
            const bool files = (found & found_files) != 0, forms = (found & found_forms) != 0, js = (found & found_js) != 0;
            if (pol.object_files && files) mark_blank(o.num, placeholder_reason::file_specification);
            else if (pol.object_forms_js && (forms || js)) mark_blank(o.num, placeholder_reason::form_or_javascript);
            else if (pol.object_js && js) mark_blank(o.num, placeholder_reason::javascript);
        }
    }
};

}  // namespace

int sanitize_document(const pdf_doc &doc, std::int32_t mode, outbuf &out, removal_log *log) {
    run_state run(doc, policy_for(mode), log);
    try {
        run.blank.assign(static_cast<std::size_t>(doc.max_num) + 1, 0);
    } catch (const std::bad_alloc &) {
        set_error("out of memory");
        return -1;
    }
    run.catalog_pass();
    run.page_pass();
    run.object_pass();
    if (log) {
        for (std::int32_t i = 1; i <= doc.max_num; ++i)
            if (elem(run.blank, i) && i != doc.catalog && doc_find(doc, i))
                log->placeholders.push_back({i, static_cast<placeholder_reason>(elem(run.blank, i))});
    }
    return assemble_document(doc, run.repl, run.blank, out);
}

int sanitize_run(const char *in_path, const char *out_path, std::int32_t mode) {
    if (!in_path || !out_path) {
        set_error("NULL path argument");
        return 0;
    }
    // The output's stream data stays in the document's buffer until it is written.
    pdf_doc doc;
    if (doc_load(in_path, doc) != 0) return 0;
    outbuf out;
    if (sanitize_document(doc, mode, out) != 0) return 0;
    return write_output_file(out_path, out);
}

int sanitize_memory(const char *name, std::span<const unsigned char> bytes, std::int32_t mode, outbuf &out) {
    // The document reads the caller's bytes in place; the output's pieces point into them.
    pdf_doc doc;
    if (doc_load_memory(name, bytes, doc, borrow_bytes) != 0) return 0;
    return sanitize_document(doc, mode, out) == 0 ? 1 : 0;
}

}  // namespace pdfsanitize
