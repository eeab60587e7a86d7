#pragma once
// The tests' and benchmarks' way into what a session owns: the engine's run
// (its keyword list and place, set and read directly where importing a file
// would only add noise), the record and the run's files.

#include "harvest/search_run.h"
#include "session/search_session.h"

namespace session {

struct SessionProbe {
  static harvest::SearchRun& Run(SearchSession& searchSession) { return *searchSession.run_; }
  static RecoveryKeeper& Recovery(SearchSession& searchSession) { return searchSession.recovery_; }
  static RunFiles& Files(SearchSession& searchSession) { return searchSession.runFiles_; }
};

}  // namespace session
