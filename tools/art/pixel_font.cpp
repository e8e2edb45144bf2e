#include "tools/art/pixel_font.h"

#include <cmath>
#include <memory>
#include <string_view>
#include <vector>

namespace quorvel::art {

namespace {

// One glyph: rows from the top of the cell, '#' marked; rows left out at
// the bottom are blank. Every row has the glyph's width.
struct Glyph {
  char32_t code;
  std::vector<std::string_view> rows;
};

const std::vector<Glyph>& Glyphs() {
  static const std::vector<Glyph> glyphs = {
      {U' ', {"...", "...", "...", "...", "...", "...", "..."}},
      {U'.', {".", ".", ".", ".", ".", ".", "#"}},
      {U'-', {"....", "....", "....", "####", "....", "....", "...."}},
      {U'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
      {U'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
      {U'D', {"###..", "#..#.", "#...#", "#...#", "#...#", "#..#.", "###.."}},
      {U'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
      {U'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
      {U'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
      {U'l', {"##.", ".#.", ".#.", ".#.", ".#.", ".#.", "###"}},
      {U'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
      {U'r', {"....", "....", "#.##", "##..", "#...", "#...", "#..."}},
      {U'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
      {U'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
      {U'б', {".####", "#....", "####.", "#...#", "#...#", "#...#", ".###."}},
      {U'в', {".....", ".....", "####.", "#...#", "####.", "#...#", "####."}},
      {U'е', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
      {U'з', {".....", ".....", ".###.", "#...#", "..##.", "#...#", ".###."}},
      {U'и', {".....", ".....", "#...#", "#..##", "#.#.#", "##..#", "#...#"}},
      {U'л', {".....", ".....", "..###", ".#..#", ".#..#", ".#..#", "#...#"}},
      {U'м', {".....", ".....", "#...#", "##.##", "#.#.#", "#...#", "#...#"}},
      {U'н', {".....", ".....", "#...#", "#...#", "#####", "#...#", "#...#"}},
      {U'о', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
      {U'п', {".....", ".....", "#####", "#...#", "#...#", "#...#", "#...#"}},
      {U'р', {".....", ".....", "####.", "#...#", "#...#", "#...#", "####.", "#....", "#...."}},
      {U'с', {"....", "....", ".###", "#...", "#...", "#...", ".###"}},
      {U'т', {".....", ".....", "#####", "..#..", "..#..", "..#..", "..#.."}},
      {U'х', {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"}},
      {U'ь', {"....", "....", "#...", "#...", "###.", "#..#", "###."}},
      {U'ы', {"......", "......", "#....#", "#....#", "###..#", "#..#.#", "###..#"}},
  };
  return glyphs;
}

const Glyph* Find(char32_t code) {
  for (const Glyph& glyph : Glyphs()) {
    if (glyph.code == code) return &glyph;
  }
  return nullptr;
}

int Advance(char32_t code) {
  const Glyph* glyph = Find(code);
  if (glyph == nullptr) glyph = Find(U'o');
  return static_cast<int>(glyph->rows[0].size()) + 1;  // a blank column between glyphs
}

// Every cell column of a text: the glyph it belongs to (null in a gap) and
// its column within that glyph.
struct Column {
  const Glyph* glyph = nullptr;
  int index = 0;
};

}  // namespace

double TextWidth(std::u32string_view text, double scale) {
  int cells = 0;
  for (const char32_t code : text) cells += Advance(code);
  return (cells > 0 ? cells - 1 : 0) * scale;  // no gap after the last glyph
}

Shape TextShape(std::u32string_view text, Point origin, double scale, double dot) {
  auto columns = std::make_shared<std::vector<Column>>();
  for (const char32_t code : text) {
    const Glyph* glyph = Find(code);
    const int width = Advance(code) - 1;
    for (int i = 0; i < width; ++i) columns->push_back({glyph, i});
    columns->push_back({});
  }
  return [columns, origin, scale, dot](Point p) {
    const double u = (p.x - origin.x) / scale;
    const double v = (p.y - origin.y) / scale;
    if (u < 0 || v < 0 || v >= kFontRows || u >= static_cast<double>(columns->size())) return 1.0;
    const Column& column = (*columns)[static_cast<std::size_t>(u)];
    const int row = static_cast<int>(v);
    if (column.glyph == nullptr || row >= static_cast<int>(column.glyph->rows.size()) ||
        column.glyph->rows[row][column.index] != '#')
      return 1.0;
    if (dot >= 1) return -1.0;
    const double dx = u - std::floor(u) - 0.5;
    const double dy = v - row - 0.5;
    return dx * dx + dy * dy < dot * dot / 4 ? -1.0 : 1.0;
  };
}

}  // namespace quorvel::art
