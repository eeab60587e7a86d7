#include "shell/window_geometry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "harvest/posix_file.h"
#include "shell/screen_fit.h"

namespace shell {
namespace {

constexpr std::string_view kSection = "[MainWindow]";
constexpr std::size_t kMaxFileBytes = 4096;  // a few lines; anything longer is not ours
constexpr int kMaxCoordinate = 1 << 20;

struct Remembered {
  QRect normal;
  bool maximized = false;
};

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "X,Y,WIDTH,HEIGHT": four whole numbers, a size of at least one pixel.
std::optional<QRect> ParseRect(std::string_view text) {
  int values[4] = {};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && (at == end || *at++ != ',')) return {};
    const auto [next, error] = std::from_chars(at, end, values[i]);
    if (error != std::errc() || values[i] < -kMaxCoordinate || values[i] > kMaxCoordinate)
      return {};
    at = next;
  }
  if (at != end || values[2] <= 0 || values[3] <= 0) return {};
  return QRect(values[0], values[1], values[2], values[3]);
}

std::optional<Remembered> Parse(std::string_view text) {
  std::optional<QRect> normal;
  bool maximized = false;
  bool inSection = false;
  while (!text.empty()) {
    const auto lineEnd = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, lineEnd));
    text.remove_prefix(lineEnd == std::string_view::npos ? text.size() : lineEnd + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      inSection = line == kSection;
      continue;
    }
    if (!inSection) continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return {};
    const std::string_view key = Trimmed(line.substr(0, equals));
    const std::string_view value = Trimmed(line.substr(equals + 1));
    if (key == "geometry") {
      if (!(normal = ParseRect(value))) return {};
    } else if (key == "maximized") {
      if (value != "true" && value != "false") return {};
      maximized = value == "true";
    }
  }
  if (!normal) return {};
  return Remembered{*normal, maximized};
}

// The file's bytes when it is the user's own regular file, of a size a
// settings file has; no link is followed, and a pipe or device put in its
// place does not hold the start.
std::optional<std::string> ReadOwnFile(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  std::optional<std::string> bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
      static_cast<std::size_t>(info.st_size) <= kMaxFileBytes) {
    std::string buffer(kMaxFileBytes + 1, '\0');
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got >= 0 && static_cast<std::size_t>(got) <= kMaxFileBytes) bytes = buffer.substr(0, got);
  }
  ::close(fd);
  return bytes;
}

void Write(const std::filesystem::path& file, const Remembered& geometry) {
  const QRect& r = geometry.normal;
  const std::string text = std::string(kSection) + "\ngeometry=" + std::to_string(r.x()) + ',' +
                           std::to_string(r.y()) + ',' + std::to_string(r.width()) + ',' +
                           std::to_string(r.height()) +
                           "\nmaximized=" + (geometry.maximized ? "true" : "false") + '\n';
  harvest::ReplacingWriter writer(harvest::ReplacingWriter::Temporary::Unnamed,
                                  harvest::ReplacingWriter::Links::Refuse);
  if (writer.Begin(file) == 0 && writer.Write(text) == 0) writer.Commit();
}

// Saves the window's geometry whenever the program hides it (the window
// system's own hiding, as when it is minimised, is not the program's), and
// keeps a maximised start maximised: Qt makes the main window's native
// window again when the browser first draws, and Qt 6.4 makes the new one
// in no state.
class GeometryKeeper final : public QObject {
 public:
  GeometryKeeper(QWidget& window, std::filesystem::path file)
      : QObject(&window), window_(window), file_(std::move(file)) {
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    QWindow* native = window_.windowHandle();
    if (event->type() == QEvent::WinIdChange && window_.internalWinId() && native &&
        native->windowStates() != window_.windowState()) {
      native->setWindowStates(window_.windowState());
    } else if (event->type() == QEvent::Hide && !event->spontaneous()) {
      const QRect normal = window_.normalGeometry();
      Write(file_, {normal.isValid() ? normal : window_.geometry(), window_.isMaximized()});
    }
    return false;
  }

 private:
  QWidget& window_;
  const std::filesystem::path file_;
};

}  // namespace

bool RememberGeometry(QWidget& window, const std::filesystem::path& file) {
  new GeometryKeeper(window, file);
  const std::optional<std::string> text = ReadOwnFile(file);
  const std::optional<Remembered> remembered = text ? Parse(*text) : std::nullopt;
  if (!remembered) return false;
  const QScreen* screen = QGuiApplication::screenAt(remembered->normal.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect normal =
      screen ? FitWithin(remembered->normal, {}, screen->availableGeometry()) : remembered->normal;
  // On Wayland the compositor places every window.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
    window.resize(normal.size());
  } else {
    window.setGeometry(normal);
  }
  if (remembered->maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
  return true;
}

}  // namespace shell
