// SPDX-License-Identifier: Apache-2.0
// Byte-level PDF syntax: byte classes, keyword and name search, skipping one value,
// integer reading, and the dictionary-close scan with its copies. Everything works in
// place on a span (a view whose size is the end index); positions are absolute 32-bit
// indexes into the view, and no_pos (-1) means "none".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pdfsanitize {

constexpr std::int32_t no_pos = -1;

// Byte classes. Letters and digits are ASCII only.
enum : std::uint8_t {
    bc_ws = 1,        // NUL HT LF FF CR SP
    bc_blank = 2,     // value blank: NUL HT LF CR SP (no form feed)
    bc_word = 4,      // A-Z a-z 0-9
    bc_name = 8,      // word byte or + - _
    bc_letter = 16,   // A-Z a-z
    bc_digit = 32,    // 0-9
    bc_space = 64,    // the C library's space set: SP HT LF VT FF CR
    bc_key_blank = 128,  // what may stand between a key and its value when a key is cut
};

struct byte_class_table {
    std::uint8_t v[256];
};

constexpr byte_class_table make_byte_classes() {
    byte_class_table t{};
    for (int c = 0; c < 256; ++c) {
        std::uint8_t f = 0;
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32) f |= bc_ws;
        if (c == 0 || c == 9 || c == 10 || c == 13 || c == 32) f |= bc_blank;
        if (letter || digit) f |= bc_word | bc_name;
        if (c == '+' || c == '-' || c == '_') f |= bc_name;
        if (letter) f |= bc_letter;
        if (digit) f |= bc_digit;
        if (c == 32 || (c >= 9 && c <= 13)) f |= bc_space;
        if (c == 9 || c == 10 || c == 12 || c == 13 || c == 32) f |= bc_key_blank;
        t.v[c] = f;
    }
    return t;
}

inline constexpr byte_class_table byte_classes = make_byte_classes();

constexpr bool has_class(unsigned char c, std::uint8_t cls) { return (byte_classes.v[c] & cls) != 0; }
constexpr bool is_pdf_ws(unsigned char c) { return has_class(c, bc_ws); }
constexpr bool is_value_blank(unsigned char c) { return has_class(c, bc_blank); }
constexpr bool is_word_byte(unsigned char c) { return has_class(c, bc_word); }
constexpr bool is_name_byte(unsigned char c) { return has_class(c, bc_name); }
constexpr bool is_letter(unsigned char c) { return has_class(c, bc_letter); }
constexpr bool is_digit(unsigned char c) { return has_class(c, bc_digit); }
constexpr bool is_c_space(unsigned char c) { return has_class(c, bc_space); }
constexpr bool is_key_blank(unsigned char c) { return has_class(c, bc_key_blank); }

// The byte at position i of a view (0 <= i < its size): the one way PDF text is read
// by position, as a char or as an unsigned byte for the byte classes.
inline char char_at(std::string_view s, std::int32_t i) { return s[static_cast<std::size_t>(i)]; }
inline unsigned char byte_at(std::string_view s, std::int32_t i) { return static_cast<unsigned char>(char_at(s, i)); }

inline std::int32_t span_end(std::string_view s) { return static_cast<std::int32_t>(s.size()); }

// Whether a dictionary opens ("<<") at pos, both bytes before end (the view's end when
// not given).
inline bool dict_opens_at(std::string_view s, std::int32_t pos, std::int32_t end) {
    const std::int32_t stop = end < span_end(s) ? end : span_end(s);
    return pos >= 0 && pos + 1 < stop && char_at(s, pos) == '<' && char_at(s, pos + 1) == '<';
}
inline bool dict_opens_at(std::string_view s, std::int32_t pos) { return dict_opens_at(s, pos, span_end(s)); }

// The element at position or object number i (0 <= i < its size) of a table.
template <class Table>
constexpr auto &elem(Table &t, std::int32_t i) {
    return t[static_cast<std::size_t>(i)];
}

// First position at or after pos that is not PDF white-space, or the end.
std::int32_t skip_ws(std::string_view buf, std::int32_t pos);

// Whether kw stands at pos as a whole word (no word byte on either side).
bool kw_at(std::string_view buf, std::int32_t pos, std::string_view kw);

// First position at or after start (negative counts as 0) where kw_at holds, or no_pos.
std::int32_t find_kw(std::string_view buf, std::int32_t start, std::string_view kw);

// Position of the '/' of the first occurrence of /name at or after start, not running
// on into a name byte, searching up to min(buf.size(), end); or no_pos.
std::int32_t find_name(std::string_view buf, std::int32_t start, std::int32_t end,
                       std::string_view name);
inline std::int32_t find_name(std::string_view buf, std::int32_t start, std::string_view name) {
    return find_name(buf, start, span_end(buf), name);
}

class bracket_memo;

// Index just past the one value that begins at pos (after value blanks), or no_pos.
// A memo for the same view makes repeated scans over unclosed brackets linear.
std::int32_t skip_pdf_value(std::string_view buf, std::int32_t pos, bracket_memo *memo = nullptr);

// Decimal integer (optional '-'), 32-bit wrap-around; -1 on failure with pos unchanged.
std::int32_t parse_int_at(std::string_view buf, std::int32_t &pos);

// The decimal integer that follows, after white-space, the /name whose '/' stands at
// key; nothing when no integer follows.
std::optional<std::int32_t> int_after_name(std::string_view buf, std::int32_t key, std::string_view name);

// As parse_int_at, also accepting '+'; on failure pos moves past the byte that stopped it
// (or onto an 'R'), as an object stream's number pairs are read.
std::int32_t read_int_adv(std::string_view buf, std::int32_t &pos);

// Plain scans, each a single forward loop without recursion.
// Index after the ')' closing the literal string opened at open, or no_pos.
std::int32_t scan_string_end(std::string_view buf, std::int32_t open);
// Index after the ']' closing the array opened at open, or no_pos.
std::int32_t scan_array_end(std::string_view buf, std::int32_t open);
// Position of the first '>' of the ">>" closing the dictionary scanned from start, or no_pos.
std::int32_t scan_dict_close(std::string_view buf, std::int32_t start);

// Answers the three bracket scans above for one view. Plain scans are used until their
// total length passes a budget proportional to the view; after that an index of the
// bracket bytes answers every query in logarithmic time, so many scans that run to the
// end of a large buffer stay linear overall. Results are identical either way.
class bracket_memo {
public:
    explicit bracket_memo(std::string_view buf);
    std::int32_t string_end(std::int32_t open);
    std::int32_t array_end(std::int32_t open);
    std::int32_t dict_close(std::int32_t start);
    std::string_view view() const { return buf_; }
    bool indexed() const { return built_; }
    void force_index() { build(); }

private:
    bool use_index();
    void charge(std::int32_t start, std::int32_t result);
    void build();
    std::int32_t lookup(const std::vector<std::int32_t> &v, std::int64_t q) const;

    std::string_view buf_;
    std::int64_t budget_;
    bool built_ = false;
    std::vector<std::int32_t> pos_;    // positions of the bracket bytes, ascending
    std::vector<std::int32_t> str_;    // string body from here at depth 1: its ')' or no_pos
    std::vector<std::int32_t> dict_;   // dictionary from here at depth 1: its ">>" or no_pos
    std::vector<std::int32_t> rise_;   // from here at depth 0: the "<<" that reaches 1, or no_pos
    std::vector<std::int32_t> arr_;    // array from here at depth 1: its ']' or no_pos
};

// Position of the first '>' of the matching ">>" for the scan started at start, or no_pos.
std::int32_t find_dict_close(std::string_view buf, std::int32_t start, bracket_memo *memo = nullptr);

// Position of the "stream" keyword after the dictionary at start (after PDF white-space), or no_pos.
std::int32_t dict_stream_kw(std::string_view buf, std::int32_t start, bracket_memo *memo = nullptr);

// A dictionary text: the NUL-free copy of one dictionary, "<<" through ">>".
// Empty means none (a real dictionary text is at least "<<>>").
using dict_text = std::string;

// Copies the bytes [start, close + 2) with NUL bytes rewritten: "\000" inside literal
// strings, a space outside them.
dict_text copy_dict_text(std::string_view buf, std::int32_t start, std::int32_t close);

// Copy of the dictionary whose "<<" stands at start, closed within the view, or empty.
dict_text dict_text_at(std::string_view buf, std::int32_t start, bracket_memo *memo = nullptr);

// Whether the bytes "JavaScript" or "JS" stand anywhere in the range.
bool text_has_js(std::string_view range);

// First position at or after from where the bytes of needle stand, or no_pos (a plain
// substring search, fast on long buffers).
std::int32_t find_bytes(std::string_view buf, std::int32_t from, std::string_view needle);

// Which of up to 32 names the text names, as bits in list order: find_name's byte
// search, or a name token (as a reader splits it) whose decoded form is the name.
std::uint32_t names_present(std::string_view text, std::initializer_list<std::string_view> names);
// The same for one name.
inline bool has_name(std::string_view text, std::string_view name) { return names_present(text, {name}) != 0; }
// The bit of the k-th name of the list in names_present's answer.
constexpr std::uint32_t name_bit(unsigned k) { return 1u << k; }

// --- the dictionary as a reader reads it --------------------------------------------

// Token classes of the reader and the bracket scans, one table lookup each.
enum : std::uint8_t {
    tc_delimiter = 1,  // ( ) < > [ ] { } / %
    tc_regular = 2,    // neither white space nor a delimiter
    tc_dict_stop = 4,  // what the dictionary-close scan must look at: < > ( %
    tc_array_stop = 8, // what the array scan must look at: [ ] ( < %
};

constexpr byte_class_table make_token_classes() {
    byte_class_table t{};
    for (int c = 0; c < 256; ++c) {
        const bool delim = c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
                           c == '}' || c == '/' || c == '%';
        std::uint8_t f = 0;
        if (delim) f |= tc_delimiter;
        if (!delim && !(c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32)) f |= tc_regular;
        if (c == '<' || c == '>' || c == '(' || c == '%') f |= tc_dict_stop;
        if (c == '[' || c == ']' || c == '(' || c == '<' || c == '%') f |= tc_array_stop;
        t.v[c] = f;
    }
    return t;
}

inline constexpr byte_class_table token_classes = make_token_classes();

constexpr bool has_token_class(unsigned char c, std::uint8_t cls) { return (token_classes.v[c] & cls) != 0; }
// A PDF delimiter: ( ) < > [ ] { } / %.
constexpr bool is_delimiter(unsigned char c) { return has_token_class(c, tc_delimiter); }
// A regular byte: neither white space nor a delimiter.
constexpr bool is_regular(unsigned char c) { return has_token_class(c, tc_regular); }

// First position at or after pos that is neither white space nor inside a comment (a
// '%' up to the next CR or LF), or the end.
std::int32_t skip_ws_comments(std::string_view buf, std::int32_t pos);

// End of the name token whose '/' stands at slash: the regular bytes after it.
std::int32_t name_token_end(std::string_view t, std::int32_t slash);

// A name token's bytes (after the '/') decoded: '#' and two hex digits give one byte;
// any other '#' stands for itself.
std::string decode_name(std::string_view raw);
// Whether raw decodes to exactly name (lengths compared: a decoded NUL ends nothing).
bool name_decodes_to(std::string_view raw, std::string_view name);

// Index just past the one value that starts at pos (not white space): a string, a hex
// string, a dictionary, an array, a name, a reference "N G R" or one other token. A
// value left open runs to the end of the view.
std::int32_t reader_value_end(std::string_view t, std::int32_t pos);

// One top-level entry of a dictionary: the key's '/' and end, the value's span (empty
// when the key has no value).
struct dict_entry {
    std::int32_t key_pos = no_pos;
    std::int32_t key_end = no_pos;
    std::int32_t value_pos = no_pos;
    std::int32_t value_end = no_pos;
    bool has_value() const { return value_end > value_pos; }
};

// Reads the top level of a dictionary as a reader does: a name in key position is a
// key and the one value after it its value; any other token in key position is passed
// over alone ("<<", ">>", "[" and "]" included, so names after them are keys). Nothing
// inside a string, a comment or a nested value is a key. The text begins with "<<";
// when closed, its last two bytes are the dictionary's ">>", otherwise it runs open to
// the end of the view.
class dict_reader {
public:
    explicit dict_reader(std::string_view text, bool closed = true);
    bool next(dict_entry &e);
    std::string_view key(const dict_entry &e) const {
        return text_.substr(static_cast<std::size_t>(e.key_pos) + 1, static_cast<std::size_t>(e.key_end - e.key_pos - 1));
    }

private:
    std::string_view text_;  // up to the body's end
    std::int32_t pos_;
};

// One key to look up with dict_lookup: the last top-level entry whose key decodes to
// it; for a reference list, the last copy whose value is an array or a number (none
// when a later copy has no value at all).
struct key_lookup {
    std::string_view key;
    bool ref_list = false;
    bool found = false;
    dict_entry entry;
};

// Looks up every key in one reading of the dictionary.
void dict_lookup(std::string_view text, std::span<key_lookup> keys, bool closed = true);

// The last top-level entry whose key decodes to key; false when there is none.
bool dict_get(std::string_view text, std::string_view key, dict_entry &out, bool closed = true);
// Every top-level entry whose key decodes to key, in text order.
std::vector<dict_entry> dict_get_all(std::string_view text, std::string_view key, bool closed = true);

// Whether text is a closed dictionary text ("<<" ... its own ">>").
bool is_dict_text(std::string_view text);

// The value spans (start, end) of every /key standing in key position of a dictionary
// at any depth of text (nested dictionaries and arrays included, never inside strings or
// comments), in text order. One pass, no recursion.
std::vector<std::pair<std::int32_t, std::int32_t>> key_values_any_depth(std::string_view text, std::string_view key);

// The object numbers of the references "N G R" in text, strings and comments passed over.
std::vector<std::int32_t> references_in(std::string_view text);

// --- dictionary editing ---------------------------------------------------------------

// Removes every top-level entry of a dictionary text whose key is one of keys and that
// has a value, with its value (and one SP or HT before the key). 1 if anything was
// removed, 0 if unchanged.
int strip_dict_entries(dict_text &text, std::initializer_list<std::string_view> keys);
inline int strip_dict_entry(dict_text &text, std::string_view key) { return strip_dict_entries(text, {key}); }

// The same inside every inline dictionary that is the value of a top-level /outer.
int strip_inline_dict_entry(dict_text &text, std::string_view outer, std::string_view key);

// Inserts ins just before the closing ">>" (the text's last two bytes). Returns false,
// with the text unchanged, when it does not end in ">>".
bool dict_append_before_close(dict_text &text, std::string_view ins);

}  // namespace pdfsanitize
