#pragma once
// A browser stand-in for the session's and the window's tests: no page, the
// URLs asked for, and page texts served from a map. Like Qt WebEngine it
// answers a read through the event loop; with holdAnswers the test answers
// it later, or never.

#include <QObject>
#include <QTimer>
#include <deque>
#include <map>
#include <vector>

#include "../harvest/fake_world.h"
#include "harvest/errors.h"
#include "platform/embedded_browser.h"

class FakeEmbeddedBrowser final : public platform::EmbeddedBrowser, public fakes::HeldReads {
 public:
  void Navigate(const std::string& url) override {
    navigated.push_back(url);
    loadEnded = nullptr;
  }
  bool LoadEnded() const override { return !loading; }
  void WhenLoadEnds(LoadEndHandler handler) override { loadEnded = std::move(handler); }
  // A load held by `loading` ends now, and a wait for it is told.
  void EndLoad() {
    loading = false;
    if (auto handler = std::exchange(loadEnded, nullptr)) handler();
  }
  void RequestPageText(PageTextHandler handler) override {
    ++reads;
    harvest::PageText page;
    if (failRead || navigated.empty()) {
      page.error = std::make_exception_ptr(harvest::Exception("no document"));
    } else {
      page.text = pages[navigated.back()];
    }
    if (loading) {
      page.load = {};  // not ended
    } else if (!loads.empty()) {
      page.load = loads.front();
      loads.pop_front();
    } else {
      page.load = {harvest::PageLoad::Ending::kLoaded, 200,
                   navigated.empty() ? std::string() : navigated.back()};
    }
    if (holdAnswers) {
      Hold(std::move(handler), std::move(page));
      return;
    }
    QTimer::singleShot(0, &context_,
                       [handler = std::move(handler), page = std::move(page)] { handler(page); });
  }
  QWebEnginePage* Page() const override { return nullptr; }

  std::vector<std::string> navigated;
  std::map<std::string, std::string> pages;
  std::deque<harvest::PageLoad> loads;  // how the next reads' loads ended; then loaded
  bool loading = false;                 // the page's load has not ended (see EndLoad)
  LoadEndHandler loadEnded;
  bool failRead = false;
  bool holdAnswers = false;
  int reads = 0;

 private:
  QObject context_;  // answers still to come go with the browser
};
