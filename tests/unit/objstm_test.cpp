// SPDX-License-Identifier: Apache-2.0
// Object streams: expansion, /N and /First, the pair header, lengths, retries with a
// larger block, and the choice between direct and in-stream definitions.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

using namespace pdfsanitize;
using test_util::load_text;

namespace {

std::string text_of(const pdf_doc &doc, int num) {
    const pdf_obj *o = doc_find(doc, num);
    if (!o || !o->in_objstm) return "<none>";
    return std::string(o->text, static_cast<std::size_t>(o->text_len));
}

std::string container(const std::string &dict, const std::string &data) {
    return "5 0 obj\n<< /Type /ObjStm " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream\nendobj\n";
}

std::string from_hex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

// zlib streams (level 9) of example_text below, and of its pairs, first two objects,
// 300,000 blanks and "(end)": 380 bytes that grow to 300,074.
const std::string deflated_example = from_hex(
    "78da3334503050303454300692460aa6460a36360afa219505a90aface89258939f9e90afa0189e9a9c520457676085988a07e244854"
    "a32423b3a82435354f21394313004dd6166d");
std::string deflated_long_example() {
    return from_hex("78daedca310e82401404d0abfc52ab65217684c60b50d8586ec286c6808936de1e89857720ef1553cc4c6ea2899ca3fb661b"
                    "9736fa3ed2edf3ac91aee55d1eeb1c692c737deda761f8afbf32ddf736") +
           std::string(290, '\0') + from_hex("e0404e7599ce1babb797e4");
}

// The decompressed text of the example stream: 17 bytes of pairs, then three objects.
const std::string example_text = "10 0 11 30 12 52 " + std::string("<< /Type /Catalog /Pages 11 >>") +
                                  "<< /Type /Pages /Y1 >>" + "(thirteen ch)";

}  // namespace

TEST(objstm, raw_container_is_read_as_it_stands) {
    ASSERT_EQ(example_text.size(), 82u);
    pdf_doc doc;
    ASSERT_EQ(load_text(container("/N 3 /First 17", example_text), doc), 0);
    EXPECT_EQ(text_of(doc, 10), "<< /Type /Catalog /Pages 11 >>");
    EXPECT_EQ(text_of(doc, 11), "<< /Type /Pages /Y1 >>");
    EXPECT_EQ(text_of(doc, 12), "(thirteen ch)");
    EXPECT_EQ(doc_find(doc, 5), nullptr);  // the container itself is gone
    EXPECT_EQ(doc.catalog, 10);
    EXPECT_EQ(doc.max_num, 12);
}

TEST(objstm, header_and_length_rules) {
    const struct {
        std::string dict;
        std::string text;
        std::vector<int> present;
    } cases[] = {
        {"/N 0 /First 17", example_text, {}},
        {"/N 100001 /First 17", example_text, {}},
        {"/N 3", example_text, {}},
        {"/N 3 /First 83", example_text, {}},
        {"/N -1 /N 3 /First -2 /First 17", example_text, {10, 11, 12}},
        {"/N 3 /First 17", "0 0 11 30 12 52 " + example_text.substr(17), {11, 12}},
        {"/N 3 /First 17", "10 0 11 0  12 52 " + example_text.substr(17), {11, 12}},
        {"/N 3 /First 17", "10 0 11 30 12    " + example_text.substr(17), {}},
        {"/N 2 /First 17", "10 0 11 30 12 52 " + example_text.substr(17), {10, 11}},
    };
    for (const auto &c : cases) {
        pdf_doc doc;
        const int rc = load_text("1 0 obj << >> endobj\n" + container(c.dict, c.text), doc);
        ASSERT_EQ(rc, 0) << c.dict;
        std::vector<int> present;
        for (int n : {10, 11, 12})
            if (doc_find(doc, n)) present.push_back(n);
        EXPECT_EQ(present, c.present) << c.dict << " / " << c.text.substr(0, 17);
    }
}

TEST(objstm, a_direct_definition_beats_an_in_stream_one) {
    pdf_doc doc;
    ASSERT_EQ(load_text("11 0 obj (direct) endobj\n" + container("/N 3 /First 17", example_text), doc), 0);
    const pdf_obj *o = doc_find(doc, 11);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->in_objstm, 0);
    EXPECT_EQ(text_of(doc, 10), "<< /Type /Catalog /Pages 11 >>");
}

TEST(objstm, flate_containers_with_retries_and_corrupt_data) {
    {
        pdf_doc doc;
        ASSERT_EQ(load_text(container("/Filter /FlateDecode /N 3 /First 17", deflated_example), doc), 0);
        EXPECT_EQ(text_of(doc, 12), "(thirteen ch)");
    }
    {
        pdf_doc doc;  // the abbreviated filter name
        ASSERT_EQ(load_text(container("/Filter /Fl /N 3 /First 17", deflated_example), doc), 0);
        EXPECT_EQ(text_of(doc, 10), "<< /Type /Catalog /Pages 11 >>");
    }
    {
        // Text far longer than 8 x compressed + 64: several attempts, each four times larger.
        pdf_doc doc;
        ASSERT_EQ(load_text(container("/Filter /FlateDecode /N 3 /First 17", deflated_long_example()), doc), 0);
        EXPECT_EQ(text_of(doc, 12), std::string(300000, ' ') + "(end)");
    }
    {
        std::string bad = deflated_example;
        for (std::size_t i = 2; i < bad.size(); ++i) bad[i] = static_cast<char>(0xFF);
        pdf_doc doc;
        ASSERT_EQ(load_text("1 0 obj << >> endobj\n" + container("/Filter /FlateDecode /N 3 /First 17", bad), doc), 0);
        EXPECT_EQ(doc_find(doc, 10), nullptr);
        EXPECT_EQ(doc_find(doc, 5), nullptr);
    }
}
