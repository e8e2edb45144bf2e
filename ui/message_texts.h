// Texts the program's windows show, kept apart from the Win32 code that
// shows them so that the native tests, the user's guide's among them, check
// the very texts the program shows. Windows-1251.
#pragma once

#include "base/cp1251.h"

namespace quorvel::ui {

// The main window's status pane before the first Start.
inline constexpr auto kReadyText = cp1251::Text("Программа готова к работе");
// The refusal to close while polling.
inline constexpr auto kPollingNowText = cp1251::Text("Программа находится в режиме опроса.");
// A second start of a running copy's file name. The "c" is Latin, as the
// program has always shown it.
inline constexpr auto kTwoCopiesText =
    cp1251::Text("Нельзя запустить две копии программы c одинаковыми именами ");
// Before the MQTT link's and the reading log's states on the settings page,
// and before the link's state in the monitor's summary line.
inline constexpr auto kStatePrefix = cp1251::Text("Состояние: ");
inline constexpr auto kMqttSummaryPrefix = cp1251::Text("MQTT: ");
inline constexpr auto kOpcUaSummaryPrefix = cp1251::Text("OPC UA: ");
// Before the OPC UA server certificate's SHA-1 on the settings page.
inline constexpr auto kThumbprintPrefix = cp1251::Text("Отпечаток сертификата (SHA-1): ");
// The help command found neither a help file nor the guide; the path follows.
inline constexpr auto kGuideNotOpenedText =
    cp1251::Text("Не удалось открыть руководство пользователя: ");
// The system could not seal the broker's password for the Windows user.
inline constexpr auto kPasswordNotSealedText =
    cp1251::Text("Пароль брокера MQTT не удалось зашифровать, он не сохранён.");

}  // namespace quorvel::ui
