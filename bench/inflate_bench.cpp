// SPDX-License-Identifier: Apache-2.0
// Decoder throughput in MB/s of output: the table-driven decoder, the bitwise
// reference, and the system zlib on the same data (object-stream-like text).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "inflate/inflate.h"
#if PDFSANITIZE_BENCH_ZLIB
#include <zlib.h>
#endif

namespace {

std::string plain_text() {
    std::string s;
    std::mt19937 rng(7);
    for (int i = 0; s.size() < 4u << 20; ++i)
        s += std::to_string(i) + " 0 obj << /Type /Annot /Subtype /Link /Rect [" + std::to_string(rng() % 600) + " " +
             std::to_string(rng() % 800) + " 20 20] /A << /S /URI /URI (http://example.invalid/" +
             std::to_string(rng()) + ") >> >>\n";
    return s;
}

struct fixture {
    std::string text = plain_text();
    std::vector<std::uint8_t> packed;
    fixture() {
#if PDFSANITIZE_BENCH_ZLIB
        uLongf n = compressBound(static_cast<uLong>(text.size()));
        packed.resize(n);
        compress2(packed.data(), &n, reinterpret_cast<const Bytef *>(text.data()), static_cast<uLong>(text.size()), 6);
        packed.resize(n);
#endif
    }
};

const fixture &data() {
    static const fixture f;
    return f;
}

template <int (*Fn)(std::span<const std::uint8_t>, std::span<std::uint8_t>, std::size_t &)>
void bm_ours(benchmark::State &state) {
    const fixture &f = data();
    if (f.packed.empty()) {
        state.SkipWithError("built without zlib: no test data");
        return;
    }
    std::vector<std::uint8_t> out(f.text.size());
    for (auto _ : state) {
        std::size_t produced = 0;
        if (Fn(f.packed, out, produced) != 0 || produced != f.text.size()) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(f.text.size()));
}

#if PDFSANITIZE_BENCH_ZLIB
void bm_zlib(benchmark::State &state) {
    const fixture &f = data();
    std::vector<std::uint8_t> out(f.text.size());
    for (auto _ : state) {
        uLongf n = static_cast<uLongf>(out.size());
        uncompress(out.data(), &n, f.packed.data(), static_cast<uLong>(f.packed.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(f.text.size()));
}
BENCHMARK(bm_zlib)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK(bm_ours<flate::inflate_decompress>)->Name("bm_table_driven")->Unit(benchmark::kMillisecond);
BENCHMARK(bm_ours<flate::inflate_decompress_bitwise>)->Name("bm_bitwise")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
