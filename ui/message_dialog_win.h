// A modal message box with a set of buttons of the caller's choosing (the
// system's MessageBox offers only fixed sets: no lone "Yes", no lone
// "Cancel"). Built from an in-memory dialog template; laid out in pixels with
// the system message font.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>

namespace quorvel::ui {

enum class DialogIcon { kNone, kError, kWarning, kInformation, kQuestion };

// A push button of the dialog. `id` (IDOK, IDYES, IDCANCEL, ...) is both the
// button's control identity and what ShowMessageDialog returns when it is
// pressed: positive, at most 0xFFFF, unique in the set and none of the ids
// below. An '&' in the caption marks its access key.
struct DialogButton {
  std::u16string caption;
  int id;
};

// Control identities of the dialog's parts, fixed so that other programs
// (tests among them) can find them with GetDlgItem: the message text (a
// static whose window text is the message) and the icon (absent with
// DialogIcon::kNone). The dialog's window class is the standard "#32770".
inline constexpr int kMessageTextId = 1000;
inline constexpr int kMessageIconId = 1001;

// The button id that Escape and the close box give:
// - the Cancel button's (IDCANCEL) when the set has one;
// - else the id of the only button, when there is one;
// - else, with no buttons at all, IDCANCEL;
// - else (several buttons, none of them Cancel) the dialog must be answered
//   with a button: Escape does nothing and the close box is greyed, as with
//   the system's Yes/No message box.
// Returns 0 when there is no such id.
int DismissId(std::span<const DialogButton> buttons);

// Shows the dialog modally, owned by `owner` (may be null; an owner is
// disabled while the dialog is up), centred on the work area of the screen it
// opens on, plays the system sound of the icon as a message box does, and
// returns the id of the button pressed (or DismissId's, see above). The text
// wraps at about 400 pixels; the first button is the default one and has the
// focus. Returns 0 if the dialog could not be created. The views need only
// live for the call.
int ShowMessageDialog(HWND owner, std::u16string_view caption, std::u16string_view text,
                      DialogIcon icon, std::span<const DialogButton> buttons);

}  // namespace quorvel::ui
