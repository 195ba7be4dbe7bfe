// Cost of unit simplification as the exponents of the units that carry no dimension alone grow.
// Not a test: prints one row per case with the time per call and the size of the search behind it.
//
//   cmake -S . -B build-bench -G Ninja -DTARVEL_BUILD_MODULE=OFF -DTARVEL_BUILD_TESTS=OFF
//         -DTARVEL_BUILD_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench && build-bench/tarvel_simplify_bench

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "unit/search.hpp"
#include "unit/simplify.hpp"
#include "unit/unit_collection.hpp"
#include "unit/unit_defs/unit_defs.hpp"

namespace {

using tarvel::UnitCollection;

UnitCollection parse(const char* text) {
    auto units = UnitCollection::from_unit_name(text);
    if (!units) {
        std::fprintf(stderr, "cannot parse %s\n", text);
        std::exit(1);
    }
    return *units;
}

// Mean wall time of one call, over enough calls to fill about 50 ms (at least 3).
template <class F>
double seconds_per_call(F&& call) {
    using Clock = std::chrono::steady_clock;
    long calls = 0;
    const auto begin = Clock::now();
    auto now = begin;
    do {
        call();
        ++calls;
        now = Clock::now();
    } while (calls < 3 || now - begin < std::chrono::milliseconds(50));
    return std::chrono::duration<double>(now - begin).count() / static_cast<double>(calls);
}

std::string time_text(double seconds) {
    char buffer[32];
    if (seconds < 1e-6) {
        std::snprintf(buffer, sizeof buffer, "%8.1f ns", seconds * 1e9);
    } else if (seconds < 1e-3) {
        std::snprintf(buffer, sizeof buffer, "%8.2f us", seconds * 1e6);
    } else {
        std::snprintf(buffer, sizeof buffer, "%8.2f ms", seconds * 1e3);
    }
    return buffer;
}

volatile double sink = 0;

void simplify_row(const char* family, int k, const UnitCollection& units,
                  const tarvel::SearchOptions& options) {
    tarvel::SearchStats stats;
    const UnitCollection result = tarvel::simplify(units, options, &stats);
    const double seconds = seconds_per_call([&] { sink = sink + tarvel::simplify(units, options).factor; });
    std::printf("%-16s k=%d  %s  maps %8llu  levels %3u  threads %u%s  -> %s\n", family, k,
                time_text(seconds).c_str(), static_cast<unsigned long long>(stats.maps_examined),
                stats.levels, stats.threads_used,
                stats.budget_exhausted ? "  (budget reached: target map)" : "",
                tarvel::as_string(result).c_str());
}

}  // namespace

int main() {
    tarvel::SearchOptions defaults;
    tarvel::SearchOptions serial;
    serial.threads = 1;

    std::printf("simple_simplify (runs after every arithmetic operation):\n");
    for (const char* text : {"m", "N.m", "kg.m/s2", "m/ft", "Hz.s"}) {
        const UnitCollection units = parse(text);
        const double seconds = seconds_per_call([&] { sink = sink + tarvel::simple_simplify(units).factor; });
        std::printf("  %-10s %s  -> %s\n", text, time_text(seconds).c_str(),
                    tarvel::as_string(tarvel::simple_simplify(units)).c_str());
    }

    const struct {
        const char* family;
        const char* base;
    } families[] = {
        {"(W.s.N/J)^k", "W.s.N/J"},
        {"(N.m)^k", "N.m"},
        // Many units that carry nothing alone and no shorter product: the search runs into its budget.
        {"(J.W.N.C.V)^k", "J.W.N.C.V"},
        {"(Pa.J.W.T.Wb.H)^k", "Pa.J.W.T.Wb.H"},
    };
    for (const auto& [family, base] : families) {
        std::printf("\nsimplify %s, default options:\n", family);
        for (int k = 1; k <= 9; ++k) simplify_row(family, k, tarvel::pow(parse(base), k), defaults);
    }
    std::printf("\nsimplify (Pa.J.W.T.Wb.H)^k on the calling thread alone:\n");
    for (int k = 1; k <= 9; ++k) {
        simplify_row("(Pa.J.W.T.Wb.H)^k", k, tarvel::pow(parse("Pa.J.W.T.Wb.H"), k), serial);
    }
    return 0;
}
