#pragma once
// Whether the page a run asked for came, judged from how its load ended; how
// long a run waits for a load that has not ended at the tick; and how long it
// holds before it asks again for a page that did not come.
//
// A result page came when it loaded from the query's host with a status the
// engine answers results with. It did not come when the network failed, when
// the engine pushed back (408, 429, 5xx: transient by HTTP's own meaning),
// when the load ended on another host (a verification or login page), or
// when it had not ended when read (the browser still shows the page before);
// those are asked again, however long it takes. A redirect that stays on the
// query's host (http to https, another results path) is a page that came. A
// page whose process hung or died is asked again with a fresh process, a few
// times. Any other ending reads as it always did: the pager test decides.

#include <string_view>

#include "harvest/search_ports.h"

namespace harvest {

enum class PageArrival {
  kCame,
  kNetworkDown,  // the load failed for a network reason
  kRefused,      // HTTP 408, 429 or 5xx
  kElsewhere,    // the load ended on another host
  kNotLoaded,    // the load had not ended
  kStalled,      // the page process hung past the read's deadline, or died
};

PageArrival JudgePage(const PageLoad& load, std::string_view askedUrl);

// The host of an absolute URL ("http://user@Host:80/p" gives "Host"); empty
// when there is none.
std::string_view UrlHost(std::string_view url);

// How long a run waits, from the tick, for a page still loading: a few
// intervals, never less than half a minute.
inline constexpr int kLeastLoadWaitMs = 30 * 1000;
int LoadWait(int intervalMs);

// The hold's waits: the page interval first, then twice the wait before,
// never more than ten minutes between tries.
inline constexpr int kLongestHoldWaitMs = 10 * 60 * 1000;
int NextHoldWait(int previousWaitMs, int intervalMs);

}  // namespace harvest
