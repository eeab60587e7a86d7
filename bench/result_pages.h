#pragma once
// The benchmarks' stand-in result pages: new mobile numbers and GBK text.

#include <QByteArray>
#include <string>

// "15" numbers whose other digits avoid 1 and 3, so that no "13" hides
// inside one; every call gives new ones.
class NumberSource {
 public:
  std::string Next() {
    static constexpr char kDigits[] = "02456789";
    std::string number = "15";
    long long n = counter_++;
    for (int i = 0; i < 9; ++i, n /= 8) number += kDigits[n % 8];
    return number;
  }

 private:
  long long counter_ = 0;
};

// A result page in GBK: `numbers` numbers three to a line, padding text up
// to `bytes`, and the pager line that promises a next page.
inline QByteArray ResultPage(NumberSource& source, int numbers, qsizetype bytes = 0) {
  QByteArray body = "<html><head><meta charset=gbk></head><body><div>";
  for (int i = 0; i < numbers; ++i) {
    body += "tel " + QByteArray::fromStdString(source.Next()) + (i % 3 == 2 ? "<br>\n" : " ");
  }
  body += "</div><p>";
  const QByteArray filler = "\xCA\xD6\xBB\xFA\xBA\xC5\xC2\xEB shop 0571-8888 ";  // "手机号码"
  while (body.size() < bytes) body += filler + (body.size() % 900 < filler.size() ? "<br>\n" : "");
  body += "</p><p>1 2 3 \xCF\xC2\xD2\xBB\xD2\xB3&gt;</p></body></html>";  // "下一页>"
  return body;
}
