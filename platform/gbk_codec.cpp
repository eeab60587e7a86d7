#include "platform/gbk_codec.h"

#include <unicode/ucnv.h>

#include <memory>
#include <stdexcept>

namespace platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// One converter per thread: ICU converters keep state between calls.
UConverter& Gbk() {
  thread_local Converter converter = [] {
    UErrorCode status = U_ZERO_ERROR;
    Converter c(ucnv_open("GBK", &status));
    if (U_FAILURE(status)) throw std::runtime_error("ICU has no GBK converter");
    ucnv_setSubstChars(c.get(), "?", 1, &status);
    return c;
  }();
  ucnv_reset(converter.get());
  return *converter;
}

}  // namespace

QString FromGbk(std::string_view gbk) {
  if (gbk.empty()) return {};
  QString text(static_cast<qsizetype>(gbk.size()), Qt::Uninitialized);  // GBK never needs more units
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = ucnv_toUChars(&Gbk(), reinterpret_cast<UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                       gbk.data(), static_cast<int32_t>(gbk.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
  text.resize(length);
  return text;
}

std::string ToGbk(QStringView text) {
  if (text.isEmpty()) return {};
  std::string gbk(static_cast<std::size_t>(text.size()) * 2 + 2, '\0');  // at most two bytes a unit
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = ucnv_fromUChars(&Gbk(), gbk.data(), static_cast<int32_t>(gbk.size()),
                                         reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return text.toLatin1().toStdString();
  gbk.resize(static_cast<std::size_t>(length));
  return gbk;
}

}  // namespace platform
