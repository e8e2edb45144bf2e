// The captions of the program's three forms, in Windows-1251. A DDE client
// may name any of them as the topic: the connection is taken, and nothing
// is served through it.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/cp1251.h"

namespace quorvel::ui {

// ASCII text widened at compile time, for the wide calls.
template <std::size_t N>
struct WideAscii {
  constexpr explicit WideAscii(const char (&ascii)[N]) {
    for (std::size_t i = 0; i < N; ++i) text[i] = static_cast<wchar_t>(ascii[i]);
  }
  wchar_t text[N]{};
};

// The application title: the main window's caption, the general error
// report's, the notification-area icon's hint and the About box's name.
inline constexpr char kApplicationTitleText[] = "Quorvel v.2.1";
inline constexpr WideAscii kApplicationTitleWide{kApplicationTitleText};
inline constexpr const wchar_t* kApplicationTitle = kApplicationTitleWide.text;

inline constexpr std::string_view kMainFormCaption = kApplicationTitleText;
inline constexpr auto kSetupFormCaption = cp1251::Text("Настройки");
inline constexpr auto kAboutFormCaption = cp1251::Text("О программе");

}  // namespace quorvel::ui
