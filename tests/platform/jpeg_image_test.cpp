#include "platform/jpeg_image.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageWriter>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "harvest/errors.h"

namespace platform {
namespace {

// The About box's pictures, read from the source tree.
std::filesystem::path PicturePath(const char* name) {
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "shell" /
         "pictures" / name;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A picture encoded by Qt's own writer, to decode with ours.
std::string EncodeJpeg(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, "JPG", 95));
  return bytes.toStdString();
}

// The error message of loading `bytes`, or "" when it loads.
std::string LoadError(JpegImage& picture, std::string_view bytes) {
  try {
    picture.LoadFromBytes(bytes);
  } catch (const harvest::Exception& error) {
    return error.Message();
  }
  return {};
}

int LargestChannelDifference(const QImage& a, const QImage& b) {
  int largest = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q))});
    }
  }
  return largest;
}

struct CommittedPicture {
  const char* file;
  QSize size;
};

TEST(JpegImage, DecodesTheAboutBoxPicturesToTheirSizesAndColours) {
  const CommittedPicture pictures[] = {{"logo.jpg", {66, 46}}, {"banner.jpg", {188, 18}}};
  for (const auto& [file, size] : pictures) {
    SCOPED_TRACE(file);
    const std::string bytes = ReadBytes(PicturePath(file));
    JpegImage picture;
    EXPECT_TRUE(picture.Empty());
    picture.LoadFromBytes(bytes);
    EXPECT_FALSE(picture.Empty());
    EXPECT_EQ(QSize(picture.Width(), picture.Height()), size);
    ASSERT_EQ(picture.ToImage().size(), size);

    // The same pixels as Qt's decoder gives, channels and rows in place;
    // both use libjpeg, so only rounding may differ.
    const QImage reference = QImage::fromData(QByteArray::fromStdString(bytes), "JPG");
    ASSERT_EQ(reference.size(), size);
    EXPECT_LE(LargestChannelDifference(picture.ToImage(), reference), 2);
  }
}

TEST(JpegImage, ChannelsAndGreyPicturesComeOutAsRgb) {
  // Left half red, right half blue: swapped channels would show at once.
  QImage halves(32, 16, QImage::Format_RGB32);
  halves.fill(QColor(255, 0, 0));
  for (int y = 0; y < 16; ++y) {
    for (int x = 16; x < 32; ++x) halves.setPixel(x, y, qRgb(0, 0, 255));
  }
  QImage grey(24, 8, QImage::Format_Grayscale8);
  grey.fill(QColor(128, 128, 128));

  JpegImage picture;
  picture.LoadFromBytes(EncodeJpeg(halves));
  const QColor left = picture.ToImage().pixelColor(4, 8);
  const QColor right = picture.ToImage().pixelColor(27, 8);
  EXPECT_GT(left.red(), 230);
  EXPECT_LT(left.blue(), 30);
  EXPECT_GT(right.blue(), 230);
  EXPECT_LT(right.red(), 30);

  picture.LoadFromBytes(EncodeJpeg(grey));
  EXPECT_EQ(QSize(picture.Width(), picture.Height()), QSize(24, 8));
  const QColor middle = picture.ToImage().pixelColor(12, 4);
  EXPECT_EQ(middle.red(), middle.green());
  EXPECT_EQ(middle.green(), middle.blue());
  EXPECT_NEAR(middle.red(), 128, 3);
}

TEST(JpegImage, RejectsTruncatedPictures) {
  const std::string whole = ReadBytes(PicturePath("logo.jpg"));
  ASSERT_GT(whole.size(), 100u);
  // Cut inside the header, inside the entropy-coded data, and just before
  // the end-of-image marker: libjpeg alone would fill the rest with grey.
  const std::size_t cuts[] = {2, 40, whole.size() / 2, whole.size() - 2};
  for (const std::size_t cut : cuts) {
    SCOPED_TRACE(cut);
    JpegImage picture;
    EXPECT_EQ(LoadError(picture, std::string_view(whole).substr(0, cut)),
              "JPEG error: Premature end of JPEG file");
    EXPECT_TRUE(picture.Empty());
  }
}

TEST(JpegImage, RejectsDataThatIsNotAWholeJpegPicture) {
  const std::string whole = ReadBytes(PicturePath("banner.jpg"));
  // An end-of-image marker planted in the middle of the scan data.
  std::string damaged = whole;
  damaged.replace(damaged.size() - 200, 2, "\xFF\xD9");

  const std::pair<std::string, std::string> cases[] = {
      {"", "JPEG error: Empty input file"},
      {"not a picture", "JPEG error: Not a JPEG file: starts with 0x6e 0x6f"},
      {std::string("\xFF\xD8\xFF\xFF\xFF\x01garbage", 13), "JPEG error: "},
      {damaged, "JPEG error: Corrupt JPEG data"},
  };
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(expected);
    JpegImage picture;
    const std::string message = LoadError(picture, bytes);
    EXPECT_EQ(message.substr(0, expected.size()), expected);
    EXPECT_GT(message.size(), std::string("JPEG error: ").size())
        << "libjpeg's own text is missing";
    EXPECT_TRUE(picture.Empty());
  }
}

// A small picture whose frame header is made to claim `width` x `height`.
std::string ClaimSize(bool progressive, quint16 width, quint16 height) {
  QImage image(16, 16, QImage::Format_RGB32);
  image.fill(QColor(40, 120, 200));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "JPG");
  writer.setProgressiveScanWrite(progressive);
  EXPECT_TRUE(writer.write(image));
  std::string jpeg = bytes.toStdString();
  // The frame header: FF Cn, length, precision, height, width.
  const std::size_t frame = jpeg.find(progressive ? "\xFF\xC2" : "\xFF\xC0");
  EXPECT_NE(frame, std::string::npos);
  const char size[] = {char(height >> 8), char(height & 0xFF), char(width >> 8),
                       char(width & 0xFF)};
  jpeg.replace(frame + 5, 4, size, 4);
  return jpeg;
}

TEST(JpegImage, OutOfMemoryOnAHeaderClaimingAHugePicture) {
  // 256 MiB of RGB pixels is the most a picture may take; beyond it the
  // header alone decides, before any pixel or coefficient memory is taken.
  struct Case {
    bool progressive;
    quint16 width, height;
    bool tooLarge;
  };
  const Case cases[] = {
      {false, 65500, 65500, true},
      {true, 65500, 65500, true},
      {false, 16384, 5462, true},  // 268468224 bytes: just over
      {true, 16384, 5462, true},
      {false, 16384, 5461, false},  // 268419072 bytes: just under, decoded until the data ends
  };
  for (const auto& [progressive, width, height, tooLarge] : cases) {
    SCOPED_TRACE(testing::Message()
                 << width << " x " << height << (progressive ? " progressive" : ""));
    JpegImage picture;
    const std::string message = LoadError(picture, ClaimSize(progressive, width, height));
    const std::string refusal = "JPEG error: Picture too large (" + std::to_string(width) + " x " +
                                std::to_string(height) + ")";
    if (tooLarge) {
      EXPECT_EQ(message, refusal);
    } else {
      EXPECT_NE(message, refusal);
      EXPECT_FALSE(message.empty()) << "the data of a 16 x 16 picture cannot fill it";
    }
    EXPECT_TRUE(picture.Empty());
  }
}

TEST(JpegImage, AFailedLoadKeepsThePictureItHad) {
  JpegImage picture;
  picture.LoadFromFile(QString::fromStdString(PicturePath("logo.jpg").string()));
  EXPECT_FALSE(LoadError(picture, "not a picture").empty());
  EXPECT_EQ(QSize(picture.Width(), picture.Height()), QSize(66, 46));
}

TEST(JpegImage, AFileThatCannotBeReadRaisesTheOpenError) {
  const std::string missing = (PicturePath("no-such-picture.jpg")).string();
  JpegImage picture;
  try {
    picture.LoadFromFile(QString::fromStdString(missing));
    ADD_FAILURE() << "no error";
  } catch (const harvest::FileOpenError& error) {
    EXPECT_EQ(error.Message(), "Cannot open file " + missing);
  }
}

}  // namespace
}  // namespace platform
