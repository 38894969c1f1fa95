// Reading OPB text with one very long token: an identifier, a number with
// leading zeros, a line comment, a block comment of stars, and an unclosed
// block comment of stars. The time per character should stay flat from 25k
// to 800k characters.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "frontends/opb/opb_model.h"
#include "impl/engine/solver.h"
#include "opb_parser.hh"

namespace {

std::string text_with_long_token(int kind, std::size_t n) {
    switch (kind) {
    case 0: return "+1 " + std::string(n, 'x') + " >= 1 ;";
    case 1: return "+" + std::string(n, '0') + "1 x >= 1 ;";
    case 2: return "* " + std::string(n, 'c') + "\n+1 x >= 1 ;";
    case 3: return "/* " + std::string(n, '*') + " */ +1 x >= 1 ;";
    default: return "+1 x >= 1 ;\n/* " + std::string(n, '*');
    }
}

void BM_long_token(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    const std::string text = text_with_long_token(kind, static_cast<std::size_t>(state.range(1)));
    // The unclosed comment is a syntax error, reported on standard error.
    std::cerr.setstate(std::ios_base::badbit);
    for (auto _ : state) {
        std::istringstream input(text);
        qarn::solver s;
        qarn::opb::context ctx(s, &input, "bench.opb");
        yy::opb_parser parser(ctx);
        benchmark::DoNotOptimize(parser.parse());
    }
    std::cerr.clear();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_long_token)
    ->ArgNames({"kind", "n"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {25000, 100000, 200000, 800000}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
