// The titles the window manager shows, read back from a real X server
// (_NET_WM_NAME, with xprop): each window and dialog carries its own title
// and nothing more.

#include <QFileDialog>
#include <QProcess>
#include <QToolButton>
#include <QWindow>

#include "qt_test_helpers.h"
#include "shell/about_box.h"
#include "shell/branding.h"
#include "shell_fixture.h"

namespace {

// _NET_WM_NAME of a shown top-level window, as the X server holds it.
QString XTitle(QWidget& window) {
  for (int i = 0; i < 100 && !(window.windowHandle() && window.windowHandle()->isExposed()); ++i) Settle(20);
  Settle();
  QProcess xprop;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));  // UTF-8 as it is, not escaped
  xprop.setProcessEnvironment(env);
  xprop.start(QStringLiteral("xprop"), {QStringLiteral("-notype"), QStringLiteral("-id"),
                                        QString::number(window.winId()), QStringLiteral("_NET_WM_NAME")});
  if (!xprop.waitForFinished(10000) || xprop.exitCode() != 0) return QStringLiteral("<xprop failed>");
  // _NET_WM_NAME = "title"
  const QString line = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
  const qsizetype open = line.indexOf(u'"');
  return open < 0 ? line : line.mid(open + 1).chopped(1);
}

struct TitledDialog {
  const char* what;
  std::function<void(shell::MainWindow&)> open;
  QString title;
};

TEST_F(MainWindowTest, EveryWindowShowsItsOwnTitleOnly) {
  auto form = MakeWindow();
  form->show();
  EXPECT_EQ(XTitle(*form), shell::MainCaption());

  shell::AboutBox about(form.get());
  form->SetAboutBox(&about);
  const auto click = [](const char* button) {
    return [button](shell::MainWindow& w) { Child<QToolButton>(w, button)->click(); };
  };
  const TitledDialog dialogs[] = {
      {"close question", click("ExitButton"), QStringLiteral("确认")},
      {"plain message", click("SaveProgressButton"), shell::AppTitle()},
      {"error box", click("SearchButton"), shell::AppTitle()},  // no keywords yet
      {"file dialog", click("ImportButton"), QStringLiteral("导入关键字列表文件")},
      {"About box", click("AboutButton"), QStringLiteral("关于本软件")},
      {"resume question",
       [this](shell::MainWindow& w) {
         session::SessionProbe::Run(w.Session()).KeywordList() = {"k"};
         w.Session().StartSearch();
       },
       QStringLiteral("搜索参数设置")},
      {"no network",
       [this](shell::MainWindow& w) {
         addresses_->addresses = {"192.168.1.20", "127.0.0.1"};
         w.Session().StartSearch();
       },
       QStringLiteral("信息")},
  };
  for (const auto& dialog : dialogs) {
    SCOPED_TRACE(dialog.what);
    QString shown;
    shell::AnswerNextDialog([&](QDialog& d) {
      d.show();
      shown = XTitle(d);
      EXPECT_EQ(d.windowTitle(), dialog.title);
      d.reject();
      d.hide();
    });
    dialog.open(*form);
    EXPECT_EQ(shown, dialog.title);
  }
}

}  // namespace
