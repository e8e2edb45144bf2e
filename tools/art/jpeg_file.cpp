#include "tools/art/jpeg_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// jpeglib.h wants FILE and size_t declared before it.
#include <jpeglib.h>

namespace quorvel::art {

namespace {

void AppendBe16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void AppendBe32(Bytes& out, std::uint32_t value) {
  AppendBe16(out, static_cast<std::uint16_t>(value >> 16));
  AppendBe16(out, static_cast<std::uint16_t>(value));
}

void AppendText(Bytes& out, std::string_view text) {
  for (const char c : text) out.push_back(static_cast<std::uint8_t>(c));
}

void PadTo4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// s15Fixed16Number.
std::uint32_t Fixed(double value) {
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(value * 65536)));
}

void AppendXyz(Bytes& out, double x, double y, double z) {
  AppendText(out, "XYZ ");
  AppendBe32(out, 0);
  AppendBe32(out, Fixed(x));
  AppendBe32(out, Fixed(y));
  AppendBe32(out, Fixed(z));
}

// textDescriptionType: the ASCII text, then empty Unicode and ScriptCode texts.
void AppendDescription(Bytes& out, std::string_view text) {
  AppendText(out, "desc");
  AppendBe32(out, 0);
  AppendBe32(out, static_cast<std::uint32_t>(text.size() + 1));
  AppendText(out, text);
  out.push_back(0);
  AppendBe32(out, 0);  // Unicode language
  AppendBe32(out, 0);  // Unicode count
  AppendBe16(out, 0);  // ScriptCode code
  out.push_back(0);    // ScriptCode count
  out.insert(out.end(), 67, 0);
}

}  // namespace

Bytes ExifSegment() {
  Bytes out;
  AppendText(out, std::string_view("Exif\0\0", 6));
  AppendText(out, "II");
  AppendLe16(out, 42);
  AppendLe32(out, 8);       // IFD0
  AppendLe16(out, 1);       // entries
  AppendLe16(out, 0x0131);  // Software
  AppendLe16(out, 2);       // ASCII
  AppendLe32(out, 8);       // count, with the NUL
  AppendLe32(out, 8 + 2 + 12 + 4);
  AppendLe32(out, 0);  // no next IFD
  AppendText(out, std::string_view("Quorvel\0", 8));
  return out;
}

Bytes XmpSegment() {
  const std::string segment =
      std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
      "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
      "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">"
      "<xmp:CreatorTool>Quorvel</xmp:CreatorTool>"
      "</rdf:Description></rdf:RDF></x:xmpmeta>"
      "<?xpacket end=\"r\"?>";
  return Bytes(segment.begin(), segment.end());
}

Bytes IccProfile() {
  // Tag data, each element at a multiple of 4; the three curves share one.
  struct Tag {
    const char* signature;
    std::size_t data;
    std::size_t size;
  };
  Bytes data;
  std::vector<Tag> tags;
  const auto add = [&](const char* signature, auto append) {
    const std::size_t at = data.size();
    append(data);
    tags.push_back({signature, at, data.size() - at});
    PadTo4(data);
  };
  add("desc", [](Bytes& out) { AppendDescription(out, "Quorvel sRGB-like"); });
  add("cprt", [](Bytes& out) {
    AppendText(out, "text");
    AppendBe32(out, 0);
    AppendText(out, std::string_view("No copyright, use freely\0", 25));
  });
  add("wtpt", [](Bytes& out) { AppendXyz(out, 0.9642, 1.0, 0.8249); });
  add("rXYZ", [](Bytes& out) { AppendXyz(out, 0.4361, 0.2225, 0.0139); });
  add("gXYZ", [](Bytes& out) { AppendXyz(out, 0.3851, 0.7169, 0.0971); });
  add("bXYZ", [](Bytes& out) { AppendXyz(out, 0.1431, 0.0606, 0.7141); });
  add("rTRC", [](Bytes& out) {
    AppendText(out, "curv");
    AppendBe32(out, 0);
    AppendBe32(out, 1);       // one entry: a gamma,
    AppendBe16(out, 0x0233);  // u8Fixed8 2.2
  });
  tags.push_back({"gTRC", tags.back().data, tags.back().size});
  tags.push_back({"bTRC", tags.back().data, tags.back().size});

  const std::size_t table = 4 + 12 * tags.size();
  const std::size_t size = 128 + table + data.size();
  Bytes out;
  AppendBe32(out, static_cast<std::uint32_t>(size));
  AppendBe32(out, 0);           // preferred CMM
  AppendBe32(out, 0x02100000);  // version 2.1
  AppendText(out, "mntrRGB XYZ ");
  for (const std::uint16_t field : {2024, 1, 1, 0, 0, 0}) AppendBe16(out, field);
  AppendText(out, "acsp");
  out.insert(out.end(), 4 + 4 + 4 + 4 + 8, 0);  // platform, flags, maker, model, attributes
  AppendBe32(out, 0);                           // perceptual
  AppendBe32(out, Fixed(0.9642));               // the PCS illuminant, D50
  AppendBe32(out, Fixed(1.0));
  AppendBe32(out, Fixed(0.8249));
  out.insert(out.end(), 4 + 16 + 28, 0);  // creator, profile ID, reserved
  AppendBe32(out, static_cast<std::uint32_t>(tags.size()));
  for (const Tag& tag : tags) {
    AppendText(out, tag.signature);
    AppendBe32(out, static_cast<std::uint32_t>(128 + table + tag.data));
    AppendBe32(out, static_cast<std::uint32_t>(tag.size));
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes EncodeJpeg(const Image& image) {
  // The library's default error handler prints and exits: the settings are
  // fixed, so only a fault of this program or a lack of memory can reach it.
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);

  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, /*force_baseline=*/TRUE);
  info.dct_method = JDCT_ISLOW;
  info.write_JFIF_header = FALSE;
  info.write_Adobe_marker = TRUE;
  jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);

  const Bytes exif = ExifSegment();
  const Bytes xmp = XmpSegment();
  const Bytes icc = IccProfile();
  jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
  jpeg_write_marker(&info, JPEG_APP0 + 1, xmp.data(), static_cast<unsigned>(xmp.size()));
  jpeg_write_icc_profile(&info, icc.data(), static_cast<unsigned>(icc.size()));

  std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * 3);
  while (info.next_scanline < info.image_height) {
    const std::uint8_t* source =
        &image.rgba[static_cast<std::size_t>(info.next_scanline) * image.width * 4];
    for (int x = 0; x < image.width; ++x) {
      for (int c = 0; c < 3; ++c) row[x * 3 + c] = source[x * 4 + c];
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

}  // namespace quorvel::art
