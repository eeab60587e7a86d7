// Whether a page came, from how its load ended, and the hold's waits.

#include "harvest/page_arrival.h"

#include <gtest/gtest.h>

namespace harvest {
namespace {

constexpr char kAsked[] = "http://www.search.test/s?word=a&pn=10&cl=3";

struct Judged {
  const char* what;
  PageLoad load;
  PageArrival arrival;
};

TEST(PageArrival, OnlyAnAnswerFromTheQueryHostWithAResultStatusCame) {
  using E = PageLoad::Ending;
  const Judged cases[] = {
      {"a result page", {E::kLoaded, 200, kAsked}, PageArrival::kCame},
      {"not ended when read: the page before still shows",
       {E::kNotEnded, 0, kAsked},
       PageArrival::kNotLoaded},
      {"no status (another scheme)", {E::kLoaded, 0, kAsked}, PageArrival::kCame},
      {"not found: a page that came, read as ever", {E::kLoaded, 404, kAsked}, PageArrival::kCame},
      {"a certificate refused: read as ever", {E::kOtherFailure, 0, kAsked}, PageArrival::kCame},
      {"to https on the same host",
       {E::kLoaded, 200, "https://www.search.test/s?word=a"},
       PageArrival::kCame},
      {"another path on the same host, its name in capitals",
       {E::kLoaded, 200, "http://WWW.Search.Test:8080/results?q=a"},
       PageArrival::kCame},
      {"the network failed", {E::kNetworkFailed, 0, kAsked}, PageArrival::kNetworkDown},
      {"408", {E::kLoaded, 408, kAsked}, PageArrival::kRefused},
      {"429", {E::kLoaded, 429, kAsked}, PageArrival::kRefused},
      {"500", {E::kLoaded, 500, kAsked}, PageArrival::kRefused},
      {"503 from another host too", {E::kLoaded, 503, "http://other.test/"}, PageArrival::kRefused},
      {"599", {E::kLoaded, 599, kAsked}, PageArrival::kRefused},
      {"a verification page on another host",
       {E::kLoaded, 200, "https://verify.search.test/check?from=x"},
       PageArrival::kElsewhere},
      {"a login page with a user part",
       {E::kLoaded, 200, "http://www.search.test@evil.test/"},
       PageArrival::kElsewhere},
      {"hung", {E::kHung, 0, kAsked}, PageArrival::kStalled},
      {"its process died", {E::kProcessGone, 0, ""}, PageArrival::kStalled},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(JudgePage(c.load, kAsked), c.arrival);
  }
}

TEST(PageArrival, UrlHostTakesTheNameBetweenSchemeAndPath) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://a.test/x", "a.test"},
      {"https://a.test", "a.test"},
      {"http://u:p@a.test:81/?q", "a.test"},
      {"http://[::1]:8080/", "[::1]"},
      {"http://127.0.0.1:5/s#f", "127.0.0.1"},
      {"about:blank", ""},
      {"", ""},
  };
  for (const auto& [url, host] : cases) EXPECT_EQ(UrlHost(url), host) << url;
}

TEST(PageArrival, TheHoldsWaitsDoubleFromTheIntervalUpToTenMinutes) {
  std::vector<int> waits;
  int wait = 0;
  for (int i = 0; i < 9; ++i) waits.push_back(wait = NextHoldWait(wait, 45000));
  EXPECT_EQ(waits, (std::vector<int>{45000, 90000, 180000, 360000, 600000, 600000, 600000, 600000,
                                     600000}));
  EXPECT_EQ(NextHoldWait(0, 1000 * 1000),
            kLongestHoldWaitMs);  // a longer interval, still at most ten minutes
  EXPECT_EQ(NextHoldWait(kLongestHoldWaitMs, 1000),
            kLongestHoldWaitMs);  // no overflow past the cap
}

}  // namespace
}  // namespace harvest
