// SPDX-License-Identifier: Apache-2.0
// Reads the writer's cross-reference table and trailer, then walks breadth-first from
// /Root (and /Info) through references, inline dictionaries and arrays, one visit per
// object, with an explicit queue. Each dictionary is read as a reader reads it (the last
// copy of a key counts, names decoded) and judged by its keys and by the way the walk came
// to it: an /AA met on a page is a page's event, /Next after an action is its chain.
#include "pdfsanitize/verify.h"

#include <algorithm>
#include <array>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "pdfsanitize/syntax.h"

namespace pdfsanitize {

namespace {

using rk = reach_kind;
using rh = reach_holder;

constexpr std::uint32_t structure_holders =
    holder_bit(rh::catalog) | holder_bit(rh::page_node) | holder_bit(rh::page);
constexpr std::uint32_t clicked_holders = holder_bit(rh::annotation) | holder_bit(rh::field);

// An XFA form's packets (stream data) carry their own scripts and events, which the walk
// does not read: a mode that promises no JavaScript or no automatic actions cannot keep one.
constexpr std::array<mode_promise, 4> promises = {{
    {1, "remove-js", kind_bit(rk::javascript) | kind_bit(rk::xfa) | kind_bit(rk::unverifiable), 0, 0},
    {2, "remove-attachments", kind_bit(rk::embedded_file) | kind_bit(rk::unverifiable), 0, 0},
    {4, "remove-actions", kind_bit(rk::xfa) | kind_bit(rk::unverifiable), structure_holders, structure_holders},
    {15, "full",
     kind_bit(rk::javascript) | kind_bit(rk::embedded_file) | kind_bit(rk::form) | kind_bit(rk::xfa) |
         kind_bit(rk::unverifiable),
     structure_holders | clicked_holders, structure_holders | clicked_holders},
}};

// The action types a reader knows, by /S.
constexpr std::array<std::string_view, 11> action_types = {
    "JavaScript", "Launch", "URI", "SubmitForm", "ImportData", "GoToR", "GoToE", "Rendition", "RichMediaExecute",
    "Named", "GoTo"};

// The part a dictionary plays, from the way the walk came to it and its own /Type.
enum class role : std::uint8_t {
    generic, catalog, page_tree, page_node, page, annotation, field, acroform, aa, action, names, name_tree, outline
};

// A path is written with at most its first and its last path_ends steps.
constexpr std::int32_t path_ends = 24;

struct path_node {
    std::int32_t parent;    // -1 at the trailer
    std::string_view key;   // raw name bytes (decoded when the path is written), or a label
    std::int32_t index;     // >= 0: an array element of the parent
    std::int32_t depth;     // steps from the trailer, this one included
    std::int32_t head_end;  // the step at depth path_ends on the way here (or this one)
};

struct work_item {
    std::int32_t object;
    std::int32_t pos;       // the value's first byte in the output
    std::int32_t limit;     // where the object's bytes end (the next object's offset)
    role r;
    rh holder;
    std::int32_t path;
    std::int32_t depth;     // inline nesting within the object
};

struct pending {
    rk kind;
    rh holder;
    std::int32_t object;
    std::string detail;
    std::int32_t path;
    std::string_view extra;  // one more raw key after the path, or empty
};

// One top-level entry of a dictionary: the last copy of its key.
struct entry {
    std::string key;         // decoded
    std::string_view raw;    // the key's raw bytes, escapes undecoded
    std::int32_t value_pos;  // absolute
    std::int32_t value_end;
};

rh holder_of(role r) {
    switch (r) {
    case role::catalog: return rh::catalog;
    case role::page_node: return rh::page_node;
    case role::page: return rh::page;
    case role::annotation: return rh::annotation;
    case role::field: return rh::field;
    case role::outline: return rh::outline;
    case role::names:
    case role::name_tree: return rh::names;
    default: return rh::other;
    }
}

// What the children of a dictionary of kind self under key are.
role child_role(role self, std::string_view key, rh &holder, rh own_holder) {
    auto is = [&](std::string_view k) { return key == k; };
    switch (self) {
    case role::catalog:
        if (is("Pages")) return role::page_tree;
        if (is("AcroForm")) return role::acroform;
        if (is("Names")) return role::names;
        if (is("Outlines")) return role::outline;
        if (is("OpenAction")) return holder = rh::catalog, role::action;
        break;
    case role::page_node:
        if (is("Kids")) return role::page_tree;
        break;
    case role::page:
        if (is("Annots")) return role::annotation;
        break;
    case role::annotation:
        if (is("A")) return holder = rh::annotation, role::action;
        if (is("Parent")) return role::field;
        if (is("Popup")) return role::annotation;
        break;
    case role::field:
        if (is("Kids") || is("Parent")) return role::field;
        if (is("A")) return holder = rh::field, role::action;
        break;
    case role::acroform:
        if (is("Fields")) return role::field;
        break;
    case role::aa: return holder = own_holder, role::action;
    case role::action:
        if (is("Next")) return holder = own_holder, role::action;
        break;
    case role::names:
        return holder = rh::names, role::name_tree;
    case role::name_tree:
        if (is("Kids")) return role::name_tree;
        if (is("Names")) return holder = rh::names, role::action;
        break;
    case role::outline:
        if (is("First") || is("Last") || is("Next") || is("Prev") || is("Parent")) return role::outline;
        if (is("A")) return holder = rh::outline, role::action;
        break;
    default: break;
    }
    if (is("AA")) return holder = holder_of(self), role::aa;
    if (is("A")) return holder = rh::other, role::action;
    return role::generic;
}

class verifier {
public:
    verifier(std::string_view out, std::span<const output_hole> holes) : out_(out), holes_(holes) {
        std::uint64_t before = 0;
        hole_starts_.reserve(holes.size());
        for (const output_hole &h : holes) {
            hole_starts_.push_back(h.at + before);
            before += h.n;
        }
    }

    verify_result run() {
        verify_result res;
        std::int32_t root = 0, info = 0;
        if (!read_table(root, info)) {
            note(rk::unverifiable, rh::other, 0, "no cross-reference table and trailer", -1);
        } else if (std::int32_t pos = 0, limit = 0; root <= 0 || !body(root, pos, limit)) {
            note(rk::unverifiable, rh::other, 0, "no catalog", -1);
        } else if (!is_plain_dict(pos, limit)) {
            // Readers refuse such a file, or rebuild it their own way: no promise holds.
            note(rk::unverifiable, rh::other, root, "the catalog is not a dictionary", -1);
        } else {
            mark_page_tree(root);
            start(root, "Root", role::catalog);
            if (info > 0) start(info, "Info", role::generic);
            for (std::size_t i = 0; i < queue_.size(); ++i) {
                const work_item it = queue_[i];
                visit(it);
            }
        }
        res.objects_reached = reached_;
        res.findings.reserve(pending_.size());
        for (const pending &p : pending_)
            res.findings.push_back({p.kind, p.holder, p.object, p.detail, render_path(p.path, p.extra)});
        return res;
    }

private:
    // --- the table and the objects -------------------------------------------------------

    static bool digits_at(std::string_view v, std::int32_t &pos, std::int64_t &value) {
        const std::int32_t n = span_end(v);
        if (pos >= n || !is_digit(byte_at(v, pos))) return false;
        value = 0;
        while (pos < n && is_digit(byte_at(v, pos))) {
            if (value < (std::int64_t{1} << 40)) value = value * 10 + (byte_at(v, pos) - '0');
            ++pos;
        }
        return true;
    }

    // The text position of a file offset, or -1 when it falls in a hole or past the end.
    std::int64_t text_offset(std::int64_t offset) const {
        if (offset < 0) return -1;
        const auto it = std::upper_bound(hole_starts_.begin(), hole_starts_.end(), static_cast<std::uint64_t>(offset));
        if (it != hole_starts_.begin()) {
            const std::size_t i = static_cast<std::size_t>(it - hole_starts_.begin()) - 1;
            const std::uint64_t hole_end = hole_starts_[i] + holes_[i].n;
            if (static_cast<std::uint64_t>(offset) < hole_end) return -1;
            offset -= static_cast<std::int64_t>(hole_end - holes_[i].at);
        }
        return offset < span_end(out_) ? offset : -1;
    }

    bool read_table(std::int32_t &root, std::int32_t &info) {
        const std::size_t sx = out_.rfind("startxref");
        if (sx == std::string_view::npos) return false;
        std::int32_t p = skip_ws(out_, static_cast<std::int32_t>(sx) + 9);
        std::int64_t at = 0;
        if (!digits_at(out_, p, at) || (at = text_offset(at)) < 0) return false;
        p = static_cast<std::int32_t>(at);
        if (!kw_at(out_, p, "xref")) return false;
        p += 4;
        while (true) {
            p = skip_ws(out_, p);
            if (kw_at(out_, p, "trailer")) break;
            std::int64_t first = 0, count = 0;
            if (!digits_at(out_, p, first)) return false;
            p = skip_ws(out_, p);
            if (!digits_at(out_, p, count)) return false;
            for (std::int64_t k = 0; k < count; ++k) {
                std::int64_t offset = 0, gen = 0;
                p = skip_ws(out_, p);
                if (!digits_at(out_, p, offset)) return false;
                p = skip_ws(out_, p);
                if (!digits_at(out_, p, gen)) return false;
                p = skip_ws(out_, p);
                if (p >= span_end(out_)) return false;
                const char type = elem(out_, p);
                if (type != 'n' && type != 'f') return false;
                ++p;
                const std::int64_t num = first + k;
                if (type == 'n' && num > 0 && num <= INT32_MAX && (offset = text_offset(offset)) >= 0)
                    table_.emplace_back(static_cast<std::int32_t>(num), static_cast<std::int32_t>(offset));
            }
        }
        // A number listed twice: the first entry counts.
        std::stable_sort(table_.begin(), table_.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        table_.erase(std::unique(table_.begin(), table_.end(), [](const auto &a, const auto &b) { return a.first == b.first; }),
                     table_.end());
        // Numbers close to the count of entries (the writer's: 1 to the highest) are
        // looked up directly.
        if (!table_.empty() && static_cast<std::size_t>(table_.back().first) <= 2 * table_.size() + 1024) {
            slot_.assign(static_cast<std::size_t>(table_.back().first) + 1, -1);
            for (std::size_t k = 0; k < table_.size(); ++k) elem(slot_, table_[k].first) = static_cast<std::int32_t>(k);
        }
        visited_.assign(table_.size(), 0);
        list_read_.assign(table_.size(), 0);
        structure_.assign(table_.size(), role::generic);
        starts_.reserve(table_.size() + 1);
        for (const auto &e : table_) starts_.push_back(e.second);
        starts_.push_back(static_cast<std::int32_t>(at));
        std::sort(starts_.begin(), starts_.end());

        p = skip_ws_comments(out_, p + 7);
        if (!dict_opens_at(out_, p))
            return false;
        const std::int32_t e = reader_value_end(out_, p);
        for (const entry &en : entries(out_, p, e)) {
            if (en.key == "Root") root = reference_at(out_, en.value_pos, en.value_end);
            if (en.key == "Info") info = reference_at(out_, en.value_pos, en.value_end);
        }
        return true;
    }

    // The table entry of object num, or -1.
    std::int32_t index_of(std::int32_t num) const {
        if (!slot_.empty()) return num > 0 && static_cast<std::size_t>(num) < slot_.size() ? elem(slot_, num) : -1;
        const auto it = std::lower_bound(table_.begin(), table_.end(), num,
                                         [](const auto &e, std::int32_t n) { return e.first < n; });
        return it != table_.end() && it->first == num ? static_cast<std::int32_t>(it - table_.begin()) : -1;
    }

    // The first byte of object num's value and the end of its bytes; false when the
    // table does not lead to "num G obj" (a reader then sees null).
    bool body(std::int32_t num, std::int32_t &pos, std::int32_t &limit) const {
        const std::int32_t k = index_of(num);
        if (k < 0) return false;
        const std::int32_t at = elem(table_, k).second;
        const auto next = std::upper_bound(starts_.begin(), starts_.end(), at);
        limit = next == starts_.end() ? span_end(out_) : *next;
        const std::string_view v = out_.substr(0, static_cast<std::size_t>(limit));
        std::int32_t p = at;
        std::int64_t n = 0, g = 0;
        if (!digits_at(v, p, n) || n != num) return false;
        p = skip_ws(v, p);
        if (!digits_at(v, p, g)) return false;
        p = skip_ws(v, p);
        if (!kw_at(v, p, "obj")) return false;
        pos = skip_ws_comments(v, p + 3);
        return pos < limit;
    }

    // The object number of a reference "N G R" spanning [pos, end), or 0.
    static std::int32_t reference_at(std::string_view v, std::int32_t pos, std::int32_t end) {
        if (end <= pos || !is_digit(byte_at(v, pos)) || byte_at(v, end - 1) != 'R') return 0;
        std::int64_t n = 0;
        std::int32_t p = pos;
        return digits_at(v, p, n) && n <= INT32_MAX ? static_cast<std::int32_t>(n) : 0;
    }

    // The top-level entries of the dictionary at [pos, end), the last copy of each key,
    // into out (its storage reused from one dictionary to the next).
    static void entries(std::string_view v, std::int32_t pos, std::int32_t end, std::vector<entry> &out) {
        const std::string_view text = v.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(end - pos));
        std::size_t n = 0;
        dict_reader r(text, is_dict_text(text));
        dict_entry e;
        while (r.next(e)) {
            if (!e.has_value()) continue;
            if (n == out.size()) out.emplace_back();
            entry &en = out[n++];
            en.raw = r.key(e);
            if (en.raw.find('#') == std::string_view::npos) en.key.assign(en.raw);
            else en.key = decode_name(en.raw);
            en.value_pos = pos + e.value_pos;
            en.value_end = pos + e.value_end;
        }
        out.resize(n);
        if (n < 2) return;
        // Keep the last copy of each key, in text order.
        std::vector<unsigned char> last(n, 1);
        bool repeated = false;
        if (n <= 16) {
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = i + 1; j < n && last[i]; ++j)
                    if (out[i].key == out[j].key) last[i] = 0, repeated = true;
        } else {
            std::unordered_set<std::string_view> seen;
            for (std::size_t i = n; i-- > 0;)
                if (!seen.insert(out[i].key).second) last[i] = 0, repeated = true;
        }
        if (!repeated) return;
        std::size_t k = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (last[i]) std::swap(out[k++], out[i]);
        out.resize(k);
    }
    static std::vector<entry> entries(std::string_view v, std::int32_t pos, std::int32_t end) {
        std::vector<entry> out;
        entries(v, pos, end, out);
        return out;
    }

    static const entry *get(const std::vector<entry> &d, std::string_view key) {
        for (const entry &e : d)
            if (e.key == key) return &e;
        return nullptr;
    }

    // A name value, given directly or as an object whose value is a name; empty otherwise.
    std::string name_value(const entry *e) {
        if (!e) return {};
        std::string_view v = out_;
        std::int32_t p = e->value_pos;
        if (is_digit(byte_at(v, p))) {
            const std::int32_t num = reference_at(v, e->value_pos, e->value_end);
            if (num <= 0) return {};
            const auto known = indirect_names_.find(num);
            if (known != indirect_names_.end()) return known->second;
            std::int32_t limit = 0;
            std::string name;
            if (body(num, p, limit)) {
                v = out_.substr(0, static_cast<std::size_t>(limit));
                if (byte_at(v, p) == '/') name = decode_name(v.substr(static_cast<std::size_t>(p) + 1, static_cast<std::size_t>(name_token_end(v, p) - p - 1)));
            }
            return indirect_names_.emplace(num, std::move(name)).first->second;
        }
        if (byte_at(v, p) != '/') return {};
        return decode_name(v.substr(static_cast<std::size_t>(p) + 1, static_cast<std::size_t>(e->value_end - p - 1)));
    }

    // Objects of the page tree and the pages' annotations, found before the walk so
    // that the part they play does not depend on the path that reaches them first.
    void mark_page_tree(std::int32_t root) {
        std::int32_t pos = 0, limit = 0;
        if (!body(root, pos, limit) || !is_dict_at(pos, limit)) return;
        const std::vector<entry> catalog = entries(view(limit), pos, reader_value_end(view(limit), pos));
        const entry *pages = get(catalog, "Pages");
        std::vector<std::int32_t> work;
        if (pages) work.push_back(reference_at(out_, pages->value_pos, pages->value_end));
        std::vector<unsigned char> seen(table_.size(), 0);
        while (!work.empty()) {
            const std::int32_t n = work.back();
            work.pop_back();
            const std::int32_t k = index_of(n);
            if (k < 0 || elem(seen, k)) continue;
            elem(seen, k) = 1;
            if (!body(n, pos, limit) || !is_dict_at(pos, limit)) continue;
            elem(structure_, k) = role::page_tree;
            entries(view(limit), pos, reader_value_end(view(limit), pos), dict_);
            const std::vector<entry> &d = dict_;
            const bool page = name_value(get(d, "Type")) == "Page" || !get(d, "Kids");
            const entry *list = get(d, page ? "Annots" : "Kids");
            if (!list) continue;
            for (const std::int32_t r : list_refs(*list, limit)) {
                const std::int32_t a = index_of(r);
                if (page && a >= 0 && elem(structure_, a) == role::generic)
                    elem(structure_, a) = role::annotation;
                else if (!page) work.push_back(r);
            }
        }
    }

    // The references an array value lists (the array given directly or by reference).
    // An array object is read once: nodes or pages that share it add nothing more.
    std::vector<std::int32_t> list_refs(const entry &e, std::int32_t limit) {
        std::string_view v = view(limit);
        std::int32_t p = e.value_pos, end = e.value_end;
        if (is_digit(byte_at(v, p))) {
            std::int32_t lim = 0;
            const std::int32_t n = reference_at(v, p, end);
            const std::int32_t k = index_of(n);
            if (k < 0 || elem(list_read_, k)) return {};
            elem(list_read_, k) = 1;
            if (!body(n, p, lim)) return {};
            v = view(lim);
            end = reader_value_end(v, p);
        }
        if (byte_at(v, p) != '[') return {};
        std::vector<std::int32_t> refs;
        const std::int32_t stop = end > p && byte_at(v, end - 1) == ']' ? end - 1 : end;
        for (std::int32_t q = skip_ws_comments(v, p + 1); q < stop; q = skip_ws_comments(v, q)) {
            const std::int32_t qe = std::min(reader_value_end(v, q), stop);
            if (const std::int32_t r = reference_at(v, q, qe)) refs.push_back(r);
            q = qe > q ? qe : q + 1;
        }
        return refs;
    }

    // A dictionary that is not a stream's.
    bool is_plain_dict(std::int32_t pos, std::int32_t limit) const {
        if (!is_dict_at(pos, limit)) return false;
        const std::string_view v = view(limit);
        return !kw_at(v, skip_ws_comments(v, reader_value_end(v, pos)), "stream");
    }

    std::string_view view(std::int32_t limit) const { return out_.substr(0, static_cast<std::size_t>(limit)); }
    bool is_dict_at(std::int32_t pos, std::int32_t limit) const {
        return dict_opens_at(out_, pos, limit);
    }

    // --- the walk -------------------------------------------------------------------------

    std::int32_t add_path(std::int32_t parent, std::string_view key, std::int32_t index) {
        const std::int32_t self = static_cast<std::int32_t>(paths_.size());
        const std::int32_t depth = parent < 0 ? 1 : elem(paths_, parent).depth + 1;
        const std::int32_t head_end = depth <= path_ends ? self : elem(paths_, parent).head_end;
        paths_.push_back({parent, key, index, depth, head_end});
        return self;
    }

    void note(rk kind, rh holder, std::int32_t object, std::string detail, std::int32_t path, std::string_view extra = {}) {
        pending_.push_back({kind, holder, object, std::move(detail), path, extra});
    }

    void start(std::int32_t num, std::string_view label, role r) {
        follow(num, r, rh::other, add_path(-1, label, -1));
    }

    // Queues object num once, the first time the walk reaches it.
    void follow(std::int32_t num, role r, rh holder, std::int32_t path) {
        const std::int32_t k = index_of(num);
        if (k < 0 || elem(visited_, k)) return;
        elem(visited_, k) = 1;
        ++reached_;
        std::int32_t pos = 0, limit = 0;
        if (!body(num, pos, limit)) return;
        const role s = elem(structure_, k);
        if (s != role::generic && r != role::catalog) r = s;
        queue_.push_back({num, pos, limit, r, holder, path, 0});
    }

    // A value of the item it belongs to: an inline dictionary or array is queued, a
    // reference followed.
    void child(const work_item &it, std::int32_t pos, std::int32_t end, role r, rh holder, std::int32_t path) {
        const std::string_view v = view(it.limit);
        const unsigned char c = byte_at(v, pos);
        if (is_digit(c)) {
            if (const std::int32_t n = reference_at(v, pos, end)) follow(n, r, holder, path);
            return;
        }
        if (c != '[' && !dict_opens_at(v, pos, it.limit)) return;
        if (it.depth + 1 > max_inline_depth) {
            note(rk::unverifiable, rh::other, it.object, "values nested deeper than 32 levels", path);
            return;
        }
        queue_.push_back({it.object, pos, it.limit, r, holder, path, it.depth + 1});
    }

    void visit(const work_item &it) {
        const std::string_view v = view(it.limit);
        const std::int32_t end = reader_value_end(v, it.pos);
        const unsigned char c = byte_at(v, it.pos);
        if (c == '[') {
            const std::int32_t stop = end > it.pos && byte_at(v, end - 1) == ']' ? end - 1 : end;
            std::int32_t index = 0;
            for (std::int32_t q = skip_ws_comments(v, it.pos + 1); q < stop; q = skip_ws_comments(v, q), ++index) {
                const std::int32_t qe = std::min(reader_value_end(v, q), stop);
                if (is_link(v, q, qe)) child(it, q, qe, it.r, it.holder, add_path(it.path, {}, index));
                q = qe > q ? qe : q + 1;
            }
        } else if (dict_opens_at(v, it.pos, it.limit)) {
            visit_dict(it, end);
        } else if (is_digit(c)) {
            // An object whose value is a reference stands for the object it names.
            if (const std::int32_t n = reference_at(v, it.pos, end)) follow(n, it.r, it.holder, it.path);
        }
    }

    void visit_dict(const work_item &it, std::int32_t end) {
        entries(view(it.limit), it.pos, end, dict_);
        const std::vector<entry> &d = dict_;
        role self = it.r;
        const std::string type = name_value(get(d, "Type"));
        if (self == role::page_tree) self = type == "Page" || !get(d, "Kids") ? role::page : role::page_node;
        else if (self != role::catalog && type == "Page") self = role::page;
        else if (self != role::catalog && type == "Pages") self = role::page_node;
        else if (self == role::generic && type == "Annot") self = role::annotation;
        const rh own = holder_of(self);
        // An action counts where a trigger leads to it; elsewhere nothing fires it.
        const rh fired = self == role::action || self == role::aa ? it.holder : rh::other;

        // The dictionary's own findings.
        bool js = false;
        const std::string s = name_value(get(d, "S"));
        if (!s.empty() && std::find(action_types.begin(), action_types.end(), s) != action_types.end()) {
            if (s == "JavaScript") {
                js = true;
                note(rk::javascript, fired, it.object, "JavaScript", it.path);
            } else {
                note(rk::action, fired, it.object, s, it.path);
            }
        }
        if (!js && get(d, "JS")) note(rk::javascript, fired, it.object, "JS", it.path);
        // A file specification's /EF is a dictionary of streams (a signature's /EF is a
        // list of permissions).
        if (const entry *ef = get(d, "EF"); ef && byte_at(out_, ef->value_pos) != '[' &&
                                            is_link(view(it.limit), ef->value_pos, ef->value_end))
            note(rk::embedded_file, own, it.object, "EF", it.path);
        if (type == "EmbeddedFile") note(rk::embedded_file, own, it.object, "EmbeddedFile", it.path);
        const std::string subtype = name_value(get(d, "Subtype"));
        if (subtype == "FileAttachment") note(rk::embedded_file, own, it.object, subtype, it.path);
        if (subtype == "Widget") note(rk::form, own, it.object, subtype, it.path);
        if (subtype == "3D") note(rk::three_d, own, it.object, subtype, it.path);
        if (subtype == "RichMedia") note(rk::rich_media, own, it.object, subtype, it.path);
        if (get(d, "XFA")) note(rk::xfa, own, it.object, "XFA", it.path);
        if (self == role::catalog) {
            if (const entry *a = get(d, "AcroForm"); a && is_link(view(it.limit), a->value_pos, a->value_end))
                note(rk::form, own, it.object, "AcroForm", it.path, a->raw);
            if (const entry *o = get(d, "OpenAction"); o && is_link(view(it.limit), o->value_pos, o->value_end))
                note(rk::automatic_action, rh::catalog, it.object, "OpenAction", it.path, o->raw);
        }

        for (const entry &e : d) {
            const bool link = is_link(view(it.limit), e.value_pos, e.value_end);
            if (self == role::aa && link) note(rk::automatic_action, it.holder, it.object, "AA/" + e.key, it.path, e.raw);
            if (!link) continue;
            rh holder = it.holder;
            const role r = child_role(self, e.key, holder, fired);
            child(it, e.value_pos, e.value_end, r, holder, add_path(it.path, e.raw, -1));
        }
    }

    // Whether the value at [pos, end) leads on: a dictionary, an array or a reference.
    static bool is_link(std::string_view v, std::int32_t pos, std::int32_t end) {
        if (pos >= end) return false;
        const unsigned char c = byte_at(v, pos);
        return c == '[' || dict_opens_at(v, pos, end) || reference_at(v, pos, end) > 0;
    }

    // "Root/Pages/Kids[2]/Annots[0]/A"; a very deep path keeps its two ends.
    // Steps are collected from the end (at most path_ends), then from the head's end:
    // a few dozen steps whatever the depth.
    std::string render_path(std::int32_t node, std::string_view extra) const {
        std::vector<std::int32_t> tail, head;
        std::int32_t n = node;
        for (; n >= 0 && static_cast<std::int32_t>(tail.size()) < path_ends; n = elem(paths_, n).parent)
            tail.push_back(n);
        const bool elided = n >= 0 && elem(paths_, n).depth > path_ends;
        if (n >= 0) n = elem(paths_, n).head_end;
        for (; n >= 0; n = elem(paths_, n).parent) head.push_back(n);
        std::vector<std::int32_t> chain(tail);
        chain.insert(chain.end(), head.begin(), head.end());
        std::string s;
        for (std::size_t k = chain.size(); k-- > 0;) {
            if (elided && k + 1 == tail.size()) s += "/...";
            const path_node &p = elem(paths_, chain[k]);
            if (p.index >= 0) {
                s += '[' + std::to_string(p.index) + ']';
            } else {
                if (!s.empty()) s += '/';
                s += decode_name(p.key);
            }
        }
        if (!extra.empty()) {
            if (!s.empty()) s += '/';
            s += decode_name(extra);
        }
        return s;
    }

    std::string_view out_;
    std::span<const output_hole> holes_;
    std::vector<std::uint64_t> hole_starts_;  // each hole's first byte in the file
    std::vector<std::pair<std::int32_t, std::int32_t>> table_;  // (number, offset), by number
    std::vector<std::int32_t> slot_;                            // number -> table entry, when dense
    std::vector<std::int32_t> starts_;                          // every offset, ascending
    std::vector<role> structure_;                // by table entry: the page tree's own parts
    std::vector<unsigned char> visited_;         // by table entry
    std::vector<unsigned char> list_read_;       // by table entry: an array the page tree walk read
    std::int64_t reached_ = 0;
    std::vector<entry> dict_;                    // the dictionary being visited
    std::unordered_map<std::int32_t, std::string> indirect_names_;
    // Blocks that never move: growing them copies nothing.
    std::deque<work_item> queue_;
    std::deque<path_node> paths_;
    std::deque<pending> pending_;
};

}  // namespace

const char *reach_kind_name(reach_kind k) {
    constexpr std::array<const char *, reach_kind_count> names = {
        "javascript", "embedded_file", "automatic_action", "form", "action", "3d", "rich_media", "xfa", "unverifiable"};
    return names[static_cast<std::size_t>(k)];
}

const char *reach_holder_name(reach_holder h) {
    constexpr std::array<const char *, reach_holder_count> names = {
        "catalog", "page_node", "page", "annotation", "field", "outline", "names", "other"};
    return names[static_cast<std::size_t>(h)];
}

verify_result verify_output(std::string_view out, std::span<const output_hole> holes) {
    if (out.size() > static_cast<std::size_t>(INT32_MAX)) {
        verify_result r;
        r.findings.push_back({reach_kind::unverifiable, reach_holder::other, 0, "file too large to verify", {}});
        return r;
    }
    return verifier(out, holes).run();
}

std::span<const mode_promise> mode_promises() { return promises; }

const mode_promise *promise_for_mode(std::int32_t mode) {
    for (const mode_promise &p : promises)
        if (p.mode == mode) return &p;
    return nullptr;
}

const mode_promise *promise_for_name(std::string_view name) {
    for (const mode_promise &p : promises)
        if (name == p.name) return &p;
    return nullptr;
}

bool breaks_promise(const mode_promise &p, const reach_finding &f) {
    if (p.kinds & kind_bit(f.kind)) return true;
    // Moving within the document is what a destination does too: never promised.
    if (f.kind == reach_kind::action && (f.detail == "GoTo" || f.detail == "Named")) return false;
    if (f.kind == reach_kind::automatic_action) return (p.automatic & holder_bit(f.holder)) != 0;
    if (f.kind == reach_kind::action) return (p.actions & holder_bit(f.holder)) != 0;
    return false;
}

}  // namespace pdfsanitize
