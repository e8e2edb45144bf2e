#include "bus/status_text.h"

#include "base/cp1251.h"

namespace quorvel::bus {

namespace {

using cp1251::Text;

// Spacing is part of the texts: three blanks after "открыть", two inside the
// text of code 10, two before the number of an unknown code.
constexpr auto kOk = Text("Усё нормально, ШЕФ !!!");
constexpr auto kCannotOpen = Text("Нельзя открыть   COM-порт");
constexpr auto kBadSettings = Text("Ошибка установок COM-порта");
constexpr auto kBadReply = Text("Неправильный ответ");
constexpr auto kEepromWrite = Text("Ошибка записи в EEPROM");
constexpr auto kNoReply = Text("Нет ответа");
constexpr auto kUnknownDevice = Text("Неизвестный  прибор");
constexpr auto kBadLength = Text("Ошибочная длина строки");
constexpr auto kWriteFailed = Text("Невозможно записать в COM-порт");
constexpr auto kAborted = Text("Досрочное завершение операции");
constexpr auto kReadFailed = Text("Невозможно считать из COM-порта");
constexpr auto kBadArgument = Text("Ошибочный входной параметр");
constexpr auto kEepromRead = Text("Ошибка чтения из EEPROM");
constexpr auto kNotCharDevice = Text("COM-порт не существует");
constexpr auto kUnknown = Text("Неизвестная ошибка  ");

}  // namespace

std::string StatusText(std::int32_t Code) {
  switch (Code) {
    case kStatusOk:
      return std::string(kOk);
    case kStatusCannotOpen:
      return std::string(kCannotOpen);
    case kStatusBadSettings:
      return std::string(kBadSettings);
    case kStatusBadReply:
      return std::string(kBadReply);
    case kStatusEepromWrite:
      return std::string(kEepromWrite);
    case kStatusNoReply:
      return std::string(kNoReply);
    case kStatusUnknownDevice:
      return std::string(kUnknownDevice);
    case kStatusBadLength:
      return std::string(kBadLength);
    case kStatusWriteFailed:
      return std::string(kWriteFailed);
    case kStatusAborted:
      return std::string(kAborted);
    case kStatusReadFailed:
      return std::string(kReadFailed);
    case kStatusBadArgument:
      return std::string(kBadArgument);
    case kStatusEepromRead:
      return std::string(kEepromRead);
    case kStatusNotCharDevice:
      return std::string(kNotCharDevice);
    default:
      return std::string(kUnknown) + std::to_string(Code);
  }
}

}  // namespace quorvel::bus
