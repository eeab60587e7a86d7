#pragma once
// A browser stand-in for window tests: a plain widget in the layout, the
// URLs asked for, and page texts served from a map.

#include <QLabel>
#include <functional>
#include <map>
#include <vector>

#include "harvest/errors.h"
#include "platform/embedded_browser.h"

class FakeEmbeddedBrowser final : public platform::EmbeddedBrowser {
 public:
  explicit FakeEmbeddedBrowser(QWidget* parent) : widget_(new QLabel(parent)) {}

  void Navigate(const std::string& url) override { navigated.push_back(url); }
  std::string ReadPageText() override {
    if (whileReading) whileReading();
    if (navigated.empty()) throw harvest::Exception("no document");
    return pages[navigated.back()];
  }
  QWidget* Widget() override { return widget_; }

  std::vector<std::string> navigated;
  std::map<std::string, std::string> pages;
  std::function<void()> whileReading;  // what happens while the page text comes

 private:
  QLabel* widget_;
};
