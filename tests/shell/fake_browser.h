#pragma once
// A browser stand-in for window tests: a plain widget in the layout, the
// URLs asked for, and page texts served from a map. Like Qt WebEngine it
// answers a read through the event loop; with holdAnswers the test answers
// it later, or never.

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <map>
#include <vector>

#include "../harvest/fake_world.h"
#include "harvest/errors.h"
#include "platform/embedded_browser.h"

class FakeEmbeddedBrowser final : public platform::EmbeddedBrowser, public fakes::HeldReads {
 public:
  // The widget is the window's once placed; until then it is the browser's.
  explicit FakeEmbeddedBrowser(QWidget* parent = nullptr) : widget_(new QLabel(parent)) {}
  ~FakeEmbeddedBrowser() override {
    if (widget_ && !widget_->parent()) delete widget_;
  }

  void Navigate(const std::string& url) override { navigated.push_back(url); }
  void RequestPageText(PageTextHandler handler) override {
    ++reads;
    harvest::PageText page;
    if (failRead || navigated.empty()) {
      page.error = std::make_exception_ptr(harvest::Exception("no document"));
    } else {
      page.text = pages[navigated.back()];
    }
    if (!loads.empty()) {
      page.load = loads.front();
      loads.pop_front();
    }
    if (holdAnswers) {
      Hold(std::move(handler), std::move(page));
      return;
    }
    QTimer::singleShot(0, widget_.data(),
                       [handler = std::move(handler), page = std::move(page)] { handler(page); });
  }
  QWidget* Widget() override { return widget_; }

  std::vector<std::string> navigated;
  std::map<std::string, std::string> pages;
  std::deque<harvest::PageLoad> loads;  // how the next reads' loads ended; then unknown
  bool failRead = false;
  bool holdAnswers = false;
  int reads = 0;

 private:
  QPointer<QLabel> widget_;
};
