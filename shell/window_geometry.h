#pragma once
// The main window's size and place between starts, in `kelvane.conf` beside
// the progress file, a small INI text:
//
//   [MainWindow]
//   geometry=X,Y,WIDTH,HEIGHT
//   maximized=false
//
// The geometry is the window's own, without its frame, as it is when not
// maximised. The file is read only when it is the user's own regular file,
// without following a link; anything unreadable or malformed counts as no
// file. It is written whole through a replacement that follows no link, and
// a failure to write it is silent: a lost size is not worth a message box.

#include <filesystem>

class QWidget;

namespace shell {

// Gives `window`, before it first shows, the geometry remembered in `file`,
// moved and shrunk into the screen's available area if it no longer fits
// (the size alone where a program cannot place its windows: Wayland), and
// remembers the window's each time the program hides it: closed for good,
// or hidden to the tray. Returns whether a geometry was given.
bool RememberGeometry(QWidget& window, const std::filesystem::path& file);

}  // namespace shell
