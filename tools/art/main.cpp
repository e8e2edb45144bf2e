// quorvel-art: draws the program's pictures.
//
//   quorvel-art OUTDIR
//
// Writes OUTDIR/images.bmp (the strip of 16 x 16 pictures),
// OUTDIR/quorvel.ico (the program's icon) and OUTDIR/splash.jpg (the splash
// picture). The output depends on nothing but this program and the version
// of the JPEG library, so it is the same bytes every time; the copies in
// ui/res are made with scripts/make-art.sh.
//
// Exit status: 0 when written, 1 when a file cannot be written, 2 on a bad
// command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tools/art/art_files.h"
#include "tools/cli_options.h"

namespace {

// Empty on success, else what went wrong, with the system's reason.
std::string WriteFile(const std::string& path, const quorvel::art::Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "cannot create " + path + ": " + std::strerror(errno);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_error = errno;
  const bool closed = std::fclose(file) == 0;
  const int close_error = errno;
  if (!written) return "cannot write " + path + ": " + std::strerror(write_error);
  if (!closed) return "cannot write " + path + ": " + std::strerror(close_error);
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  using quorvel::tools::Taken;
  // No options: one folder, which does not look like one.
  std::vector<std::string_view> folders;
  quorvel::tools::CommandLine<char> line;
  line.Others([&](std::string_view arg) {
    if (arg.starts_with('-')) return Taken::kUnknown;
    folders.push_back(arg);
    return Taken::kYes;
  });
  if (line.Walk(argc, argv) || folders.size() != 1) {
    std::fputs("usage: quorvel-art OUTDIR\n", stderr);
    return 2;
  }
  const std::string dir(folders.front());
  for (const quorvel::art::ArtFile& file : quorvel::art::MakeArtFiles()) {
    const std::string error = WriteFile(dir + "/" + file.name, file.bytes);
    if (!error.empty()) {
      std::fprintf(stderr, "quorvel-art: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}
