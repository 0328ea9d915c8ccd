// SPDX-License-Identifier: Apache-2.0
// The input findings come from one more walk over every object, with a tokenizer that
// knows strings, comments and nesting; the blind spots come from the verifier, run on
// each mode's output assembled in memory.
#include "pdfsanitize/audit.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>
#include <set>
#include <unordered_set>

#include "pdfsanitize/errors.h"
#include "pdfsanitize/json.h"
#include "pdfsanitize/writer.h"

namespace pdfsanitize {

namespace {

// Fixed tables only: nothing here allocates before it is used.
constexpr std::array<std::string_view, 23> watched_names = {
    "JS",       "JavaScript", "AA",     "OpenAction", "AcroForm", "XFA",         "Names",      "EmbeddedFile",
    "EmbeddedFiles", "Filespec", "FileAttachment", "Widget", "Launch", "URI", "SubmitForm", "ImportData",
    "GoToR",    "GoToE",      "RichMedia", "Encrypt",  "ObjStm",   "S",           "A"};

constexpr std::array<std::string_view, 11> action_types = {"JavaScript", "Launch", "URI",       "SubmitForm",
                                                           "ImportData", "GoToR",  "GoToE",     "Rendition",
                                                           "RichMediaExecute", "Named", "GoTo"};

constexpr std::array<std::string_view, 8> removed_keys = {"OpenAction", "AA",       "A",  "JS",
                                                          "AcroForm",   "Names",    "EmbeddedFiles", "AF"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N> &table, std::string_view name) {
    return std::find(table.begin(), table.end(), name) != table.end();
}

// The bytes an object is written with, stream data left out.
std::string_view object_span(const pdf_doc &doc, const pdf_obj &o) {
    if (o.in_objstm) return {o.text, static_cast<std::size_t>(o.text_len)};
    const std::int32_t s = o.start;
    const std::int32_t e = o.stream_kw > 0 ? o.stream_kw : (o.endobj > 0 ? o.endobj : doc.len);
    if (s < 0 || e <= s) return {};
    return doc.bytes().substr(static_cast<std::size_t>(s), static_cast<std::size_t>(e - s));
}

// Name tokens as a reader splits them: a '/' and the regular bytes after it.
template <typename Fn>
void for_each_name_token(std::string_view t, Fn fn) {
    const std::int32_t n = span_end(t);
    for (std::int32_t i = 0; i < n; ++i) {
        if (byte_at(t, i) != '/') continue;
        const std::int32_t j = name_token_end(t, i);
        fn(t.substr(static_cast<std::size_t>(i) + 1, static_cast<std::size_t>(j - i - 1)));
        i = j - 1;
    }
}

// One pass over a dictionary text with strings, comments, arrays and nesting known:
// reports a '%' outside strings, and keys written twice at one dictionary's top level.
struct dict_walk {
    bool comment = false;
    std::vector<std::string> repeated;
};

dict_walk walk_dictionary(std::string_view t) {
    dict_walk w;
    struct level {
        bool dict;
        bool want_key;
        std::set<std::string, std::less<>> keys;
    };
    std::vector<level> stack;
    auto value_done = [&] {
        if (!stack.empty() && stack.back().dict) stack.back().want_key = true;
    };
    const std::int32_t n = span_end(t);
    std::int32_t i = 0;
    while (i < n) {
        const unsigned char c = byte_at(t, i);
        if (is_pdf_ws(c)) {
            ++i;
        } else if (c == '%') {
            w.comment = true;
            while (i < n && char_at(t, i) != '\n' && char_at(t, i) != '\r') ++i;
        } else if (c == '(') {
            const std::int32_t e = scan_string_end(t, i);
            i = e < 0 ? n : e;
            value_done();
        } else if (dict_opens_at(t, i, n)) {
            stack.push_back({true, true, {}});
            i += 2;
        } else if (c == '>' && i + 1 < n && char_at(t, i + 1) == '>') {
            if (!stack.empty()) stack.pop_back();
            i += 2;
            value_done();
        } else if (c == '<') {
            const std::size_t e = t.find('>', static_cast<std::size_t>(i));
            i = e == std::string_view::npos ? n : static_cast<std::int32_t>(e) + 1;
            value_done();
        } else if (c == '[') {
            stack.push_back({false, false, {}});
            ++i;
        } else if (c == ']') {
            if (!stack.empty() && !stack.back().dict) stack.pop_back();
            ++i;
            value_done();
        } else if (c == '/') {
            const std::int32_t j = name_token_end(t, i);
            const std::string name = decode_name(t.substr(static_cast<std::size_t>(i) + 1, static_cast<std::size_t>(j - i - 1)));
            if (!stack.empty() && stack.back().dict && stack.back().want_key) {
                if (!stack.back().keys.insert(name).second && listed(removed_keys, name)) w.repeated.push_back(name);
                stack.back().want_key = false;
            } else {
                value_done();
            }
            i = j;
        } else {
            // A number, a reference or a keyword: one value.
            const std::int32_t e = skip_pdf_value(t, i);
            i = e > i ? e : i + 1;
            value_done();
        }
    }
    return w;
}

void add_unique(std::vector<std::int32_t> &v, std::int32_t n) {
    if (v.empty() || v.back() != n) v.push_back(n);
}

// The /S name of an action dictionary text, or empty.
std::string action_type(std::string_view text, std::int32_t from = 0) {
    const std::int32_t s = find_name(text, from, "S");
    if (s < 0) return {};
    const std::int32_t v = skip_ws(text, s + 2);
    if (v >= span_end(text) || char_at(text, v) != '/') return {};
    std::int32_t e = v + 1;
    while (e < span_end(text) && is_name_byte(byte_at(text, e))) ++e;
    return std::string(text.substr(static_cast<std::size_t>(v) + 1, static_cast<std::size_t>(e - v - 1)));
}

// Object numbers referenced by the values of a dictionary text (its "n g R" values).
void referenced_numbers(std::string_view dict, std::unordered_set<std::int32_t> &out) {
    const std::int32_t n = span_end(dict);
    for (std::int32_t i = 0; i < n; ++i) {
        if (!is_digit(byte_at(dict, i)) || (i > 0 && (is_word_byte(byte_at(dict, i - 1)) || char_at(dict, i - 1) == '.')))
            continue;
        const std::int32_t e = skip_pdf_value(dict, i);
        if (e > i && char_at(dict, e - 1) == 'R') {
            std::int32_t p = i;
            out.insert(parse_int_at(dict, p));
            i = e - 1;
        }
    }
}

struct auditor {
    const pdf_doc &doc;
    audit_report &r;
    std::unordered_set<std::int32_t> automatic;  // objects reached from /OpenAction or /AA

    dict_text text_of(std::int32_t n) const { return get_obj_dict_text(doc, doc_find(doc, n)); }

    // Value spans of /OpenAction and /AA in a text, and the objects they lead to.
    std::vector<std::pair<std::int32_t, std::int32_t>> automatic_spans(std::string_view t) {
        std::vector<std::pair<std::int32_t, std::int32_t>> spans;
        for (const char *key : {"OpenAction", "AA"}) {
            const std::int32_t k = static_cast<std::int32_t>(std::string_view(key).size());
            for (std::int32_t p = find_name(t, 0, key); p >= 0; p = find_name(t, p + 1, key)) {
                const std::int32_t v = skip_ws(t, p + 1 + k);
                const std::int32_t e = skip_pdf_value(t, v);
                if (e <= v) continue;
                spans.emplace_back(v, e);
                const std::string_view value = t.substr(static_cast<std::size_t>(v), static_cast<std::size_t>(e - v));
                std::unordered_set<std::int32_t> refs;
                if (is_digit(byte_at(t, v))) {
                    std::int32_t q = v;
                    const std::int32_t num = parse_int_at(t, q);
                    refs.insert(num);
                    // An /AA held elsewhere: its actions are automatic too.
                    if (std::string_view(key) == "AA") referenced_numbers(text_of(num), refs);
                } else {
                    referenced_numbers(value, refs);
                }
                automatic.insert(refs.begin(), refs.end());
            }
        }
        return spans;
    }

    void actions_pass() {
        std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> spans(static_cast<std::size_t>(doc.objs.count));
        for (std::int32_t i = 0; i < doc.objs.count; ++i) {
            const dict_text t = get_obj_dict_text(doc, &doc.objs.items[i]);
            if (!t.empty()) elem(spans, i) = automatic_spans(t);
        }
        for (std::int32_t i = 0; i < doc.objs.count; ++i) {
            const pdf_obj &o = doc.objs.items[i];
            const dict_text t = get_obj_dict_text(doc, &o);
            if (t.empty()) continue;
            for (std::int32_t p = find_name(t, 0, "S"); p >= 0; p = find_name(t, p + 1, "S")) {
                const std::string type = action_type(t, p);
                if (!listed(action_types, type)) continue;
                ++r.actions[type];
                bool automatic_here = automatic.count(o.num) > 0;
                for (const auto &[a, b] : elem(spans, i))
                    if (p >= a && p < b) automatic_here = true;
                if (!automatic_here) ++r.actions_outside_automatic[type];
            }
        }
    }

    void outline_pass(std::string_view catalog) {
        const std::int32_t p = find_name(catalog, 0, "Outlines");
        if (p < 0) return;
        std::int32_t v = skip_ws(catalog, p + 9);
        if (v >= span_end(catalog) || !is_digit(byte_at(catalog, v))) return;
        std::vector<std::int32_t> work{parse_int_at(catalog, v)};
        std::unordered_set<std::int32_t> seen;
        while (!work.empty()) {
            const std::int32_t n = work.back();
            work.pop_back();
            if (!seen.insert(n).second) continue;
            const dict_text item = text_of(n);
            if (item.empty()) continue;
            const std::int32_t a = find_name(item, 0, "A");
            if (a >= 0) {
                const std::int32_t av = skip_ws(item, a + 2);
                std::string type;
                if (av < span_end(item) && is_digit(byte_at(item, av))) {
                    std::int32_t q = av;
                    type = action_type(text_of(parse_int_at(item, q)));
                } else {
                    type = action_type(item, av);
                }
                if (!type.empty()) ++r.outline_actions[type];
            }
            for (const char *link : {"First", "Next"}) {
                const std::int32_t k = find_name(item, 0, link);
                if (k < 0) continue;
                std::int32_t q = skip_ws(item, k + 1 + static_cast<std::int32_t>(std::string_view(link).size()));
                if (q < span_end(item) && is_digit(byte_at(item, q))) work.push_back(parse_int_at(item, q));
            }
        }
    }

    void object_pass() {
        for (const pdf_obj &o : doc.objs.view()) {
            for_each_name_token(object_span(doc, o), [&](std::string_view raw) {
                if (raw.find('#') == std::string_view::npos) return;
                const std::string name = decode_name(raw);
                if (listed(watched_names, name)) r.escaped_names.push_back({o.num, name});
            });
            const dict_text t = get_obj_dict_text(doc, &o);
            if (t.empty()) continue;
            const dict_walk w = walk_dictionary(t);
            if (w.comment) add_unique(r.comments_in_dictionaries, o.num);
            for (const std::string &k : w.repeated) r.duplicate_keys.push_back({o.num, k});
            if (find_name(t, 0, "XFA") >= 0) add_unique(r.xfa, o.num);
            if (find_name(t, 0, "RichMedia") >= 0) add_unique(r.richmedia, o.num);
            if (find_name(t, 0, "3D") >= 0 || find_name(t, 0, "U3D") >= 0 || find_name(t, 0, "PRC") >= 0)
                add_unique(r.three_d, o.num);
            for (std::int32_t p = find_name(t, 0, "JS"); p >= 0; p = find_name(t, p + 1, "JS")) {
                std::int32_t v = skip_ws(t, p + 3);
                if (v >= span_end(t) || !is_digit(byte_at(t, v))) continue;
                const std::int32_t n = parse_int_at(t, v);
                const pdf_obj *target = doc_find(doc, n);
                if (target && target->has_stream) add_unique(r.js_source_streams, n);
            }
        }
        std::sort(r.js_source_streams.begin(), r.js_source_streams.end());
        r.js_source_streams.erase(std::unique(r.js_source_streams.begin(), r.js_source_streams.end()), r.js_source_streams.end());
    }

    void catalog_pass(std::string_view catalog) {
        const std::int32_t p = find_name(catalog, 0, "Names");
        if (p < 0) return;
        const std::int32_t v = skip_ws(catalog, p + 6);
        if (dict_opens_at(catalog, v)) {
            const dict_text names = dict_text_at(catalog, v);
            if (!names.empty() && find_name(names, 0, "JavaScript") >= 0) r.inline_js_names = true;
        }
    }
};

void json_numbers(std::string &out, const std::vector<std::int32_t> &v) {
    out += '[';
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ',';
        out += std::to_string(v[i]);
    }
    out += ']';
}

void json_strings(std::string &out, const std::vector<std::string> &v) {
    out += '[';
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ',';
        json_string(out, v[i]);
    }
    out += ']';
}

void json_items(std::string &out, const std::vector<audit_item> &v, const char *detail) {
    out += '[';
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ',';
        out += "{\"object\":";
        out += std::to_string(v[i].object);
        out += ",\"";
        out += detail;
        out += "\":";
        json_string(out, v[i].detail);
        out += '}';
    }
    out += ']';
}

void json_counts(std::string &out, const std::map<std::string, std::int64_t> &m) {
    out += '{';
    bool first = true;
    for (const auto &[k, n] : m) {
        if (!first) out += ',';
        first = false;
        json_string(out, k);
        out += ':' + std::to_string(n);
    }
    out += '}';
}

// Input findings that mention object n: what may explain a blind spot there.
std::vector<std::string> evidence_for(const audit_report &r, std::int32_t n) {
    std::vector<std::string> ev;
    auto in = [n](const std::vector<std::int32_t> &v) { return std::find(v.begin(), v.end(), n) != v.end(); };
    for (const audit_item &i : r.escaped_names)
        if (i.object == n) ev.push_back("escaped_names:" + i.detail);
    for (const audit_item &i : r.duplicate_keys)
        if (i.object == n) ev.push_back("duplicate_keys:" + i.detail);
    if (in(r.comments_in_dictionaries)) ev.push_back("comments_in_dictionaries");
    if (in(r.xfa)) ev.push_back("xfa");
    if (in(r.richmedia)) ev.push_back("richmedia");
    if (in(r.three_d)) ev.push_back("three_d");
    if (in(r.js_source_streams)) ev.push_back("js_source_streams");
    if (r.inline_js_names && n == r.catalog) ev.push_back("inline_js_names");
    if (!r.unexpanded_object_streams.empty()) ev.push_back("unexpanded_object_streams");
    std::sort(ev.begin(), ev.end());
    ev.erase(std::unique(ev.begin(), ev.end()), ev.end());
    return ev;
}

void json_finding(std::string &out, const reach_finding &f, const std::vector<std::string> *evidence) {
    out += "{\"kind\":\"";
    out += reach_kind_name(f.kind);
    out += "\",\"detail\":";
    json_string(out, f.detail);
    out += ",\"object\":" + std::to_string(f.object) + ",\"holder\":\"";
    out += reach_holder_name(f.holder);
    out += "\",\"path\":";
    json_string(out, f.path);
    if (evidence) {
        out += ",\"evidence\":";
        json_strings(out, *evidence);
    }
    out += '}';
}

// A list of findings, the first few hundred written out, with the whole count.
constexpr std::size_t listed_findings = 200;

void json_findings(std::string &out, const char *name, const std::vector<reach_finding> &v,
                   const audit_report *evidence_from) {
    out += '"';
    out += name;
    out += "\":[";
    for (std::size_t i = 0; i < v.size() && i < listed_findings; ++i) {
        if (i) out += ',';
        if (evidence_from) {
            const std::vector<std::string> ev = evidence_for(*evidence_from, v[i].object);
            json_finding(out, v[i], &ev);
        } else {
            json_finding(out, v[i], nullptr);
        }
    }
    out += "],\"";
    out += name;
    out += "_count\":" + std::to_string(v.size());
}

}  // namespace

namespace {

verified_output split_by_promise(const mode_promise &p, verify_result &&r) {
    verified_output v;
    for (reach_finding &f : r.findings) (breaks_promise(p, f) ? v.blind_spots : v.residue).push_back(std::move(f));
    return v;
}

}  // namespace

verified_output check_output(const mode_promise &p, std::string_view out) {
    return split_by_promise(p, verify_output(out));
}

verified_output check_output(const mode_promise &p, const outbuf &out) {
    std::vector<output_hole> holes;
    holes.reserve(out.pieces.size());
    for (const out_piece &piece : out.pieces) holes.push_back({piece.at, piece.n});
    return split_by_promise(p, verify_output({out.data, static_cast<std::size_t>(out.len)}, holes));
}

bool audit_report::has_blind_spot() const {
    return std::any_of(modes.begin(), modes.end(), [](const mode_audit &m) { return !m.found.blind_spots.empty(); });
}

bool audit_report::has_error() const {
    return std::any_of(modes.begin(), modes.end(), [](const mode_audit &m) { return !m.error.empty(); });
}

void audit_document(const pdf_doc &doc, audit_report &report) {
    report = audit_report{};
    auditor a{doc, report, {}};
    for (const skipped_container &c : doc.skipped_containers) report.unexpanded_object_streams.push_back({c.num, c.reason});
    const dict_text catalog = get_obj_dict_text(doc, doc_find(doc, doc.catalog));
    a.actions_pass();
    a.object_pass();
    if (!catalog.empty()) {
        a.outline_pass(catalog);
        a.catalog_pass(catalog);
    }
    report.catalog = doc.catalog;
    std::size_t k = 0;
    outbuf out;  // one buffer for the four outputs: its pages are touched once
    for (const mode_promise &p : mode_promises()) {
        mode_audit &m = report.modes[k++];
        m.promise = &p;
        out.clear();
        if (sanitize_document(doc, p.mode, out) != 0) {
            m.error = g_err;
            continue;
        }
        m.found = check_output(p, out);
    }
}

std::string audit_json(const audit_report &r, std::string_view file) {
    std::string out = "{\"file\":";
    json_string(out, file);
    out += ",\"version\":1,\"modes\":{";
    for (std::size_t k = 0; k < r.modes.size(); ++k) {
        const mode_audit &m = r.modes[k];
        if (k) out += ',';
        json_string(out, m.promise ? m.promise->name : "");
        out += ":{";
        if (!m.error.empty()) {
            out += "\"error\":";
            json_string(out, m.error);
        } else {
            json_findings(out, "blind_spots", m.found.blind_spots, &r);
            out += ',';
            json_findings(out, "residue", m.found.residue, nullptr);
        }
        out += '}';
    }
    out += "},\"input\":{\"escaped_names\":";
    json_items(out, r.escaped_names, "name");
    out += ",\"actions\":";
    json_counts(out, r.actions);
    out += ",\"actions_outside_automatic\":";
    json_counts(out, r.actions_outside_automatic);
    out += ",\"xfa\":";
    json_numbers(out, r.xfa);
    out += ",\"richmedia\":";
    json_numbers(out, r.richmedia);
    out += ",\"three_d\":";
    json_numbers(out, r.three_d);
    out += ",\"outline_actions\":";
    json_counts(out, r.outline_actions);
    out += ",\"comments_in_dictionaries\":";
    json_numbers(out, r.comments_in_dictionaries);
    out += ",\"duplicate_keys\":";
    json_items(out, r.duplicate_keys, "key");
    out += ",\"unexpanded_object_streams\":";
    json_items(out, r.unexpanded_object_streams, "reason");
    out += ",\"js_source_streams\":";
    json_numbers(out, r.js_source_streams);
    out += ",\"inline_js_names\":";
    out += r.inline_js_names ? "true" : "false";
    out += "}}";
    return out;
}

std::string run_report_json(const run_report &r) {
    std::string out = "{\"version\":1,\"input\":";
    json_string(out, r.input);
    out += ",\"output\":";
    json_string(out, r.output);
    out += ",\"mode\":";
    json_string(out, r.promise ? r.promise->name : "");
    out += r.written ? ",\"written\":true" : ",\"written\":false";
    out += r.refused ? ",\"refused\":true" : ",\"refused\":false";
    if (!r.error.empty()) {
        out += ",\"error\":";
        json_string(out, r.error);
    }
    if (r.removed) {
        out += ",\"removed\":{\"entries\":[";
        for (std::size_t i = 0; i < r.removed->entries.size(); ++i) {
            if (i) out += ',';
            out += "{\"object\":" + std::to_string(r.removed->entries[i].object) + ",\"key\":";
            json_string(out, r.removed->entries[i].key);
            out += '}';
        }
        out += "],\"placeholders\":[";
        for (std::size_t i = 0; i < r.removed->placeholders.size(); ++i) {
            if (i) out += ',';
            out += "{\"object\":" + std::to_string(r.removed->placeholders[i].object) + ",\"reason\":";
            json_string(out, placeholder_reason_name(r.removed->placeholders[i].reason));
            out += '}';
        }
        out += "]}";
    }
    if (r.left) {
        out += ",\"left\":{";
        json_findings(out, "blind_spots", r.left->blind_spots, nullptr);
        out += ',';
        json_findings(out, "residue", r.left->residue, nullptr);
        out += '}';
    }
    out += "}\n";
    return out;
}

std::string verified_json(const mode_promise &p, const verified_output &v) {
    std::string out = "{\"mode\":";
    json_string(out, p.name);
    out += v.blind_spots.empty() ? ",\"kept_promise\":true," : ",\"kept_promise\":false,";
    json_findings(out, "blind_spots", v.blind_spots, nullptr);
    out += ',';
    json_findings(out, "residue", v.residue, nullptr);
    out += '}';
    return out;
}

std::string describe_findings(const std::vector<reach_finding> &f, std::size_t at_most) {
    std::string s;
    for (std::size_t i = 0; i < f.size() && i < at_most; ++i) {
        if (i) s += ", ";
        s += reach_kind_name(f[i].kind);
        s += ' ' + f[i].detail + " (object " + std::to_string(f[i].object) + ", " + f[i].path + ')';
    }
    if (f.size() > at_most) s += " and " + std::to_string(f.size() - at_most) + " more";
    return s;
}

}  // namespace pdfsanitize
