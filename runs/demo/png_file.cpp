#include "runs/demo/png_file.h"

#include <algorithm>

namespace quorvel::tools {

namespace {

constexpr std::string_view kSignature = "\x89PNG\r\n\x1A\n";
constexpr std::size_t kStoredBlockMax = 65535;

void PutBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

void PutLittleEndian16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void PutChunk(std::string& out, std::string_view type, std::string_view data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.append(type);
  out.append(data);
  PutBigEndian(out, Crc32(std::string_view(out).substr(start)));
}

std::string ZlibStored(std::string_view raw) {
  std::string out = "\x78\x01";  // deflate, 32 KiB window; no dictionary, fastest
  std::size_t pos = 0;
  do {
    const std::size_t length = std::min(kStoredBlockMax, raw.size() - pos);
    const bool last = pos + length == raw.size();
    out.push_back(last ? '\x01' : '\x00');
    PutLittleEndian16(out, static_cast<std::uint32_t>(length));
    PutLittleEndian16(out, static_cast<std::uint32_t>(~length & 0xFFFF));
    out.append(raw.substr(pos, length));
    pos += length;
  } while (pos < raw.size());
  PutBigEndian(out, Adler32(raw));
  return out;
}

}  // namespace

std::string EncodePng(std::uint32_t width, std::uint32_t height, std::string_view rgb) {
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  if (width == 0 || height == 0 || rgb.size() != row_bytes * height) return {};
  std::string header;
  PutBigEndian(header, width);
  PutBigEndian(header, height);
  header += std::string_view("\x08\x02\x00\x00\x00", 5);

  std::string raw;
  raw.reserve((row_bytes + 1) * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    raw.push_back('\0');
    raw.append(rgb.substr(y * row_bytes, row_bytes));
  }

  std::string file(kSignature);
  PutChunk(file, "IHDR", header);
  PutChunk(file, "IDAT", ZlibStored(raw));
  PutChunk(file, "IEND", {});
  return file;
}

}  // namespace quorvel::tools
