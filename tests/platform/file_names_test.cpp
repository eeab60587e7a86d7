#include "platform/file_names.h"

#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>

#include "../harvest/child_process.h"
#include "../harvest/temp_dir.h"

namespace platform {
namespace {

TEST(FileNames, KeepTheGbkTextAndTheNativeBytes) {
  const harvest::FilePath path = ToFilePath(QStringLiteral("/tmp/资料/kw.txt"));
  EXPECT_EQ(path.native.string(), "/tmp/\xE8\xB5\x84\xE6\x96\x99/kw.txt");  // UTF-8 on disk
  EXPECT_EQ(path.text, "/tmp/\xD7\xCA\xC1\xCF/kw.txt");                     // GBK for the engine
}

TEST(AppDir, IsTheExecutablesFolderWhenWritable) {
  TempDir exe;
  TempDir config;
  const auto chosen = ChooseAppDir(QString::fromStdString(exe.Path().string()), QString::fromStdString(config.Path().string()));
  EXPECT_EQ(chosen.text, exe.Path().string() + "/");
  EXPECT_EQ(chosen.Child("mobtrawl.ini").native, exe.Path() / "mobtrawl.ini");
}

TEST(AppDir, FallsBackToTheUsersConfigFolderWhenTheExecutablesIsReadOnly) {
  TempDir exe;  // as a system-wide installation: nobody but its owner may write
  TempDir config;
  std::filesystem::permissions(exe.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
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

}  // namespace
}  // namespace platform
