// What the guide's tests read of an HTML page: the values of its link,
// picture and id attributes, the url() references of a style sheet, and the
// page's text as a reader sees it (tags left out, character references
// decoded, blanks kept).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing {

// The whole file, or empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// The values of every `name` attribute (href, src, id), in page order,
// character references decoded.
std::vector<std::string> AttributeValues(std::string_view html, std::string_view name);

// The references of every url(...) of a style sheet, quotes taken off.
std::vector<std::string> StyleUrls(std::string_view css);

// The page's text: comments and tags dropped, character references decoded.
std::string PageText(std::string_view html);

// The parts of a text the program shows that stay the same each time: the
// text cut where a number stands (decimal, or hexadecimal as the program
// prints codes: a run of hex digits holding a decimal one) and at every
// control character (line breaks, and the \x01 a test puts for a name).
// Parts of blanks only are dropped.
std::vector<std::string> FixedParts(std::string_view text);

}  // namespace quorvel::testing
