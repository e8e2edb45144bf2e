// Quorvel.exe: the DDE service, the main window with its 500 DDE items and
// the poll cycle, the settings from the settings file and the sensor table.
#include <windows.h>

#include "app/program_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/, int show) {
  quorvel::app::Program program(instance);
  return program.Run(show);
}
