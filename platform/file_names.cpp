#include "platform/file_names.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "platform/gbk_codec.h"

namespace platform {

harvest::FilePath ToFilePath(const QString& name) {
  const QByteArray native = QFile::encodeName(QDir::toNativeSeparators(name));
  return {std::filesystem::path(native.toStdString()), ToGbk(name)};
}

harvest::FilePath ExecutableDir() {
  QString dir = QCoreApplication::applicationDirPath();
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return ToFilePath(dir);
}

}  // namespace platform

namespace platform {

harvest::FilePath ChooseAppDir(const QString& executableDir, const QString& configRoot) {
  const harvest::FilePath exeDir = ToFilePath(executableDir + QLatin1Char('/'));
  if (::access(exeDir.native.c_str(), W_OK) == 0) return exeDir;
  const QString own = configRoot + QStringLiteral("/kelvane/");
  QDir().mkpath(own);
  return ToFilePath(own);
}

harvest::FilePath ChooseAppDir() {
  return ChooseAppDir(QCoreApplication::applicationDirPath(),
                      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

}  // namespace platform
