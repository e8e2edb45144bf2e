// TStartMark in this process: the TMark window seen through a CBT hook of
// this thread, which is called synchronously as the window is created and
// as it is destroyed (still whole, still shown), so every observation is
// made at a known moment, with the tick counter the splash itself uses.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <jerror.h>

#include "ui/splash/jpeg_picture.h"
#include "ui/splash/splash_win.h"

namespace quorvel::ui {
namespace {

constexpr UINT kProbe = WM_APP + 1;

// What one splash looked like, gathered by the hook and the probe window.
struct Observation {
  HWND mark = nullptr;
  int created = 0;
  int destroyed = 0;
  DWORD created_tick = 0;
  DWORD destroyed_tick = 0;
  // The message posted at the window's creation, handled by the splash's
  // wait (before the window went) or only later by the test.
  bool probe_handled = false;
  bool probe_before_destroy = false;
  // At destruction.
  bool visible = false;
  RECT rect{};
  LONG_PTR style = 0;
  LONG_PTR ex_style = 0;
  ULONG_PTR background = 1;
  bool erase_painted = true;
  bool has_logo = false;
  RECT logo_rect{};
  LONG_PTR logo_style = 0;
  LONG_PTR logo_ex_style = 0;
  BITMAP bitmap{};
  COLORREF sample = CLR_INVALID;
};

// The hook procedure has no context of its own: one splash at a time.
Observation* g_seen = nullptr;
HWND g_probe = nullptr;

constexpr POINT kSample = {173, 191};  // the gauge's red zone

bool IsMark(HWND window) {
  wchar_t name[32] = {};
  ::GetClassNameW(window, name, 32);
  return std::wstring(name) == L"TMark";
}

// Whether the window's WM_ERASEBKGND paints anything into a DC of white.
bool ErasePaints(HWND window) {
  const HDC screen = ::GetDC(nullptr);
  const HDC dc = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 4, 4);
  ::ReleaseDC(nullptr, screen);
  const HGDIOBJ old = ::SelectObject(dc, bitmap);
  const RECT all = {0, 0, 4, 4};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const bool painted = ::GetPixel(dc, 1, 1) != RGB(255, 255, 255);
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  return painted;
}

void Snapshot(HWND mark, Observation& seen) {
  seen.visible = ::IsWindowVisible(mark);
  ::GetWindowRect(mark, &seen.rect);
  seen.style = ::GetWindowLongPtrW(mark, GWL_STYLE);
  seen.ex_style = ::GetWindowLongPtrW(mark, GWL_EXSTYLE);
  seen.background = ::GetClassLongPtrW(mark, GCLP_HBRBACKGROUND);
  seen.erase_painted = ErasePaints(mark);
  const HWND logo = ::GetDlgItem(mark, TStartMark::kLogoId);
  seen.has_logo = logo != nullptr;
  if (logo == nullptr) return;
  ::GetWindowRect(logo, &seen.logo_rect);
  ::MapWindowPoints(nullptr, mark, reinterpret_cast<POINT*>(&seen.logo_rect), 2);
  seen.logo_style = ::GetWindowLongPtrW(logo, GWL_STYLE);
  seen.logo_ex_style = ::GetWindowLongPtrW(logo, GWL_EXSTYLE);
  const auto image = reinterpret_cast<HBITMAP>(::SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0));
  if (image == nullptr || ::GetObjectW(image, sizeof(seen.bitmap), &seen.bitmap) == 0) return;
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const HGDIOBJ old = ::SelectObject(dc, image);
  seen.sample = ::GetPixel(dc, kSample.x, kSample.y);
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
}

LRESULT CALLBACK WatchCbt(int code, WPARAM wparam, LPARAM lparam) {
  if (g_seen != nullptr && code == HCBT_CREATEWND && IsMark(reinterpret_cast<HWND>(wparam))) {
    g_seen->mark = reinterpret_cast<HWND>(wparam);
    g_seen->created_tick = ::GetTickCount();
    ++g_seen->created;
    ::PostMessageW(g_probe, kProbe, 0, 0);
  }
  if (g_seen != nullptr && code == HCBT_DESTROYWND && g_seen->mark != nullptr &&
      reinterpret_cast<HWND>(wparam) == g_seen->mark) {
    g_seen->destroyed_tick = ::GetTickCount();
    ++g_seen->destroyed;
    Snapshot(g_seen->mark, *g_seen);
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kProbe && g_seen != nullptr) {
    g_seen->probe_handled = true;
    g_seen->probe_before_destroy = g_seen->destroyed == 0;
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

class SplashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSEXW probe_class = {};
    probe_class.cbSize = sizeof(probe_class);
    probe_class.lpfnWndProc = ProbeProc;
    probe_class.hInstance = ::GetModuleHandleW(nullptr);
    probe_class.lpszClassName = L"SplashTestProbe";
    ::RegisterClassExW(&probe_class);  // again in later tests: already there
    g_probe = ::CreateWindowExW(0, L"SplashTestProbe", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, probe_class.hInstance, nullptr);
    ASSERT_NE(g_probe, nullptr);
    g_seen = &seen_;
    hook_ = ::SetWindowsHookExW(WH_CBT, WatchCbt, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook_, nullptr);
  }

  void TearDown() override {
    if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
    g_seen = nullptr;
    ::DestroyWindow(g_probe);
    g_probe = nullptr;
  }

  // Shows a splash and handles what it left in the queue; the time
  // SetActive(true) took, in milliseconds.
  DWORD Show(TStartMark& splash) {
    const DWORD start = ::GetTickCount();
    splash.SetActive(true);
    const DWORD took = ::GetTickCount() - start;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    return took;
  }

  static std::string ProgramPicture() { return SplashPicture(::GetModuleHandleW(nullptr)); }

  Observation seen_;
  HHOOK hook_ = nullptr;
};

TEST_F(SplashTest, NoDisplayTimeReturnsAtOnceAfterShowingTheWindow) {
  for (const std::int32_t show_time : {0, -3}) {
    SCOPED_TRACE(show_time);
    seen_ = {};
    TStartMark splash(::GetModuleHandleW(nullptr));
    splash.SetShowTime(show_time);
    splash.SetPicture(ProgramPicture());
    EXPECT_LT(Show(splash), 500u);
    EXPECT_TRUE(splash.Active());
    EXPECT_EQ(seen_.created, 1);
    EXPECT_EQ(seen_.destroyed, 1);
    EXPECT_TRUE(seen_.visible);
    // No wait: nothing of this thread's queue was handled meanwhile.
    EXPECT_TRUE(seen_.probe_handled);
    EXPECT_FALSE(seen_.probe_before_destroy);
  }
}

TEST_F(SplashTest, OneUnitLastsAtLeast600MsHandlingMessages) {
  TStartMark splash(::GetModuleHandleW(nullptr));
  EXPECT_EQ(splash.ShowTime(), 2);
  splash.SetShowTime(1);
  splash.SetPicture(ProgramPicture());
  Show(splash);
  ASSERT_EQ(seen_.created, 1);
  ASSERT_EQ(seen_.destroyed, 1);
  const DWORD lived = seen_.destroyed_tick - seen_.created_tick;
  EXPECT_GE(lived, 600u);
  EXPECT_LT(lived, 600u + 3000);
  EXPECT_TRUE(seen_.probe_before_destroy) << "a message posted during the wait was not handled";
}

TEST_F(SplashTest, WindowOfTheProgramsPicture) {
  const std::string picture = ProgramPicture();
  ASSERT_FALSE(picture.empty()) << "no splash picture among the resources";
  const splash::JpegDecoding decoded = splash::DecodeJpeg(picture);
  ASSERT_EQ(decoded.error, "");

  TStartMark splash(::GetModuleHandleW(nullptr));
  splash.SetShowTime(0);
  splash.SetPicture(picture);
  EXPECT_FALSE(splash.Transparent());
  Show(splash);
  ASSERT_EQ(seen_.destroyed, 1);

  EXPECT_EQ(seen_.rect.right - seen_.rect.left, 242);
  EXPECT_EQ(seen_.rect.bottom - seen_.rect.top, 360);
  EXPECT_EQ(seen_.rect.left, (::GetSystemMetrics(SM_CXSCREEN) - 242) / 2);
  EXPECT_EQ(seen_.rect.top, (::GetSystemMetrics(SM_CYSCREEN) - 360) / 2);
  EXPECT_TRUE(seen_.style & WS_POPUP);
  EXPECT_EQ(seen_.style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME), 0);
  EXPECT_EQ(seen_.ex_style & (WS_EX_TOPMOST | WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE), 0);
  EXPECT_EQ(seen_.background, 0u);
  EXPECT_FALSE(seen_.erase_painted);

  ASSERT_TRUE(seen_.has_logo);
  EXPECT_EQ(seen_.logo_rect.left, 0);
  EXPECT_EQ(seen_.logo_rect.top, 0);
  EXPECT_EQ(seen_.logo_rect.right, 242);
  EXPECT_EQ(seen_.logo_rect.bottom, 360);
  EXPECT_EQ(seen_.logo_style & SS_TYPEMASK, SS_BITMAP);
  EXPECT_EQ(seen_.logo_ex_style & WS_EX_TRANSPARENT, 0);
  EXPECT_EQ(seen_.bitmap.bmWidth, 242);
  EXPECT_EQ(seen_.bitmap.bmHeight, 360);
  // The pixel as decoded: neither its colours swapped nor the rows upside down.
  const std::size_t at = (static_cast<std::size_t>(kSample.y) * 242 + kSample.x) * 3;
  const std::uint8_t* bgr = &decoded.pixels.bgr[at];
  EXPECT_EQ(seen_.sample, RGB(bgr[2], bgr[1], bgr[0]));
}

TEST_F(SplashTest, TransparentIsPassedToThePictureControl) {
  TStartMark splash(::GetModuleHandleW(nullptr));
  splash.SetShowTime(0);
  splash.SetPicture(ProgramPicture());
  splash.SetTransparent(true);
  Show(splash);
  ASSERT_EQ(seen_.destroyed, 1);
  ASSERT_TRUE(seen_.has_logo);
  EXPECT_NE(seen_.logo_ex_style & WS_EX_TRANSPARENT, 0);
}

TEST_F(SplashTest, EmptyPictureShowsNoImageForTheWholeTime) {
  TStartMark splash(::GetModuleHandleW(nullptr));
  splash.SetShowTime(1);
  Show(splash);
  ASSERT_EQ(seen_.destroyed, 1);
  EXPECT_GE(seen_.destroyed_tick - seen_.created_tick, 600u);
  EXPECT_EQ(seen_.bitmap.bmWidth, 0);
}

TEST_F(SplashTest, RejectedPictureThrowsAndShowsNothing) {
  TStartMark splash(::GetModuleHandleW(nullptr));
  splash.SetShowTime(1);
  splash.SetPicture("GIF89a, not a JPEG file");
  try {
    splash.SetActive(true);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), "JPEG error #" + std::to_string(JERR_NO_SOI));
  }
  EXPECT_TRUE(splash.Active());
  EXPECT_EQ(seen_.created, 0);
}

TEST_F(SplashTest, InactiveShowsNothing) {
  TStartMark splash(::GetModuleHandleW(nullptr));
  splash.SetPicture(ProgramPicture());
  splash.SetActive(false);
  EXPECT_FALSE(splash.Active());
  EXPECT_EQ(seen_.created, 0);
}

TEST(SplashPictureResource, ThePicturesBytesOrEmpty) {
  const std::string picture = SplashPicture(::GetModuleHandleW(nullptr));
  ASSERT_GE(picture.size(), 4u);
  EXPECT_EQ(picture.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(picture.substr(picture.size() - 2), "\xFF\xD9");
  EXPECT_EQ(SplashPicture(::GetModuleHandleW(L"kernel32.dll")), "");
}

}  // namespace
}  // namespace quorvel::ui
