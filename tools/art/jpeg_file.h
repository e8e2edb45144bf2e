// The splash picture's file: a progressive JPEG written by the JPEG library
// at fixed settings (so the same image gives the same bytes), with the
// metadata segments a photo editor's file carries:
//   SOI, APP14 "Adobe" (the library's), APP1 "Exif\0\0" (a TIFF header and
//   one IFD: Software), APP1 XMP (a small x:xmpmeta packet), APP2
//   "ICC_PROFILE\0" 1 1 (an sRGB-like display profile), then the frames.
#pragma once

#include "tools/art/dib.h"
#include "tools/art/image.h"

namespace quorvel::art {

// The APP1 Exif segment's data (after the marker and length): "Exif\0\0",
// then little-endian TIFF: "II" 42, IFD at 8; one entry, 0x0131 Software,
// ASCII, "Quorvel\0" at offset 26; no next IFD.
Bytes ExifSegment();
// The APP1 XMP segment's data: the namespace and its NUL, then the packet.
Bytes XmpSegment();
// An ICC v2 display profile (RGB to XYZ): sRGB's primaries adapted to D50,
// a gamma 2.2 curve for each channel.
Bytes IccProfile();

// Three components (YCbCr from the image's RGB; alpha is ignored), quality
// 90, 2x2 chroma subsampling, the library's simple progression.
Bytes EncodeJpeg(const Image& image);

}  // namespace quorvel::art
