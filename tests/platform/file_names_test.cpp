#include "platform/file_names.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <filesystem>
#include <fstream>

#include "../harvest/child_process.h"
#include "../harvest/temp_dir.h"

namespace platform {
namespace {

TEST(FileNames, KeepTheGbkTextAndTheNativeBytes) {
  const harvest::FilePath path = ToFilePath(QStringLiteral("/tmp/资料/kw.txt"));
  EXPECT_EQ(path.native.string(), "/tmp/\xE8\xB5\x84\xE6\x96\x99/kw.txt");  // UTF-8 on disk
  EXPECT_EQ(path.text, "/tmp/\xD7\xCA\xC1\xCF/kw.txt");                     // GBK for the engine
}

struct UndecodableName {
  const char* what;
  std::vector<std::string> onDisk;  // relative to the folder
  std::string chosen;               // relative, raw bytes that Qt decodes lossily
  std::string expected;             // the bytes opened, relative
};

TEST(FileNames, NamesQtCannotDecodeAreFoundInTheirFolder) {
  const std::string gbkName = "\xCA\xD6\xBB\xFA.txt";  // "手机.txt" from a Windows archive
  const UndecodableName cases[] = {
      {"a GBK file name", {gbkName}, gbkName, gbkName},
      {"a file in a GBK folder",
       {"\xD7\xCA\xC1\xCF/kw.txt"},
       "\xD7\xCA\xC1\xCF/kw.txt",
       "\xD7\xCA\xC1\xCF/kw.txt"},
      // Two entries that Qt shows alike: the first in byte order.
      {"names that decode alike", {"\xFF.txt", "\xFE.txt"}, "\xFF.txt", "\xFE.txt"},
      {"nothing there (a new file)", {}, "\xFD.txt", "\xEF\xBF\xBD.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    for (const std::string& name : c.onDisk) {
      std::filesystem::create_directories((dir.Path() / name).parent_path());
      std::ofstream(dir.Path() / name) << "x";
    }
    const QString shown =
        QFile::decodeName(QByteArray::fromStdString(dir.Path().string() + "/" + c.chosen));
    ASSERT_TRUE(shown.contains(QChar(0xFFFD)));
    const harvest::FilePath path = ToFilePath(shown);
    EXPECT_EQ(path.native.string(), dir.Path().string() + "/" + c.expected);
    if (!c.onDisk.empty()) {
      EXPECT_EQ(path.text, path.native.string());  // the bytes found are the GBK text
    }
  }
}

TEST(AppDir, IsTheExecutablesFolderWhenWritable) {
  TempDir exe;
  TempDir config;
  const auto chosen = ChooseAppDir(QString::fromStdString(exe.Path().string()),
                                   QString::fromStdString(config.Path().string()));
  EXPECT_EQ(chosen.text, exe.Path().string() + "/");
  EXPECT_EQ(chosen.Child("mobtrawl.ini").native, exe.Path() / "mobtrawl.ini");
}

TEST(AppDir, IsTheUsersConfigFolderForAnInstalledProgramEvenWhenItsFolderIsWritable) {
  TempDir exe;  // as /usr/bin is for root
  TempDir config;
  const QString exeDir = QString::fromStdString(exe.Path().string());
  const auto chosen = ChooseAppDir(exeDir, QString::fromStdString(config.Path().string()), exeDir);
  EXPECT_EQ(chosen.text, config.Path().string() + "/kelvane/");
  EXPECT_TRUE(std::filesystem::is_directory(config.Path() / "kelvane"));
}

TEST(AppDir, FallsBackToTheUsersConfigFolderWhenTheExecutablesIsReadOnly) {
  TempDir exe;  // as a system-wide installation: nobody but its owner may write
  TempDir config;
  std::filesystem::permissions(
      exe.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                      std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  std::filesystem::permissions(config.Path(), std::filesystem::perms::all);
  // As root the child becomes an ordinary user, for whom the folder is read-only.
  const int status = RunUnprivileged([&] {
    const auto chosen = ChooseAppDir(QString::fromStdString(exe.Path().string()),
                                     QString::fromStdString(config.Path().string()));
    if (chosen.text != config.Path().string() + "/kelvane/") return 1;
    return std::filesystem::is_directory(config.Path() / "kelvane") ? 0 : 2;
  });
  EXPECT_EQ(status, 0);
}

TEST(RunsDir, IsTheDataFolderForAProgressFileInTheConfigFolderElseBesideIt) {
  TempDir exe;
  TempDir config;
  TempDir data;
  const QString configRoot = QString::fromStdString(config.Path().string());
  const QString dataRoot = QString::fromStdString(data.Path().string());
  const auto installed = ChooseAppDir(QString::fromStdString(exe.Path().string()), configRoot,
                                      QString::fromStdString(exe.Path().string()));
  EXPECT_EQ(RunsDir(installed, configRoot, dataRoot).text, data.Path().string() + "/kelvane/runs/");
  const auto own = ChooseAppDir(QString::fromStdString(exe.Path().string()), configRoot);
  EXPECT_EQ(RunsDir(own, configRoot, dataRoot).text, exe.Path().string() + "/runs/");
  // Any other folder (a test's) keeps its runs beside its progress file too.
  const harvest::FilePath elsewhere{data.Path() / "x/", data.Path().string() + "/x/"};
  EXPECT_EQ(RunsDir(elsewhere, configRoot, dataRoot).native, data.Path() / "x" / "runs/");
}

}  // namespace
}  // namespace platform
