#pragma once
// What the engine needs from the world around it. The main window, the
// embedded browser, the run's timer, the host's address list and the progress
// file stand behind these small ports; tests put fakes in their place.

#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace harvest {

// Status bar panels the engine writes.
enum StatusPanel : int {
  kPanelKeywordCount = 1,
  kPanelKeywordNumber = 3,
  kPanelFound = 5,
  kPanelStatus = 6,
};

enum class DialogKind { Warning, Error, Information, Confirmation };
enum class DialogButton { Yes, No, OK, Cancel };

class SearchWindow {
 public:
  virtual ~SearchWindow() = default;

  virtual void SetPanelText(int panel, const std::string& text) = 0;
  // The de-duplication box "去重".
  virtual bool DeduplicateChecked() const = 0;
  // The interval field's text as it stands, typed or not.
  virtual std::string IntervalText() const = 0;
  // Running: Search and Import disabled, Stop enabled; idle: the reverse.
  virtual void SetRunCommands(bool running) = 0;
  // A one-line input dialog; false when cancelled.
  virtual bool AskForText(const std::string& caption, const std::string& prompt,
                          std::string& value) = 0;
  // The plain message box: application title, one OK button.
  virtual void ShowPlainMessage(const std::string& text) = 0;
  // The typed message dialog; answers the button pressed.
  virtual DialogButton ShowTypedDialog(const std::string& text, DialogKind type,
                                       std::initializer_list<DialogButton> buttons) = 0;
  virtual void Repaint() = 0;
};

// What a page read ends with: the body's text, or the error that kept it
// from coming (no document, no body, no answer in time, the page's process
// gone).
struct PageText {
  std::string text;  // lines broken by CR LF, in GBK
  std::exception_ptr error;
};

class PageBrowser {
 public:
  using PageTextHandler = std::function<void(PageText)>;

  virtual ~PageBrowser() = default;
  // Starts loading `url`; the page is read later, at the timer's tick.
  virtual void Navigate(const std::string& url) = 0;
  // Asks for the rendered text of the page body and returns. `handler` gets
  // the answer once, on this thread: at once, before this returns, or later;
  // never after the browser is gone.
  virtual void RequestPageText(PageTextHandler handler) = 0;
};

// The one timer that paces a run. Setting the interval of a running timer
// restarts its wait; enabling a running timer changes nothing.
class RunTimer {
 public:
  virtual ~RunTimer() = default;
  virtual void SetInterval(int milliseconds) = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

class AddressLookup {
 public:
  virtual ~AddressLookup() = default;
  // The host's IPv4 addresses in dotted-quad form, in the system's order.
  // Raises when they cannot be found.
  virtual std::vector<std::string> HostAddresses() = 0;
};

class ProgressWriter {
 public:
  virtual ~ProgressWriter() = default;
  // Records the resume point; raises the file error when the write fails.
  virtual void WriteProgress() = 0;
};

}  // namespace harvest
