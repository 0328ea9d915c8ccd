// SPDX-License-Identifier: Apache-2.0
// Byte classes, keyword and name search, value skipping, integer reading, dictionary
// closes and copies, and the bracket index against the plain scans.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pdfsanitize/syntax.h"

using namespace pdfsanitize;
using namespace std::string_literals;

TEST(syntax, byte_classes_hold_for_all_256_bytes) {
    for (int c = 0; c < 256; ++c) {
        const auto u = static_cast<unsigned char>(c);
        const bool ws = c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        EXPECT_EQ(is_pdf_ws(u), ws) << c;
        EXPECT_EQ(is_value_blank(u), ws && c != 12) << c;
        EXPECT_EQ(is_word_byte(u), letter || digit) << c;
        EXPECT_EQ(is_name_byte(u), letter || digit || c == '+' || c == '-' || c == '_') << c;
        EXPECT_EQ(is_letter(u), letter) << c;
        EXPECT_EQ(is_digit(u), digit) << c;
        EXPECT_EQ(is_c_space(u), c == 32 || (c >= 9 && c <= 13)) << c;
        EXPECT_EQ(is_key_blank(u), c == 9 || c == 10 || c == 12 || c == 13 || c == 32) << c;
    }
}

TEST(syntax, skip_ws_passes_form_feed_and_stops_at_vertical_tab_and_high_bytes) {
    EXPECT_EQ(skip_ws(" \t\r\n\f\0"s, 0), 6);
    EXPECT_EQ(skip_ws(" \v"s, 0), 1);
    EXPECT_EQ(skip_ws(" \x80"s, 0), 1);
    EXPECT_EQ(skip_ws("  ", 5), 5);
}

TEST(syntax, kw_at_needs_word_boundaries) {
    EXPECT_EQ(kw_at("xref\n", 0, "xref"), 1);
    EXPECT_EQ(kw_at("xref", 0, "xref"), 1);
    EXPECT_EQ(kw_at("startxref", 5, "xref"), 0);
    EXPECT_EQ(kw_at("xrefs", 0, "xref"), 0);
    EXPECT_EQ(kw_at("(xref)", 1, "xref"), 1);
    EXPECT_EQ(kw_at("\x80xref\x90", 1, "xref"), 1);
    EXPECT_EQ(kw_at("xref", -1, "xref"), 0);
}

TEST(syntax, find_kw_skips_keywords_inside_words) {
    EXPECT_EQ(find_kw("endobj 12 0 obj object", 0, "obj"), 12);
    EXPECT_EQ(find_kw("endobj 12 0 obj object", -5, "obj"), 12);
    EXPECT_EQ(find_kw("xobj", 1, "obj"), -1);  // the byte before the start still counts
    EXPECT_EQ(find_kw("abc", 0, "obj"), -1);
}

TEST(syntax, find_name_finds_whole_names_only) {
    const std::string t = "/JS (x) /JSX /JS_1 /JS.x (/JS) /js /J#53";
    std::vector<int> hits;
    for (std::int32_t p = find_name(t, 0, "JS"); p >= 0; p = find_name(t, p + 1, "JS")) hits.push_back(p);
    EXPECT_EQ(hits, (std::vector<int>{0, 19, 26}));
    EXPECT_EQ(find_name("/JS", 0, "JS"), 0);
    EXPECT_EQ(find_name("/JSX", 0, 3, "JS"), 0);  // the end bound ends the name
    EXPECT_EQ(find_name("/JS/", 0, "JS"), 0);
    EXPECT_EQ(find_name("/JS-1", 0, "JS"), -1);
    EXPECT_EQ(find_name("/JS+", 0, "JS"), -1);
}

TEST(syntax, skip_pdf_value_table) {
    const struct {
        std::string text;
        int result;
    } cases[] = {
        {"  /Name rest", 7}, {"/A-B_C+D x", 8}, {"/A#20B", 2}, {"(a\\)b(c)d) x", 10}, {"(abc", -1},
        {"<48656C> x", 8}, {"<>", 2}, {"<48", -1}, {"<< /A << /B 1 >> /C (>>) >> tail", 27}, {"<<", -1},
        {"+", 1}, {"true]", 4}, {"R", 1}, {"[1 [2] (]) 3] x", 13}, {"[1 2", -1}, {"12 0 R x", 6},
        {"12 0R", 5}, {"12 0 Rx", 2}, {"12 0 obj", 2}, {"1.5 0 R", 7}, {"-3.5 x", 4}, {"-.5 ", 3},
        {"1. x", 2}, {"-x", 1}, {"abc1", 3}, {"/", 1}, {"12\f0 R", 2}, {"<< /A <1F>>>", 12},
        {"(", -1}, {"[(a)", -1}, {"[(a]", -1}, {"(a)", 3}, {".5", -1}, {"%x", -1}, {"   ", -1},
        {"\f/A", -1}, {"12 0 R", 6}, {"12 ", 2},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(skip_pdf_value(c.text, 0), c.result) << c.text;
        bracket_memo memo(c.text);
        memo.force_index();
        EXPECT_EQ(skip_pdf_value(c.text, 0, &memo), c.result) << "indexed: " << c.text;
    }
}

TEST(syntax, integer_readers_table) {
    const struct {
        std::string text;
        int parse_value, parse_pos, adv_value, adv_pos;
    } cases[] = {
        {"  42 0 R", 42, 4, 42, 4}, {"-7", -7, 2, -7, 2}, {"+7", -1, 0, 7, 2}, {"x", -1, 0, -1, 1},
        {"R", -1, 0, -1, 0}, {"-", -1, 0, -1, 1}, {"-0", 0, 2, 0, 2}, {"-1", -1, 2, -1, 2},
        {"12abc", 12, 2, 12, 2}, {"4294967297", 1, 10, 1, 10}, {"2147483648", INT32_MIN, 10, INT32_MIN, 10},
        {"  ", -1, 0, -1, 2}, {"-R", -1, 0, -1, 1}, {"+", -1, 0, -1, 1},
    };
    for (const auto &c : cases) {
        std::int32_t p = 0;
        EXPECT_EQ(parse_int_at(c.text, p), c.parse_value) << c.text;
        EXPECT_EQ(p, c.parse_pos) << c.text;
        p = 0;
        EXPECT_EQ(read_int_adv(c.text, p), c.adv_value) << c.text;
        EXPECT_EQ(p, c.adv_pos) << c.text;
    }
    std::int32_t p = 3;
    EXPECT_EQ(parse_int_at("12", p), -1);
    EXPECT_EQ(p, 3);
    EXPECT_EQ(read_int_adv("12", p), -1);
    EXPECT_EQ(p, 3);
}

TEST(syntax, dict_stream_kw_table) {
    EXPECT_EQ(dict_stream_kw("<< /Length 5 >>\r\nstream", 0), 17);
    EXPECT_EQ(dict_stream_kw("<< /Length 5 >>stream", 0), 15);
    EXPECT_EQ(dict_stream_kw("<< >>\fstream", 0), 6);
    EXPECT_EQ(dict_stream_kw("<< /Length 5 >> streamx", 0), -1);
    EXPECT_EQ(dict_stream_kw("<AB> endobj 6 0 obj << /L 1 >> stream", 0), 31);
    EXPECT_EQ(dict_stream_kw("<< /A (x", 0), -1);
}

TEST(syntax, dict_close_passes_over_strings_hex_strings_and_comments) {
    EXPECT_EQ(find_dict_close("<< /A (>>) >>", 0), 11);
    EXPECT_EQ(find_dict_close("<< /A <1F>>>", 0), 10);
    EXPECT_EQ(find_dict_close("<< /A % >>\n >>", 0), 12);
    EXPECT_EQ(find_dict_close("<< /A % (\r>>", 0), 10);   // a '(' in a comment opens nothing
    EXPECT_EQ(find_dict_close("<< /A (%) >>", 0), 10);     // a '%' in a string starts no comment
    EXPECT_EQ(find_dict_close("<< /A <%> >>", 0), 10);
    EXPECT_EQ(find_dict_close("<< /A <41", 0), -1);        // hex string open at the end
    EXPECT_EQ(find_dict_close("<< /A % >>", 0), -1);
    EXPECT_EQ(find_dict_close("<< /A (x) >>", 0), 10);
    EXPECT_EQ(find_dict_close("<< /A (x)>>", 0), 9);
    EXPECT_EQ(find_dict_close("<< /A (x>>", 0), -1);      // string open at the end
    EXPECT_EQ(find_dict_close("<< /A (x)", 0), -1);       // string closes on the last byte
    EXPECT_EQ(find_dict_close(">> << >>", 0), -1);        // depth -1, then back to 0 only
    EXPECT_EQ(find_dict_close(">> << << >>", 0), 9);
    EXPECT_EQ(find_dict_close("<< >>", 5), -1);
}

TEST(syntax, dict_text_at_rewrites_nul_bytes) {
    const std::string src = "<< /A (x\0y) /B\0/C (a\\\0b) >> rest"s;
    EXPECT_EQ(dict_text_at(src, 0), "<< /A (x\\000y) /B /C (a\\000b) >>");
    EXPECT_EQ(dict_text_at("<<>>", 0), "<<>>");
    EXPECT_EQ(dict_text_at("<< /A (\\)) >>", 0), "<< /A (\\)) >>");
    EXPECT_EQ(dict_text_at("<< /A (x) ", 0), "");
    EXPECT_EQ(dict_text_at("x<<>>", 0), "");
    EXPECT_EQ(dict_text_at("<<>> <", 5), "");
    EXPECT_EQ(dict_text_at("<<>> <", 6), "");
}

TEST(syntax, text_has_js_is_a_byte_search) {
    EXPECT_EQ(text_has_js("/S /JScript"), 1);
    EXPECT_EQ(text_has_js("javascript js"), 0);
    EXPECT_EQ(text_has_js("J"), 0);
    EXPECT_EQ(text_has_js("(JavaScript)"), 1);
}

// The bracket index must answer exactly as the plain scans, from every position of
// random texts made mostly of bracket bytes.
TEST(syntax, bracket_index_agrees_with_plain_scans) {
    std::mt19937 rng(12345);
    const char alphabet[] = "<<>>(())[]\\ ab/%\n\r<>";
    for (int round = 0; round < 1000; ++round) {
        std::string t(static_cast<std::size_t>(rng() % 64), ' ');
        for (char &c : t) c = alphabet[rng() % (sizeof alphabet - 1)];
        bracket_memo memo(t);
        memo.force_index();
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(t.size()); ++i) {
            ASSERT_EQ(memo.dict_close(i), scan_dict_close(t, i)) << t << " @" << i;
            if (t[static_cast<std::size_t>(i)] == '(') {
                ASSERT_EQ(memo.string_end(i), scan_string_end(t, i)) << t << " @" << i;
            }
            if (t[static_cast<std::size_t>(i)] == '[') {
                ASSERT_EQ(memo.array_end(i), scan_array_end(t, i)) << t << " @" << i;
            }
        }
    }
}

TEST(syntax, bracket_memo_switches_to_its_index_on_long_unclosed_scans) {
    std::string t;
    for (int i = 0; i < 20000; ++i) t += "/A [";
    bracket_memo memo(t);
    for (std::int32_t i = 3; i < static_cast<std::int32_t>(t.size()); i += 4) ASSERT_EQ(skip_pdf_value(t, i, &memo), -1);
    EXPECT_TRUE(memo.indexed());
}

TEST(syntax, names_present_agrees_with_find_name) {
    std::mt19937 rng(77);
    const char alphabet[] = "/JSavcriptWdgeFls+-_ \0()";
    for (int round = 0; round < 2000; ++round) {
        std::string t(static_cast<std::size_t>(rng() % 40), ' ');
        for (char &c : t) c = alphabet[rng() % (sizeof alphabet - 1)];
        const std::uint32_t got = names_present(t, {"JavaScript", "JS", "Widget", "Filespec", "S"});
        const char *names[] = {"JavaScript", "JS", "Widget", "Filespec", "S"};
        for (int i = 0; i < 5; ++i) ASSERT_EQ((got >> i) & 1u, find_name(t, 0, names[i]) >= 0 ? 1u : 0u) << t;
    }
}

// The value of the dictionary's last top-level /key as text, "-" when there is none.
std::string value_of(std::string_view text, std::string_view key) {
    dict_entry e;
    if (!dict_get(text, key, e)) return "-";
    return std::string(text.substr(static_cast<std::size_t>(e.value_pos), static_cast<std::size_t>(e.value_end - e.value_pos)));
}

TEST(syntax, dict_reader_reads_top_level_keys_as_a_reader_does) {
    const struct {
        const char *text, *key, *value;
    } cases[] = {
        {"<< /A 1 >>", "A", "1"},
        {"<< /A 12 0 R /B 2 >>", "A", "12 0 R"},  // a reference is one value
        {"<< /A 12 0 Rx >>", "A", "12"},
        {"<< /A /B /C 3 >>", "B", "-"},  // a name in value position is no key
        {"<< /A /B /C 3 >>", "C", "3"},
        {"<< /X (/A 1) /A 2 >>", "A", "2"},
        {"<< /X (/A 1) >>", "A", "-"},
        {"<< /X <2F41> /A 2 >>", "A", "2"},
        {"<< /X <41>> /A 2 >>", "A", "2"},  // a hex string's '>' closes nothing
        {"<< /X << /A 1 >> >>", "A", "-"},
        {"<< /X [/A 1] >>", "A", "-"},
        {"<< /X [(]) /A 1] /B 2 >>", "B", "2"},
        {"<< % /A 1\n /B 2 >>", "A", "-"},
        {"<< /X 1 % comment >> ( <<\n /A 2 >>", "A", "2"},
        {"<< /A % before the value\r 3 >>", "A", "3"},
        {"<< 1 2 (x) <41> true /A 4 >>", "A", "4"},  // junk in key position, one token at a time
        {"<< [ /A 5 ] >>", "A", "5"},                // names after a stray '[' are keys
        {"<< << /A 6 >> >>", "A", "6"},
        {"<< /A 1 /A 2 >>", "A", "2"},               // the last copy counts
        {"<< /Open#41ction 7 >>", "OpenAction", "7"},
        {"<< /J#53 8 >>", "JS", "8"},
        {"<< /J#5 9 >>", "J#5", "9"},                // an invalid escape stands for itself
        {"<< /J#5g 9 >>", "J#5g", "9"},
        {"<< /A#00B 1 >>", "A", "-"},                // a decoded NUL ends nothing
        {"<< /A >>", "A", ""},                       // a key without a value
        {"<< /AA 1 >>", "A", "-"},
        {"<< /A(x)>>", "A", "(x)"},
        {"<< /A[1 2]>>", "A", "[1 2]"},
        {"<< /A<</B 1>>>>", "A", "<</B 1>>"},
    };
    for (const auto &c : cases) EXPECT_EQ(value_of(c.text, c.key), c.value) << c.text;
    EXPECT_EQ(decode_name("J#53"), "JS");
    EXPECT_EQ(decode_name("A#00B").size(), 3u);
    EXPECT_EQ(decode_name("A#"), "A#");
    EXPECT_EQ(dict_get_all("<< /A 1 /B (/A 2) /A 3 >>", "A").size(), 2u);
    dict_entry e;
    EXPECT_TRUE(dict_get("<< /Type /Page", "Type", e, false));  // an open dictionary
}

TEST(syntax, names_present_decodes_escaped_name_tokens) {
    EXPECT_EQ(names_present("<< /J#53 (x) >>", {"JavaScript", "JS"}), 2u);
    EXPECT_EQ(names_present("<< /S /J#61vaScript >>", {"JavaScript", "JS"}), 1u);
    EXPECT_EQ(names_present("<< /J#5 (x) >>", {"JS"}), 0u);
    EXPECT_EQ(names_present("<< /Widget#20 >>", {"Widget"}), 1u);  // the byte search sees it too
}

TEST(syntax, keys_at_any_depth_and_references) {
    const std::string t = "<< /EF 4 0 R /A << /EF << /F 5 0 R /UF 6 0 R >> >> /B [<< /EF 7 0 R >>] /C (/EF 8 0 R) /S /EF >>";
    std::vector<std::string> values;
    for (const auto &[a, e] : key_values_any_depth(t, "EF"))
        values.emplace_back(t.substr(static_cast<std::size_t>(a), static_cast<std::size_t>(e - a)));
    EXPECT_EQ(values, (std::vector<std::string>{"4 0 R", "<< /F 5 0 R /UF 6 0 R >>", "7 0 R"}));
    EXPECT_EQ(references_in("<< /F 5 0 R /X (6 0 R) % 7 0 R\n /Y [8 1 R 9] /Z 10 0 Rx >>"),
              (std::vector<std::int32_t>{5, 8}));
}
