// SPDX-License-Identifier: Apache-2.0
// Object streams: expansion, /N and /First, the pair header, lengths, retries with a
// larger block, and the choice between direct and in-stream definitions.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"
#if PDFSANITIZE_TEST_ZLIB
#include <zlib.h>
#endif

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

#if PDFSANITIZE_TEST_ZLIB
std::string deflated(const std::string &s) {
    uLongf n = compressBound(static_cast<uLong>(s.size()));
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &n, reinterpret_cast<const Bytef *>(s.data()), static_cast<uLong>(s.size()), 9);
    out.resize(n);
    return out;
}
#endif

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

#if PDFSANITIZE_TEST_ZLIB
TEST(objstm, flate_containers_with_retries_and_corrupt_data) {
    {
        pdf_doc doc;
        ASSERT_EQ(load_text(container("/Filter /FlateDecode /N 3 /First 17", deflated(example_text)), doc), 0);
        EXPECT_EQ(text_of(doc, 12), "(thirteen ch)");
    }
    {
        pdf_doc doc;  // the abbreviated filter name
        ASSERT_EQ(load_text(container("/Filter /Fl /N 3 /First 17", deflated(example_text)), doc), 0);
        EXPECT_EQ(text_of(doc, 10), "<< /Type /Catalog /Pages 11 >>");
    }
    {
        // Text far longer than 8 x compressed + 64: several attempts, each four times larger.
        const std::string filler(300000, ' ');
        const std::string text = "10 0 11 30 12 52 " + example_text.substr(17, 52) + filler + "(end)";
        pdf_doc doc;
        ASSERT_EQ(load_text(container("/Filter /FlateDecode /N 3 /First 17", deflated(text)), doc), 0);
        EXPECT_EQ(text_of(doc, 12).size(), filler.size() + 5);
    }
    {
        std::string bad = deflated(example_text);
        for (std::size_t i = 2; i < bad.size(); ++i) bad[i] = static_cast<char>(0xFF);
        pdf_doc doc;
        ASSERT_EQ(load_text("1 0 obj << >> endobj\n" + container("/Filter /FlateDecode /N 3 /First 17", bad), doc), 0);
        EXPECT_EQ(doc_find(doc, 10), nullptr);
        EXPECT_EQ(doc_find(doc, 5), nullptr);
    }
}
#endif
