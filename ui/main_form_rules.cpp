#include "ui/main_form_rules.h"

#include <cstdio>

#include "base/file_name.h"

namespace quorvel::ui {

bool HasSetupSwitch(const std::vector<std::string>& arguments) {
  for (std::string argument : arguments) {
    for (char& c : argument)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (argument == "/k") return true;
  }
  return false;
}

std::string ClockText(int hour, int minute, int second) {
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", hour, minute, second);
  return text;
}

std::string HelpFilePath(std::string_view executable_path) {
  return std::string(FolderOf(executable_path)) + "Quorvel.hlp";
}

std::string GuideFilePath(std::string_view executable_path) {
  return std::string(FolderOf(executable_path)) + "doc\\guide.html";
}

char DecimalSeparatorOf(std::string_view locale_value) {
  return locale_value.empty() ? '.' : locale_value.front();
}

ScreenPoint ScreenFromWorkspace(ScreenPoint workspace, Corner work_area, Corner monitor) {
  return {workspace.x + work_area.left - monitor.left, workspace.y + work_area.top - monitor.top};
}

std::string ErrorReportText(std::string text) {
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

}  // namespace quorvel::ui
