// What the error box says for each kind of error that reaches the handler.

#include "shell/error_handler.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "../harvest/gbk.h"
#include "harvest/errors.h"

namespace {

TEST(ErrorHandler, EveryErrorBecomesAMessageWithTheFullStopRule) {
  const std::pair<std::exception_ptr, QString> cases[] = {
      {std::make_exception_ptr(harvest::FileOpenError("/tmp/kw.txt")),
       QStringLiteral("Cannot open file /tmp/kw.txt.")},
      {std::make_exception_ptr(harvest::Exception(Gbk("请先导入关键字列表文件"))),
       QStringLiteral("请先导入关键字列表文件.")},
      {std::make_exception_ptr(harvest::Exception("Done!")), QStringLiteral("Done!")},
      {std::make_exception_ptr(std::bad_alloc()), QStringLiteral("Out of memory.")},
      {std::make_exception_ptr(std::runtime_error("lookup failed")),
       QStringLiteral("lookup failed.")},
      {std::make_exception_ptr(42), QStringLiteral("Unknown error.")},
  };
  for (const auto& [error, text] : cases) EXPECT_EQ(shell::ErrorBoxText(error), text);
}

}  // namespace
