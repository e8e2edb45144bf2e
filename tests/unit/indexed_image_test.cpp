#include "ui/tray/indexed_image.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvel::ui {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(IndexedImageTest, TheColourTableIsBlueGreenRedZero) {
  const IndexedImage image = ReduceColours({0xABCDEF, 0xFF123456, 0xABCDEF});
  EXPECT_EQ(ColourTable(image), (Bytes{0x56, 0x34, 0x12, 0, 0xEF, 0xCD, 0xAB, 0}));
  EXPECT_EQ(image.indices, (Bytes{1, 0, 1}));
}

TEST(IndexedImageTest, RowsArePaddedToWholeWords) {
  IndexedImage image;
  for (std::uint8_t i = 1; i <= 10; ++i) image.indices.push_back(i);
  EXPECT_EQ(RowStride8(5), 8u);
  EXPECT_EQ(PaddedRows(image, 5), (Bytes{1, 2, 3, 4, 5, 0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0}));
  EXPECT_EQ(PaddedRows(image, 10), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0}));
  EXPECT_EQ(PaddedRows(image, 2).size(), 5u * 4);
  EXPECT_TRUE(PaddedRows(image, 3).empty()) << "no whole rows";
  EXPECT_TRUE(PaddedRows(image, 0).empty());
}

}  // namespace
}  // namespace quorvel::ui
