// What the benchmarks share: timing a piece of work and reading a numeric
// option off the command line.
#pragma once

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace bench {

// Wall-clock seconds that f takes.
template <class F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The number after name, or fallback. The pair is taken out of argv so that
// what remains can go on to another parser.
inline size_t TakeOption(int& argc, char** argv, const char* name, size_t fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) != 0) continue;
    const size_t value = std::strtoul(argv[i + 1], nullptr, 10);
    for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
    argc -= 2;
    return value;
  }
  return fallback;
}

}  // namespace bench
