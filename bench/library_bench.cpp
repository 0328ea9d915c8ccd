// SPDX-License-Identifier: Apache-2.0
// Loading, scanning and each sanitising mode on files of 10,000 to 1,000,000 small
// objects (a page tree, content streams, annotations with actions), written to a
// temporary file first. The time per object must stay flat as the files grow.
#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "pdfsanitize.h"
#include "pdfsanitize/loader.h"
#include "pdfsanitize/scan.h"

namespace {

namespace fs = std::filesystem;

// About `count` objects: pages of 4 objects (page, content stream, link, text note).
std::string make_pdf(int count) {
    std::string s = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    const int pages = count / 4;
    auto obj = [&](int num, const std::string &body) {
        if (static_cast<std::size_t>(num) >= offsets.size()) offsets.resize(static_cast<std::size_t>(num) + 1);
        offsets[static_cast<std::size_t>(num)] = s.size();
        s += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    };
    std::string kids;
    for (int p = 0; p < pages; ++p) kids += std::to_string(3 + 4 * p) + " 0 R ";
    obj(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction << /S /JavaScript /JS (app.alert(1)) >> >>");
    obj(2, "<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "] >>");
    for (int p = 0; p < pages; ++p) {
        const int n = 3 + 4 * p;
        obj(n, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(n + 1) +
                   " 0 R /Annots [" + std::to_string(n + 2) + " 0 R " + std::to_string(n + 3) + " 0 R] >>");
        obj(n + 1, "<< /Length 24 >>\nstream\nBT /F1 12 Tf (Hi) Tj ET\n\nendstream");
        obj(n + 2, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /A << /S /URI /URI (http://x.invalid/) >> >>");
        obj(n + 3, "<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /Contents (note) >>");
    }
    const std::size_t xref = s.size();
    s += "xref\n0 " + std::to_string(offsets.size()) + "\n0000000000 65535 f \n";
    char line[32];
    for (std::size_t i = 1; i < offsets.size(); ++i) {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[i]);
        s += line;
    }
    s += "trailer\n<< /Size " + std::to_string(offsets.size()) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) +
         "\n%%EOF\n";
    return s;
}

const std::string &input_file(int count) {
    static std::map<int, std::string> files;
    auto it = files.find(count);
    if (it != files.end()) return it->second;
    const fs::path p = fs::temp_directory_path() / ("pdfsanitize-bench-" + std::to_string(count) + ".pdf");
    const std::string pdf = make_pdf(count);
    std::ofstream(p, std::ios::binary).write(pdf.data(), static_cast<std::streamsize>(pdf.size()));
    return files.emplace(count, p.string()).first->second;
}

void set_counters(benchmark::State &state, int count) {
    state.counters["objects/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes"] = static_cast<double>(fs::file_size(input_file(count)));
}

void bm_doc_load(benchmark::State &state) {
    const int count = static_cast<int>(state.range(0));
    const std::string &path = input_file(count);
    for (auto _ : state) {
        pdfsanitize::pdf_doc doc;
        if (pdfsanitize::doc_load(path.c_str(), doc) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.objs.count);
    }
    set_counters(state, count);
}

void bm_scan(benchmark::State &state) {
    const int count = static_cast<int>(state.range(0));
    const std::string &path = input_file(count);
    for (auto _ : state) benchmark::DoNotOptimize(pdfsanitize_scan(path.c_str()));
    set_counters(state, count);
}

template <int (*Fn)(const char *, const char *)>
void bm_mode(benchmark::State &state) {
    const int count = static_cast<int>(state.range(0));
    const std::string &path = input_file(count);
    const std::string out = path + ".out.pdf";
    for (auto _ : state)
        if (!Fn(path.c_str(), out.c_str())) state.SkipWithError(pdfsanitize_last_error());
    set_counters(state, count);
}

void sizes(benchmark::internal::Benchmark *b) {
    b->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

BENCHMARK(bm_doc_load)->Apply(sizes);
BENCHMARK(bm_scan)->Apply(sizes);
BENCHMARK(bm_mode<pdfsanitize_full>)->Name("bm_full")->Apply(sizes);
BENCHMARK(bm_mode<pdfsanitize_remove_js>)->Name("bm_remove_js")->Apply(sizes);
BENCHMARK(bm_mode<pdfsanitize_remove_attachments>)->Name("bm_remove_attachments")->Apply(sizes);
BENCHMARK(bm_mode<pdfsanitize_remove_actions>)->Name("bm_remove_actions")->Apply(sizes);

int main(int argc, char **argv) {
#if defined(__GLIBC__)
    // Keep large blocks in the heap between iterations, as for small ones; otherwise
    // every iteration on the big files pays fresh page faults that the small ones do not.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
