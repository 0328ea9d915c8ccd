// Byte-level PDF syntax: byte classes, keyword and name search, skipping one value,
// integer reading, and the dictionary-close scan with its copies. Everything works in
// place on a span (a view whose size is the end index); positions are absolute 32-bit
// indexes into the view, and no_pos (-1) means "none".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
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

inline unsigned char byte_at(std::string_view s, std::int32_t i) {
    return static_cast<unsigned char>(s[static_cast<std::size_t>(i)]);
}
inline std::int32_t span_end(std::string_view s) { return static_cast<std::int32_t>(s.size()); }

// First position at or after pos that is not PDF white-space, or the end.
std::int32_t skip_ws(std::string_view buf, std::int32_t pos);

// 1 when kw stands at pos as a whole word (no word byte on either side), else 0.
int kw_at(std::string_view buf, std::int32_t pos, std::string_view kw);

// First position at or after start (negative counts as 0) where kw_at holds, or -1.
std::int32_t find_kw(std::string_view buf, std::int32_t start, std::string_view kw);

// Position of the '/' of the first occurrence of /name at or after start, not running
// on into a name byte, searching up to min(buf.size(), end); or -1.
std::int32_t find_name(std::string_view buf, std::int32_t start, std::int32_t end,
                       std::string_view name);
inline std::int32_t find_name(std::string_view buf, std::int32_t start, std::string_view name) {
    return find_name(buf, start, span_end(buf), name);
}

class bracket_memo;

// Index just past the one value that begins at pos (after value blanks), or -1.
// A memo for the same view makes repeated scans over unclosed brackets linear.
std::int32_t skip_pdf_value(std::string_view buf, std::int32_t pos, bracket_memo *memo = nullptr);

// Decimal integer (optional '-'), 32-bit wrap-around; -1 on failure with pos unchanged.
std::int32_t parse_int_at(std::string_view buf, std::int32_t &pos);

// As parse_int_at, also accepting '+', and moving pos on failure by the object-stream rules.
std::int32_t read_int_adv(std::string_view buf, std::int32_t &pos);

// Plain scans, each a single forward loop without recursion.
// Index after the ')' closing the literal string opened at open, or -1.
std::int32_t scan_string_end(std::string_view buf, std::int32_t open);
// Index after the ']' closing the array opened at open, or -1.
std::int32_t scan_array_end(std::string_view buf, std::int32_t open);
// Position of the first '>' of the ">>" closing the dictionary scanned from start, or -1.
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
    std::vector<std::int32_t> str_;    // string body from here at depth 1: its ')' or -1
    std::vector<std::int32_t> dict_;   // dictionary from here at depth 1: its ">>" or -1
    std::vector<std::int32_t> rise_;   // from here at depth 0: the "<<" that reaches 1, or -1
    std::vector<std::int32_t> arr_;    // array from here at depth 1: its ']' or -1
};

// Position of the first '>' of the matching ">>" for the scan started at start, or -1.
std::int32_t find_dict_close(std::string_view buf, std::int32_t start, bracket_memo *memo = nullptr);

// Position of the "stream" keyword after the dictionary at start (after PDF white-space), or -1.
std::int32_t dict_stream_kw(std::string_view buf, std::int32_t start, bracket_memo *memo = nullptr);

// A dictionary text: the NUL-free copy of one dictionary, "<<" through ">>".
// Empty means none (a real dictionary text is at least "<<>>").
using dict_text = std::string;

// Copies the bytes [start, close + 2) with NUL bytes rewritten: "\000" inside literal
// strings, a space outside them. Empty on allocation failure.
dict_text copy_dict_text(std::string_view buf, std::int32_t start, std::int32_t close);

// Copy of the dictionary whose "<<" stands at start, closed within the view, or empty.
dict_text dict_text_at(std::string_view buf, std::int32_t start, bracket_memo *memo = nullptr);

// Byte search for "JavaScript", else "JS", anywhere in the range.
int text_has_js(std::string_view range);

// First position at or after from where the bytes of needle stand, or -1 (a plain
// substring search, fast on long buffers).
std::int32_t find_bytes(std::string_view buf, std::int32_t from, std::string_view needle);

// Which of up to 32 names find_name would find in text, as bits in list order, in one
// pass over the text.
std::uint32_t names_present(std::string_view text, std::initializer_list<std::string_view> names);

}  // namespace pdfsanitize
