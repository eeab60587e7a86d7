#pragma once
// The words for a run that holds or waits for a page, in the status line and
// the tray's hint.

#include <QCoreApplication>
#include <QString>

#include "harvest/search_ports.h"

namespace shell {

class RunEventText {
  Q_DECLARE_TR_FUNCTIONS(RunEventText)

 public:
  // While a run holds: why, and when the next try comes.
  static QString Holding(const harvest::RunEvent& event);
  // While a run waits for a page still loading at the tick.
  static QString WaitingForLoad();
};

}  // namespace shell
