#pragma once
// The application's error handler: the one place where errors end. It shows
// the message in a box captioned with the application title, with the stop
// icon and one OK button, and the program goes on at once (the box is
// opened, not waited for). The window sends the session's failures here.

#include <exception>
#include <utility>

#include <QString>

namespace shell {

// The box's text for an error: the message with the full-stop rule.
QString ErrorBoxText(std::exception_ptr error);

void HandleException(std::exception_ptr error);

// Runs a command handler, a timer event or a step of window creation; an
// error that leaves it goes to the handler instead of into Qt.
template <typename Body>
void Guarded(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    HandleException(std::current_exception());
  }
}

}  // namespace shell
