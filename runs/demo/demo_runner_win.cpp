// QuorvelDemo: runs Quorvel.exe on a bus of instruments as a user would set
// it up, and shows in the console what a workbook linked to its items would
// receive, one line per update, as it arrives. Run by demo.sh under Wine.
//
//   QuorvelDemo.exe [--port N] [--baud B] [--timeout MS] [--interval MS]
//                   [--seconds S] [--screenshot FILE] [--setup-screenshots DIR]
//                   [--splash-screenshot FILE] [--monitor-screenshot FILE]
//                   [--program EXE] ADDR:CH...
//
// Each ADDR:CH is one sensor, in order S1, S2, ... (device address and
// channel). The program gets a folder of its own in the run (QUORVEL_RUN):
// a copy of Quorvel.exe (--program, default the one of this build), its
// settings (port N, default 3; speed B, default 9600; reply time-out, default
// 400 ms; pause between cycles, default 500 ms; polling from the start) and
// its sensor table. This program links to every item and prints
//   hh:mm:ss.mmm  ITEM  device ADDR channel CH  TEXT
// per update, TEXT in UTF-8. With --seconds it ends by itself after S
// seconds of polling: it saves a picture of the main window as a PNG
// (--screenshot, a Unix or Windows path), stops polling, unlinks, closes the
// program and prints its exit code; without, it runs until the program ends
// or the run is stopped. With --setup-screenshots (and --seconds) it also
// opens the settings dialog once polling has stopped and saves a picture of
// each of its pages in DIR: setup-general.png, setup-exchange.png,
// setup-dde.png, setup-more.png. --splash-screenshot saves a picture of the splash that
// shows while the program starts; --monitor-screenshot one of the line
// monitor, opened through the menu while polling runs, before the main
// window's.
// Exit codes: 0 done, 1 a step failed, 2 bad command line.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/cp1251.h"
#include "poll/dde_server.h"
#include "runs/demo/dde_links_win.h"
#include "runs/demo/png_file.h"
#include "runs/demo/screenshot_win.h"
#include "testkit/message_wait_win.h"
#include "testkit/quorvel_remote_win.h"
#include "tools/clock_text.h"
#include "tools/console_lines.h"
#include "tools/poll_options.h"
#include "ui/main_form_ids.h"
#include "ui/monitor_form_ids.h"
#include "ui/setup_form_ids.h"

namespace {

using quorvel::tools::Fail;

using namespace quorvel::remote;
using namespace quorvel::tools;

constexpr char kProgram[] = "QuorvelDemo";
constexpr DWORD kCaptureMs = 10'000;

struct Sensor {
  int address = 0;
  int channel = 0;
};

struct Options {
  int port = 3;
  int baud = 9600;
  int timeout_ms = 400;
  int interval_ms = 500;
  double seconds = -1;
  std::string screenshot;
  std::string setup_screenshots;
  std::string splash_screenshot;
  std::string monitor_screenshot;
  std::string program;
  std::vector<Sensor> sensors;
};

void Print(const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool ParseOptions(int argc, char** argv, Options& o) {
  CommandLine<char> line = PollCommandLine(o);
  line.Text("--screenshot", o.screenshot)
      .Text("--splash-screenshot", o.splash_screenshot)
      .Text("--setup-screenshots", o.setup_screenshots)
      .Text("--monitor-screenshot", o.monitor_screenshot)
      .Text("--program", o.program);
  if (const Refusal<char> refused = line.Walk(argc, argv)) {
    SayBadArgument(kProgram, refused, "demo_runner_win.cpp");
    return false;
  }
  if (o.sensors.empty() || o.sensors.size() > 500) {
    Fail(kProgram, "give 1 to 500 sensors as ADDR:CH");
    return false;
  }
  return true;
}

// The text of an update: CF_TEXT data up to its NUL, without the line end
// the server adds, in UTF-8.
std::string UpdateText(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.remove_suffix(1);
  return quorvel::cp1251::ToUtf8(bytes);
}

bool SaveScreenshot(HWND window, const std::string& path, std::string_view what) {
  RgbImage image;
  std::string error;
  if (!CaptureWindow(window, kCaptureMs, &image, &error)) {
    Fail(kProgram, "no screenshot: " + error);
    return false;
  }
  const std::string png = EncodePng(image.width, image.height, image.rgb);
  const std::string file = path.starts_with("/") ? WindowsPathOf(path) : path;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  out.close();
  if (!out) {
    Fail(kProgram, "cannot write " + file);
    return false;
  }
  Print("Screenshot of " + std::string(what) + " (" + std::to_string(image.width) + "x" +
        std::to_string(image.height) + "): " + path);
  return true;
}

// The settings dialog of the program, once it shows; null when it did not.
HWND WaitSetupDialog(const RemoteQuorvel& quorvel) {
  HWND dialog = nullptr;
  PumpUntil(
      [&] {
        dialog = ::FindWindowW(quorvel::ui::kSetupFormClass, /*lpWindowName=*/nullptr);
        DWORD pid = 0;
        if (dialog != nullptr) ::GetWindowThreadProcessId(dialog, &pid);
        return dialog != nullptr && pid == quorvel.Pid() && ::IsWindowVisible(dialog);
      },
      kProgramWaitMs);
  return dialog != nullptr && ::IsWindowVisible(dialog) ? dialog : nullptr;
}

// Opens the settings dialog and saves a picture of each page it shows, then
// closes it.
bool SaveSetupScreenshots(const RemoteQuorvel& quorvel, const std::string& folder) {
  ::PostMessageW(quorvel.Main(), WM_COMMAND, quorvel::ui::kSetup1Id, 0);
  const HWND dialog = WaitSetupDialog(quorvel);
  if (dialog == nullptr) {
    Fail(kProgram, "the settings dialog did not open");
    return false;
  }
  const HWND tabs = ::GetDlgItem(dialog, quorvel::ui::kRzPageControl1Id);
  const char* const names[] = {"general", "exchange", "dde", "more"};
  bool ok = true;
  for (int tab = 0; tab < static_cast<int>(std::size(names)) && ok; ++tab) {
    // The tabs answer the arrow keys as a user's keyboard would press them.
    while (ok && ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0) != tab) {
      ::PostMessageW(tabs, WM_KEYDOWN, VK_RIGHT, 0);
      ok = PumpUntil([&] { return ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0) >= tab; },
                     kProgramWaitMs);
    }
    if (!ok) Fail(kProgram, "the settings dialog did not turn its page");
    const std::string sep = folder.ends_with('/') || folder.ends_with('\\') ? "" : "/";
    ok = ok && SaveScreenshot(dialog, folder + sep + "setup-" + names[tab] + ".png",
                              std::string("the settings page ") + names[tab]);
  }
  ::PostMessageW(dialog, WM_CLOSE, 0, 0);
  if (!PumpUntil([&] { return !::IsWindowVisible(dialog); }, kProgramWaitMs)) {
    Fail(kProgram, "the settings dialog did not close");
    ok = false;
  }
  return ok;
}

// Opens the line monitor from the menu, saves a picture of it once it shows
// what the run has counted, and closes it.
bool SaveMonitorScreenshot(const RemoteQuorvel& quorvel, const std::string& path) {
  ::PostMessageW(quorvel.Main(), WM_COMMAND, quorvel::ui::kMonitorMenuId, 0);
  HWND monitor = nullptr;
  PumpUntil(
      [&] {
        monitor = ::FindWindowW(quorvel::ui::kMonitorFormClass, /*lpWindowName=*/nullptr);
        return monitor != nullptr && ::IsWindowVisible(monitor);
      },
      kProgramWaitMs);
  if (monitor == nullptr) {
    Fail(kProgram, "the line monitor did not open");
    return false;
  }
  ::SetWindowPos(monitor, HWND_TOP, 0, 0, 1000, 560, SWP_NOMOVE);
  // A second of traffic scrolled in, the views brought up to date.
  PumpFor(1000, quorvel.Process());
  ::SendMessageW(monitor, quorvel::ui::kMonitorRefresh, 0, 0);
  const bool ok = SaveScreenshot(monitor, path, "the line monitor");
  ::PostMessageW(monitor, WM_CLOSE, 0, 0);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) return 2;
  const char* run = std::getenv("QUORVEL_RUN");
  if (run == nullptr) {
    Fail(kProgram, "QUORVEL_RUN is not set: run this program through tools/winerun.sh");
    return 2;
  }
  if (o.program.empty()) o.program = ExecutableFolder() + "..\\..\\app\\Quorvel.exe";

  quorvel::config::Settings settings;
  if (!ConfigureRun(settings, o.port, o.baud, static_cast<int>(o.sensors.size()))) {
    Fail(kProgram, "Quorvel offers COM1..COM10 at 300..19200 bit/s only");
    return 2;
  }
  settings.SetAutoPoll(true);
  settings.SetTimeOut(o.timeout_ms);
  settings.SetTimeOutCycle(o.interval_ms);
  settings.SetFormLeft(40);
  settings.SetFormTop(40);
  std::vector<std::string> items;
  for (std::size_t i = 0; i < o.sensors.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    SetSensor(settings, row, o.sensors[i].address, o.sensors[i].channel);
    items.push_back(settings.table().Cell(0, row));
  }

  std::string error;
  const std::string folder = WindowsPathOf(run) + "\\demo\\";
  if (!PrepareFolder(o.program, folder, settings, &error)) {
    Fail(kProgram, error);
    return 1;
  }
  RemoteQuorvel quorvel;
  // The splash shows while Start waits for the main window: a second thread
  // watches for it and takes its picture.
  std::thread splash_watch;
  bool splash_saved = false;
  if (!o.splash_screenshot.empty()) {
    splash_watch = std::thread([&] {
      HWND splash = nullptr;
      const ULONGLONG deadline = ::GetTickCount64() + kProgramWaitMs;
      while (::GetTickCount64() < deadline) {
        splash = ::FindWindowW(L"TMark", /*lpWindowName=*/nullptr);
        if (splash != nullptr && ::IsWindowVisible(splash)) break;
        splash = nullptr;
        ::Sleep(10);  // no message of this process marks the splash's showing
      }
      splash_saved = splash != nullptr && SaveScreenshot(splash, o.splash_screenshot, "the splash");
    });
  }
  // "/k" unlocks the settings menu item.
  const bool started = quorvel.Start(folder, o.setup_screenshots.empty() ? "" : "/k", &error);
  if (splash_watch.joinable()) splash_watch.join();
  if (!o.splash_screenshot.empty() && !splash_saved) Fail(kProgram, "no picture of the splash");
  if (!started) {
    Fail(kProgram, error);
    return 1;
  }
  const std::string service = quorvel::poll::ServiceName(folder + "Quorvel.exe");
  Print("Quorvel.exe (pid " + std::to_string(quorvel.Pid()) + ") polls " + settings.ComPortName() +
        " at " + std::to_string(o.baud) + " bit/s by itself; items " + items.front() + ".." +
        items.back() + " of " + service + "|" + settings.Topic() + " as they arrive:");

  const auto on_update = [&](std::size_t item, std::string_view bytes) {
    char head[64];
    std::snprintf(head, sizeof head, "  %-4s  device %3d channel %2d  ", items[item].c_str(),
                  o.sensors[item].address, o.sensors[item].channel);
    Print(ClockText() + head + UpdateText(bytes));
  };
  std::unique_ptr<DdeLinks> links = DdeLinks::Connect(service, settings.Topic(), on_update, &error);
  if (!links || !links->Link(items, &error)) {
    Fail(kProgram, error);
    return 1;
  }

  if (o.seconds < 0) {
    // Until the program ends; a stopped run ends both.
    PumpFor(INFINITE, quorvel.Process());
    Print("Quorvel.exe ended");
    return 0;
  }
  bool ok = quorvel.WaitPolling(true);
  if (!ok) Fail(kProgram, "Quorvel.exe did not start polling by itself");
  if (ok && !PumpFor(static_cast<DWORD>(o.seconds * 1000), quorvel.Process())) {
    Fail(kProgram, "Quorvel.exe ended by itself");
    return 1;
  }
  if (ok && !o.monitor_screenshot.empty()) {
    ok = SaveMonitorScreenshot(quorvel, o.monitor_screenshot);
  }
  if (!o.screenshot.empty()) {
    ok = SaveScreenshot(quorvel.Main(), o.screenshot, "the main window") && ok;
  }
  if (!quorvel.StopPolling()) {
    Fail(kProgram, "Quorvel.exe did not stop polling");
    ok = false;
  }
  if (ok && !o.setup_screenshots.empty()) ok = SaveSetupScreenshots(quorvel, o.setup_screenshots);
  links->Unlink();
  links.reset();
  quorvel.Close();
  const RemoteQuorvel::Ending ending = quorvel.WaitExitOrDialog();
  if (ending.exit_code) {
    Print("Quorvel.exe closed, exit code " + std::to_string(*ending.exit_code));
  } else {
    Fail(kProgram, "Quorvel.exe did not close (it " + RemoteQuorvel::Describe(ending) +
                       "); ended by its handle");
    quorvel.Terminate();
  }
  return ok && ending.exit_code == std::optional<DWORD>(0) ? 0 : 1;
}
