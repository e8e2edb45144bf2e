// The files the generator writes, made in memory: the program writes them
// out and the tests compare them with the committed copies.
#pragma once

#include <string>
#include <vector>

#include "tools/art/dib.h"

namespace quorvel::art {

struct ArtFile {
  std::string name;  // within the output directory
  Bytes bytes;
};

// images.bmp: the strip of small pictures (toolbar_images.h);
// quorvel.ico: the program's icon at every size (program_icon.h);
// splash.jpg: the splash picture (splash_picture.h, jpeg_file.h).
std::vector<ArtFile> MakeArtFiles();

}  // namespace quorvel::art
