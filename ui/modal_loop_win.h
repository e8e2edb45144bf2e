// The modal run of one of the program's own windows: its owner disabled,
// the window shown and active (the focus on `focus` when given), the thread's messages handled
// (dialog keys through IsDialogMessage) until `running` turns false, then the owner enabled again
// before the window is hidden, so the owner takes the activation back. A WM_QUIT ends the run and
// is posted again for the loop outside. Whoever clears `running` from a message handled inside
// GetMessage (a message sent from another thread) posts the window a
// WM_NULL, so the loop wakes to see it.
#pragma once

#include <windows.h>

namespace quorvel::ui {

void RunModal(HWND window, HWND owner, bool& running, HWND focus = nullptr);

}  // namespace quorvel::ui
