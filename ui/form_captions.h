// The captions of the program's three forms, in Windows-1251. A DDE client
// may name any of them as the topic: the connection is taken, and nothing
// is served through it.
#pragma once

#include <string_view>

#include "base/cp1251.h"

namespace quorvel::ui {

inline constexpr std::string_view kMainFormCaption = "Quorvel v.2.1";
inline constexpr auto kSetupFormCaption = cp1251::Text("Настройки");
inline constexpr auto kAboutFormCaption = cp1251::Text("О программе");

}  // namespace quorvel::ui
