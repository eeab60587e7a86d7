// Writes the merge benchmark's data: FILES files of LINES lines each, CR LF,
// about 30% of the lines repeating a line of an earlier file. Deterministic.
//
//   make_merge_data [--numbers | --mixed | --words] DIR [FILES=10] [LINES=1000000]
//
// --numbers (the default): 11-digit numbers starting with 13 or 15.
// --mixed: GBK text as harvested lists grow into: numbers, Chinese words,
//   "name number" lines, mixed-case ASCII, numbers in full-width digits,
//   blank and whitespace-only lines, trailing blanks, now and then a control
//   character. Repeated ASCII lines come back in another letter case, and
//   some repeated numbers in full-width digits.
// --words: short Chinese words, 2 to 4 GB2312 characters.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

enum class Kind { kNumbers, kMixed, kWords };

std::mt19937_64 rng(20261207);

std::size_t Below(std::size_t n) {
  return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
}
bool Chance(double p) {
  return std::bernoulli_distribution(p)(rng);
}

std::string Number() {
  return std::to_string((Chance(0.5) ? 13000000000LL : 15000000000LL) +
                        std::uniform_int_distribution<long long>(0, 999999999)(rng));
}

// A GB2312 Chinese character: level 1 (the common ones, B0A1..D7F9) or,
// with `rare`, level 2 as well (to F7FE).
std::string Hanzi(bool rare = false) {
  for (;;) {
    const int lead = static_cast<int>(0xB0 + Below(rare ? 0xF7 - 0xB0 + 1 : 0xD7 - 0xB0 + 1));
    const int trail = static_cast<int>(0xA1 + Below(94));
    if (lead == 0xD7 && trail > 0xF9) continue;  // the end of level 1 is unassigned
    return {static_cast<char>(lead), static_cast<char>(trail)};
  }
}

std::string Word(std::size_t minChars, std::size_t maxChars, bool rare) {
  std::string word;
  for (std::size_t n = minChars + Below(maxChars - minChars + 1); n > 0; --n) word += Hanzi(rare);
  return word;
}

// Surnames and given names from small pools, as real lists have them.
const std::vector<std::string>& Surnames() {
  static const std::vector<std::string> pool = [] {
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) names.push_back(Hanzi());
    return names;
  }();
  return pool;
}
const std::vector<std::string>& GivenNames() {
  static const std::vector<std::string> pool = [] {
    std::vector<std::string> names;
    for (int i = 0; i < 2000; ++i) names.push_back(Word(1, 2, false));
    return names;
  }();
  return pool;
}

// Pseudo-words of ASCII letters from a fixed vocabulary.
const std::vector<std::string>& Vocabulary() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> list;
    for (int i = 0; i < 3000; ++i) {
      std::string w;
      for (std::size_t n = 2 + Below(8); n > 0; --n) w += static_cast<char>('a' + Below(26));
      list.push_back(w);
    }
    return list;
  }();
  return words;
}

std::string Recase(std::string line) {
  const int style = static_cast<int>(Below(3));
  for (std::size_t i = 0; i < line.size(); ++i) {
    char& c = line[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) continue;
    const bool upper = style == 0   ? true
                       : style == 1 ? (i == 0 || line[i - 1] == ' ')
                                    : Chance(0.5);
    c = static_cast<char>(upper ? (c & ~0x20) : (c | 0x20));
  }
  return line;
}

std::string Ascii() {
  std::string line;
  for (std::size_t n = 1 + Below(2); n > 0; --n) {
    if (!line.empty()) line += ' ';
    line += Vocabulary()[Below(Vocabulary().size())];
  }
  if (Chance(0.3)) line += ' ' + std::to_string(Below(1000));
  return Recase(line);
}

// ASCII digits as GBK full-width ones (A3 B0..A3 B9).
std::string FullWidth(const std::string& digits) {
  std::string out;
  for (const char d : digits) {
    out += '\xA3';
    out += static_cast<char>(0xB0 + (d - '0'));
  }
  return out;
}

bool IsAsciiText(const std::string& line) {
  for (const char c : line) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  }
  return false;
}
bool IsDigits(const std::string& line) {
  if (line.empty()) return false;
  for (const char c : line) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string FreshMixed() {
  const double pick = std::uniform_real_distribution<double>(0, 1)(rng);
  std::string line;
  if (pick < 0.41) {
    line = Number();
  } else if (pick < 0.69) {
    line = Word(2, 4, Chance(0.2));
  } else if (pick < 0.80) {
    line = Surnames()[Below(Surnames().size())] + GivenNames()[Below(GivenNames().size())] + ' ' +
           Number();
  } else if (pick < 0.93) {
    line = Ascii();
  } else if (pick < 0.95) {
    line = FullWidth(Number());
  } else if (pick < 0.97) {
    static const char* const kBlank[] = {"", " ", "\t", "  ", " \t"};
    return kBlank[Below(5)];
  } else {
    line = Chance(0.5) ? Number() : Word(2, 4, false);
    line += Chance(0.7) ? " " : "\t";  // a trailing blank
  }
  if (Chance(0.001)) line.insert(Below(line.size() + 1), 1, static_cast<char>(1 + Below(8)));
  return line;
}

// A repeat of an earlier line, sometimes changed as people retype things.
std::string Repeat(const std::string& earlier, Kind kind) {
  if (kind != Kind::kMixed) return earlier;
  if (IsAsciiText(earlier)) return Recase(earlier);
  if (IsDigits(earlier) && Chance(0.2)) return FullWidth(earlier);
  return earlier;
}

}  // namespace

int main(int argc, char** argv) {
  Kind kind = Kind::kNumbers;
  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "--numbers") == 0)
    ++arg;
  else if (arg < argc && std::strcmp(argv[arg], "--mixed") == 0)
    kind = Kind::kMixed, ++arg;
  else if (arg < argc && std::strcmp(argv[arg], "--words") == 0)
    kind = Kind::kWords, ++arg;
  if (arg >= argc) {
    std::fprintf(stderr, "usage: %s [--numbers | --mixed | --words] DIR [FILES] [LINES]\n",
                 argv[0]);
    return 2;
  }
  const std::string dir = argv[arg];
  const int files = arg + 1 < argc ? std::atoi(argv[arg + 1]) : 10;
  const long lines = arg + 2 < argc ? std::atol(argv[arg + 2]) : 1000000;

  std::vector<std::string> shared;  // lines earlier files wrote, for repeats
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
      std::string line;
      if (earlier > 0 && Chance(0.3)) {
        line = Repeat(shared[Below(earlier)], kind);
      } else {
        line = kind == Kind::kNumbers ? Number()
               : kind == Kind::kWords ? Word(2, 4, true)
                                      : FreshMixed();
        shared.push_back(line);
      }
      buffer += line;
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
