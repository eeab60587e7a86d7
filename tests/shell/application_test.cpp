// Program start: a quiet browser unless the user asks for its logs, one
// accessibility bridge unless the user asks for GTK's, and the program icon
// from the theme by name.

#include <gtest/gtest.h>

#include <QFile>
#include <optional>

#include "../harvest/temp_dir.h"
#include "shell/application.h"
#include "shell/branding.h"

namespace {

TEST(BrowserFlags, OursComeFirstAndStepAsideWhenTheUserAsksForLogging) {
  const std::pair<QByteArray, QByteArray> cases[] = {
      {"", "--log-level=3"},
      {"--no-sandbox", "--log-level=3 --no-sandbox"},
      // The user's own choice of logging stands alone.
      {"--log-level=0", "--log-level=0"},
      {"--enable-logging --v=1", "--enable-logging --v=1"},
      {"--vmodule=render*=2", "--vmodule=render*=2"},
      // Names that only begin like a logging switch are not one.
      {"--validate-input", "--log-level=3 --validate-input"},
  };
  for (const auto& [user, expected] : cases) {
    EXPECT_EQ(shell::BrowserFlags(user), expected) << user.toStdString();
  }
}

TEST(PrepareProcess, TurnsGtksAccessibilityBridgeOffUnlessTheUserChose) {
  const std::optional<QByteArray> saved = qEnvironmentVariableIsSet("NO_AT_BRIDGE")
                                              ? std::optional(qgetenv("NO_AT_BRIDGE"))
                                              : std::nullopt;
  const std::pair<std::optional<QByteArray>, QByteArray> cases[] = {
      {std::nullopt, "1"},
      // The user's own word, whatever it is, stands.
      {"0", "0"},
      {"1", "1"},
      {"", ""},
  };
  for (const auto& [user, expected] : cases) {
    if (user) {
      qputenv("NO_AT_BRIDGE", *user);
    } else {
      qunsetenv("NO_AT_BRIDGE");
    }
    shell::PrepareProcess();
    const std::string given = user.value_or("(unset)").toStdString();
    EXPECT_TRUE(qEnvironmentVariableIsSet("NO_AT_BRIDGE")) << given;
    EXPECT_EQ(qgetenv("NO_AT_BRIDGE"), expected) << given;
  }
  if (saved) {
    qputenv("NO_AT_BRIDGE", *saved);
  } else {
    qunsetenv("NO_AT_BRIDGE");
  }
}

TEST(AskedPlatform, IsTheCommandLinesOrElseTheEnvironments) {
  const QByteArray saved = qgetenv("QT_QPA_PLATFORM");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  char program[] = "kelvane", option[] = "-platform", xcb[] = "xcb", other[] = "--v=1";
  char* withOption[] = {program, option, xcb};
  char* without[] = {program, other};
  char* dangling[] = {program, option};  // no name after it: Qt's own error
  EXPECT_EQ(shell::AskedPlatform(3, withOption), QStringLiteral("xcb"));
  EXPECT_EQ(shell::AskedPlatform(2, without), QStringLiteral("offscreen"));
  EXPECT_EQ(shell::AskedPlatform(2, dangling), QStringLiteral("offscreen"));
  qputenv("QT_QPA_PLATFORM", saved);
}

TEST(ProgramIcon, ComesFromTheThemeByNameWithTheBuiltInPictureAsFallback) {
  const QStringList searchPaths = QIcon::themeSearchPaths();
  const QString theme = QIcon::themeName();

  // No theme has it: the built-in picture, without a name.
  TempDir empty;
  QIcon::setThemeSearchPaths({QString::fromStdString(empty.Path().string())});
  QIcon::setThemeName(QStringLiteral("hicolor"));
  const QIcon builtIn = shell::ProgramIcon();
  EXPECT_FALSE(builtIn.isNull());
  EXPECT_TRUE(builtIn.name().isEmpty());

  // Installed in hicolor as the package installs it: by name.
  TempDir icons;
  const auto apps = icons.Path() / "hicolor" / "scalable" / "apps";
  std::filesystem::create_directories(apps);
  icons.Write("hicolor/index.theme",
              "[Icon Theme]\nName=Hicolor\nDirectories=scalable/apps\n\n"
              "[scalable/apps]\nSize=64\nMinSize=16\nMaxSize=512\nType=Scalable\n");
  ASSERT_TRUE(QFile::copy(QStringLiteral(":/icons/kelvane.svg"),
                          QString::fromStdString((apps / "com.example.kelvane.svg").string())));
  QIcon::setThemeSearchPaths({QString::fromStdString(icons.Path().string())});
  QIcon::setThemeName(QStringLiteral("hicolor"));
  const QIcon themed = shell::ProgramIcon();
  EXPECT_EQ(themed.name(), shell::IconName());
  EXPECT_FALSE(themed.pixmap(22).isNull());

  QIcon::setThemeSearchPaths(searchPaths);
  QIcon::setThemeName(theme);
}

}  // namespace
