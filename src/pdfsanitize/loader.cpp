// SPDX-License-Identifier: Apache-2.0
// doc_load and the stages that find the objects: the header note, the object scan,
// stream bounds, removal of objects found inside stream data, and one definition per
// number. Keyword positions are collected once per load, so searches that would run
// to the end of the file once per object become binary searches.
#include "pdfsanitize/loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <queue>

#include <sys/stat.h>
#include <sys/types.h>

#include "pdfsanitize/errors.h"
#include "pdfsanitize/files.h"
#include "pdfsanitize/load_stages.h"

namespace pdfsanitize {

std::vector<std::int32_t> all_keywords(std::string_view buf, std::string_view kw) {
    // The keywords end in letters that are rare in PDF text ('j', 'm', 'f'): finding
    // the last byte first and looking back is much faster than trying every first byte.
    std::vector<std::int32_t> out;
    const std::size_t n = kw.size();
    if (n == 0 || buf.size() < n) return out;
    const char last = kw.back();
    const char *base = buf.data();
    std::size_t from = n - 1;
    while (from < buf.size()) {
        const void *hit = std::memchr(base + from, last, buf.size() - from);
        if (!hit) break;
        const std::size_t q = static_cast<std::size_t>(static_cast<const char *>(hit) - base);
        const std::size_t p = q + 1 - n;
        if (std::memcmp(base + p, kw.data(), n - 1) == 0 && kw_at(buf, static_cast<std::int32_t>(p), kw))
            out.push_back(static_cast<std::int32_t>(p));
        from = q + 1;
    }
    return out;
}

std::vector<std::int32_t> all_names(std::string_view buf, std::string_view name) {
    std::vector<std::int32_t> out;
    for (std::int32_t p = find_name(buf, 0, name); p >= 0; p = find_name(buf, p + 1, name)) out.push_back(p);
    return out;
}

std::int32_t first_at_or_after(const std::vector<std::int32_t> &sorted, std::int64_t pos) {
    if (pos > INT32_MAX) return no_pos;
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), static_cast<std::int32_t>(std::max<std::int64_t>(pos, 0)));
    return it == sorted.end() ? no_pos : *it;
}

const std::vector<std::int32_t> &position_list::positions() {
    if (!built_) {
        pos_ = all_keywords(buf_, kw_);
        built_ = true;
    }
    return pos_;
}

void obj_keywords(std::string_view buf, std::vector<std::int32_t> &obj, std::vector<std::int32_t> &endobj) {
    const char *base = buf.data();
    const std::size_t n = buf.size();
    std::size_t from = 2;
    while (from < n) {
        const void *hit = std::memchr(base + from, 'j', n - from);
        if (!hit) break;
        const std::size_t q = static_cast<std::size_t>(static_cast<const char *>(hit) - base);
        from = q + 1;
        if (base[q - 1] != 'b' || base[q - 2] != 'o') continue;
        const std::int32_t p = static_cast<std::int32_t>(q - 2);
        if (kw_at(buf, p, "obj"))
            obj.push_back(p);
        else if (q >= 5 && std::memcmp(base + q - 5, "end", 3) == 0 && kw_at(buf, p - 3, "endobj"))
            endobj.push_back(p - 3);
    }
}

std::int32_t position_list::first_at_or_after(std::int64_t p) {
    positions();
    const std::size_t n = pos_.size();
    if (p > INT32_MAX) return no_pos;
    if (hint_ > n) hint_ = n;
    if (hint_ > 0 && pos_[hint_ - 1] >= p) {
        hint_ = static_cast<std::size_t>(std::lower_bound(pos_.begin(), pos_.begin() + static_cast<std::ptrdiff_t>(hint_), p) - pos_.begin());
    } else {
        // Gallop forward from the last answer, then search the bracketed range.
        std::size_t lo = hint_, step = 1;
        while (lo + step < n && pos_[lo + step - 1] < p) {
            lo += step;
            step *= 2;
        }
        const std::size_t hi = std::min(n, lo + step);
        hint_ = static_cast<std::size_t>(std::lower_bound(pos_.begin() + static_cast<std::ptrdiff_t>(lo), pos_.begin() + static_cast<std::ptrdiff_t>(hi), p) - pos_.begin());
    }
    return hint_ < n ? pos_[hint_] : no_pos;
}

bool name_in_span(const std::vector<std::int32_t> &names, std::string_view buf, std::string_view name,
                  std::int32_t a, std::int32_t e) {
    const std::int64_t n = static_cast<std::int64_t>(name.size());
    e = std::min(e, span_end(buf));
    if (a < 0) a = 0;
    const std::int32_t p = first_at_or_after(names, a);
    if (p >= 0 && p + 1 + n <= e) return true;
    // A name that ends exactly at the bound matches there whatever byte follows it.
    const std::int64_t q = e - 1 - n;
    return q >= a && char_at(buf, q) == '/' &&
           buf.compare(static_cast<std::size_t>(q) + 1, name.size(), name) == 0;
}

bool is_objstm_container(const pdf_doc &doc, const pdf_obj &o) {
    if (o.in_objstm || !o.has_stream || o.dict_start < 0) return false;
    const std::int32_t e = o.stream_kw > 0 ? o.stream_kw : doc.len;
    return find_name(doc.bytes(), o.dict_start, e, "ObjStm") >= 0;
}

namespace {

std::int32_t digits_value(std::string_view b, std::int32_t from, std::int32_t to) {
    std::uint32_t v = 0;
    for (std::int32_t i = from; i < to; ++i) v = v * 10u + static_cast<std::uint32_t>(byte_at(b, i) - '0');
    return static_cast<std::int32_t>(v);
}

bool ends_with_at(std::string_view b, std::int32_t pos, std::string_view s) {
    const std::int64_t n = static_cast<std::int64_t>(s.size());
    return pos >= n && b.compare(static_cast<std::size_t>(pos - n), s.size(), s) == 0;
}

}  // namespace

namespace {

// The "num gen" written before the "obj" at p: read backwards over blanks, the
// generation's digits, at least one blank and the number's digits. False when the
// bytes before p are no header.
bool read_header_before(std::string_view b, std::int32_t p, pdf_obj &o) {
    std::int32_t j = p - 1;
    while (j >= 0 && is_c_space(byte_at(b, j))) --j;
    if (j < 0 || !is_digit(byte_at(b, j))) return false;
    const std::int32_t gen_end = j + 1;
    while (j >= 0 && is_digit(byte_at(b, j))) --j;
    const std::int32_t gen_start = j + 1;
    std::int32_t k = j;
    while (k >= 0 && is_c_space(byte_at(b, k))) --k;
    if (k == j || k < 0 || !is_digit(byte_at(b, k))) return false;
    const std::int32_t num_end = k + 1;
    while (k >= 0 && is_digit(byte_at(b, k))) --k;
    const std::int32_t num_start = k + 1;
    // Some producers glue the next header to the previous keyword ("endobj43 0 obj").
    if (k >= 0 && is_letter(byte_at(b, k)) && !ends_with_at(b, num_start, "endobj") &&
        !ends_with_at(b, num_start, "endstream"))
        return false;
    o.num = digits_value(b, num_start, num_end);
    if (o.num < 1) return false;
    o.gen = digits_value(b, gen_start, gen_end);
    o.start = num_start;
    return true;
}

// Where stream data begins after the "stream" keyword at s: past blanks and one line end.
std::int32_t stream_data_start(std::string_view b, std::int32_t s) {
    const std::int32_t len = span_end(b);
    std::int32_t t = s + 6;
    while (t < len && (char_at(b, t) == ' ' || char_at(b, t) == '\t')) ++t;
    if (t + 1 < len && char_at(b, t) == '\r' && char_at(b, t + 1) == '\n') return t + 2;
    if (t < len && (char_at(b, t) == '\n' || char_at(b, t) == '\r')) return t + 1;
    return t;
}

// The "endobj" that ends an object whose dictionary opens at q and closes at o.dict_close
// (no_pos: it does not close); no_pos when no "endobj" follows.
std::int32_t dictionary_object_end(load_ctx &ctx, const pdf_obj &o, std::int32_t q) {
    std::int32_t e = ctx.kw_endobj.first_at_or_after(q);
    if (e < 0) return no_pos;
    // The dictionary-close scan bounded by e agrees with the unbounded one when that
    // close lies inside the bound.
    const std::int32_t d = o.dict_close;
    if (d >= 0 && d + 1 >= e) {
        // An "endobj" inside a string of the dictionary ends nothing: the object ends at
        // the first "endobj" after its close, or just past its ">>".
        e = ctx.kw_endobj.first_at_or_after(std::int64_t{d} + 2);
        if (e < 0) e = d + 2;
    }
    if (d > 0 && d < e) {
        const std::int32_t next_obj = ctx.kw_obj.first_at_or_after(d);
        return (next_obj >= 0 && next_obj < e) ? d + 2 : e;
    }
    return e;
}

}  // namespace

void scan_object_headers(load_ctx &ctx) {
    pdf_doc &doc = ctx.doc;
    if (doc.len < 4) return;
    const std::string_view b = doc.bytes();
    bracket_memo &memo = doc_memo(doc);
    doc.objs.reserve(ctx.kw_obj.size());
    for (const std::int32_t p : ctx.kw_obj.positions()) {
        if (p > doc.len - 4) break;
        pdf_obj o;
        if (!read_header_before(b, p, o)) continue;
        // Blanks and comments may stand between "obj" and the body.
        const std::int32_t q = skip_ws_comments(b, p + 3);
        if (q < doc.len && char_at(b, q) == '<') {
            o.dict_start = q;
            o.dict_close = memo.dict_close(q);
            const std::int32_t s = o.dict_close >= 0 ? skip_ws(b, o.dict_close + 2) : no_pos;
            if (s >= 0 && kw_at(b, s, "stream")) {
                o.has_stream = true;
                o.stream_kw = s;
                o.stream_start = stream_data_start(b, s);
                objvec_push(doc.objs, o);
                continue;
            }
            o.endobj = dictionary_object_end(ctx, o, q);
        } else {
            o.endobj = ctx.kw_endobj.first_at_or_after(q);
        }
        if (o.endobj < 0) continue;
        o.obj_end = o.endobj + 6;
        objvec_push(doc.objs, o);
    }
}

namespace {

// First position at or after pos that is not a blank of the C library's space set, or
// -1; runs already crossed are remembered so that many streams ending in one long run
// of blanks cost one pass over it.
class blank_runs {
public:
    explicit blank_runs(std::string_view b) : b_(b) {}
    std::int32_t next_non_blank(std::int32_t pos) {
        const std::int32_t end = span_end(b_);
        if (pos < end && !is_c_space(byte_at(b_, pos))) return pos;
        auto it = runs_.upper_bound(pos);
        if (it != runs_.begin()) {
            auto prev = std::prev(it);
            if (pos < prev->second) pos = prev->second;
        }
        const std::int32_t from = pos;
        while (pos < end && is_c_space(byte_at(b_, pos))) {
            auto next = runs_.find(pos);
            if (next != runs_.end()) {
                pos = next->second;
                continue;
            }
            ++pos;
        }
        if (pos - from > 64) {  // short runs are cheaper to cross again than to remember
            try {
                runs_[from] = pos;
            } catch (const std::bad_alloc &) {
                // A memo only: without the entry the run is crossed again, to the same end.
            }
        }
        return pos < end ? pos : no_pos;
    }

private:
    std::string_view b_;
    std::map<std::int32_t, std::int32_t> runs_;
};

// Declared length of a stream: -1 when /Length gives none (no non-negative integer,
// or a reference to a missing, stream or non-numeric object).
// (number, index) pairs of the scratch list, sorted: "the first record with that
// number" by binary search. Built on the first indirect /Length only.
class scratch_index {
public:
    explicit scratch_index(const pdf_doc &doc) : doc_(doc) {}
    const pdf_obj *find(std::int32_t num) {
        if (!built_) {
            pairs_.reserve(static_cast<std::size_t>(doc_.objs.count));
            for (std::int32_t i = 0; i < doc_.objs.count; ++i) pairs_.emplace_back(doc_.objs.items[i].num, i);
            std::sort(pairs_.begin(), pairs_.end());
            built_ = true;
        }
        const auto it = std::lower_bound(pairs_.begin(), pairs_.end(), std::make_pair(num, INT32_MIN));
        if (it == pairs_.end() || it->first != num) return nullptr;
        return &doc_.objs.items[it->second];
    }

private:
    const pdf_doc &doc_;
    bool built_ = false;
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs_;
};

std::int32_t declared_length(const pdf_doc &doc, const pdf_obj &o, scratch_index &by_num) {
    const std::string_view b = doc.bytes();
    const std::int32_t sk = o.stream_kw;
    const std::string_view within = b.substr(0, static_cast<std::size_t>(sk));
    std::int32_t slash = find_name(b, o.dict_start, sk, "Length");
    while (slash >= 0) {
        std::int32_t v = slash + 7;
        while (v < sk && is_pdf_ws(byte_at(b, v))) ++v;
        if (v >= sk) return -1;
        const unsigned char c = byte_at(b, v);
        if (c == '[') {
            std::int32_t last = -1;
            std::int32_t i = v + 1;
            while (i < sk && char_at(b, i) != ']') {
                std::int32_t p = i;
                const std::int32_t n = parse_int_at(within, p);
                if (p != i) {
                    if (n >= 0) last = n;
                    i = p;
                } else {
                    ++i;
                }
            }
            if (last >= 0) return last;
        } else if (is_digit(c) || c == '-') {
            std::int32_t p = v;
            const std::int32_t n = parse_int_at(within, p);
            if (p != v && n >= 0) {
                // "n g R" makes the length indirect.
                std::int32_t i = p;
                bool ref = false;
                if (i < sk && is_pdf_ws(byte_at(b, i))) {
                    i = skip_ws(within, i);
                    if (i < sk && is_digit(byte_at(b, i))) {
                        while (i < sk && is_digit(byte_at(b, i))) ++i;
                        i = skip_ws(within, i);
                        if (i < sk && char_at(b, i) == 'R' &&
                            !(i + 1 < doc.len && is_word_byte(byte_at(b, i + 1))))
                            ref = true;
                    }
                }
                if (!ref) return n;
                const pdf_obj *target = by_num.find(n);
                if (!target) return -1;
                const pdf_obj &t = *target;
                if (t.has_stream) return -1;
                std::int32_t r = t.start;
                parse_int_at(b, r);
                r = skip_ws(b, r);
                if (r < doc.len && is_digit(byte_at(b, r))) {
                    parse_int_at(b, r);
                    r = skip_ws(b, r);
                }
                if (!kw_at(b, r, "obj")) return -1;
                r += 3;
                const std::int32_t before = r;
                const std::int32_t len = parse_int_at(b, r);
                if (r == before || len < 0) return -1;
                return len;
            }
        }
        slash = find_name(b, slash + 1, sk, "Length");
    }
    return -1;
}

}  // namespace

void fix_stream_bounds(load_ctx &ctx) {
    pdf_doc &doc = ctx.doc;
    const std::string_view b = doc.bytes();
    scratch_index by_num(doc);
    blank_runs blanks(b);

    for (std::int32_t i = 0; i < doc.objs.count; ++i) {
        pdf_obj &o = doc.objs.items[i];
        if (!o.has_stream) continue;
        const std::int32_t L = declared_length(doc, o, by_num);
        std::int64_t E = -1;
        if (L >= 0) {
            E = static_cast<std::int64_t>(o.stream_start) + L;
            bool accepted = false;
            if (E < doc.len) {
                const std::int32_t q = blanks.next_non_blank(static_cast<std::int32_t>(E));
                if (q >= 0 && doc.len - q >= 6 &&
                    (b.compare(static_cast<std::size_t>(q), 5, "endst") == 0 ||
                     b.compare(static_cast<std::size_t>(q), 6, "endobj") == 0))
                    accepted = true;
            }
            if (!accepted) E = -1;
        }
        if (E < 0) {
            // No usable length, or nothing acceptable after it: up to "endstream", less
            // the one end-of-line marker before it.
            const std::int32_t k = ctx.kw_endstream.first_at_or_after(std::int64_t{o.stream_start} + 1);
            if (k >= 0) {
                E = k;
                if (char_at(b, k - 1) == '\n') {
                    E = k - 1;
                    if (k - 1 > o.stream_start && char_at(b, k - 2) == '\r') E = k - 2;
                } else if (char_at(b, k - 1) == '\r') {
                    E = k - 1;
                }
            } else {
                E = doc.len;
                o.stream_unterminated = true;
            }
        }
        if (E < o.stream_start) E = o.stream_start;
        o.stream_end = static_cast<std::int32_t>(E);
        o.stream_len = o.stream_end - o.stream_start;
        o.endobj = ctx.kw_endobj.first_at_or_after(E + 1);
        o.obj_end = o.endobj >= 0 ? o.endobj + 6 : no_pos;
    }
}

void remove_false_objects(pdf_doc &doc) {
    // Records are in file order. A record goes when it is a stream without "endobj", or
    // when its header lies inside the data of an earlier stream that was kept. The
    // earlier streams' data ranges become active once the walk reaches their start;
    // because headers come in increasing order, the largest active end decides.
    using range = std::pair<std::int32_t, std::int32_t>;
    std::priority_queue<range, std::vector<range>, std::greater<range>> pending;
    std::int64_t active_end = -1;
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < doc.objs.count; ++i) {
        const pdf_obj o = doc.objs.items[i];
        if (o.has_stream && o.endobj < 0) continue;
        while (!pending.empty() && pending.top().first <= o.start) {
            active_end = std::max<std::int64_t>(active_end, pending.top().second);
            pending.pop();
        }
        if (o.start < active_end) continue;
        if (o.has_stream && o.stream_start >= 0 && o.stream_end > o.stream_start)
            pending.emplace(o.stream_start, o.stream_end);
        doc.objs.items[kept++] = o;
    }
    doc.objs.count = kept;
}

namespace {

// The highest number within the limit, and whether the records are direct objects only
// with numbers rising in file order (then no number is defined twice).
struct numbering {
    std::int32_t highest = 0;
    bool rising_direct_only = true;
};

numbering survey_numbers(const pdf_doc &doc) {
    numbering n;
    std::int32_t previous = 0;
    for (const pdf_obj &o : doc.objs.view()) {
        if (o.num <= max_object_number && o.num > n.highest) n.highest = o.num;
        if (o.in_objstm || o.is_container || o.num <= previous) n.rising_direct_only = false;
        previous = o.num;
    }
    return n;
}

// Drops the records numbered above the limit, keeping the order of the rest.
void keep_numbers_within_limit(pdf_doc &doc, std::int32_t highest) {
    std::int32_t kept = 0;
    for (std::int32_t k = 0; k < doc.objs.count; ++k)
        if (doc.objs.items[k].num <= max_object_number) doc.objs.items[kept++] = doc.objs.items[k];
    doc.objs.count = kept;
    doc.max_num = highest;
}

// For each number up to highest: the last direct record (not a container) and the last
// in-stream record with that number, or no_pos.
struct definitions {
    std::vector<std::int32_t> direct, instream;
};

definitions last_definitions(const pdf_doc &doc, std::int32_t highest) {
    definitions d{std::vector<std::int32_t>(static_cast<std::size_t>(highest) + 1, no_pos),
                  std::vector<std::int32_t>(static_cast<std::size_t>(highest) + 1, no_pos)};
    for (std::int32_t k = 0; k < doc.objs.count; ++k) {
        const pdf_obj &o = doc.objs.items[k];
        if (o.num < 0 || o.num > highest) continue;
        if (o.in_objstm)
            elem(d.instream, o.num) = k;
        else if (!o.is_container)
            elem(d.direct, o.num) = k;
    }
    return d;
}

}  // namespace

void keep_one_definition(pdf_doc &doc) {
    const numbering n = survey_numbers(doc);
    if (n.rising_direct_only) return keep_numbers_within_limit(doc, n.highest);
    // A direct definition beats one in an object stream; among the same kind the last
    // wins. Containers themselves are never objects of the document.
    const definitions d = last_definitions(doc, n.highest);
    std::int32_t kept = 0, max_num = 0;
    for (std::int32_t k = 0; k < doc.objs.count; ++k) {
        const pdf_obj &o = doc.objs.items[k];
        if (o.num > max_object_number || o.num < 1) continue;
        const std::size_t num = static_cast<std::size_t>(o.num);
        const bool keep = o.in_objstm ? d.direct[num] == no_pos && d.instream[num] == k
                                      : !o.is_container && (d.direct[num] == no_pos || d.direct[num] == k);
        if (!keep) continue;
        if (o.num > max_num) max_num = o.num;
        doc.objs.items[kept++] = o;  // survivors move down, keeping their order
    }
    doc.objs.count = kept;
    doc.max_num = max_num;
}

namespace {

int run_stages(pdf_doc &doc, const char *path) {
    load_ctx ctx{doc, path, {}, {}, {}};
    const std::string_view b = doc.bytes();
    std::vector<std::int32_t> objs, endobjs;
    obj_keywords(b, objs, endobjs);
    ctx.kw_obj = position_list(std::move(objs));
    ctx.kw_endobj = position_list(std::move(endobjs));
    ctx.kw_endstream = position_list(b, "endstream");  // needed only when a length is wrong

    read_xref_chain(ctx);
    scan_object_headers(ctx);
    fix_stream_bounds(ctx);
    remove_false_objects(doc);
    expand_object_streams(doc);
    keep_one_definition(doc);
    if (doc.objs.count == 0) {
        set_error("no PDF objects found \xE2\x80\x94 not a PDF: %s", path);
        return -1;
    }
    if (refuse_encrypted(ctx) != 0) return -1;
    doc_build_index(doc);
    settle_catalog_and_pages(doc);
    return 0;
}

void reset(pdf_doc &doc) {
    doc_free(doc);
    doc.catalog = no_pos;
    doc.trailer_root = no_pos;
    doc.trailer_info = no_pos;
    doc.info = no_pos;
}

int load_stages(pdf_doc &doc, const char *path) {
    int rc;
    try {
        rc = run_stages(doc, path);
    } catch (const std::bad_alloc &) {
        set_error("out of memory");
        rc = -1;
    }
    if (rc != 0) doc_free(doc);
    return rc;
}

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

}  // namespace

namespace {

// The size of an open file in 64 bits (the C library's long is 32 bits on Windows), or
// -1; -2 when the path names a directory.
std::int64_t open_file_size(std::FILE *f) {
#if defined(_WIN32)
    struct _stat64 st;
    if (_fstat64(_fileno(f), &st) != 0) return -1;
    if ((st.st_mode & _S_IFMT) == _S_IFDIR) return -2;
    if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
    const std::int64_t size = _ftelli64(f);
    if (_fseeki64(f, 0, SEEK_SET) != 0) return -1;
#else
    struct stat st;
    if (fstat(fileno(f), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) return -2;
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    const std::int64_t size = ftello(f);
    if (fseeko(f, 0, SEEK_SET) != 0) return -1;
#endif
    return size;
}

}  // namespace

int doc_load(const char *path, pdf_doc &doc) {
    reset(doc);
    if (!path) {
        set_error("NULL path argument");
        doc_free(doc);
        return -1;
    }
    std::unique_ptr<std::FILE, file_closer> f(open_file(path, "rb"));
    int open_errno = errno;
    const std::int64_t size = f ? open_file_size(f.get()) : -2;
    if (size == -2) {  // a directory opens on some systems, but it is no file to read
        if (f) open_errno = EISDIR;
        set_error("cannot open %s", path);
        g_sys_errno = open_errno;
        doc_free(doc);
        return -1;
    }
    if (size > INT32_MAX) {
        set_error("input file too large: %s", path);
        doc_free(doc);
        return -1;
    }
    if (size <= 0) {
        set_error("empty input file: %s", path);
        doc_free(doc);
        return -1;
    }
    char *data = alloc_file_buffer(static_cast<std::size_t>(size));
    if (!data) {
        set_error("out of memory");
        doc_free(doc);
        return -1;
    }
    doc.owned = data;
    errno = 0;
    if (std::fread(data, 1, static_cast<std::size_t>(size), f.get()) != static_cast<std::size_t>(size)) {
        const int read_errno = errno;
        set_error("read error on %s", path);
        g_sys_errno = read_errno;
        doc_free(doc);
        return -1;
    }
    f.reset();
    doc.data = data;
    doc.len = static_cast<std::int32_t>(size);
    return load_stages(doc, path);
}

int doc_load_memory(const char *name, std::span<const unsigned char> bytes, pdf_doc &doc, memory_use use) {
    reset(doc);
    if (!name) {
        set_error("NULL path argument");
        doc_free(doc);
        return -1;
    }
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        set_error("input file too large: %s", name);
        doc_free(doc);
        return -1;
    }
    if (bytes.empty()) {
        set_error("empty input file: %s", name);
        doc_free(doc);
        return -1;
    }
    if (use == borrow_bytes) {
        doc.data = reinterpret_cast<const char *>(bytes.data());
    } else {
        char *data = alloc_file_buffer(bytes.size());
        if (!data) {
            set_error("out of memory");
            doc_free(doc);
            return -1;
        }
        std::memcpy(data, bytes.data(), bytes.size());
        doc.owned = data;
        doc.data = data;
    }
    doc.len = static_cast<std::int32_t>(bytes.size());
    return load_stages(doc, name);
}

}  // namespace pdfsanitize
