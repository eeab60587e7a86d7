#pragma once
// Reading a real browser's page text in tests: ask, then let the event loop
// run until the answer comes.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <optional>

#include "harvest/errors.h"
#include "platform/web_engine_browser.h"

inline bool WaitFor(const std::function<bool()>& done, int seconds) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < seconds * 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

// The answer to one read; none if it did not come within `seconds` (it
// may still come later, into the shared slot).
inline std::optional<harvest::PageText> Read(platform::WebEngineBrowser& browser, int seconds = 30) {
  auto answer = std::make_shared<std::optional<harvest::PageText>>();
  browser.RequestPageText([answer](harvest::PageText page) { *answer = std::move(page); });
  WaitFor([&] { return answer->has_value(); }, seconds);
  return *answer;
}

// The read's text, or its error's message in brackets.
inline std::string ReadText(platform::WebEngineBrowser& browser) {
  const auto answer = Read(browser);
  if (!answer) return "[no answer]";
  if (!answer->error) return answer->text;
  try {
    std::rethrow_exception(answer->error);
  } catch (const harvest::Exception& e) {
    return "[" + e.Message() + "]";
  }
}
