#include "app/workbook/workbook_launch_win.h"

#include <exception>

#include "app/workbook/excel_u_win.h"

namespace quorvel::app {

std::optional<std::string> LaunchWorkbook(std::string_view path) {
  workbook::TExcelU excel;
  try {
    excel.Connect(/*force_new=*/false);
    excel.OpenWorkbook(path);
    excel.ShowApplication();
    excel.Disconnect();
    return std::nullopt;
  } catch (const std::exception& failure) {
    excel.Disconnect();
    return failure.what();
  }
}

}  // namespace quorvel::app
