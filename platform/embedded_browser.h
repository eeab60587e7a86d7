#pragma once
// The embedded browser as the search session drives it: the two operations
// the engine uses, and the web page a window shows in its view.

#include "harvest/search_ports.h"

class QWebEnginePage;

namespace platform {

class EmbeddedBrowser : public harvest::PageBrowser {
 public:
  // The page the run loads and reads, for a view to show; none for a
  // stand-in that has no page.
  virtual QWebEnginePage* Page() const = 0;
};

}  // namespace platform
