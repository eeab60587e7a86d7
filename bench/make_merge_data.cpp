// Writes the merge benchmark's data: FILES files of LINES lines each, 11-digit
// numbers starting with 13 or 15, CR LF, about 30% of the lines repeating a
// number that another file also holds. Deterministic for a given seed.
//
//   make_merge_data DIR [FILES=10] [LINES=1000000]

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [FILES] [LINES]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const int files = argc > 2 ? std::atoi(argv[2]) : 10;
  const long lines = argc > 3 ? std::atol(argv[3]) : 1000000;

  std::mt19937_64 rng(20261207);
  std::uniform_int_distribution<long long> body(0, 999999999);
  std::bernoulli_distribution repeat(0.3);
  std::vector<long long> shared;  // numbers earlier files wrote, for repeats
  shared.reserve(static_cast<std::size_t>(files * lines));

  std::string buffer;
  for (int f = 0; f < files; ++f) {
    const std::string name = dir + "/data" + std::to_string(f) + ".txt";
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (!out) {
      std::perror(name.c_str());
      return 1;
    }
    const std::size_t earlier = shared.size();
    for (long i = 0; i < lines; ++i) {
      long long number;
      if (earlier > 0 && repeat(rng)) {
        number = shared[std::uniform_int_distribution<std::size_t>(0, earlier - 1)(rng)];
      } else {
        number = (rng() % 2 ? 13000000000LL : 15000000000LL) + body(rng);
        shared.push_back(number);
      }
      buffer += std::to_string(number);
      buffer += "\r\n";
      if (buffer.size() > (1 << 20)) {
        std::fwrite(buffer.data(), 1, buffer.size(), out);
        buffer.clear();
      }
    }
    std::fwrite(buffer.data(), 1, buffer.size(), out);
    buffer.clear();
    std::fclose(out);
  }
  return 0;
}
