// JPEG data, as the About box's pictures are stored: decoded through
// libjpeg's own API. Damaged data must end in the decoder's error, never in a
// crash, and a failed load keeps the picture that was there.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "harvest/errors.h"
#include "platform/jpeg_image.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// libjpeg is the system's library, built without coverage feedback, so
// libFuzzer cannot see how far into a picture a decoding got. The message it
// ended with tells: each distinct one counts as a feature of its own. Its
// numbers are left out, or every byte value in "starts with 0x%02x" would
// count as progress.
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t messagesSeen[4096];

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

void NoteMessage(std::string_view message) {
  std::string shape;
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message.substr(i).starts_with("0x")) {
      for (i += 2; i < message.size() && IsHexDigit(message[i]);) ++i;
    }
    if (i < message.size() && (message[i] < '0' || message[i] > '9')) shape += message[i];
  }
  messagesSeen[std::hash<std::string>{}(shape) % sizeof messagesSeen] = 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  platform::JpegImage picture;
  try {
    picture.LoadFromBytes(bytes);
  } catch (const harvest::Exception& error) {
    NoteMessage(error.Message());
    fuzz::Require(error.Message().starts_with("JPEG error: "), "the error is the decoder's");
    fuzz::Require(picture.Empty(), "a failed load leaves no picture");
    return 0;
  }
  fuzz::Require(!picture.Empty() && picture.Width() > 0 && picture.Height() > 0,
                "a decoded picture has pixels");
  fuzz::Require(picture.ToImage().format() == QImage::Format_RGB888, "pixels are RGB");

  // A second load of the same bytes gives the same pixels: nothing from the
  // first decoding lingers.
  const QImage first = picture.ToImage();
  picture.LoadFromBytes(bytes);
  fuzz::Require(picture.ToImage() == first, "decoding is repeatable");
  return 0;
}
