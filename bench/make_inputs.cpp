// SPDX-License-Identifier: Apache-2.0
// Writes the benchmark inputs, reproducibly:
//   objects-<N>-classic.pdf     about N small objects, one classic cross-reference table
//   objects-<N>-compressed.pdf  the same objects, every non-stream object in Flate object
//                               streams of 100 objects, with a cross-reference stream
//   images.pdf                  about 200 MB, mostly large image streams
// Each file carries a little active content (a JavaScript open action, a JavaScript
// name tree, one attachment, a form with one widget, a page /AA), so that every mode
// has work to do. Pages come in groups of four objects: the page, its content stream,
// a link annotation with a URI action, and a text annotation.
//   make_inputs DIR [N...]     (default N: 100000 1000000)
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

struct object {
    int num;
    std::string body;  // dictionary or other body
    std::string data;  // stream data (streams only)
    bool stream = false;
};

std::string deflate(const std::string &s) {
    uLongf n = compressBound(static_cast<uLong>(s.size()));
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &n, reinterpret_cast<const Bytef *>(s.data()),
              static_cast<uLong>(s.size()), 6);
    out.resize(n);
    return out;
}

// The document's objects: fixed objects 1-19, then page groups from 20.
std::vector<object> document(int pages, int image_count, std::size_t image_bytes) {
    std::vector<object> v;
    auto add = [&](int num, std::string body) { v.push_back({num, std::move(body), {}, false}); };
    auto add_stream = [&](int num, std::string dict, std::string data) {
        v.push_back({num, std::move(dict), std::move(data), true});
    };
    const int first_page = 20;
    const int per_group = 4;
    // A two-level page tree, as writers make it: nodes of at most 500 pages under the root.
    const int per_node = 500;
    const int nodes = (pages + per_node - 1) / per_node;
    const int first_node = first_page + per_group * pages + image_count;
    std::string kids;
    for (int k = 0; k < nodes; ++k) kids += std::to_string(first_node + k) + " 0 R ";
    add(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction 3 0 R /Names << /JavaScript 4 0 R /EmbeddedFiles 6 0 R >> "
           "/AcroForm << /Fields [10 0 R] >> >>");
    add(2, "<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "] >>");
    add(3, "<< /S /JavaScript /JS (app.alert\\('open'\\);) >>");
    add(4, "<< /Names [(init) 5 0 R] >>");
    add(5, "<< /S /JavaScript /JS (console.println\\('init'\\);) >>");
    add(6, "<< /Names [(notes.txt) 7 0 R] >>");
    add(7, "<< /Type /Filespec /F (notes.txt) /EF << /F 8 0 R >> >>");
    add_stream(8, "/Type /EmbeddedFile", "attached notes\n");
    add(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    add(10, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (field) /Rect [10 10 200 30] /P " + std::to_string(first_page) +
                " 0 R >>");
    add(11, "<< /S /GoTo /D [" + std::to_string(first_page) + " 0 R /Fit] >>");
    std::mt19937 rng(2026);
    std::string xobjects;
    for (int i = 0; i < image_count; ++i) {
        std::string data(image_bytes, '\0');
        for (std::size_t k = 0; k + 4 <= data.size(); k += 4) {
            const std::uint32_t r = rng();
            data[k] = static_cast<char>(r);
            data[k + 1] = static_cast<char>(r >> 8);
            data[k + 2] = static_cast<char>(r >> 16);
            data[k + 3] = static_cast<char>(r >> 24);
        }
        const int w = 1024, h = static_cast<int>(image_bytes / (3 * 1024));
        add_stream(first_page + per_group * pages + i,
                   "/Type /XObject /Subtype /Image /Width " + std::to_string(w) + " /Height " + std::to_string(h) +
                       " /ColorSpace /DeviceRGB /BitsPerComponent 8",
                   std::move(data));
        xobjects += "/Im" + std::to_string(i) + " " + std::to_string(first_page + per_group * pages + i) + " 0 R ";
    }
    for (int p = 0; p < pages; ++p) {
        const int n = first_page + per_group * p;
        std::string page = "<< /Type /Page /Parent " + std::to_string(first_node + p / per_node) +
                           " 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(n + 1) +
                           " 0 R /Resources << /Font << /F1 9 0 R >>" + (xobjects.empty() ? "" : " /XObject << " + xobjects + ">>") +
                           " >> /Annots [" + std::to_string(n + 2) + " 0 R " + std::to_string(n + 3) + " 0 R" +
                           (p == 0 ? " 10 0 R" : "") + "]";
        if (p == 0) page += " /AA << /O 11 0 R >>";
        page += " >>";
        add(n, page);
        std::string content = "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(p + 1) + ") Tj ET";
        if (p == 0 && image_count)
            for (int i = 0; i < image_count; ++i) content += " q 100 0 0 100 0 0 cm /Im" + std::to_string(i) + " Do Q";
        add_stream(n + 1, "", content);
        add(n + 2, "<< /Type /Annot /Subtype /Link /Rect [72 700 300 716] /Border [0 0 0] /A << /S /URI /URI (https://example.invalid/" +
                       std::to_string(p) + ") >> >>");
        add(n + 3, "<< /Type /Annot /Subtype /Text /Rect [300 700 320 720] /Contents (note " + std::to_string(p) + ") >>");
    }
    for (int k = 0; k < nodes; ++k) {
        std::string leaves;
        const int last = std::min(pages, (k + 1) * per_node);
        for (int p = k * per_node; p < last; ++p) leaves += std::to_string(first_page + per_group * p) + " 0 R ";
        add(first_node + k, "<< /Type /Pages /Parent 2 0 R /Count " + std::to_string(last - k * per_node) + " /Kids [" +
                                leaves + "] >>");
    }
    return v;
}

std::string stream_object(int num, const std::string &dict, const std::string &data) {
    return std::to_string(num) + " 0 obj\n<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream\nendobj\n";
}

std::string classic(const std::vector<object> &objs) {
    std::string s = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    int top = 0;
    for (const auto &o : objs) top = std::max(top, o.num);
    std::vector<std::size_t> off(static_cast<std::size_t>(top) + 1, 0);
    for (const auto &o : objs) {
        off[static_cast<std::size_t>(o.num)] = s.size();
        if (o.stream)
            s += stream_object(o.num, o.body, o.data);
        else
            s += std::to_string(o.num) + " 0 obj\n" + o.body + "\nendobj\n";
    }
    const std::size_t xref = s.size();
    s += "xref\n0 " + std::to_string(top + 1) + "\n0000000000 65535 f \n";
    char line[32];
    for (int i = 1; i <= top; ++i) {
        if (off[static_cast<std::size_t>(i)])
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", off[static_cast<std::size_t>(i)]);
        else
            std::snprintf(line, sizeof line, "0000000000 65535 f \n");
        s += line;
    }
    s += "trailer\n<< /Size " + std::to_string(top + 1) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return s;
}

std::string compressed(const std::vector<object> &objs) {
    std::string s = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    int top = 0;
    for (const auto &o : objs) top = std::max(top, o.num);
    const int first_container = top + 1;
    // type, field 2, field 3 per object number (PDF 1.5 cross-reference stream entries).
    std::vector<std::array<std::uint32_t, 3>> entry(static_cast<std::size_t>(top) + 1 + objs.size() / 100 + 3, {0, 0, 0});
    int container = first_container;
    std::vector<const object *> batch;
    auto flush = [&] {
        if (batch.empty()) return;
        std::string head, body;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            head += std::to_string(batch[i]->num) + " " + std::to_string(body.size()) + " ";
            body += batch[i]->body + "\n";
            entry[static_cast<std::size_t>(batch[i]->num)] = {2, static_cast<std::uint32_t>(container), static_cast<std::uint32_t>(i)};
        }
        entry[static_cast<std::size_t>(container)] = {1, static_cast<std::uint32_t>(s.size()), 0};
        s += stream_object(container, "/Type /ObjStm /N " + std::to_string(batch.size()) + " /First " + std::to_string(head.size()) +
                                          " /Filter /FlateDecode",
                           deflate(head + body));
        ++container;
        batch.clear();
    };
    for (const auto &o : objs) {
        if (o.stream) {
            entry[static_cast<std::size_t>(o.num)] = {1, static_cast<std::uint32_t>(s.size()), 0};
            s += stream_object(o.num, o.body, o.data);
            continue;
        }
        batch.push_back(&o);
        if (batch.size() == 100) flush();
    }
    flush();
    const int xref_num = container;
    entry[static_cast<std::size_t>(xref_num)] = {1, static_cast<std::uint32_t>(s.size()), 0};
    std::string rows;
    for (int i = 0; i <= xref_num; ++i) {
        const auto &e = entry[static_cast<std::size_t>(i)];
        rows += static_cast<char>(e[0]);
        for (int b = 3; b >= 0; --b) rows += static_cast<char>(e[1] >> (8 * b));
        rows += static_cast<char>(e[2] >> 8);
        rows += static_cast<char>(e[2]);
    }
    const std::size_t at = s.size();
    s += stream_object(xref_num, "/Type /XRef /Size " + std::to_string(xref_num + 1) + " /W [1 4 2] /Root 1 0 R /Filter /FlateDecode",
                       deflate(rows));
    s += "startxref\n" + std::to_string(at) + "\n%%EOF\n";
    return s;
}

void save(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
}

}  // namespace

int main(int argc, char **argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {100000, 1000000};
    for (const int n : counts) {
        const std::vector<object> objs = document(n / 4, 0, 0);
        save(dir + "/objects-" + std::to_string(n) + "-classic.pdf", classic(objs));
        save(dir + "/objects-" + std::to_string(n) + "-compressed.pdf", compressed(objs));
    }
    if (argc <= 2 || std::getenv("PDFSANITIZE_BENCH_IMAGES")) save(dir + "/images.pdf", classic(document(4, 48, 4u << 20)));
    return 0;
}
