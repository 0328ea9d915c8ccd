// SPDX-License-Identifier: Apache-2.0
// Builds the output in memory, stream data left in the input's buffer as pieces, then
// writes text and pieces in order. Records are found by number through the document's
// index, so writing is linear in the objects.
#include "pdfsanitize/writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "pdfsanitize/alloc.h"
#include "pdfsanitize/errors.h"
#include "pdfsanitize/files.h"

namespace pdfsanitize {

namespace {

// The capacity one buffer holding the whole output would have (1 MiB, doubling, at most
// the output limit): false (and the output failed) when n more bytes would pass it, so
// that text and pieces fail exactly where one buffer would.
bool whole_output_grows(outbuf &b, std::uint64_t n) {
    if (b.whole_cap < outbuf_first_cap) b.whole_cap = outbuf_first_cap;
    const std::uint64_t need = b.size() + n + 1;
    if (need <= b.whole_cap) return true;
    if (n > outbuf_max_append || need > outbuf_max_cap) {
        b.failed = true;
        return false;
    }
    while (b.whole_cap < need && b.whole_cap <= outbuf_max_cap - 1) b.whole_cap *= 2;
    return true;
}

}  // namespace

void buf_bytes(outbuf &b, const void *bytes, std::uint64_t n) {
    if (b.failed) return;  // a failed output stays failed and adds nothing
    if (!b.data) {
        b.data = static_cast<char *>(lib_malloc(outbuf_first_cap));
        if (!b.data) {
            b.failed = true;
            return;
        }
        b.cap = outbuf_first_cap;
        b.len = 0;
        b.data[0] = '\0';
    }
    if (!whole_output_grows(b, n)) return;
    const std::uint64_t need = b.len + n + 1;
    if (need > b.cap) {
        std::uint64_t cap = b.cap;
        while (cap < need && cap <= outbuf_max_cap - 1) cap *= 2;
        void *p = lib_realloc(b.data, cap);
        if (!p) {
            std::free(b.data);
            b.data = nullptr;
            b.len = b.cap = b.piece_bytes = 0;
            b.pieces.clear();
            b.failed = true;
            return;
        }
        b.data = static_cast<char *>(p);
        b.cap = cap;
    }
    if (n) std::memcpy(b.data + b.len, bytes, n);
    b.len += n;
    b.data[b.len] = '\0';
}

void buf_piece(outbuf &b, const char *bytes, std::uint64_t n) {
    if (b.failed) return;
    if (!b.data) buf_bytes(b, "", 0);
    if (!b.data || n == 0 || !whole_output_grows(b, n)) return;
    b.pieces.push_back({b.len, bytes, n});
    b.piece_bytes += n;
}

std::string outbuf_joined(const outbuf &b) {
    std::string s;
    s.reserve(static_cast<std::size_t>(b.size()));
    for_each_part(b, [&](const char *bytes, std::uint64_t n) {
        s.append(bytes, static_cast<std::size_t>(n));
        return true;
    });
    return s;
}

namespace {

// Digits of v written backwards ending at p; returns the first digit's position.
char *put_digits(char *p, std::uint32_t v) {
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    return p;
}

// "N G obj\n" and the 20-byte table entries are written once per object: formatted
// by hand, with the bytes "%ld %d obj\n" and "%010ld %05d n \n" give.
void buf_object_header(outbuf &b, std::int32_t num, std::int32_t gen) {
    char tmp[32];
    char *e = tmp + sizeof tmp;
    const char tail[] = " obj\n";
    char *p = e - (sizeof tail - 1);
    std::memcpy(p, tail, sizeof tail - 1);
    p = put_digits(p, static_cast<std::uint32_t>(gen));
    *--p = ' ';
    p = put_digits(p, static_cast<std::uint32_t>(num));
    buf_bytes(b, p, static_cast<std::uint64_t>(e - p));
}

void buf_xref_entry(outbuf &b, std::int32_t offset, std::int32_t gen) {
    char line[20];
    std::uint32_t v = static_cast<std::uint32_t>(offset < 0 ? 0 : offset);
    for (int i = 9; i >= 0; --i) {
        line[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    if (offset < 0) {
        std::memcpy(line + 10, " 65535 f \n", 10);
    } else {
        std::uint32_t g = static_cast<std::uint32_t>(gen);
        line[10] = ' ';
        for (int i = 15; i >= 11; --i) {
            line[i] = static_cast<char>('0' + g % 10);
            g /= 10;
        }
        std::memcpy(line + 16, " n \n", 4);
    }
    buf_bytes(b, line, sizeof line);
}

void buf_format_long(outbuf &b, const char *fmt, long v) {
    char tmp[64];
    const int n = std::snprintf(tmp, sizeof tmp, fmt, v);
    if (n > 0) buf_bytes(b, tmp, static_cast<std::uint64_t>(n));
}

constexpr std::int32_t stream_piece_min = 16384;

void write_stream(const pdf_doc &doc, const pdf_obj &o, outbuf &out) {
    const std::int32_t n = o.stream_end - o.stream_start;
    const std::int32_t p = o.dict_start < 0 ? 0 : o.dict_start;
    dict_text d;
    if (dict_opens_at(doc.bytes(), o.dict_start)) {
        const std::int32_t close = record_dict_close(doc, o);
        if (close >= 0) d = copy_dict_text(doc.bytes(), o.dict_start, close);
    } else {
        d = dict_text_at(doc.bytes(), p, &doc_memo(doc));
    }
    if (!d.empty()) {
        strip_dict_entry(d, "Length");
        char ins[32];
        std::snprintf(ins, sizeof ins, " /Length %ld", static_cast<long>(n));
        dict_append_before_close(d, ins);
        buf_text(out, d);
    } else {
        buf_text(out, "<< >>");
    }
    buf_text(out, "\nstream\n");
    // Large stream data stays in the input's buffer; small data is copied, which costs
    // less than a piece to record and write.
    if (n >= stream_piece_min) buf_piece(out, doc.data + o.stream_start, static_cast<std::uint64_t>(n));
    else if (n > 0) buf_bytes(out, doc.data + o.stream_start, static_cast<std::uint64_t>(n));
    buf_text(out, "\nendstream\nendobj\n");
}

void write_plain(const pdf_doc &doc, const pdf_obj &o, outbuf &out) {
    const std::int32_t e = o.endobj > 0 ? o.endobj : doc.len;
    std::int32_t s = o.dict_start;
    if (s < 0) {
        const std::int32_t kw = find_kw(doc.bytes(), o.start, "obj");
        s = kw < 0 ? no_pos : skip_ws(doc.bytes(), kw + 3);
    }
    // A body whose start is not found before its end is written empty.
    if (s >= 0 && s < e) buf_bytes(out, doc.data + s, static_cast<std::uint64_t>(e - s));
    buf_text(out, "\nendobj\n");
}

}  // namespace

int assemble_document(const pdf_doc &doc, const replacement_map &repl, const std::vector<unsigned char> &blank,
                      outbuf &out) {
    // The first storage; should it fail, the next append tries again.
    if (!out.data) {
        buf_bytes(out, "", 0);
        out.failed = false;
    }
    std::vector<std::int32_t> offsets, gens;
    try {
        offsets.assign(static_cast<std::size_t>(doc.max_num) + 2, -1);
        gens.assign(static_cast<std::size_t>(doc.max_num) + 2, 0);
    } catch (const std::bad_alloc &) {
        set_error("out of memory");
        return -1;
    }
    static const char header[] = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    buf_bytes(out, header, sizeof header - 1);

    for (std::int32_t i = 1; i <= doc.max_num; ++i) {
        const pdf_obj *o = doc_find(doc, i);
        if (!o) continue;
        elem(offsets, i) = static_cast<std::int32_t>(out.size());
        elem(gens, i) = output_gen(o);
        buf_object_header(out, i, elem(gens, i));
        const auto r = repl.find(i);
        if (r != repl.end()) {
            buf_text(out, r->second);
            buf_text(out, "\nendobj\n");
        } else if (static_cast<std::size_t>(i) < blank.size() && elem(blank, i)) {
            buf_text(out, "<< >>\nendobj\n");
        } else if (o->in_objstm) {
            buf_bytes(out, o->text, static_cast<std::uint64_t>(o->text_len));
            buf_text(out, "\nendobj\n");
        } else if (o->has_stream) {
            write_stream(doc, *o, out);
        } else {
            write_plain(doc, *o, out);
        }
        if (out.failed) break;
    }

    const std::uint64_t xref_at = out.size();
    buf_format_long(out, "xref\n0 %ld", static_cast<long>(doc.max_num) + 1);
    buf_text(out, "\n0000000000 65535 f \n");
    for (std::int32_t i = 1; i <= doc.max_num && !out.failed; ++i) {
        buf_xref_entry(out, elem(offsets, i), elem(gens, i));
    }
    buf_format_long(out, "trailer\n<< /Size %ld", static_cast<long>(doc.max_num) + 1);
    buf_format_long(out, " /Root %ld", doc.catalog);
    buf_format_long(out, " %ld R", output_gen(doc_find(doc, doc.catalog)));
    if (doc.info > 0 && doc.info <= doc.max_num && elem(offsets, doc.info) >= 0) {
        buf_format_long(out, " /Info %ld", doc.info);
        buf_format_long(out, " %ld R", elem(gens, doc.info));
    }
    buf_text(out, " >>\nstartxref\n");
    buf_format_long(out, "%ld", static_cast<long>(xref_at));
    buf_text(out, "\n%%EOF\n");
    if (out.failed) {
        set_error("out of memory");
        return -1;
    }
    return 0;
}

namespace {

struct file_closer {
    void operator()(std::FILE *f) const {
        if (f) std::fclose(f);
    }
};

}  // namespace

namespace {

// Writes the text and the pieces in order; false when a write comes up short.
bool put_whole(std::FILE *f, const outbuf &out) {
    return for_each_part(out, [&](const char *bytes, std::uint64_t n) {
        return n == 0 || std::fwrite(bytes, 1, static_cast<std::size_t>(n), f) == n;
    });
}

void report_short_write(const char *name) {
    const int write_errno = errno;
    set_error("short write on output file %s", name);
    g_sys_errno = write_errno;
}

}  // namespace

int write_output_file(const char *path, const outbuf &out) {
    std::FILE *raw = open_file(path, "wb");
    if (!raw) {
        const int open_errno = errno;
        set_error("cannot open output file %s", path);
        g_sys_errno = open_errno;
        return 0;
    }
    std::unique_ptr<std::FILE, file_closer> f(raw);
    if (!put_whole(f.get(), out)) {
        report_short_write(path);
        return 0;
    }
    // A full disk often shows only when the buffered tail is flushed at close.
    if (std::fclose(f.release()) != 0) {
        report_short_write(path);
        return 0;
    }
    return 1;
}

int write_output_stream(std::FILE *f, const char *name, const outbuf &out) {
    if (!put_whole(f, out) || std::fflush(f) != 0) {
        report_short_write(name);
        return 0;
    }
    return 1;
}

}  // namespace pdfsanitize
