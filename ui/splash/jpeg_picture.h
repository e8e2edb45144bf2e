// The splash picture's decoding: a JPEG file in memory to 24-bit pixels,
// with the JPEG library (libjpeg's interface) at fixed settings: the whole
// image at full size, accurate integer DCT, smooth chroma upsampling.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::ui::splash {

struct JpegPixels {
  int width = 0;
  int height = 0;
  // Rows top to bottom, `width` * 3 bytes each, a pixel as B, G, R (the
  // order of a Windows DIB).
  std::vector<std::uint8_t> bgr;
};

struct JpegDecoding {
  JpegPixels pixels;
  // Empty on success; else "JPEG error #N", N the library's message code
  // (JERR_* of jerror.h) of the fault that stopped it. Warnings (a
  // truncated scan, extra bytes) do not stop it.
  std::string error;
};

JpegDecoding DecodeJpeg(std::string_view file);

}  // namespace quorvel::ui::splash
