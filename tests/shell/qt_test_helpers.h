#pragma once
// Small helpers for tests with a Qt application.

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <initializer_list>

// Takes the desktop's handling of the given URL schemes for as long as it
// lives and records the addresses it is asked to open, so that no browser
// or mail program starts.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  explicit UrlRecorder(std::initializer_list<const char*> schemes = {"http", "https", "mailto"}) {
    for (const char* scheme : schemes) schemes_ << QString::fromLatin1(scheme);
    for (const QString& scheme : schemes_) QDesktopServices::setUrlHandler(scheme, this, "Open");
  }
  ~UrlRecorder() override {
    for (const QString& scheme : schemes_) QDesktopServices::unsetUrlHandler(scheme);
  }

  QList<QUrl> opened;

 public Q_SLOTS:
  void Open(const QUrl& url) { opened << url; }

 private:
  QStringList schemes_;
};

// Lets queued events (paints, timers at 0 ms, deferred deletes) run.
inline void Settle(int milliseconds = 60) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
}
