#pragma once
// What the fuzz targets share. A broken property aborts with its name, so
// libFuzzer reports the input as a crash and keeps it.

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

}  // namespace fuzz
