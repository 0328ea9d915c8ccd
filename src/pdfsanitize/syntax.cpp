// SPDX-License-Identifier: Apache-2.0
// Token scanning over PDF text in place. Nothing here allocates except the bracket
// index (built only after plain scans have cost more than a few passes over a view)
// and the dictionary copies.
#include "pdfsanitize/syntax.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pdfsanitize {

namespace {

bool bytes_equal(std::string_view buf, std::int32_t pos, std::string_view s) {
    return std::memcmp(buf.data() + pos, s.data(), s.size()) == 0;
}

// The bytes that decide the outcome of a bracket scan; a '%' starts a comment.
bool is_bracket_byte(unsigned char c) {
    return c == '<' || c == '>' || c == '(' || c == ')' || c == '\\' || c == '[' || c == ']' || c == '%';
}

// Position of the first CR or LF at or after from, or -1: where a comment ends.
std::int32_t next_eol(std::string_view buf, std::int32_t from) {
    const std::int32_t end = span_end(buf);
    for (std::int32_t i = from; i < end; ++i) {
        const char c = char_at(buf, i);
        if (c == '\n' || c == '\r') return i;
    }
    return no_pos;
}

// Index after the '>' closing the hex string opened at open, or -1.
std::int32_t hex_string_end(std::string_view buf, std::int32_t open) {
    const std::int32_t end = span_end(buf);
    if (open + 1 >= end) return no_pos;
    const void *gt = std::memchr(buf.data() + open + 1, '>', static_cast<std::size_t>(end - open - 1));
    return gt ? static_cast<std::int32_t>(static_cast<const char *>(gt) - buf.data()) + 1 : no_pos;
}

}  // namespace

std::int32_t skip_ws(std::string_view buf, std::int32_t pos) {
    const std::int32_t end = span_end(buf);
    if (pos < 0) return pos;
    while (pos < end && is_pdf_ws(byte_at(buf, pos))) ++pos;
    return pos;
}

bool kw_at(std::string_view buf, std::int32_t pos, std::string_view kw) {
    const std::int64_t end = span_end(buf);
    const std::int64_t n = static_cast<std::int64_t>(kw.size());
    if (pos < 0 || n == 0 || pos + n > end) return false;
    if (!bytes_equal(buf, pos, kw)) return false;
    if (pos > 0 && is_word_byte(byte_at(buf, pos - 1))) return false;
    if (pos + n < end && is_word_byte(byte_at(buf, static_cast<std::int32_t>(pos + n)))) return false;
    return true;
}

std::int32_t find_kw(std::string_view buf, std::int32_t start, std::string_view kw) {
    if (start < 0) start = 0;
    if (kw.empty()) return no_pos;
    std::size_t p = static_cast<std::size_t>(start);
    while (p < buf.size()) {
        p = buf.find(kw, p);
        if (p == std::string_view::npos) return no_pos;
        if (kw_at(buf, static_cast<std::int32_t>(p), kw)) return static_cast<std::int32_t>(p);
        ++p;
    }
    return no_pos;
}

std::int32_t find_name(std::string_view buf, std::int32_t start, std::int32_t end,
                       std::string_view name) {
    const std::int64_t e = std::min<std::int64_t>(span_end(buf), end);
    const std::int64_t n = static_cast<std::int64_t>(name.size());
    if (start < 0) start = 0;
    std::int64_t p = start;
    while (p + 1 + n <= e) {
        const void *hit = std::memchr(buf.data() + p, '/', static_cast<std::size_t>(e - p - n));
        if (!hit) return no_pos;
        p = static_cast<const char *>(hit) - buf.data();
        if ((n == 0 || char_at(buf, p + 1) == name[0]) &&
            std::memcmp(buf.data() + p + 1, name.data(), name.size()) == 0 &&
            (p + 1 + n == e || !is_name_byte(byte_at(buf, static_cast<std::int32_t>(p + 1 + n)))))
            return static_cast<std::int32_t>(p);
        ++p;
    }
    return no_pos;
}

std::int32_t scan_string_end(std::string_view buf, std::int32_t open) {
    const std::int32_t end = span_end(buf);
    if (open < 0 || open >= end - 1) return no_pos;  // a '(' on the last byte opens nothing
    std::int64_t depth = 1;
    std::int64_t i = open + 1;
    while (i < end) {
        const unsigned char c = byte_at(buf, static_cast<std::int32_t>(i));
        if (c == '\\') {
            i += 2;
        } else if (c == '(') {
            ++depth;
            ++i;
        } else if (c == ')') {
            ++i;
            if (--depth == 0) return static_cast<std::int32_t>(i);
        } else {
            ++i;
        }
    }
    return no_pos;
}

std::int32_t scan_array_end(std::string_view buf, std::int32_t open) {
    const std::int32_t end = span_end(buf);
    if (open < 0) return no_pos;
    std::int64_t depth = 0;
    std::int32_t i = open;
    const unsigned char *b = reinterpret_cast<const unsigned char *>(buf.data());
    while (i < end) {
        while (i < end && !has_token_class(b[i], tc_array_stop)) ++i;
        if (i >= end) break;
        const unsigned char c = b[i];
        if (c == '[') {
            ++depth;
            ++i;
        } else if (c == ']') {
            ++i;
            if (--depth == 0) return i;
        } else if (c == '(' || c == '<' || c == '%') {
            std::int32_t r;
            if (c == '(')
                r = scan_string_end(buf, i);
            else if (c == '%')
                r = next_eol(buf, i);
            else if (i + 1 < end && byte_at(buf, i + 1) == '<')
                r = i + 2;
            else
                r = hex_string_end(buf, i);
            if (r < 0) return no_pos;
            i = r;
        } else {
            ++i;
        }
    }
    return no_pos;
}

std::int32_t scan_dict_close(std::string_view buf, std::int32_t start) {
    const std::int32_t end = span_end(buf);
    if (start < 0 || start >= end) return no_pos;
    std::int64_t depth = 0;
    std::int32_t i = start;
    const unsigned char *b = reinterpret_cast<const unsigned char *>(buf.data());
    while (i < end - 1) {
        // Only '<', '>', '(' and '%' matter: pass over everything else in a tight loop.
        while (i < end - 1 && !has_token_class(b[i], tc_dict_stop)) ++i;
        if (i >= end - 1) break;
        const unsigned char c = byte_at(buf, i);
        const unsigned char d = byte_at(buf, i + 1);
        if (c == '<' && d == '<') {
            ++depth;
            i += 2;
        } else if (c == '>' && d == '>') {
            if (--depth == 0) return i;
            i += 2;
        } else if (c == '(' || c == '<' || c == '%') {
            // A literal string, a hex string (so "<41>>" closes nothing) or a comment
            // is passed over whole.
            const std::int32_t r = c == '(' ? scan_string_end(buf, i) : c == '<' ? hex_string_end(buf, i) : next_eol(buf, i);
            if (r < 0) return no_pos;
            i = r;
        } else {
            ++i;
        }
    }
    return no_pos;
}

// --- bracket_memo ---------------------------------------------------------------

bracket_memo::bracket_memo(std::string_view buf)
    : buf_(buf), budget_(2 * static_cast<std::int64_t>(buf.size()) + 65536) {}

void bracket_memo::charge(std::int32_t start, std::int32_t result) {
    const std::int64_t stop = result >= 0 ? result : span_end(buf_);
    budget_ -= std::max<std::int64_t>(1, stop - start);
}

bool bracket_memo::use_index() {
    if (built_) return true;
    if (budget_ > 0) return false;
    try {
        build();
    } catch (const std::bad_alloc &) {
        // Without the index every query stays a plain scan: slower, same answers.
        pos_.clear();
        str_.clear();
        dict_.clear();
        rise_.clear();
        arr_.clear();
        budget_ = INT64_MAX;
        return false;
    }
    return true;
}

std::int32_t bracket_memo::lookup(const std::vector<std::int32_t> &v, std::int64_t q) const {
    if (q < 0 || q >= static_cast<std::int64_t>(buf_.size())) return no_pos;
    const auto it = std::lower_bound(pos_.begin(), pos_.end(), static_cast<std::int32_t>(q));
    if (it == pos_.end()) return no_pos;
    return elem(v, it - pos_.begin());
}

// Every scan moves one byte at a time over anything but the bracket bytes, so from any
// position its outcome equals the outcome from the next bracket byte. Computing each
// outcome from the ones to its right gives all of them in one backward pass. Outside
// literal strings, a '%' jumps to the end of its line and a lone '<' past the next '>'.
void bracket_memo::build() {
    const std::int32_t end = span_end(buf_);
    std::size_t m = 0;
    for (std::int32_t i = 0; i < end; ++i)
        if (is_bracket_byte(byte_at(buf_, i))) ++m;
    pos_.resize(m);
    str_.assign(m, no_pos);
    dict_.assign(m, no_pos);
    rise_.assign(m, no_pos);
    arr_.assign(m, no_pos);
    std::vector<std::int32_t> eol(m, no_pos);  // for a '%': its comment's end
    {
        std::size_t k = m;
        std::int32_t next = no_pos;
        for (std::int32_t i = end; i-- > 0;) {
            const unsigned char c = byte_at(buf_, i);
            if (c == '\n' || c == '\r') next = i;
            if (is_bracket_byte(c)) {
                pos_[--k] = i;
                eol[k] = next;
            }
        }
    }

    std::int32_t next_gt = no_pos;  // the nearest '>' to the right of the current one
    for (std::size_t j = m; j-- > 0;) {
        const std::int64_t p = pos_[j];
        const unsigned char c = byte_at(buf_, static_cast<std::int32_t>(p));
        const bool pair_ok = p + 1 < end;
        const unsigned char d = pair_ok ? byte_at(buf_, static_cast<std::int32_t>(p + 1)) : 0;
        // Where a comment or a hex string starting here lets the scan go on, or -1.
        std::int64_t skip_to = -2;
        if (c == '%') skip_to = eol[j];
        if (c == '<' && d != '<') skip_to = next_gt < 0 ? -1 : std::int64_t{next_gt} + 1;

        std::int32_t s;
        if (c == '\\') {
            s = lookup(str_, p + 2);
        } else if (c == '(') {
            const std::int32_t r = lookup(str_, p + 1);
            s = r < 0 ? no_pos : lookup(str_, std::int64_t{r} + 1);
        } else if (c == ')') {
            s = static_cast<std::int32_t>(p);
        } else {
            s = lookup(str_, p + 1);
        }
        str_[j] = s;

        std::int32_t di = no_pos, ri = no_pos;
        if (pair_ok) {
            if (c == '<' && d == '<') {
                const std::int32_t r = lookup(dict_, p + 2);
                di = r < 0 ? no_pos : lookup(dict_, std::int64_t{r} + 2);
                ri = static_cast<std::int32_t>(p);
            } else if (c == '>' && d == '>') {
                di = static_cast<std::int32_t>(p);
                const std::int32_t r = lookup(rise_, p + 2);
                ri = r < 0 ? no_pos : lookup(rise_, std::int64_t{r} + 2);
            } else if (c == '(') {
                const std::int32_t r = lookup(str_, p + 1);
                di = r < 0 ? no_pos : lookup(dict_, std::int64_t{r} + 1);
                ri = r < 0 ? no_pos : lookup(rise_, std::int64_t{r} + 1);
            } else if (skip_to != -2) {
                di = skip_to < 0 ? no_pos : lookup(dict_, skip_to);
                ri = skip_to < 0 ? no_pos : lookup(rise_, skip_to);
            } else {
                di = lookup(dict_, p + 1);
                ri = lookup(rise_, p + 1);
            }
        }
        dict_[j] = di;
        rise_[j] = ri;

        std::int32_t a;
        if (c == '[') {
            const std::int32_t r = lookup(arr_, p + 1);
            a = r < 0 ? no_pos : lookup(arr_, std::int64_t{r} + 1);
        } else if (c == ']') {
            a = static_cast<std::int32_t>(p);
        } else if (c == '(') {
            const std::int32_t r = lookup(str_, p + 1);
            a = r < 0 ? no_pos : lookup(arr_, std::int64_t{r} + 1);
        } else if (c == '<' && d == '<') {
            a = lookup(arr_, p + 2);
        } else if (skip_to != -2) {
            a = skip_to < 0 ? no_pos : lookup(arr_, skip_to);
        } else {
            a = lookup(arr_, p + 1);
        }
        arr_[j] = a;
        if (c == '>') next_gt = static_cast<std::int32_t>(p);
    }
    built_ = true;
}

std::int32_t bracket_memo::string_end(std::int32_t open) {
    const std::int32_t end = span_end(buf_);
    if (open < 0 || open >= end - 1) return no_pos;
    if (use_index()) {
        const std::int32_t r = lookup(str_, std::int64_t{open} + 1);
        return r < 0 ? no_pos : r + 1;
    }
    const std::int32_t r = scan_string_end(buf_, open);
    charge(open, r);
    return r;
}

std::int32_t bracket_memo::array_end(std::int32_t open) {
    if (open < 0 || open >= span_end(buf_)) return no_pos;
    if (use_index()) {
        const std::int32_t r = lookup(arr_, std::int64_t{open} + 1);
        return r < 0 ? no_pos : r + 1;
    }
    const std::int32_t r = scan_array_end(buf_, open);
    charge(open, r);
    return r;
}

std::int32_t bracket_memo::dict_close(std::int32_t start) {
    if (start < 0 || start >= span_end(buf_)) return no_pos;
    std::int32_t r;
    if (use_index()) {
        const std::int32_t q = lookup(rise_, start);
        r = q < 0 ? no_pos : lookup(dict_, std::int64_t{q} + 2);
    } else {
        r = scan_dict_close(buf_, start);
        charge(start, r);
    }
    return r;
}

// --- values and integers ----------------------------------------------------------

std::int32_t skip_pdf_value(std::string_view buf, std::int32_t pos, bracket_memo *memo) {
    const std::int32_t end = span_end(buf);
    if (pos < 0) return no_pos;
    std::int32_t i = pos;
    while (i < end && is_value_blank(byte_at(buf, i))) ++i;
    if (i >= end) return no_pos;
    const unsigned char c = byte_at(buf, i);

    if (c == '/') {
        std::int32_t j = i + 1;
        while (j < end && is_name_byte(byte_at(buf, j))) ++j;
        return j;
    }
    if (c == '(') return memo ? memo->string_end(i) : scan_string_end(buf, i);
    if (c == '<') {
        if (i + 1 >= end) return no_pos;
        if (byte_at(buf, i + 1) == '<') {
            const std::int32_t close = memo ? memo->dict_close(i) : scan_dict_close(buf, i);
            return close < 0 ? no_pos : close + 2;
        }
        const void *gt = std::memchr(buf.data() + i + 1, '>', static_cast<std::size_t>(end - i - 1));
        if (!gt) return no_pos;
        return static_cast<std::int32_t>(static_cast<const char *>(gt) - buf.data()) + 1;
    }
    if (c == '[') return memo ? memo->array_end(i) : scan_array_end(buf, i);
    if (is_digit(c) || c == '+' || c == '-') {
        std::int32_t j = i + 1;
        while (j < end && is_digit(byte_at(buf, j))) ++j;
        if (j < end && byte_at(buf, j) == '.') {
            ++j;
            while (j < end && is_digit(byte_at(buf, j))) ++j;
        }
        // Look ahead for "<blanks> digits <blanks> R" making an indirect reference.
        std::int32_t k = j;
        while (k < end && is_value_blank(byte_at(buf, k))) ++k;
        if (k >= end || !is_digit(byte_at(buf, k))) return j;
        while (k < end && is_digit(byte_at(buf, k))) ++k;
        while (k < end && is_value_blank(byte_at(buf, k))) ++k;
        if (k >= end || byte_at(buf, k) != 'R') return j;
        if (k + 1 < end && is_word_byte(byte_at(buf, k + 1))) return j;
        return k + 1;
    }
    if (is_letter(c)) {
        std::int32_t j = i + 1;
        while (j < end && is_letter(byte_at(buf, j))) ++j;
        return j;
    }
    return no_pos;
}

std::optional<std::int32_t> int_after_name(std::string_view buf, std::int32_t key, std::string_view name) {
    std::int32_t q = skip_ws(buf, key + 1 + static_cast<std::int32_t>(name.size()));
    const std::int32_t before = q;
    const std::int32_t v = parse_int_at(buf, q);
    if (q == before) return std::nullopt;
    return v;
}

std::int32_t parse_int_at(std::string_view buf, std::int32_t &pos) {
    const std::int32_t end = span_end(buf);
    if (pos < 0 || pos >= end) return -1;
    std::int32_t i = skip_ws(buf, pos);
    if (i >= end) return -1;
    bool neg = false;
    if (byte_at(buf, i) == '-') {
        if (i + 1 >= end) return -1;
        neg = true;
        ++i;
    }
    std::uint32_t v = 0;
    const std::int32_t digits_start = i;
    while (i < end && is_digit(byte_at(buf, i))) {
        v = v * 10u + static_cast<std::uint32_t>(byte_at(buf, i) - '0');
        ++i;
    }
    if (i == digits_start) return -1;
    pos = i;
    return static_cast<std::int32_t>(neg ? 0u - v : v);
}

std::int32_t read_int_adv(std::string_view buf, std::int32_t &pos) {
    const std::int32_t end = span_end(buf);
    if (pos < 0 || pos >= end) return -1;
    std::int32_t i = skip_ws(buf, pos);
    if (i >= end) {
        pos = end;
        return -1;
    }
    bool neg = false;
    const unsigned char s = byte_at(buf, i);
    if (s == '-' || s == '+') {
        if (i + 1 >= end) {
            pos = end;
            return -1;
        }
        neg = s == '-';
        ++i;
    }
    const unsigned char c = byte_at(buf, i);
    if (c == 'R') {
        pos = i;
        return -1;
    }
    if (!is_digit(c)) {
        pos = i + 1;
        return -1;
    }
    std::uint32_t v = 0;
    while (i < end && is_digit(byte_at(buf, i))) {
        v = v * 10u + static_cast<std::uint32_t>(byte_at(buf, i) - '0');
        ++i;
    }
    pos = i;
    return static_cast<std::int32_t>(neg ? 0u - v : v);
}

// --- dictionaries -----------------------------------------------------------------

std::int32_t find_dict_close(std::string_view buf, std::int32_t start, bracket_memo *memo) {
    if (memo) return memo->dict_close(start);
    return scan_dict_close(buf, start);
}

std::int32_t dict_stream_kw(std::string_view buf, std::int32_t start, bracket_memo *memo) {
    const std::int32_t close = find_dict_close(buf, start, memo);
    if (close < 0) return no_pos;
    const std::int32_t i = skip_ws(buf, close + 2);
    return kw_at(buf, i, "stream") ? i : no_pos;
}

dict_text copy_dict_text(std::string_view buf, std::int32_t start, std::int32_t close) {
    const std::int32_t stop = close + 2;
    std::size_t nuls = 0;
    for (const char *p = buf.data() + start, *e = buf.data() + stop;
         (p = static_cast<const char *>(std::memchr(p, '\0', static_cast<std::size_t>(e - p)))) != nullptr; ++p)
        ++nuls;
    dict_text out;
    {
        if (nuls == 0) {  // nothing to rewrite: one copy
            out.assign(buf.data() + start, static_cast<std::size_t>(stop - start));
            return out;
        }
        out.reserve(static_cast<std::size_t>(stop - start) + 3 * nuls);
        std::int64_t depth = 0;
        for (std::int32_t i = start; i < stop; ++i) {
            const char c = char_at(buf, i);
            if (c == '(') {
                out.push_back(c);
                ++depth;
            } else if (c == ')') {
                out.push_back(c);
                if (depth > 0) --depth;
            } else if (c == '\\' && depth > 0) {
                out.push_back(c);
                if (i + 1 < stop) {
                    ++i;
                    const char n = char_at(buf, i);
                    if (n == '\0')
                        out.append("000");
                    else
                        out.push_back(n);
                }
            } else if (c == '\0') {
                if (depth > 0)
                    out.append("\\000");
                else
                    out.push_back(' ');
            } else {
                out.push_back(c);
            }
        }
    }
    return out;
}

dict_text dict_text_at(std::string_view buf, std::int32_t start, bracket_memo *memo) {
    const std::int32_t len = span_end(buf);
    if (start < 0 || start + 1 >= len || char_at(buf, start) != '<' ||
        char_at(buf, start + 1) != '<')
        return dict_text();
    const std::int32_t close = find_dict_close(buf, start, memo);
    if (close < 0) return dict_text();
    return copy_dict_text(buf, start, close);
}

namespace {

int hex_digit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::uint32_t names_present(std::string_view text, std::initializer_list<std::string_view> names) {
    std::uint32_t found = 0;
    const std::uint32_t all = names.size() >= 32 ? ~0u : (1u << names.size()) - 1;
    const std::size_t n = text.size();
    const char *base = text.data();
    std::size_t p = 0;
    while (p < n && found != all) {
        const void *hit = std::memchr(base + p, '/', n - p);
        if (!hit) break;
        p = static_cast<std::size_t>(static_cast<const char *>(hit) - base);
        std::uint32_t bit = 1;
        for (const std::string_view name : names) {
            const std::size_t e = p + 1 + name.size();
            if (!(found & bit) && e <= n && base[p + 1] == name[0] &&
                std::memcmp(base + p + 1, name.data(), name.size()) == 0 &&
                (e == n || !is_name_byte(static_cast<unsigned char>(base[e]))))
                found |= bit;
            bit <<= 1;
        }
        ++p;
    }
    if (found == all || !std::memchr(base, '#', n)) return found;
    // Names written with escapes: only tokens holding a '#' can decode to something the
    // byte search did not see.
    for (std::int32_t i = 0; i < span_end(text); ++i) {
        if (char_at(text, i) != '/') continue;
        const std::int32_t j = name_token_end(text, i);
        const std::string_view raw = text.substr(static_cast<std::size_t>(i) + 1, static_cast<std::size_t>(j - i - 1));
        if (raw.find('#') != std::string_view::npos) {
            std::uint32_t bit = 1;
            for (const std::string_view name : names) {
                if (!(found & bit) && name_decodes_to(raw, name)) found |= bit;
                bit <<= 1;
            }
        }
        i = j - 1;
    }
    return found;
}

std::int32_t skip_ws_comments(std::string_view buf, std::int32_t pos) {
    const std::int32_t end = span_end(buf);
    if (pos < 0) return pos;
    while (pos < end) {
        const unsigned char c = byte_at(buf, pos);
        if (is_pdf_ws(c)) {
            ++pos;
        } else if (c == '%') {
            const std::int32_t e = next_eol(buf, pos);
            pos = e < 0 ? end : e;
        } else {
            break;
        }
    }
    return pos;
}

std::int32_t name_token_end(std::string_view t, std::int32_t slash) {
    const std::int32_t n = span_end(t);
    std::int32_t j = slash + 1;
    while (j < n && is_regular(byte_at(t, j))) ++j;
    return j;
}

std::string decode_name(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const int hi = raw[i] == '#' && i + 2 < raw.size() ? hex_digit(static_cast<unsigned char>(raw[i + 1])) : -1;
        const int lo = hi >= 0 ? hex_digit(static_cast<unsigned char>(raw[i + 2])) : -1;
        if (lo >= 0) {
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out.push_back(raw[i]);
        }
    }
    return out;
}

bool name_decodes_to(std::string_view raw, std::string_view name) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < raw.size(); ++i, ++k) {
        char c = raw[i];
        if (c == '#' && i + 2 < raw.size()) {
            const int hi = hex_digit(static_cast<unsigned char>(raw[i + 1]));
            const int lo = hex_digit(static_cast<unsigned char>(raw[i + 2]));
            if (hi >= 0 && lo >= 0) {
                c = static_cast<char>(hi * 16 + lo);
                i += 2;
            }
        }
        if (k >= name.size() || name[k] != c) return false;
    }
    return k == name.size();
}

namespace {

// End of the run of regular bytes from pos.
std::int32_t regular_end(std::string_view t, std::int32_t pos) {
    const std::int32_t n = span_end(t);
    while (pos < n && is_regular(byte_at(t, pos))) ++pos;
    return pos;
}

bool all_digits(std::string_view t, std::int32_t a, std::int32_t e) {
    if (a >= e) return false;
    for (std::int32_t i = a; i < e; ++i)
        if (!is_digit(byte_at(t, i))) return false;
    return true;
}

// Index past one token in key position: every bracket is a token of its own.
std::int32_t key_position_token_end(std::string_view t, std::int32_t i) {
    const std::int32_t n = span_end(t);
    const unsigned char c = byte_at(t, i);
    const bool pair = i + 1 < n && byte_at(t, i + 1) == c;
    if (c == '(') {
        const std::int32_t r = scan_string_end(t, i);
        return r < 0 ? n : r;
    }
    if (c == '<') {
        if (pair) return i + 2;
        const std::int32_t r = hex_string_end(t, i);
        return r < 0 ? n : r;
    }
    if (c == '>') return pair ? i + 2 : i + 1;
    if (c == '/') return name_token_end(t, i);
    if (is_delimiter(c)) return i + 1;
    return regular_end(t, i);
}

}  // namespace

std::int32_t reader_value_end(std::string_view t, std::int32_t i) {
    const std::int32_t n = span_end(t);
    if (i < 0 || i >= n) return n;
    const unsigned char c = byte_at(t, i);
    std::int32_t r;
    if (dict_opens_at(t, i, n)) {
        r = scan_dict_close(t, i);
        return r < 0 ? n : r + 2;
    }
    if (c == '[') {
        r = scan_array_end(t, i);
        return r < 0 ? n : r;
    }
    if (!is_regular(c)) return key_position_token_end(t, i);
    const std::int32_t e = regular_end(t, i);
    if (!all_digits(t, i, e)) return e;
    // "N G R" is one value.
    const std::int32_t g = skip_ws_comments(t, e);
    const std::int32_t ge = regular_end(t, g);
    if (!all_digits(t, g, ge)) return e;
    const std::int32_t r_at = skip_ws_comments(t, ge);
    if (r_at < n && byte_at(t, r_at) == 'R' && regular_end(t, r_at) == r_at + 1) return r_at + 1;
    return e;
}

dict_reader::dict_reader(std::string_view text, bool closed) : text_(text), pos_(2) {
    if (text.size() < 2) {
        text_ = {};
        pos_ = 0;
    } else if (closed) {
        text_ = text.substr(0, text.size() - 2);
    }
}

bool dict_reader::next(dict_entry &e) {
    const std::int32_t n = span_end(text_);
    while (true) {
        const std::int32_t i = skip_ws_comments(text_, pos_);
        if (i >= n) {
            pos_ = n;
            return false;
        }
        if (byte_at(text_, i) != '/') {
            pos_ = key_position_token_end(text_, i);
            continue;
        }
        e.key_pos = i;
        e.key_end = name_token_end(text_, i);
        e.value_pos = skip_ws_comments(text_, e.key_end);
        e.value_end = e.value_pos >= n ? n : reader_value_end(text_, e.value_pos);
        if (e.value_pos > n) e.value_pos = n;
        pos_ = e.value_end;
        return true;
    }
}

namespace {

// Whether a top-level /key can stand in text at all: its bytes must be there, unless the
// text holds escapes. Most lookups are of keys a dictionary does not have; this saves
// reading it whole for them.
bool may_hold_key(std::string_view text, std::string_view key) {
    return find_name(text, 0, key) >= 0 || std::memchr(text.data(), '#', text.size()) != nullptr;
}

}  // namespace

void dict_lookup(std::string_view text, std::span<key_lookup> keys, bool closed) {
    // Without escapes a key's copies stand where its bytes do: the reading can stop past
    // the last of them (a page's /Type usually comes first).
    const bool escapes = std::memchr(text.data(), '#', text.size()) != nullptr;
    std::int32_t last = no_pos;
    for (key_lookup &k : keys) {
        k.found = false;
        if (escapes) continue;
        for (std::int32_t p = find_name(text, 0, k.key); p >= 0; p = find_name(text, p + 1, k.key)) last = std::max(last, p);
    }
    if (!escapes && last < 0) return;
    dict_reader r(text, closed);
    dict_entry e;
    while (r.next(e)) {
        if (!escapes && e.key_pos > last) break;
        const std::string_view raw = r.key(e);
        for (key_lookup &k : keys) {
            if (!name_decodes_to(raw, k.key)) continue;
            if (!k.ref_list) {
                k.found = true;
                k.entry = e;
            } else if (!e.has_value()) {
                k.found = false;  // the last copy decides: one without a value gives no list
            } else if (byte_at(text, e.value_pos) == '[' || is_digit(byte_at(text, e.value_pos))) {
                k.found = true;
                k.entry = e;
            }
        }
    }
}

bool dict_get(std::string_view text, std::string_view key, dict_entry &out, bool closed) {
    key_lookup k{key, false, false, {}};
    dict_lookup(text, {&k, 1}, closed);
    if (k.found) out = k.entry;
    return k.found;
}

std::vector<dict_entry> dict_get_all(std::string_view text, std::string_view key, bool closed) {
    std::vector<dict_entry> all;
    if (!may_hold_key(text, key)) return all;
    dict_reader r(text, closed);
    dict_entry e;
    while (r.next(e))
        if (name_decodes_to(r.key(e), key)) all.push_back(e);
    return all;
}

bool is_dict_text(std::string_view text) {
    return text.size() >= 4 && text[0] == '<' && text[1] == '<' && text[text.size() - 2] == '>' &&
           text[text.size() - 1] == '>';
}

std::vector<std::pair<std::int32_t, std::int32_t>> key_values_any_depth(std::string_view text, std::string_view key) {
    std::vector<std::pair<std::int32_t, std::int32_t>> found;
    // One level per open dictionary or array: whether a dictionary expects a key next.
    struct level {
        bool dict;
        bool want_key;
    };
    std::vector<level> stack;
    const auto value_done = [&] {
        if (!stack.empty() && stack.back().dict) stack.back().want_key = true;
    };
    const std::int32_t n = span_end(text);
    std::int32_t i = 0;
    while ((i = skip_ws_comments(text, i)) < n) {
        const unsigned char c = byte_at(text, i);
        const bool pair = i + 1 < n && byte_at(text, i + 1) == c;
        if (c == '<' && pair) {
            if (!stack.empty() && stack.back().dict) stack.back().want_key = false;
            stack.push_back({true, true});
            i += 2;
        } else if ((c == '>' && pair) || c == ']') {
            if (!stack.empty() && stack.back().dict == (c == '>')) stack.pop_back();
            i += c == '>' ? 2 : 1;
            value_done();
        } else if (c == '[') {
            if (!stack.empty() && stack.back().dict) stack.back().want_key = false;
            stack.push_back({false, false});
            ++i;
        } else if (c == '/') {
            const std::int32_t e = name_token_end(text, i);
            if (!stack.empty() && stack.back().dict && stack.back().want_key) {
                stack.back().want_key = false;
                if (name_decodes_to(text.substr(static_cast<std::size_t>(i) + 1, static_cast<std::size_t>(e - i - 1)), key)) {
                    const std::int32_t v = skip_ws_comments(text, e);
                    if (v < n) found.emplace_back(v, reader_value_end(text, v));
                }
            } else {
                value_done();
            }
            i = e;
        } else {
            const std::int32_t e = is_regular(c) ? regular_end(text, i) : key_position_token_end(text, i);
            // Numbers and keywords in key position are passed over; "N G R" thus costs
            // one value and two ignored tokens.
            if (!stack.empty() && stack.back().dict && stack.back().want_key) {
                i = e;
                continue;
            }
            i = e;
            value_done();
        }
    }
    return found;
}

std::vector<std::int32_t> references_in(std::string_view text) {
    std::vector<std::int32_t> out;
    const std::int32_t n = span_end(text);
    std::int32_t i = 0;
    while ((i = skip_ws_comments(text, i)) < n) {
        const unsigned char c = byte_at(text, i);
        if ((c == '<' || c == '>') && i + 1 < n && byte_at(text, i + 1) == c) {
            i += 2;
        } else if (c == '(' || c == '<') {
            i = reader_value_end(text, i);
        } else if (is_digit(c) && (i == 0 || !is_regular(byte_at(text, i - 1)))) {
            const std::int32_t e = reader_value_end(text, i);
            if (byte_at(text, e - 1) == 'R') {
                std::int32_t p = i;
                out.push_back(parse_int_at(text, p));
            }
            i = e;
        } else {
            i = is_regular(c) ? regular_end(text, i) : i + 1;
        }
    }
    return out;
}

int strip_dict_entries(dict_text &text, std::initializer_list<std::string_view> keys) {
    bool any = false;
    for (const std::string_view k : keys) any = any || may_hold_key(text, k);
    if (!any) return 0;
    std::vector<dict_entry> cut;
    {
        dict_reader r(text);
        dict_entry e;
        while (r.next(e)) {
            if (!e.has_value()) continue;
            for (const std::string_view k : keys)
                if (name_decodes_to(r.key(e), k)) {
                    cut.push_back(e);
                    break;
                }
        }
    }
    for (std::size_t k = cut.size(); k-- > 0;) {
        const dict_entry &e = cut[k];
        std::int32_t from = e.key_pos;
        if (from > 0 && (char_at(text, from - 1) == ' ' || char_at(text, from - 1) == '\t')) --from;
        text.erase(static_cast<std::size_t>(from), static_cast<std::size_t>(e.value_end - from));
    }
    return cut.empty() ? 0 : 1;
}

int strip_inline_dict_entry(dict_text &text, std::string_view outer, std::string_view key) {
    const std::vector<dict_entry> all = dict_get_all(text, outer);
    int removed = 0;
    for (std::size_t k = all.size(); k-- > 0;) {
        const dict_entry &e = all[k];
        const std::string_view v = std::string_view(text).substr(static_cast<std::size_t>(e.value_pos),
                                                                 static_cast<std::size_t>(e.value_end - e.value_pos));
        if (!is_dict_text(v)) continue;
        dict_text inner(v);
        if (!strip_dict_entry(inner, key)) continue;
        text.replace(static_cast<std::size_t>(e.value_pos), v.size(), inner);
        removed = 1;
    }
    return removed;
}

bool dict_append_before_close(dict_text &text, std::string_view ins) {
    const std::size_t L = text.size();
    if (L <= 1 || text[L - 2] != '>' || text[L - 1] != '>') return false;
    dict_text out;
    out.reserve(L + ins.size());
    out.append(text, 0, L - 2);
    out.append(ins);
    out.append(">>");
    text.swap(out);
    return true;
}

bool text_has_js(std::string_view range) {
    // "JavaScript" or else "JS": either way the answer is whether some 'J' is followed
    // by "S" or by "avaScript", so one pass over the 'J' bytes decides.
    const char *p = range.data();
    const char *const e = p + range.size();
    while ((p = static_cast<const char *>(std::memchr(p, 'J', static_cast<std::size_t>(e - p)))) != nullptr) {
        if (e - p >= 2 && p[1] == 'S') return true;
        if (e - p >= 10 && std::memcmp(p + 1, "avaScript", 9) == 0) return true;
        ++p;
    }
    return false;
}

std::int32_t find_bytes(std::string_view buf, std::int32_t from, std::string_view needle) {
    if (from < 0) from = 0;
    if (static_cast<std::size_t>(from) > buf.size() || needle.empty()) return no_pos;
#if defined(__GLIBC__)
    const void *hit = memmem(buf.data() + from, buf.size() - static_cast<std::size_t>(from), needle.data(), needle.size());
    return hit ? static_cast<std::int32_t>(static_cast<const char *>(hit) - buf.data()) : no_pos;
#else
    const std::size_t p = buf.find(needle, static_cast<std::size_t>(from));
    return p == std::string_view::npos ? no_pos : static_cast<std::int32_t>(p);
#endif
}

}  // namespace pdfsanitize
