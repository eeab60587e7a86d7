#include "platform/jpeg_image.h"

#include <jerror.h>
#include <jpeglib.h>

#include <QFile>
#include <csetjmp>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <string>

#include "harvest/errors.h"
#include "platform/gbk_codec.h"

namespace platform {
namespace {

// A picture whose pixels would need more memory than this is refused from
// its header, before anything is reserved for it: a few bytes claiming
// 65500 x 65500 pixels must not make the program ask for gigabytes. Qt's own
// image readers stop at the same size.
constexpr std::uint64_t kMaxPixelBytes = std::uint64_t{256} << 20;

// libjpeg reports an error by calling error_exit, which must not return.
// Ours jumps back to the frame that started the decoding; the C++ exception
// is thrown only from there, never through libjpeg's C frames.
struct ErrorManager {
  jpeg_error_mgr pub;  // first member: libjpeg sees only this part
  std::jmp_buf escape;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpToDecoder(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, manager->message);
  std::longjmp(manager->escape, 1);
}

// Warnings that leave the pixels whole: unusual metadata only.
bool IsHarmlessWarning(int code) {
  return code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC;
}

// Level -1 is a warning, higher levels are trace messages. A warning about
// damaged data is an error here: libjpeg would go on and paint the missing
// part grey.
void TreatDamageAsError(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  if (!IsHarmlessWarning(cinfo->err->msg_code)) JumpToDecoder(cinfo);
  ++cinfo->err->num_warnings;
}

// One decompression object, destroyed whatever way the decoding ended.
class Decompressor {
 public:
  Decompressor() {
    cinfo_.err = jpeg_std_error(&errors_.pub);
    errors_.pub.error_exit = JumpToDecoder;
    errors_.pub.emit_message = TreatDamageAsError;
    errors_.message[0] = '\0';
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo_); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  // True with the pixels in `out`, or false with Message() telling why.
  // No object with a destructor may live in this frame across libjpeg's
  // calls: a longjmp out of them would skip it.
  bool Decode(std::string_view data, QImage& out) {
    if (setjmp(errors_.escape)) return false;
    jpeg_create_decompress(&cinfo_);
    jpeg_mem_src(&cinfo_, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo_, TRUE);
    cinfo_.out_color_space = JCS_RGB;  // grey pictures too; CMYK ones are refused
    // Checked before jpeg_start_decompress, which already reserves the
    // whole picture's coefficients when it is progressive.
    jpeg_calc_output_dimensions(&cinfo_);
    if (std::uint64_t{cinfo_.output_width} * cinfo_.output_height * 3 > kMaxPixelBytes) {
      return TooLarge();
    }
    jpeg_start_decompress(&cinfo_);
    out = QImage(static_cast<int>(cinfo_.output_width), static_cast<int>(cinfo_.output_height),
                 QImage::Format_RGB888);
    if (out.isNull()) return TooLarge();
    while (cinfo_.output_scanline < cinfo_.output_height) {
      JSAMPROW row = out.scanLine(static_cast<int>(cinfo_.output_scanline));
      jpeg_read_scanlines(&cinfo_, &row, 1);
    }
    jpeg_finish_decompress(&cinfo_);
    return true;
  }

  const char* Message() const { return errors_.message; }

 private:
  bool TooLarge() {
    std::snprintf(errors_.message, sizeof errors_.message, "Picture too large (%u x %u)",
                  cinfo_.output_width, cinfo_.output_height);
    return false;
  }

  jpeg_decompress_struct cinfo_{};  // zeroed: destroying it before creation is safe
  ErrorManager errors_{};
};

}  // namespace

void JpegImage::LoadFromBytes(std::string_view jpegData) {
  QImage decoded;
  Decompressor decompressor;
  if (!decompressor.Decode(jpegData, decoded)) {
    throw harvest::Exception(std::string("JPEG error: ") + decompressor.Message());
  }
  image_ = std::move(decoded);
}

void JpegImage::LoadFromFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) throw harvest::FileOpenError(ToGbk(fileName));
  const QByteArray data = file.readAll();
  LoadFromBytes(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
}

}  // namespace platform
