// SPDX-License-Identifier: Apache-2.0
// Writes the sample PDF files of this folder: one clean file and one for each kind of
// active content, each a one-page document with a line of text saying what it holds.
// Usage: make_samples DIR
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

namespace {

class pdf_writer {
public:
    void obj(int num, const std::string &body) {
        offsets_[num] = out_.size();
        out_ += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    }
    void stream(int num, const std::string &dict_entries, const std::string &data) {
        obj(num, "<< " + dict_entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
    }
    std::string finish(int root) {
        const int size = offsets_.rbegin()->first + 1;
        std::string s = out_;
        const std::size_t xref = s.size();
        s += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
        char line[32];
        for (int i = 1; i < size; ++i) {
            const auto it = offsets_.find(i);
            if (it == offsets_.end())
                std::snprintf(line, sizeof line, "0000000000 65535 f \n");
            else
                std::snprintf(line, sizeof line, "%010zu 00000 n \n", it->second);
            s += line;
        }
        s += "trailer\n<< /Size " + std::to_string(size) + " /Root " + std::to_string(root) + " 0 R /Info 9 0 R >>\nstartxref\n" +
             std::to_string(xref) + "\n%%EOF\n";
        return s;
    }

private:
    std::string out_ = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::map<int, std::size_t> offsets_;
};

struct features {
    bool js = false, attachment = false, actions = false, form = false;
};

std::string sample(const char *title, features f) {
    pdf_writer w;
    std::string catalog = "<< /Type /Catalog /Pages 2 0 R";
    if (f.js) catalog += " /OpenAction 20 0 R /Names << /JavaScript 21 0 R";
    if (f.attachment) catalog += std::string(f.js ? "" : " /Names <<") + " /EmbeddedFiles 30 0 R";
    if (f.js || f.attachment) catalog += " >>";
    if (f.actions && !f.js) catalog += " /OpenAction [3 0 R /Fit]";
    if (f.actions) catalog += " /AA << /WC 24 0 R >>";
    if (f.form) catalog += " /AcroForm << /Fields [40 0 R] /DA (/Helv 0 Tf 0 g) >>";
    catalog += " >>";
    w.obj(1, catalog);
    w.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    std::string annots;
    if (f.attachment) annots += "33 0 R ";
    if (f.form) annots += "40 0 R ";
    annots += "50 0 R";
    std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> /Annots [" +
                       annots + "]";
    if (f.actions) page += " /AA << /O 25 0 R >>";
    page += " >>";
    w.obj(3, page);
    w.stream(4, "", std::string("BT /F1 18 Tf 72 720 Td (") + title + ") Tj ET");
    w.obj(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    w.obj(9, std::string("<< /Title (") + title + ") /Producer (kestrune-pdfsanitize samples) >>");
    if (f.js) {
        w.obj(20, "<< /S /JavaScript /JS (app.alert\\('sample open action'\\);) >>");
        w.obj(21, "<< /Names [(init) 22 0 R] >>");
        w.obj(22, "<< /S /JavaScript /JS 23 0 R >>");
        w.stream(23, "", "console.println('document script');");
    }
    if (f.actions) {
        w.obj(24, "<< /S /GoTo /D [3 0 R /Fit] >>");
        w.obj(25, "<< /S /GoTo /D [3 0 R /XYZ 0 792 0] >>");
    }
    if (f.attachment) {
        w.obj(30, "<< /Names [(notes.txt) 31 0 R] >>");
        w.obj(31, "<< /Type /Filespec /F (notes.txt) /UF (notes.txt) /EF << /F 32 0 R >> >>");
        w.stream(32, "/Type /EmbeddedFile /Subtype /text#2Fplain", "These notes were attached to the sample.\n");
        w.obj(33, "<< /Type /Annot /Subtype /FileAttachment /Rect [72 600 92 620] /FS 31 0 R /Contents (notes) >>");
    }
    if (f.form)
        w.obj(40, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (sample) /Rect [72 500 300 520] /P 3 0 R >>");
    w.obj(50, "<< /Type /Annot /Subtype /Link /Rect [72 700 300 716] /A << /S /URI /URI (https://example.invalid/) >> >>");
    return w.finish(1);
}

}  // namespace

int main(int argc, char **argv) {
    const std::string dir = argc > 1 ? argv[1] : ".";
    const struct {
        const char *file, *title;
        features f;
    } samples[] = {
        {"clean.pdf", "A clean document", {}},
        {"javascript.pdf", "JavaScript: an open action and a document script", {true, false, false, false}},
        {"attachment.pdf", "An embedded file and a file-attachment annotation", {false, true, false, false}},
        {"openaction.pdf", "Automatic actions: open action, document and page actions", {false, false, true, false}},
        {"form.pdf", "An interactive form with one text field", {false, false, false, true}},
        {"everything.pdf", "JavaScript, an attachment, automatic actions and a form", {true, true, true, true}},
    };
    for (const auto &s : samples) {
        const std::string pdf = sample(s.title, s.f);
        std::ofstream(dir + "/" + s.file, std::ios::binary).write(pdf.data(), static_cast<std::streamsize>(pdf.size()));
    }
    return 0;
}
