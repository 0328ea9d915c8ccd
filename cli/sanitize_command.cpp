// SPDX-License-Identifier: Apache-2.0
// The sanitising commands: one IN OUT run (verified with --strict or --report), or a
// batch of files written into a folder by several workers, with a progress line and a
// summary.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli.h"
#include "pdfsanitize/audit.h"
#include "pdfsanitize/errors.h"
#include "pdfsanitize/files.h"
#include "pdfsanitize/loader.h"
#include "pdfsanitize/writer.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace cli {

namespace fs = std::filesystem;
using namespace pdfsanitize;

namespace {

// Paths are UTF-8 text in the program; the file system's own form on the way in and out.
fs::path to_path(const std::string &s) {
#if defined(_WIN32)
    return fs::path(std::u8string(reinterpret_cast<const char8_t *>(s.data()), s.size()));
#else
    return fs::path(s);
#endif
}

std::string to_text(const fs::path &p) {
#if defined(_WIN32)
    const std::u8string u = p.generic_u8string();
    return std::string(reinterpret_cast<const char *>(u.data()), u.size());
#else
    return p.string();
#endif
}

// The kind of a failure, for the summary, from the library's message.
const char *failure_kind(std::string_view m) {
    if (m.starts_with("cannot open output file") || m.starts_with("short write") ||
        m.starts_with("cannot create folder") || m.starts_with("cannot write report"))
        return "cannot write";
    if (m.starts_with("cannot open") || m.starts_with("read error")) return "cannot read";
    if (m.starts_with("empty input file")) return "empty";
    if (m.starts_with("input file too large")) return "too large";
    if (m.starts_with("no PDF objects found")) return "not a PDF";
    if (m.starts_with("encrypted PDFs")) return "encrypted";
    if (m.starts_with("out of memory")) return "out of memory";
    return "other";
}

struct outcome {
    int status = exit_clean;  // exit_clean (written), exit_failed or exit_refused
    std::string message;      // for a failure or refusal
};

bool write_report(const std::string &path, const run_report &r, std::string &message) {
    const std::string text = run_report_json(r);
    std::FILE *f = open_file(path.c_str(), "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int e = errno;
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) message = "cannot write report " + path + ": " + std::strerror(e);
    return ok;
}

// One run: load, sanitise in memory, verify when asked, write (to standard output for
// "-"). With report, the run's report is written there, on failure and refusal too.
outcome sanitize_one(const mode_promise &p, const std::string &in, const std::string &out, bool strict,
                     const std::string &report) try {
    run_report rep;
    rep.input = in;
    rep.output = out;
    rep.promise = &p;
    auto finish = [&](outcome o) {
        std::string report_message;
        if (!report.empty() && !write_report(report, rep, report_message) && o.status == exit_clean)
            o = {exit_failed, report_message};
        return o;
    };
    auto fail = [&](const std::string &message) {
        rep.error = message;
        return finish({exit_failed, message});
    };
    std::vector<unsigned char> stdin_bytes;  // the output's stream data stay in the input until written
    pdf_doc doc;
    std::string message;
    if (!load_input(in, doc, stdin_bytes, message)) return fail(message);
    outbuf assembled;
    removal_log removed;
    if (sanitize_document(doc, p.mode, assembled, report.empty() ? nullptr : &removed) != 0)
        return fail(library_message());
    verified_output left;
    if (strict || !report.empty()) {
        left = check_output(p, assembled);
        rep.removed = &removed;
        rep.left = &left;
    }
    if (strict && !left.blind_spots.empty()) {
        rep.refused = true;
        return finish({exit_refused, std::string("--strict: ") + p.name + " leaves reachable content in the output for " +
                                         in + ": " + describe_findings(left.blind_spots)});
    }
    if (out == std_stream) {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        if (!write_output_stream(stdout, "(standard output)", assembled)) return fail(library_message());
    } else if (!write_output_file(out.c_str(), assembled)) {
        return fail(library_message());
    }
    rep.written = true;
    return finish({exit_clean, {}});
} catch (const std::bad_alloc &) {
    return {exit_failed, "out of memory"};
}

struct batch_job {
    std::string in;
    fs::path out;
};

bool has_pdf_extension(const fs::path &p) {
    std::string e = to_text(p.extension());
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e == ".pdf";
}

// The jobs of a batch, in the order given (a folder's files sorted by path). Empty
// with the reason in wrong on a usage error.
std::vector<batch_job> collect_jobs(const options &o, std::string &wrong) {
    std::vector<batch_job> jobs;
    const fs::path dir = to_path(o.out_dir);
    for (const std::string &operand : o.operands) {
        const fs::path in = to_path(operand);
        std::error_code ec;
        if (!fs::is_directory(in, ec)) {
            jobs.push_back({operand, dir / in.filename()});
            continue;
        }
        if (!o.recursive) {
            wrong = "'" + operand + "' is a folder; add -r to take the PDF files inside it";
            return {};
        }
        std::vector<fs::path> found;
        fs::recursive_directory_iterator it(in, fs::directory_options::skip_permission_denied, ec), end;
        for (; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec) && has_pdf_extension(it->path())) found.push_back(it->path());
        if (ec) {
            wrong = "cannot read folder '" + operand + "': " + ec.message();
            return {};
        }
        std::sort(found.begin(), found.end());
        for (const fs::path &f : found) jobs.push_back({to_text(f), dir / f.lexically_relative(in)});
    }
    std::map<std::string, const std::string *> taken;
    for (const batch_job &j : jobs) {
        const std::string key = to_text(j.out.lexically_normal());
        const auto [at, fresh] = taken.emplace(key, &j.in);
        if (!fresh) {
            wrong = "'" + *at->second + "' and '" + j.in + "' would both be written to '" + key + "'";
            return {};
        }
    }
    return jobs;
}

bool stderr_is_terminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// The run's shared state: results, messages and the progress line.
class batch_run {
public:
    batch_run(std::size_t total, bool progress) : total_(total), progress_(progress) {}

    void finished(const outcome &o) {
        std::lock_guard<std::mutex> lock(mu_);
        ++done_;
        if (o.status == exit_clean) {
            ++written_;
        } else {
            if (o.status == exit_refused) ++strict_refusals_;
            else ++failures_[failure_kind(o.message)];
            clear_progress();
            std::fprintf(stderr, "pdfsanitize: %s\n", o.message.c_str());
        }
        if (o.status > status_) status_ = o.status;
        show_progress();
    }

    int status() const { return status_; }

    std::string summary(const char *mode) {
        std::lock_guard<std::mutex> lock(mu_);
        clear_progress();
        std::size_t failed = 0;
        std::string kinds;
        for (const auto &[kind, n] : failures_) {
            failed += n;
            kinds += (kinds.empty() ? "" : ", ") + std::to_string(n) + " " + kind;
        }
        std::string s = std::string("pdfsanitize: ") + mode + ": " + std::to_string(total_) +
                        (total_ == 1 ? " file" : " files") + " in " + seconds(elapsed()) + ": " +
                        std::to_string(written_) + " written, " + std::to_string(failed) + " failed";
        if (failed) s += " (" + kinds + ")";
        s += ", " + std::to_string(strict_refusals_) + " refused by --strict";
        return s;
    }

private:
    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

    static std::string seconds(double s) {
        char b[32];
        std::snprintf(b, sizeof b, "%.1f s", s);
        return b;
    }

    void clear_progress() {
        if (progress_ && shown_) std::fprintf(stderr, "\r%*s\r", 70, "");
        shown_ = false;
    }

    // done/total, files per second and the time left, at most ten times a second.
    void show_progress() {
        if (!progress_) return;
        const double t = elapsed();
        if (done_ != total_ && t - last_shown_ < 0.1) return;
        last_shown_ = t;
        const double rate = t > 0 ? static_cast<double>(done_) / t : 0.0;
        const double left = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0.0;
        std::fprintf(stderr, "\r%zu/%zu files, %.1f files/s, %s left ", done_, total_, rate, seconds(left).c_str());
        std::fflush(stderr);
        shown_ = true;
    }

    std::mutex mu_;
    const std::size_t total_;
    const bool progress_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::size_t done_ = 0, written_ = 0, strict_refusals_ = 0;
    std::map<std::string, std::size_t> failures_;
    int status_ = exit_clean;
    double last_shown_ = -1;
    bool shown_ = false;
};

int run_batch(const options &o, const mode_promise &p) {
    std::string wrong;
    const std::vector<batch_job> jobs = collect_jobs(o, wrong);
    if (!wrong.empty()) {
        std::fprintf(stderr, "pdfsanitize: %s\n\n%s", wrong.c_str(), usage_text(o.command));
        return exit_failed;
    }
    unsigned workers = o.jobs ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    workers = static_cast<unsigned>(std::min<std::size_t>(workers, std::max<std::size_t>(jobs.size(), 1)));
    batch_run run(jobs.size(), stderr_is_terminal());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            const batch_job &j = jobs[i];
            std::error_code ec;
            fs::create_directories(j.out.parent_path(), ec);
            if (ec) {
                run.finished({exit_failed, "cannot create folder " + to_text(j.out.parent_path()) + ": " + ec.message()});
                continue;
            }
            run.finished(sanitize_one(p, j.in, to_text(j.out), o.strict, {}));
        }
    };
    std::vector<std::thread> threads;
    for (unsigned k = 1; k < workers; ++k) threads.emplace_back(work);
    work();
    for (std::thread &t : threads) t.join();
    std::fprintf(stderr, "%s\n", run.summary(p.name).c_str());
    return run.status();
}

}  // namespace

int cmd_sanitize(const options &o) {
    const mode_promise &p = *promise_for_name(o.command);
    if (!o.out_dir.empty()) return run_batch(o, p);
    const outcome r = sanitize_one(p, o.operands[0], o.operands[1], o.strict, o.report);
    if (r.status != exit_clean) std::fprintf(stderr, "pdfsanitize: %s\n", r.message.c_str());
    return r.status;
}

}  // namespace cli
