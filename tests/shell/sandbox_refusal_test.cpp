// As root the program starts only when the user has turned the browser's
// sandbox off; it never does so itself.

#include <gtest/gtest.h>

#include "shell/application.h"

namespace {

struct SandboxCase {
  const char* what;
  bool root;
  std::vector<std::pair<const char*, const char*>> environment;
  bool refused;
};

TEST(SandboxRefusal, AsRootOnlyWhenTheUserTurnedTheSandboxOff) {
  const SandboxCase cases[] = {
      {"ordinary user", false, {}, false},
      {"root", true, {}, true},
      {"root, sandbox off", true, {{"QTWEBENGINE_DISABLE_SANDBOX", "1"}}, false},
      {"root, sandbox off by flag", true, {{"QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox"}}, false},
      {"root, other flags", true, {{"QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandboxes"}}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QProcessEnvironment environment;
    for (const auto& [name, value] : c.environment) {
      environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    }
    const auto refusal = shell::SandboxRefusal(c.root, environment);
    EXPECT_EQ(refusal.has_value(), c.refused);
    if (refusal) {
      EXPECT_NE(refusal->find("QTWEBENGINE_DISABLE_SANDBOX=1"), std::string::npos);
    }
  }
}

}  // namespace
