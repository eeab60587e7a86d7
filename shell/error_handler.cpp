#include "shell/error_handler.h"

#include <QCoreApplication>
#include <new>

#include "harvest/errors.h"
#include "platform/gbk_codec.h"
#include "shell/dialogs.h"

namespace shell {
namespace {

// The context the error texts the window words itself are translated in.
struct ErrorTexts {
  Q_DECLARE_TR_FUNCTIONS(ErrorHandler)
};

}  // namespace

QString ErrorBoxText(std::exception_ptr error) {
  std::string message;
  try {
    std::rethrow_exception(error);
  } catch (const harvest::NoKeywordsError&) {
    message = platform::ToGbk(ErrorTexts::tr("请先导入关键字列表文件"));
  } catch (const harvest::PageTextError&) {
    message = platform::ToGbk(ErrorTexts::tr("无法读取网页正文"));
  } catch (const harvest::Exception& e) {
    message = e.Message();
  } catch (const std::bad_alloc&) {
    message = platform::ToGbk(ErrorTexts::tr("Out of memory"));
  } catch (const std::exception& e) {
    message = e.what();  // the library's own texts are ASCII
  } catch (...) {
    message = platform::ToGbk(ErrorTexts::tr("Unknown error"));
  }
  return platform::FromGbk(harvest::ErrorDisplayText(std::move(message)));
}

void HandleException(std::exception_ptr error) {
  try {
    // Opened without a loop of its own: a run's timer and a merge go on.
    OpenErrorBox(ErrorBoxText(error));
  } catch (...) {
    // Nothing is left to report to; the message loop goes on.
  }
}

}  // namespace shell
