#include "tools/art/art_files.h"

#include "tools/art/bmp_file.h"
#include "tools/art/ico_file.h"
#include "tools/art/jpeg_file.h"
#include "tools/art/program_icon.h"
#include "tools/art/splash_picture.h"
#include "tools/art/toolbar_images.h"

namespace quorvel::art {

std::vector<ArtFile> MakeArtFiles() {
  std::vector<Image> icons;
  icons.reserve(kProgramIconSizes.size());
  for (const int size : kProgramIconSizes) icons.push_back(DrawProgramIcon(size));
  return {
      {"images.bmp", EncodeBmp(DrawPictureStrip())},
      {"quorvel.ico", EncodeIco(icons)},
      {"splash.jpg", EncodeJpeg(DrawSplashPicture())},
  };
}

}  // namespace quorvel::art
