// Names of the main window's components. The DDE topic and item names share
// this namespace: each is an identifier, and no two names in it are equal
// when compared without regard to case.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::poll {

// The main window's components other than the DDE topic object and items.
inline constexpr std::array<std::string_view, 19> kMainWindowComponents = {"StaticText3",
                                                                           "CB1",
                                                                           "StaticText2",
                                                                           "SB1",
                                                                           "RzStatusBar1",
                                                                           "RzClockStatus1",
                                                                           "RzStatusPane1",
                                                                           "MainMenu1",
                                                                           "Timer2",
                                                                           "ImageList1",
                                                                           "RzBalloonHints1",
                                                                           "RzTrayIcon1",
                                                                           "StartMark1",
                                                                           "N5",
                                                                           "Setup1",
                                                                           "N1",
                                                                           "N2",
                                                                           "N3",
                                                                           "N4"};

// A letter or '_' and then letters, digits and '_'. The empty name is not an
// identifier (a component may still be given it: it has no name then).
bool IsIdentifier(std::string_view name);

// Windows-1251 texts compared without regard to the case of Latin and
// Cyrillic letters (a topic may name a form by its Russian caption).
bool SameName(std::string_view a, std::string_view b);

// "''%s'' is not a valid component name"
std::string InvalidNameMessage(std::string_view name);
// "A component named %s already exists"
std::string DuplicateNameMessage(std::string_view name);

}  // namespace quorvel::poll
