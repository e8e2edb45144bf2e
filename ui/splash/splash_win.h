// The splash: a picture in a borderless window in the middle of the screen,
// shown for a fixed time while the main window is being created.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

namespace quorvel::ui {

// The splash component of the main window.
class TStartMark {
 public:
  static constexpr int kLogoId = 1;

  explicit TStartMark(HINSTANCE instance);
  ~TStartMark();
  TStartMark(const TStartMark&) = delete;
  TStartMark& operator=(const TStartMark&) = delete;

  // Display time in units of 600 ms; 0 or less: no wait.
  std::int32_t ShowTime() const { return show_time_; }
  void SetShowTime(std::int32_t units) { show_time_ = units; }
  // The picture, a JPEG file's bytes; the component keeps its own copy.
  // Empty: the splash shows no image, for its whole display time.
  const std::string& Picture() const { return picture_; }
  void SetPicture(std::string jpeg) { picture_ = std::move(jpeg); }
  // Passed to the picture control: WS_EX_TRANSPARENT when true.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool transparent) { transparent_ = transparent; }
  bool Active() const { return active_; }
  // True shows the splash and returns when it has gone; the value is stored
  // either way. A picture the decoder rejects throws "JPEG error #N"
  // (std::runtime_error) and shows nothing.
  //
  // The splash: a borderless popup of class "TMark", not top-most, that
  // never paints its background; the picture at its top left in the static
  // control kLogoId, the window sized to the picture and centred on the
  // screen. The display time is waited out handling this thread's messages;
  // a WM_QUIT among them ends it early and is posted again.
  void SetActive(bool active);

 private:
  HINSTANCE instance_;
  std::int32_t show_time_ = 2;
  std::string picture_;
  bool transparent_ = false;
  bool active_ = false;
};

// The program's splash picture (a resource), or empty when it is missing.
std::string SplashPicture(HINSTANCE instance);

}  // namespace quorvel::ui
