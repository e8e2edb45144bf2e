#include "ui/setup_form_rules.h"

#include "base/cp1251.h"
#include "config/integer_text.h"
#include "config/sensor_table.h"

namespace quorvel::ui {

std::string SetupWarningText(SetupWarning warning) {
  switch (warning) {
    case SetupWarning::kTableNotNumeric:
      return std::string(cp1251::Text("Все параметры должны быть численными!"));
    case SetupWarning::kNoWorkbookFile:
      return std::string(
          cp1251::Text("Небыл указан файл Excel для запуска!\r"
                       "Уберите галочку или укажите путь и имя файла."));
  }
  return {};
}

namespace {

// The item names from the prefix, every value reset to " --.-"; a refused
// prefix is reported and changes no item.
bool NameItems(const config::Settings& settings, poll::DdeComponents& dde, SetupFormHost& host) {
  if (const std::optional<std::string> error = dde.NameItems(settings.ItemPrefix())) {
    host.ReportError(*error);
    return false;
  }
  for (int i = 0; i < dde.ItemCount(); ++i) dde.Item(i).SetText(poll::kNoValueText);
  return true;
}

// The topic; a refused name is reported.
bool NameTopic(const config::Settings& settings, poll::DdeComponents& dde, SetupFormHost& host) {
  if (const std::optional<std::string> error = dde.SetTopicName(settings.Topic())) {
    host.ReportError(*error);
    return false;
  }
  host.TopicNamed();
  return true;
}

}  // namespace

bool NameDdeComponents(const config::Settings& settings, poll::DdeComponents& dde,
                       SetupFormHost& host) {
  const bool items = NameItems(settings, dde, host);
  const bool topic = NameTopic(settings, dde, host);
  return items && topic;
}

void ApplyStoredSettings(const config::Settings& settings, poll::DdeComponents& dde,
                         SetupFormHost& host) {
  NameDdeComponents(settings, dde, host);
  host.ShowPortName(settings.ComPortName());
}

bool OkB1Click(config::Settings& settings, poll::DdeComponents& dde, SetupFormHost& host) {
  if (!config::ValidateSensorTable(settings.table())) {
    host.Warn(SetupWarning::kTableNotNumeric);
    return false;
  }
  host.ShowPortName(settings.ComPortName());
  // A refused name is reported and ends the handler there: the dialog stays
  // open, where the user can mend it, and nothing after the refused step
  // takes effect.
  if (!NameItems(settings, dde, host)) return false;
  config::RenameSensorRows(settings.table(), settings.ItemPrefix());
  if (!NameTopic(settings, dde, host)) return false;
  if (settings.OpenWorkbook() && settings.WorkbookPath().empty()) {
    host.Warn(SetupWarning::kNoWorkbookFile);
    return false;
  }
  return true;
}

bool FormClose(const config::Settings& settings, SetupFormHost& host) {
  host.FillSensorList();
  if (!config::ValidateSensorTable(settings.table())) {
    host.Warn(SetupWarning::kTableNotNumeric);
    return false;
  }
  return true;
}

int SpinValue(std::string_view text, config::Range range) {
  const std::optional<std::int32_t> value = config::ParseIntegerText(text);
  return value ? *value : range.min;
}

int SpinHeldValue(std::string_view text, config::Range range) {
  return range.Clamp(SpinValue(text, range));
}

std::string SpinHeldText(std::string_view text, config::Range range) {
  return std::to_string(SpinHeldValue(text, range));
}

std::string SpinSteppedText(std::string_view text, int delta, config::Range range) {
  // Summed wide: a value near the ends of int plus a step must not wrap.
  const long long stepped = static_cast<long long>(SpinValue(text, range)) + delta;
  const long long held = stepped < range.min   ? range.min
                         : stepped > range.max ? range.max
                                               : stepped;
  return std::to_string(held);
}

std::string SG1GridHint(int row, int col) {
  if (row != 0) return {};
  if (col == 1) return std::string(cp1251::Text("Сетевой адрес прибора"));
  if (col == 2) return std::string(cp1251::Text("Физический номер канала "));
  return {};
}

}  // namespace quorvel::ui
