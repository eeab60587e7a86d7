#!/usr/bin/env bash
# Installs the Debian 12 packages Kelvane builds, runs and tests with, and
# nothing when they are all there already. Runs without a terminal (CI).
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config python3
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3-icu
  # the fuzz targets: clang and its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # the program: Qt Widgets, Qt WebEngine, Qt on Wayland, Qt's Chinese
  # translations, ICU, libjpeg
  qt6-base-dev qt6-webengine-dev qt6-wayland qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libqt6svg6 libicu-dev libjpeg62-turbo-dev
  # Chinese on screen, and a display where there is none
  fonts-wqy-microhei xvfb xauth
  # the tray test: a standalone notification area and a mouse to click it;
  # the window-title test reads titles back (xprop); the sandbox test looks
  # at the browser's processes (pgrep) and runs as another user (setpriv)
  trayer xdotool x11-utils procps util-linux
  # a real-program test whose window does not show prints the threads of
  # the program still running
  gdb
  # the window-fit test: a window manager that frames the window (beside
  # trayer as a docked panel, read by pyatspi as below)
  openbox
  # the StatusNotifier test: a private session bus and a stand-in desktop on
  # it; the Wayland test: a headless compositor
  dbus-daemon dbus-bin python3-dbus python3-gi weston
  # the screen-reader test and benchmarks: Qt's GTK 3 platform theme, the
  # AT-SPI bus and registry, and a screen reader's view and events (pyatspi)
  qt6-gtk-platformtheme at-spi2-core python3-pyatspi
  # the package: CPack's dependency list (dpkg-shlibdeps, file), Debian's
  # checks of the package, the desktop entry and the metadata, manual pages
  dpkg-dev file lintian desktop-file-utils appstream man-db
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
