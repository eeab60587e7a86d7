#pragma once
// JpegImage: a JPEG picture decoded by libjpeg's own API (not Qt's image
// plugins), as the About box's pictures are stored.
//
// Damaged data is an error: besides the errors libjpeg raises itself, its
// warnings about damaged data (a truncated file, a broken data segment, a
// bad Huffman code...) end the decoding too, where libjpeg alone would make
// up the missing rows. So is a picture whose pixels would take more than
// 256 MiB ("Picture too large (W x H)"), refused from its header. The error
// is a harvest::Exception "JPEG error: " followed by the message text.

#include <QImage>
#include <QString>
#include <string_view>

namespace platform {

class JpegImage {
 public:
  // Decodes `jpegData`. On an error the picture keeps what it held before.
  void LoadFromBytes(std::string_view jpegData);
  // Reads a file (or a Qt resource such as ":/pictures/logo.jpg") whole and
  // decodes it; a file that cannot be read raises "Cannot open file %s".
  void LoadFromFile(const QString& fileName);

  bool Empty() const { return image_.isNull(); }
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  // The decoded pixels (RGB, 8 bits a channel); a null image while empty.
  const QImage& ToImage() const { return image_; }

 private:
  QImage image_;
};

}  // namespace platform
