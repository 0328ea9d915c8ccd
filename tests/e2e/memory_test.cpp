// SPDX-License-Identifier: Apache-2.0
// Peak memory of a sanitising run, measured in a child process: at most three times the
// input (plus the text of its object streams) and 64 MiB. Not under the sanitizers,
// whose shadow memory and red zones are not the library's.
#include "e2e_util.h"
#include "pdfsanitize.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PDFSANITIZE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PDFSANITIZE_SANITIZED 1
#endif
#endif

using namespace e2e;

namespace {

// Pages of four objects; with object streams, every non-stream object goes into
// uncompressed object streams of 100 objects (their text is their raw bytes).
[[maybe_unused]] std::string big_document(int pages, bool object_streams) {
    pdf_builder b;
    std::string kids;
    for (int p = 0; p < pages; ++p) kids += std::to_string(10 + 4 * p) + " 0 R ";
    std::vector<std::pair<int, std::string>> plain;
    plain.emplace_back(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction << /S /JavaScript /JS (x) >> >>");
    plain.emplace_back(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    for (int p = 0; p < pages; ++p) {
        const int n = 10 + 4 * p;
        plain.emplace_back(n, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(n + 1) +
                                  " 0 R /Annots [" + std::to_string(n + 2) + " 0 R " + std::to_string(n + 3) + " 0 R] >>");
        b.stream(n + 1, "<< >>", "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(p) + ") Tj ET");
        plain.emplace_back(n + 2, "<< /Type /Annot /Subtype /Link /Rect [0 0 9 9] /A << /S /URI /URI (https://x.invalid/) >> >>");
        plain.emplace_back(n + 3, "<< /Type /Annot /Subtype /Text /Rect [0 0 9 9] /Contents (note) >>");
    }
    if (!object_streams) {
        for (const auto &[n, body] : plain) b.obj(n, body);
        return b.finish(1);
    }
    int container = 10 + 4 * pages + 10;
    for (std::size_t i = 0; i < plain.size(); i += 100) {
        std::string head, text;
        for (std::size_t k = i; k < std::min(plain.size(), i + 100); ++k) {
            head += std::to_string(plain[k].first) + " " + std::to_string(text.size()) + " ";
            text += plain[k].second + "\n";
        }
        b.stream(container++, "<< /Type /ObjStm /N " + std::to_string(std::min<std::size_t>(100, plain.size() - i)) +
                                  " /First " + std::to_string(head.size()) + " >>",
                 head + text);
    }
    return b.finish(1);
}

#if !defined(_WIN32)
// Peak resident bytes of the full mode run in a child process; 0 when the run failed.
[[maybe_unused]] std::uint64_t peak_of_full_run(const std::string &in, const std::string &out) {
    const pid_t pid = fork();
    if (pid == 0) _exit(pdfsanitize_full(in.c_str(), out.c_str()) == 1 ? 0 : 1);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}
#endif

}  // namespace

TEST(memory, peak_stays_within_three_times_the_input) {
#if defined(_WIN32) || defined(PDFSANITIZE_SANITIZED)
    GTEST_SKIP() << "measured on Linux without sanitizers";
#else
    temp_dir dir;
    for (const bool streams : {false, true}) {
        const std::string in = dir.file(streams ? "streams.pdf" : "plain.pdf"), out = dir.file("out.pdf");
        std::uint64_t size = 0;
        {
            const std::string pdf = big_document(100000, streams);
            write_file(in, pdf);
            size = pdf.size();
        }  // the parent's copy is gone before the child starts
        // With uncompressed object streams their text is about the file's own size.
        const std::uint64_t text = streams ? size : 0;
        const std::uint64_t peak = peak_of_full_run(in, out);
        ASSERT_GT(peak, 0u);
        const std::uint64_t bound = 3 * (size + text) + (std::uint64_t{64} << 20);
        EXPECT_LE(peak, bound) << (streams ? "object streams" : "plain") << ": input " << size << " bytes";
    }
#endif
}

// A file of one large stream: the output keeps the stream data in the input's buffer, so
// a sanitising run holds little more than the input.
TEST(memory, a_large_stream_costs_its_size_once) {
#if defined(_WIN32) || defined(PDFSANITIZE_SANITIZED)
    GTEST_SKIP() << "measured on Linux without sanitizers";
#else
    temp_dir dir;
    const std::string in = dir.file("image.pdf"), out = dir.file("out.pdf");
    std::uint64_t size = 0;
    {
        const std::string pdf = pdf_builder()
                                    .obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
                                    .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
                                    .obj(3, "<< /Type /Page /Parent 2 0 R /Resources << /XObject << /Im0 4 0 R >> >> >>")
                                    .stream(4, "<< /Type /XObject /Subtype /Image /Width 10000 /Height 6990 >>",
                                            std::string(std::size_t{200} << 20, '\x5a'))
                                    .finish(1);
        write_file(in, pdf);
        size = pdf.size();
    }
    const std::uint64_t peak = peak_of_full_run(in, out);
    ASSERT_GT(peak, 0u);
    EXPECT_LE(peak, size + (std::uint64_t{64} << 20)) << "input " << size << " bytes";
    EXPECT_GT(fs::file_size(out), std::uint64_t{200} << 20);
#endif
}
