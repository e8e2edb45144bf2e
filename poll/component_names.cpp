#include "poll/component_names.h"

#include "base/cp1251.h"

namespace quorvel::poll {

namespace {

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

}  // namespace

bool IsIdentifier(std::string_view name) {
  if (name.empty() || !IsLetter(name[0])) return false;
  for (char c : name) {
    if (!IsLetter(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (cp1251::ToLower(a[i]) != cp1251::ToLower(b[i])) return false;
  }
  return true;
}

std::string InvalidNameMessage(std::string_view name) {
  return "''" + std::string(name) + "'' is not a valid component name";
}

std::string DuplicateNameMessage(std::string_view name) {
  return "A component named " + std::string(name) + " already exists";
}

}  // namespace quorvel::poll
