#include "mqtt/link_status.h"

#include <string_view>

#include "base/cp1251.h"

namespace quorvel::mqtt {

namespace {

constexpr auto kOff = cp1251::Text("выключена");
constexpr auto kConnecting = cp1251::Text("подключение к брокеру");
constexpr auto kConnected = cp1251::Text("подключено к брокеру");
constexpr auto kNoLink = cp1251::Text("нет связи: ");
constexpr auto kQueued = cp1251::Text("; в очереди ");
constexpr auto kDropped = cp1251::Text(", отброшено ");

std::string_view RefusalText(Refusal refusal) {
  static constexpr auto kBadCredentials =
      cp1251::Text("брокер не принял имя пользователя или пароль");
  // What mosquitto answers to a wrong password, as some other brokers do.
  static constexpr auto kNotAuthorised = cp1251::Text(
      "брокер отказал в подключении: неверное имя пользователя или пароль, или нет прав");
  static constexpr auto kUnknownHost = cp1251::Text("неизвестный адрес брокера");
  static constexpr auto kNoBroker =
      cp1251::Text("по этому адресу и порту брокер не принимает подключения");
  static constexpr auto kCertificate = cp1251::Text(
      "сертификат брокера не подтверждён центром сертификации или выдан другому адресу");
  static constexpr auto kCaFile = cp1251::Text("не удаётся прочитать файл центра сертификации");
  static constexpr auto kTls = cp1251::Text("ошибка защищённого соединения");
  static constexpr auto kLost = cp1251::Text("связь с брокером прервалась");
  static constexpr auto kOther = cp1251::Text("брокер отклонил подключение, код ");
  switch (refusal) {
    case Refusal::kBadCredentials:
      return kBadCredentials;
    case Refusal::kNotAuthorised:
      return kNotAuthorised;
    case Refusal::kUnknownHost:
      return kUnknownHost;
    case Refusal::kNoBroker:
      return kNoBroker;
    case Refusal::kCertificate:
      return kCertificate;
    case Refusal::kCaFile:
      return kCaFile;
    case Refusal::kTls:
      return kTls;
    case Refusal::kLost:
      return kLost;
    case Refusal::kNone:
    case Refusal::kOther:
      break;
  }
  return kOther;
}

}  // namespace

std::string LinkStatusText(const LinkStatus& status) {
  std::string text;
  switch (status.phase) {
    case LinkPhase::kOff:
      return std::string(kOff);
    case LinkPhase::kConnecting:
      text = kConnecting;
      break;
    case LinkPhase::kConnected:
      text = kConnected;
      break;
    case LinkPhase::kRefused:
      text.append(kNoLink).append(RefusalText(status.refusal));
      if (status.refusal == Refusal::kOther || status.refusal == Refusal::kNone) {
        text.append(std::to_string(status.code));
      }
      break;
  }
  text.append(kQueued).append(std::to_string(status.queued));
  text.append(kDropped).append(std::to_string(status.dropped));
  return text;
}

}  // namespace quorvel::mqtt
