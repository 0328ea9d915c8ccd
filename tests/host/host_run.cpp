// SPDX-License-Identifier: Apache-2.0
// A host program: loads the library at run time (dlopen or LoadLibraryA, then the eight
// names), scans every PDF file of the given folders and runs the four modes on it,
// writing into a folder whose name holds spaces. Given a reference folder written by
// another platform's build, every output must be byte-identical to it.
//   host_run OUTDIR REFDIR|- INPUTDIR...
// Threads started before the library is loaded and after it each read their own
// report and failure message. Exit 0 identical (or no reference), 1 a difference or
// failure, 77 no reference yet.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace fs = std::filesystem;

namespace {

using scan_fn = const char *(*)(const char *);
using mode_fn = int (*)(const char *, const char *);
using text_fn = const char *(*)();

struct api {
    scan_fn scan = nullptr;
    mode_fn modes[4] = {};
    text_fn last_error = nullptr;
};

bool load(api &a) {
#if defined(_WIN32)
    HMODULE lib = LoadLibraryA("kestrune-pdfsanitize.dll");
    if (!lib) return false;
    auto sym = [&](const char *n) { return reinterpret_cast<void *>(GetProcAddress(lib, n)); };
#else
    void *lib = dlopen(PDFSANITIZE_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    auto sym = [&](const char *n) { return dlsym(lib, n); };
#endif
    a.scan = reinterpret_cast<scan_fn>(sym("pdfsanitize_scan"));
    const char *names[4] = {"pdfsanitize_full", "pdfsanitize_remove_js", "pdfsanitize_remove_attachments",
                            "pdfsanitize_remove_actions"};
    for (int i = 0; i < 4; ++i) a.modes[i] = reinterpret_cast<mode_fn>(sym(names[i]));
    a.last_error = reinterpret_cast<text_fn>(sym("pdfsanitize_last_error"));
    auto init = reinterpret_cast<int (*)()>(sym("pdfsanitize_init"));
    auto cleanup = reinterpret_cast<void (*)()>(sym("pdfsanitize_cleanup"));
    if (!a.scan || !a.last_error || !init || !cleanup) return false;
    for (auto *m : a.modes)
        if (!m) return false;
    return init() == 1;
}

std::string read_all(const fs::path &p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// A message with the input's path replaced by its file name, the same on every platform.
std::string portable(std::string msg, const std::string &path, const std::string &name) {
    const std::size_t p = msg.find(path);
    if (p != std::string::npos) msg.replace(p, path.size(), name);
    return msg;
}

// Scans of two files with different reports and failures of the thread's own, over and
// over; every answer must be the one a single thread gets. Returns the wrong answers.
int thread_rounds(const api &a, int t, const std::string (&files)[2], const std::string (&expected)[2],
                  const fs::path &out) {
    int wrong = 0;
    const std::string missing = (out / ("missing " + std::to_string(t) + ".pdf")).string();
    for (int r = 0; r < 2000; ++r) {
        const int which = (r + t) % 2;
        const char *json = a.scan(files[which].c_str());
        if (!json || expected[which] != json) ++wrong;
        if (r % 16 == 0 && (a.scan(missing.c_str()) || a.last_error() != "cannot open " + missing)) ++wrong;
    }
    return wrong;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: host_run OUTDIR REFDIR|- INPUTDIR...\n");
        return 1;
    }
    const fs::path out = argv[1];
    const std::string ref = argv[2];
    if (ref != "-" && !fs::exists(fs::path(ref) / "scan.txt")) {
        std::printf("no reference outputs at %s yet: comparison skipped\n", ref.c_str());
        return 77;
    }
    std::vector<fs::path> inputs;
    for (int i = 3; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) continue;
        for (const auto &e : fs::directory_iterator(argv[i]))
            if (e.path().extension() == ".pdf") inputs.push_back(e.path());
    }
    std::sort(inputs.begin(), inputs.end(), [](const fs::path &x, const fs::path &y) { return x.filename() < y.filename(); });
    fs::remove_all(out);
    fs::create_directories(out);

    // Two threads wait for the library before it is loaded; two more start after.
    std::string files[2], expected[2];
    for (const fs::path &in : inputs) {
        if (in.filename() == "clean.pdf") files[0] = in.string();
        if (in.filename() == "javascript.pdf") files[1] = in.string();
    }
    api a;
    std::atomic<int> state{0};  // 0 loading, 1 loaded, -1 failed
    std::atomic<int> wrong{0};
    const bool threaded = !files[0].empty() && !files[1].empty();
    std::vector<std::thread> pool;
    const auto worker = [&](int t) {
        while (state.load() == 0) std::this_thread::yield();
        if (state.load() > 0) wrong += thread_rounds(a, t, files, expected, out);
    };
    if (threaded)
        for (int t = 0; t < 2; ++t) pool.emplace_back(worker, t);
    const bool loaded = load(a);
    if (loaded && threaded) {
        for (int i = 0; i < 2; ++i) {
            const char *json = a.scan(files[i].c_str());
            expected[i] = json ? json : "";
        }
    }
    state = loaded ? 1 : -1;
    if (threaded && loaded)
        for (int t = 2; t < 4; ++t) pool.emplace_back(worker, t);
    for (auto &th : pool) th.join();
    if (!loaded) {
        std::fprintf(stderr, "cannot load the library\n");
        return 1;
    }
    if (threaded) std::printf("4 threads, each 2000 scans: %d wrong answers\n", wrong.load());
    if (wrong.load() != 0) return 1;
    const char *mode_names[4] = {"full", "remove js", "remove attachments", "remove actions"};
    std::ostringstream log;
    std::vector<std::string> written;
    for (const fs::path &in : inputs) {
        const std::string path = in.string(), name = in.filename().string();
        const char *json = a.scan(path.c_str());
        log << name << "\tscan\t" << (json ? json : portable(a.last_error(), path, name)) << "\n";
        for (int m = 0; m < 4; ++m) {
            const std::string file = name + " " + mode_names[m] + ".pdf";
            const std::string target = (out / file).string();
            const int rc = a.modes[m](path.c_str(), target.c_str());
            log << name << "\t" << mode_names[m] << "\t" << rc;
            if (!rc) log << "\t" << portable(a.last_error(), path, name);
            log << "\n";
            if (rc) written.push_back(file);
        }
    }
    std::ofstream(out / "scan.txt", std::ios::binary) << log.str();
    std::printf("%zu inputs, %zu outputs written into %s\n", inputs.size(), written.size(), out.string().c_str());
    if (ref == "-") return 0;

    int differences = 0;
    if (read_all(out / "scan.txt") != read_all(fs::path(ref) / "scan.txt")) {
        std::printf("DIFFERENT: scan.txt\n");
        ++differences;
    }
    for (const std::string &f : written) {
        if (read_all(out / f) != read_all(fs::path(ref) / f)) {
            std::printf("DIFFERENT: %s\n", f.c_str());
            ++differences;
        }
    }
    std::printf("%zu outputs compared with %s: %d different\n", written.size(), ref.c_str(), differences);
    return differences ? 1 : 0;
}
