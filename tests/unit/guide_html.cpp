#include "tests/unit/guide_html.h"

#include <fstream>
#include <iterator>
#include <regex>

namespace quorvel::testing {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The references a page may use; an unknown one stays as it is written.
std::string DecodeReferences(std::string_view text) {
  static const std::regex reference("&(#[0-9]+|#[xX][0-9a-fA-F]+|[a-zA-Z]+);");
  static const std::pair<std::string_view, char32_t> kNamed[] = {
      {"amp", U'&'}, {"lt", U'<'}, {"gt", U'>'}, {"quot", U'"'}, {"apos", U'\''}, {"nbsp", 0xA0}};
  std::string out;
  auto begin = text.begin();
  for (std::cregex_iterator it(text.data(), text.data() + text.size(), reference), end; it != end;
       ++it) {
    out.append(begin, text.begin() + it->position());
    begin = text.begin() + it->position() + it->length();
    const std::string name = (*it)[1].str();
    if (name[0] == '#') {
      const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
      AppendUtf8(
          out, static_cast<char32_t>(std::stoul(name.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10)));
      continue;
    }
    bool known = false;
    for (const auto& [named, cp] : kNamed) {
      if (name == named) {
        AppendUtf8(out, cp);
        known = true;
      }
    }
    if (!known) out += it->str();
  }
  out.append(begin, text.end());
  return out;
}

std::string WithoutComments(std::string_view html) {
  static const std::regex comment("<!--[\\s\\S]*?-->");
  return std::regex_replace(std::string(html), comment, "");
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> AttributeValues(std::string_view html, std::string_view name) {
  static const std::regex tag("<[a-zA-Z][^>]*>");
  const std::regex attribute("\\s" + std::string(name) + "\\s*=\\s*(\"([^\"]*)\"|'([^']*)')",
                             std::regex::icase);
  const std::string page = WithoutComments(html);
  std::vector<std::string> values;
  for (std::sregex_iterator t(page.begin(), page.end(), tag), end; t != end; ++t) {
    const std::string tag_text = t->str();
    for (std::sregex_iterator a(tag_text.begin(), tag_text.end(), attribute); a != end; ++a) {
      values.push_back(DecodeReferences((*a)[2].matched ? (*a)[2].str() : (*a)[3].str()));
    }
  }
  return values;
}

std::vector<std::string> StyleUrls(std::string_view css) {
  static const std::regex url("url\\(\\s*['\"]?([^'\")]*)['\"]?\\s*\\)", std::regex::icase);
  std::vector<std::string> urls;
  const std::string sheet(css);
  for (std::sregex_iterator it(sheet.begin(), sheet.end(), url), end; it != end; ++it) {
    urls.push_back((*it)[1].str());
  }
  return urls;
}

std::string PageText(std::string_view html) {
  static const std::regex tag("<[^>]*>");
  return DecodeReferences(std::regex_replace(WithoutComments(html), tag, ""));
}

std::vector<std::string> FixedParts(std::string_view text) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t run = i;
    bool digit = false;
    while (run < text.size() && IsHexDigit(text[run])) digit |= text[run++] <= '9';
    if (digit) {
      parts.emplace_back();
      i = run;
    } else if (run > i) {
      parts.back().append(text.substr(i, run - i));
      i = run;
    } else if (static_cast<unsigned char>(text[i]) < 0x20) {
      parts.emplace_back();
      ++i;
    } else {
      parts.back() += text[i++];
    }
  }
  std::erase_if(parts, [](const std::string& part) {
    return part.find_first_not_of(' ') == std::string::npos;
  });
  return parts;
}

}  // namespace quorvel::testing
