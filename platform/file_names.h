#pragma once
// File names at the edge: a name from a dialog or from the system becomes a
// harvest::FilePath, its GBK text for showing and storing plus the native
// bytes the file system opens.

#include <QString>
#include <filesystem>

#include "harvest/file_path.h"

namespace platform {

// A name that Qt could not decode (parts with U+FFFD) is found in its
// folder's listing and opened by the bytes found there.
harvest::FilePath ToFilePath(const QString& name);

// A path of the program's own files (its bytes on disk) as the user reads it.
QString ShownPath(const std::filesystem::path& path);

// The folder of the running executable, with a trailing separator.
harvest::FilePath ExecutableDir();

// The program's own folder for its progress file, with a trailing separator:
// the executable's folder when the user may write there (a build tree, an
// unpacked copy), otherwise, as for a system-wide installation, the user's
// configuration folder ($XDG_CONFIG_HOME/kelvane, made when missing). The
// folder the program is installed into is never its own, even for root,
// who may write there.
harvest::FilePath ChooseAppDir();
// The same choice between given folders (each without a trailing slash);
// `installedDir` is where an installed executable lives.
harvest::FilePath ChooseAppDir(const QString& executableDir, const QString& configRoot,
                               const QString& installedDir = {});

// Where the runs' own numbers files go, with a trailing separator:
// $XDG_DATA_HOME/kelvane/runs/ (~/.local/share/kelvane/runs/) when the
// program keeps its progress file in the user's configuration folder,
// otherwise "runs/" beside the progress file.
harvest::FilePath RunsDir(const harvest::FilePath& appDir);
// The same choice between given folders (each without a trailing slash).
harvest::FilePath RunsDir(const harvest::FilePath& appDir, const QString& configRoot,
                          const QString& dataRoot);

}  // namespace platform
