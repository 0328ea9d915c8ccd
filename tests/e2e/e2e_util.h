// SPDX-License-Identifier: Apache-2.0
// Support for end-to-end tests: a small PDF writer with a correct cross-reference
// table, a private temporary folder per test, and file helpers.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

namespace e2e {

namespace fs = std::filesystem;

class pdf_builder {
public:
    pdf_builder() : out_("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") {}

    pdf_builder &obj(int num, std::string_view body, int gen = 0) {
        offsets_[num] = {out_.size(), gen};
        out_ += std::to_string(num) + " " + std::to_string(gen) + " obj\n";
        out_ += body;
        out_ += "\nendobj\n";
        return *this;
    }

    // dict is the dictionary without its /Length, e.g. "<< /Filter /FlateDecode >>".
    pdf_builder &stream(int num, std::string_view dict, std::string_view data) {
        std::string d(dict);
        const std::string len = " /Length " + std::to_string(data.size()) + " ";
        d.insert(d.size() - 2, len);
        offsets_[num] = {out_.size(), 0};
        out_ += std::to_string(num) + " 0 obj\n" + d + "\nstream\n";
        out_ += data;
        out_ += "\nendstream\nendobj\n";
        return *this;
    }

    pdf_builder &raw(std::string_view bytes) {
        out_ += bytes;
        return *this;
    }

    // Appends the cross-reference table and trailer; extra goes inside the trailer.
    std::string finish(int root, int info = -1, std::string_view extra = "") {
        int size = 1;
        if (!offsets_.empty()) size = offsets_.rbegin()->first + 1;
        const std::size_t xref = out_.size();
        std::string s = out_;
        s += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
        char line[32];
        for (int i = 1; i < size; ++i) {
            const auto it = offsets_.find(i);
            if (it == offsets_.end())
                std::snprintf(line, sizeof line, "0000000000 65535 f \n");
            else
                std::snprintf(line, sizeof line, "%010zu %05d n \n", it->second.first, it->second.second);
            s += line;
        }
        s += "trailer\n<< /Size " + std::to_string(size) + " /Root " + std::to_string(root) + " 0 R";
        if (info > 0) s += " /Info " + std::to_string(info) + " 0 R";
        s += extra;
        s += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return s;
    }

private:
    std::string out_;
    std::map<int, std::pair<std::size_t, int>> offsets_;
};

// A fresh folder for one test, removed afterwards.
class temp_dir {
public:
    temp_dir() {
        static std::atomic<int> counter{0};
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "pdfsanitize-";
        if (info) name += std::string(info->test_suite_name()) + "-" + info->name();
        name += "-" + std::to_string(counter++);
        for (char &c : name)
            if (c == '/') c = '_';
        path_ = fs::temp_directory_path() / name;
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~temp_dir() {
        std::error_code ec;
        if (!std::getenv("PDFSANITIZE_KEEP_TEST_FILES")) fs::remove_all(path_, ec);
    }
    std::string file(std::string_view name) const { return (path_ / name).string(); }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

inline void write_file(const std::string &path, std::string_view bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A path quoted for the platform's shell.
inline std::string quote(const std::string &s) {
#if defined(_WIN32)
    return "\"" + s + "\"";
#else
    return "'" + s + "'";
#endif
}

// Runs a shell command; the exit status and what it printed (stdout and stderr).
inline std::pair<int, std::string> shell(const std::string &cmd) {
#if defined(_WIN32)
    // cmd.exe drops the first and the last quote of its line: wrap the line in one more pair.
    FILE *p = _popen(("\"" + cmd + " 2>&1\"").c_str(), "rb");
#else
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
#endif
    if (!p) return {-1, ""};
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
#if defined(_WIN32)
    return {_pclose(p), out};
#else
    const int st = pclose(p);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
#endif
}

// The folder of the running test program (where the Windows build puts the DLL and the
// command-line program too).
inline std::string program_dir() {
#if defined(_WIN32)
    char buf[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return fs::path(std::string(buf, n)).parent_path().string();
#else
    return fs::canonical("/proc/self/exe").parent_path().string();
#endif
}

// The pdfsanitize program.
inline std::string cli_path() {
#if defined(_WIN32)
    return (fs::path(program_dir()) / "pdfsanitize.exe").string();
#else
    return PDFSANITIZE_CLI_FILE;
#endif
}

inline bool have_qpdf() {
    static const bool have = shell("qpdf --version").first == 0;
    return have;
}

// What qpdf says of a file: 0 clean, 3 warnings only, 2 errors.
inline int qpdf_check(const std::string &path) { return shell("qpdf --check " + quote(path)).first; }

inline int qpdf_pages(const std::string &path) {
    const auto [rc, out] = shell("qpdf --show-npages " + quote(path));
    if (rc != 0 && rc != 3) return -1;
    // The count stands on a line of its own; warnings may come before or after it.
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line.find_first_not_of("0123456789\r") == std::string::npos) return std::atoi(line.c_str());
    return -1;
}

// Checks an output as real readers see it: qpdf finds no error in it and counts the
// expected pages (when qpdf is installed), and it is queued for the pdf.js check that
// runs after these tests (when PDFSANITIZE_READER_DIR names a folder). With a mode
// (js, attachments, actions, full), pdf.js also checks that nothing of what that mode
// removes is left for it to find.
inline void check_with_readers(const std::string &out, int expected_pages, std::string_view mode = {}) {
    if (have_qpdf()) {
        const int rc = qpdf_check(out);
        EXPECT_TRUE(rc == 0 || rc == 3) << "qpdf --check " << out << ":\n" << shell("qpdf --check " + quote(out)).second;
        if (expected_pages >= 0) {
            EXPECT_EQ(qpdf_pages(out), expected_pages) << out;
        }
    }
#ifdef PDFSANITIZE_READER_DIR
    const char *dir = PDFSANITIZE_READER_DIR;
#else
    const char *dir = std::getenv("PDFSANITIZE_READER_DIR");
    if (!dir || !*dir) return;
#endif
    static std::atomic<int> n{0};
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string name = std::string(info ? info->name() : "out") + "-" + std::to_string(stamp) + "-" +
                       std::to_string(n++) + ".pdf";
    fs::create_directories(dir);
    fs::copy_file(out, fs::path(dir) / name, fs::copy_options::overwrite_existing);
    std::ofstream manifest(fs::path(dir) / "manifest.tsv", std::ios::app);
    manifest << name << "\t" << expected_pages;
    if (!mode.empty()) manifest << "\t" << mode;
    manifest << "\n";
}

}  // namespace e2e
