#pragma once
// The embedded browser as the main window holds it: a widget for the layout
// and the two operations the engine uses.

#include <QWidget>

#include "harvest/search_ports.h"

namespace platform {

class EmbeddedBrowser : public harvest::PageBrowser {
 public:
  virtual QWidget* Widget() = 0;
};

}  // namespace platform
