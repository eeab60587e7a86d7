#pragma once
// Every window and dialog opens wholly on its screen: at twice the normal
// scale or font size a designed size can be taller than the screen, which
// would put the title bar above its top edge and the buttons below its
// bottom. The first time a window shows, its size is the designed one
// clamped to the screen's available area (less its frame), and it is moved
// inside that area; once more when the window manager has framed it, and
// again whenever that area shrinks (a panel that docks later).

#include <QMargins>
#include <QRect>

class QApplication;

namespace shell {

// Where a window of `geometry` (without its frame) goes so that it and its
// `frame` lie within `available`: no larger than that area allows, moved in
// as little as it must be.
QRect FitWithin(const QRect& geometry, const QMargins& frame, const QRect& available);

// Fits each window to its screen when it first shows, again once the window
// manager has framed it, and when the screen's available area changes.
void FitWindowsToScreen(QApplication& app);

}  // namespace shell
