#include "platform/file_names.h"

#include <dirent.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "platform/gbk_codec.h"

namespace platform {

namespace {

constexpr QChar kUndecodable(0xFFFD);

// The entry of `folder` that Qt decodes to `name`, as the folder's own
// listing spells it; of several, the first in byte order. Empty when there
// is none.
std::string FindEntry(const std::string& folder, const QString& name) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return {};
  std::string found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string bytes(entry->d_name);
    if (QFile::decodeName(QByteArray::fromStdString(bytes)) != name) continue;
    if (found.empty() || bytes < found) found = bytes;
  }
  ::closedir(dir);
  return found;
}

}  // namespace

// Qt decodes file names as UTF-8 and turns bytes that are not UTF-8 (a GBK
// name from a Windows archive) into U+FFFD, which cannot be encoded back.
// Such a name is looked up, part by part, in its folder's own listing; the
// bytes found there are what is opened, and being GBK in this program's
// world, they are also the name's text.
harvest::FilePath ToFilePath(const QString& name) {
  const QString nativeName = QDir::toNativeSeparators(name);
  if (!nativeName.contains(kUndecodable)) {
    return {std::filesystem::path(QFile::encodeName(nativeName).toStdString()), ToGbk(name)};
  }
  std::string bytes;
  std::string text;
  const QStringList parts = nativeName.split(QLatin1Char('/'));
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      bytes += '/';
      text += '/';
    }
    const QString& part = parts[i];
    std::string entry;
    if (part.contains(kUndecodable)) {
      const std::string folder = i == 0              ? "."
                                 : bytes.size() == 1 ? "/"
                                                     : bytes.substr(0, bytes.size() - 1);
      entry = FindEntry(folder, part);
    }
    bytes += entry.empty() ? QFile::encodeName(part).toStdString() : entry;
    text += entry.empty() ? ToGbk(part) : entry;
  }
  return {std::filesystem::path(bytes), text};
}

QString ShownPath(const std::filesystem::path& path) {
  return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

harvest::FilePath ExecutableDir() {
  QString dir = QCoreApplication::applicationDirPath();
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return ToFilePath(dir);
}

}  // namespace platform

namespace platform {

harvest::FilePath ChooseAppDir(const QString& executableDir, const QString& configRoot,
                               const QString& installedDir) {
  const harvest::FilePath exeDir = ToFilePath(executableDir + QLatin1Char('/'));
  const bool installed = !installedDir.isEmpty() && QDir(executableDir) == QDir(installedDir);
  if (!installed && ::access(exeDir.native.c_str(), W_OK) == 0) return exeDir;
  const QString own = configRoot + QStringLiteral("/kelvane/");
  QDir().mkpath(own);
  return ToFilePath(own);
}

harvest::FilePath ChooseAppDir() {
  return ChooseAppDir(QCoreApplication::applicationDirPath(),
                      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                      QStringLiteral(KELVANE_INSTALL_BINDIR));
}

harvest::FilePath RunsDir(const harvest::FilePath& appDir, const QString& configRoot,
                          const QString& dataRoot) {
  // The user's configuration folder holds settings, not data: the numbers
  // go to the data folder. Anywhere else (the program's own folder) they
  // stay beside the progress file.
  if (appDir.native == ToFilePath(configRoot + QStringLiteral("/kelvane/")).native)
    return ToFilePath(dataRoot + QStringLiteral("/kelvane/runs/"));
  return appDir.Child("runs/");
}

harvest::FilePath RunsDir(const harvest::FilePath& appDir) {
  return RunsDir(appDir, QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

}  // namespace platform
