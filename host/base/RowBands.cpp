#include "host/base/RowBands.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace mattix::host {

void ForEachBand(int rows, int bands, const std::function<void(int, int, int)>& work) {
  bands = std::max(1, std::min(bands, rows));
  std::vector<std::exception_ptr> failures(static_cast<std::size_t>(bands));
  const auto run = [&](int band) {
    // Band b holds rows [rows * b / bands, rows * (b + 1) / bands).
    const int first = int(long(rows) * band / bands);
    const int last = int(long(rows) * (band + 1) / bands);
    try {
      work(band, first, last - first);
    } catch (...) {
      failures[std::size_t(band)] = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  threads.reserve(std::size_t(bands) - 1);
  for (int band = 1; band < bands; ++band) {
    try {
      threads.emplace_back(run, band);
    } catch (const std::system_error&) {
      run(band);  // no thread to be had: the band runs here
    }
  }
  run(0);
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace mattix::host
