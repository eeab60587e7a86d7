#include "harvest/page_arrival.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace harvest {
namespace {

bool SameHost(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return lower(x) == lower(y);
  });
}

bool Transient(int httpStatus) {
  return httpStatus == 408 || httpStatus == 429 || (httpStatus >= 500 && httpStatus <= 599);
}

}  // namespace

std::string_view UrlHost(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos)
    rest.remove_prefix(at + 1);
  if (!rest.empty() && rest.front() == '[') return rest.substr(0, rest.find(']') + 1);  // IPv6
  return rest.substr(0, rest.find(':'));
}

PageArrival JudgePage(const PageLoad& load, std::string_view askedUrl) {
  switch (load.ending) {
    case PageLoad::Ending::kNetworkFailed:
      return PageArrival::kNetworkDown;
    case PageLoad::Ending::kNotEnded:
      return PageArrival::kNotLoaded;
    case PageLoad::Ending::kHung:
    case PageLoad::Ending::kProcessGone:
      return PageArrival::kStalled;
    case PageLoad::Ending::kLoaded: {
      if (Transient(load.httpStatus)) return PageArrival::kRefused;
      const std::string_view host = UrlHost(load.url);
      if (!host.empty() && !SameHost(host, UrlHost(askedUrl))) return PageArrival::kElsewhere;
      return PageArrival::kCame;
    }
    case PageLoad::Ending::kOtherFailure:
      break;
  }
  return PageArrival::kCame;
}

int LoadWait(int intervalMs) {
  return static_cast<int>(std::clamp<std::int64_t>(3 * static_cast<std::int64_t>(intervalMs),
                                                   kLeastLoadWaitMs,
                                                   std::numeric_limits<int>::max()));
}

int NextHoldWait(int previousWaitMs, int intervalMs) {
  if (previousWaitMs <= 0) return std::min(intervalMs, kLongestHoldWaitMs);
  return static_cast<int>(
      std::min<std::int64_t>(2 * static_cast<std::int64_t>(previousWaitMs), kLongestHoldWaitMs));
}

}  // namespace harvest
