// The page work of one tick on a 5 MB page: split the body text into lines,
// run the pager test and the number scan. The run waits at least a second
// between pages, so this must stay a small fraction of that.
//
//   cmake --build build --target bench_scanner && build/bench/bench_scanner

#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "harvest/page_scanner.h"
#include "harvest/text_list.h"

namespace {

using namespace harvest;

// Result-page-like text: GBK words, prices, dates, long digit runs, and a
// mobile number of either prefix on about every third line.
std::string MakePage(std::size_t bytes) {
  std::mt19937 rng(42);
  const std::string words[] = {"\xCA\xD6\xBB\xFA", "\xC1\xAA\xCF\xB5\xB5\xE7\xBB\xB0", "price 1399 ",
                               "2026-12-07 ", "id 1380013800138001 ", "www.example.com ", " - "};
  std::string page;
  page.reserve(bytes + 512);
  while (page.size() < bytes) {
    const int words_on_line = 5 + static_cast<int>(rng() % 40);
    for (int w = 0; w < words_on_line; ++w) page += words[rng() % std::size(words)];
    if (rng() % 3 == 0) page += (rng() % 2 ? "13" : "15") + std::to_string(100000000 + rng() % 900000000);
    page += "\r\n";
  }
  page += "1 2 3 4 5 \xCF\xC2\xD2\xBB\xD2\xB3>\r\n";
  return page;
}

void BM_ProcessPageText(benchmark::State& state) {
  const std::string page = MakePage(5 * 1024 * 1024);
  const bool deduplicate = state.range(0) != 0;
  for (auto _ : state) {
    ResultList results;
    ScanState scan{"13", "15", 0, {}};
    const LineList lines = SplitAtCrLf(page);
    benchmark::DoNotOptimize(HasNextPage(lines));
    ScanNumbers(lines, scan, results, deduplicate);
    benchmark::DoNotOptimize(scan.foundCount);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_ProcessPageText)->Arg(0)->Arg(1)->ArgName("dedupe")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
