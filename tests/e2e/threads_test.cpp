// SPDX-License-Identifier: Apache-2.0
// Calls on different files from several threads at once give the same outputs and the
// same reports as one at a time; each thread reads its own message and report. Run
// under ThreadSanitizer in CI with no suppression.
#include <cstdlib>
#include <thread>
#include <vector>

#include "e2e_util.h"
#include "pdfsanitize.h"

using namespace e2e;

TEST(threads, scans_and_sanitisations_of_different_files_run_in_parallel) {
    temp_dir dir;
    std::vector<std::string> inputs;
    for (const auto &e : fs::directory_iterator(PDFSANITIZE_EXAMPLES_DIR))
        if (e.path().extension() == ".pdf") inputs.push_back(e.path().string());
    ASSERT_FALSE(inputs.empty());
    using mode_fn = int (*)(const char *, const char *);
    const mode_fn modes[] = {pdfsanitize_full, pdfsanitize_remove_js, pdfsanitize_remove_attachments,
                             pdfsanitize_remove_actions};

    // Expected outputs, one call at a time.
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        for (std::size_t m = 0; m < 4; ++m) {
            const std::string out = dir.file("expected-" + std::to_string(i) + "-" + std::to_string(m) + ".pdf");
            ASSERT_EQ(modes[m](inputs[i].c_str(), out.c_str()), 1);
            expected.push_back(read_file(out));
        }

    const int threads = 4, rounds = 3;
    std::vector<std::thread> pool;
    std::vector<int> failures(threads, 0);
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int r = 0; r < rounds; ++r)
                for (std::size_t i = 0; i < inputs.size(); ++i) {
                    const std::size_t m = (i + static_cast<std::size_t>(t)) % 4;
                    const std::string out =
                        dir.file("t" + std::to_string(t) + "-" + std::to_string(i) + "-" + std::to_string(r) + ".pdf");
                    if (!pdfsanitize_scan(inputs[i].c_str())) ++failures[static_cast<std::size_t>(t)];
                    if (modes[m](inputs[i].c_str(), out.c_str()) != 1 || read_file(out) != expected[i * 4 + m])
                        ++failures[static_cast<std::size_t>(t)];
                }
        });
    for (auto &th : pool) th.join();
    for (int t = 0; t < threads; ++t) EXPECT_EQ(failures[static_cast<std::size_t>(t)], 0) << "thread " << t;
}

TEST(threads, each_thread_reads_its_own_report_and_message) {
    temp_dir dir;
    pdfsanitize_init();
    const std::string clean = std::string(PDFSANITIZE_EXAMPLES_DIR) + "/clean.pdf";
    const std::string script = std::string(PDFSANITIZE_EXAMPLES_DIR) + "/javascript.pdf";
    const std::string expected[2] = {pdfsanitize_scan(clean.c_str()), pdfsanitize_scan(script.c_str())};
    ASSERT_NE(expected[0], expected[1]);
    const int threads = 4;
    const int rounds = std::getenv("PDFSANITIZE_THREAD_ROUNDS") ? std::atoi(std::getenv("PDFSANITIZE_THREAD_ROUNDS")) : 20000;
    std::vector<std::thread> pool;
    std::vector<int> wrong(threads, 0);
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            const std::string missing = dir.file("missing-" + std::to_string(t) + ".pdf");
            const std::string message = "cannot open " + missing;
            for (int r = 0; r < rounds; ++r) {
                const int which = (r + t) % 2;
                const char *json = pdfsanitize_scan(which ? script.c_str() : clean.c_str());
                if (!json || expected[which] != json) ++wrong[static_cast<std::size_t>(t)];
                if (r % 64 == 0) {  // a failure of this thread's own, then its report again
                    if (pdfsanitize_scan(missing.c_str()) || message != pdfsanitize_last_error())
                        ++wrong[static_cast<std::size_t>(t)];
                    if (!json || expected[which] != json) ++wrong[static_cast<std::size_t>(t)];
                }
            }
        });
    for (auto &th : pool) th.join();
    for (int t = 0; t < threads; ++t) EXPECT_EQ(wrong[static_cast<std::size_t>(t)], 0) << "thread " << t;
    EXPECT_EQ(std::string(pdfsanitize_last_error()), "");  // this thread made no failing call
}
