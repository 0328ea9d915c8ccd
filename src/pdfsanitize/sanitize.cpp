// The removal policy: three passes (catalog, pages with their annotations, every object)
// over dictionary copies decide which objects get an edited dictionary and which become
// empty placeholders; the writer then builds the new file from those decisions.
#include "sanitize.h"

#include <array>
#include <cstdio>
#include <new>
#include <vector>

#include "errors.h"
#include "loader.h"
#include "writer.h"

namespace pdfsanitize {

int strip_dict_entry(dict_text &text, std::string_view key) {
    const std::int32_t L = span_end(text);
    const std::int32_t k = static_cast<std::int32_t>(key.size());
    if (L <= k) return 0;
    bracket_memo memo(text);
    std::int32_t j = find_name(text, 0, key);
    while (j >= 0) {
        const std::int32_t i = j + 1 + k;
        if (i < L) {
            std::int32_t v = i;
            while (v < L && is_key_blank(byte_at(text, v))) ++v;
            if (v < L) {
                const std::int32_t e = skip_pdf_value(text, v, &memo);
                if (e >= 0) {
                    std::int32_t from = j;
                    if (j > 0 && (text[static_cast<std::size_t>(j) - 1] == ' ' || text[static_cast<std::size_t>(j) - 1] == '\t'))
                        from = j - 1;
                    text.erase(static_cast<std::size_t>(from), static_cast<std::size_t>(e - from));
                    return 1;
                }
            }
        }
        j = find_name(text, j + 1, key);
    }
    return 0;
}

bool dict_append_before_close(dict_text &text, std::string_view ins) {
    const std::size_t L = text.size();
    if (L <= 1 || text[L - 2] != '>' || text[L - 1] != '>') return false;
    try {
        dict_text out;
        out.reserve(L + ins.size());
        out.append(text, 0, L - 2);
        out.append(ins);
        out.append(">>");
        text.swap(out);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

namespace {

bool names(std::string_view text, std::string_view name) { return find_name(text, 0, name) >= 0; }

struct run_state {
    const pdf_doc &doc;
    std::int32_t mode;
    replacement_map repl;
    std::vector<unsigned char> blank;

    dict_text text_of(std::int32_t num) const { return get_obj_dict_text(doc, doc_find(doc, num)); }

    void replace(std::int32_t num, dict_text &&t) { repl[num] = std::move(t); }

    void mark_blank(std::int32_t num) {
        // The catalog stays at the root of the document whatever it names.
        if (num == doc.catalog) return;
        if (num >= 0 && static_cast<std::size_t>(num) < blank.size()) blank[static_cast<std::size_t>(num)] = 1;
    }

    // Removes key when its value leads to JavaScript: an indirect object that names it,
    // or the bytes from an inline value's '<' to the end of the text. 1 when the test fired.
    int js_guarded_remove(dict_text &t, std::string_view key) {
        const std::int32_t p = find_name(t, 0, key);
        if (p < 0) return 0;
        const std::int32_t len = span_end(t);
        std::int32_t v = skip_ws(t, p + 1 + static_cast<std::int32_t>(key.size()));
        if (v >= len) return 0;
        const unsigned char c = byte_at(t, v);
        if (is_digit(c)) {
            const std::int32_t n = parse_int_at(t, v);
            const pdf_obj *o = doc_find(doc, n);
            if (!o || !obj_has_js(doc, o)) return 0;
            strip_dict_entry(t, key);
            return 1;
        }
        if (c == '<') {
            if (!text_has_js(std::string_view(t).substr(static_cast<std::size_t>(v)))) return 0;
            strip_dict_entry(t, key);
            return 1;
        }
        return 0;
    }

    void catalog_pass() {
        if (doc.catalog <= 0) return;
        dict_text t = text_of(doc.catalog);
        if (t.empty()) return;
        bool changed = false;
        bool attachments = false;
        bool skip_attachment_step = false;
        if (mode & mode_actions) {
            changed |= strip_dict_entry(t, "OpenAction") != 0;
            changed |= strip_dict_entry(t, "AA") != 0;
            if (mode == mode_actions) {
                skip_attachment_step = true;
            } else {
                changed |= strip_dict_entry(t, "AcroForm") != 0;
            }
        } else if (mode == mode_js) {
            const int a = js_guarded_remove(t, "OpenAction");
            const int b = js_guarded_remove(t, "AA");
            changed |= (a | b) != 0;
            skip_attachment_step = true;
        }
        if (!skip_attachment_step) {
            const int a = strip_dict_entry(t, "AF");
            const int b = strip_dict_entry(t, "Collection");
            const int c = strip_dict_entry(t, "EmbeddedFiles");
            changed |= (a | b | c) != 0;
            attachments = true;
        }

        bool force = false;
        const std::int32_t nm = find_name(t, 0, "Names");
        if (nm >= 0) {
            const std::int32_t len = span_end(t);
            std::int32_t v = skip_ws(t, nm + 6);
            if (v < len && is_digit(byte_at(t, v))) {
                const std::int32_t n = parse_int_at(t, v);
                dict_text d = text_of(n);
                if (!d.empty()) {
                    if ((mode & mode_js) && strip_dict_entry(d, "JavaScript")) {
                        if (attachments) strip_dict_entry(d, "EmbeddedFiles");
                        replace(n, std::move(d));
                    } else if (attachments && strip_dict_entry(d, "EmbeddedFiles")) {
                        replace(n, std::move(d));
                    }
                }
            } else if (v + 1 < len && t[static_cast<std::size_t>(v)] == '<' && t[static_cast<std::size_t>(v) + 1] == '<') {
                if (attachments && (mode & mode_js)) {
                    strip_dict_entry(t, "Names");
                    force = true;
                }
            }
        }
        if (changed || force) replace(doc.catalog, std::move(t));
    }

    // Cuts an annotation's /A and /AA, whatever they do.
    void strip_actions(std::int32_t r, dict_text &a) {
        const int x = strip_dict_entry(a, "A");
        const int y = strip_dict_entry(a, "AA");
        if (x || y) replace(r, std::move(a));
    }

    void page(std::int32_t p) {
        dict_text t = text_of(p);
        if (t.empty()) return;
        bool changed = false;
        if (mode & mode_actions)
            changed = strip_dict_entry(t, "AA") != 0;
        else if (mode == mode_js)
            changed = js_guarded_remove(t, "AA") != 0;

        const std::int32_t an = find_name(t, 0, "Annots");
        if (an >= 0) {
            std::array<std::int32_t, 2048> list;
            const int count = collect_ref_list(doc, t, an, "Annots", list);
            if (count > 0) {
                bool take_off = false;
                std::vector<std::int32_t> kept;
                kept.reserve(static_cast<std::size_t>(count));
                for (int i = 0; i < count; ++i) {
                    const std::int32_t r = list[static_cast<std::size_t>(i)];
                    dict_text a = text_of(r);
                    if (a.empty()) {
                        kept.push_back(r);
                        continue;
                    }
                    const bool attach = (mode & mode_attachments) != 0;
                    const bool forms = (mode & mode_forms) != 0;
                    if (attach && (names(a, "FileAttachment") || (forms && names(a, "Widget")))) {
                        mark_blank(r);
                        take_off = true;
                        continue;
                    }
                    if ((attach && forms) || (!attach && mode == mode_js)) strip_actions(r, a);
                    kept.push_back(r);
                }
                if (take_off) {
                    strip_dict_entry(t, "Annots");
                    if (!kept.empty()) {
                        std::string ins = " /Annots [";
                        char ref[32];
                        for (const std::int32_t r : kept) {
                            if (ins.size() > 8159) break;  // the rebuilt entry stays within 8 KiB
                            std::snprintf(ref, sizeof ref, " %ld 0 R", static_cast<long>(r));
                            ins += ref;
                        }
                        ins += " ]";
                        dict_append_before_close(t, ins);
                    }
                    replace(p, std::move(t));
                    return;
                }
            }
        }
        if (changed) replace(p, std::move(t));
    }

    void page_pass() {
        // A page listed twice gets the same decisions twice: each pass reads the loaded
        // texts, never a replacement, so the second visit changes nothing.
        std::vector<unsigned char> done(static_cast<std::size_t>(doc.max_num) + 1, 0);
        for (const std::int32_t p : doc.pages.view()) {
            const std::size_t at = static_cast<std::size_t>(p);
            if (at < done.size() && done[at]) continue;
            if (at < done.size()) done[at] = 1;
            page(p);
        }
    }

    void object_pass() {
        const bool attach = (mode & mode_attachments) != 0;
        if (!attach && mode != mode_js) return;  // no test of this pass applies
        for (const pdf_obj &o : doc.objs.view()) {
            if (o.num == doc.catalog) continue;
            const std::string_view t = obj_dict_view(doc, &o);
            if (t.empty()) continue;
            const std::uint32_t found = names_present(
                t, {"Filespec", "FileSpecification", "EmbeddedFile", "Widget", "AcroForm", "JavaScript", "JS"});
            const bool files = (found & 7u) != 0, forms = (found & 24u) != 0, js = (found & 96u) != 0;
            if (attach) {
                if (files) mark_blank(o.num);
                if ((mode & mode_forms) && (forms || js)) mark_blank(o.num);
            } else if (js) {
                mark_blank(o.num);
            }
        }
    }
};

}  // namespace

int sanitize_document(const pdf_doc &doc, std::int32_t mode, outbuf &out) {
    run_state run{doc, mode, {}, {}};
    try {
        run.blank.assign(static_cast<std::size_t>(doc.max_num) + 1, 0);
    } catch (const std::bad_alloc &) {
        set_error("out of memory");
        return -1;
    }
    run.catalog_pass();
    run.page_pass();
    run.object_pass();
    return assemble_document(doc, run.repl, run.blank, out);
}

int sanitize_run(const char *in_path, const char *out_path, std::int32_t mode) {
    if (!in_path || !out_path) {
        set_error("NULL path argument");
        return 0;
    }
    outbuf out;
    {
        pdf_doc doc;
        if (doc_load(in_path, doc) != 0) return 0;
        if (sanitize_document(doc, mode, out) != 0) return 0;
    }  // the document is released before the output is written
    return write_output_file(out_path, out.data, out.len);
}

int sanitize_memory(const char *name, std::span<const unsigned char> bytes, std::int32_t mode, outbuf &out) {
    pdf_doc doc;
    if (doc_load_memory(name, bytes, doc) != 0) return 0;
    return sanitize_document(doc, mode, out) == 0 ? 1 : 0;
}

}  // namespace pdfsanitize
