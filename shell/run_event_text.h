#pragma once
// The words for what happens to a run's pages: the status line and the tray
// while a run holds, and the lines of the run's log.

#include <QCoreApplication>
#include <QString>

#include "harvest/search_ports.h"

namespace shell {

class RunEventText {
  Q_DECLARE_TR_FUNCTIONS(RunEventText)

 public:
  // While a run holds: why, and when the next try comes.
  static QString Holding(const harvest::RunEvent& event);
  // The event as a line of the run's log (without its time).
  static QString LogLine(const harvest::RunEvent& event, const QString& keyword);
};

}  // namespace shell
