// The window host on Win32: app/host.h.
// Implemented: one popup window without frame, drawn with GDI from a DIB section that the core
//   draws into; pointer moves, left clicks, the desktop's close (WM_CLOSE, WM_ENDSESSION) and one
//   Win32 timer, always set for the core's earliest due time, each handed to the core; the icon
//   and a taskbar button whose menu restores, minimizes and closes.
// Left out: keys other than the system's own (Alt+F4, Alt+Space); Move, Size and Maximize (the
//   window stays where and as large as it was made); DPI awareness (Windows scales it whole).
// Why it is so: ShellExecuteA may run a message loop of its own (its error box, owned by our
//   window; DDE with a document's program), so the desktop's close can arrive while a core call
//   is still on the stack: the core unloads at once, and the core, the sound device and the window
//   go only once that call has returned.
#include <windows.h>
// windowsx.h and objbase.h need the types from windows.h first.
#include <objbase.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <memory>

#include "app/launcher.h"
#include "assets/pictures.h"
#include "base/paths.h"
#include "launch/shell_request.h"
#include "sound/cue_device.h"

namespace quarvel {
namespace {

constexpr wchar_t kWindowClass[] = L"QuarvelForm1";
constexpr UINT_PTR kTimerId = 1;
constexpr WORD kIconId = 1;  // the program's icon in quarvel.rc
constexpr Rect kClientArea{0, 0, kClientWidth, kClientHeight};
// The window has no frame and stays where and as large as it was made.
constexpr UINT kFixedPlaceCommands[] = {SC_MOVE, SC_SIZE, SC_MAXIMIZE};
// How long the end after a close from outside may wait for the sound device.
constexpr std::chrono::milliseconds kSoundGrace{2000};

LRESULT CALLBACK window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

class Win32Host final : public Host {
 public:
  int run(HINSTANCE instance);

  void invalidate(const Rect& area) override;
  void minimize() override { ShowWindow(window_, SW_MINIMIZE); }
  [[noreturn]] void end_program() override;
  NativeHandle window_handle() const override {
    return static_cast<NativeHandle>(reinterpret_cast<std::uintptr_t>(window_));
  }
  Millis now() const override { return static_cast<Millis>(GetTickCount64()); }

  // For the window procedure, which calls them only while the core is there.
  bool has_core() const { return launcher_ != nullptr; }
  void paint();
  void pointer_moved(LPARAM lparam);
  void button_down(LPARAM lparam);
  void button_up(LPARAM lparam);
  void timer_fired();
  void closed_from_outside();

 private:
  bool register_class();
  bool create_window();
  void trim_system_menu();
  bool create_frame();
  void arm_timer();
  template <typename Call>
  void call_core(Call call);
  void let_go();
  void finish_sound();

  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HICON large_icon_ = nullptr;
  HICON small_icon_ = nullptr;

  // The frame: a top-down 0x00RRGGBB DIB section in a memory DC, drawn into by the core.
  HDC frame_dc_ = nullptr;
  HBITMAP frame_bitmap_ = nullptr;
  HGDIOBJ previous_bitmap_ = nullptr;
  std::uint32_t* frame_pixels_ = nullptr;

  assets::Pictures pictures_;
  std::unique_ptr<sound::CueDevice> cue_device_;
  std::unique_ptr<launch::Shell> shell_;
  std::unique_ptr<Launcher> launcher_;  // gone once the window is closed from outside
  int core_calls_ = 0;                  // core entry points on the stack, nested ones too
};

// Ends at once. After a close from outside during the game's request the
// unload step's close is still on its way to the device: it arrives first.
void Win32Host::end_program() {
  if (launcher_->unloaded()) finish_sound();
  ExitProcess(0);
}

// Asks for the changed rectangle to be painted; the background is never erased.
void Win32Host::invalidate(const Rect& area) {
  const RECT r{area.left, area.top, area.right(), area.bottom()};
  InvalidateRect(window_, &r, FALSE);
}

// Draws the part of the window that needs it into the frame and copies it to the screen.
void Win32Host::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  const Rect asked{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                   ps.rcPaint.bottom - ps.rcPaint.top};
  const Rect area = intersect(asked, kClientArea);
  if (!area.empty()) {
    GdiFlush();
    launcher_->model().draw(pictures_, area,
                            FrameView{frame_pixels_, kClientWidth, kClientHeight, kClientWidth});
    BitBlt(dc, area.left, area.top, area.width, area.height, frame_dc_, area.left, area.top,
           SRCCOPY);
  }
  EndPaint(window_, &ps);
}

// A pointer move over the client area; moves reported outside it while the
// button is held (the window has the capture) are not moves over the window.
void Win32Host::pointer_moved(LPARAM lparam) {
  const int x = GET_X_LPARAM(lparam);
  const int y = GET_Y_LPARAM(lparam);
  if (!kClientArea.contains(x, y)) return;
  call_core([&] { launcher_->pointer_moved(x, y); });
}

// The left button went down: keep the pointer until it comes up again.
void Win32Host::button_down(LPARAM lparam) {
  SetCapture(window_);
  call_core([&] { launcher_->pointer_pressed(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)); });
}

// The left button came up: the core decides whether that was a click.
void Win32Host::button_up(LPARAM lparam) {
  ReleaseCapture();
  call_core([&] { launcher_->pointer_released(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)); });
}

// The Win32 timer fired: run every core timer that is due, then wait for the next.
void Win32Host::timer_fired() {
  call_core([&] { launcher_->run_due_timers(now()); });
}

// The desktop closes the window (Alt+F4, the taskbar, log-off): unload once,
// then end. Inside a core call the rest waits for that call to return; the
// quit message ends the modal loops under it (they pass it on), so it returns.
void Win32Host::closed_from_outside() {
  if (launcher_->unloaded()) return;
  KillTimer(window_, kTimerId);
  launcher_->closed_from_outside();
  if (core_calls_ == 0) return let_go();
  PostQuitMessage(0);
}

// Runs a core entry point, then sets the timer for what it left due, or lets
// everything go if the window was closed during it and no other call is open.
template <typename Call>
void Win32Host::call_core(Call call) {
  ++core_calls_;
  call();
  --core_calls_;
  if (!launcher_->unloaded()) return arm_timer();
  if (core_calls_ == 0) let_go();
}

// The window is closed: the core goes, then the window, then the sound device,
// which waits until the unload step's close has reached it (after WM_ENDSESSION
// the system may end the process at any moment).
void Win32Host::let_go() {
  launcher_.reset();
  DestroyWindow(window_);
  finish_sound();
}

// The sound device has a bounded time to carry out what it was asked; a hung
// driver keeps it, and then the process ends at once, without any DLL's
// clean-up, which could wait on that driver too.
void Win32Host::finish_sound() {
  if (!cue_device_) return;
  if (!cue_device_->finish(kSoundGrace)) TerminateProcess(GetCurrentProcess(), 0);
  cue_device_.reset();
}

// Sets the one Win32 timer for the core's earliest due time, or none.
void Win32Host::arm_timer() {
  const auto due = launcher_->next_due();
  if (!due) {
    KillTimer(window_, kTimerId);
    return;
  }
  const Millis wait = *due - now();
  SetTimer(window_, kTimerId, wait > 0 ? static_cast<UINT>(wait) : USER_TIMER_MINIMUM, nullptr);
}

// The window class: no background brush (the pictures cover the client area).
bool Win32Host::register_class() {
  large_icon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXICON),
                                              GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  small_icon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = window_procedure;
  wc.hInstance = instance_;
  wc.hIcon = large_icon_;
  wc.hIconSm = small_icon_;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = kWindowClass;
  return RegisterClassExW(&wc) != 0;
}

// The hidden popup window without frame, 500 x 480, centred on the screen. The
// system menu and minimize box give it a taskbar button that restores,
// minimizes and closes it (and nothing else: see trim_system_menu).
bool Win32Host::create_window() {
  const DWORD style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
  const DWORD ex_style = WS_EX_APPWINDOW;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  window_ = CreateWindowExW(ex_style, kWindowClass, L"Quarvel", style, left, top, width, height,
                            nullptr, nullptr, instance_, this);
  if (!window_) return false;
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large_icon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
  trim_system_menu();
  return true;
}

// Alt+Space and the taskbar button's menu offer no Move, Size or Maximize.
void Win32Host::trim_system_menu() {
  HMENU menu = GetSystemMenu(window_, FALSE);
  for (const UINT command : kFixedPlaceCommands) DeleteMenu(menu, command, MF_BYCOMMAND);
}

// The frame the core draws into: a 32-bit top-down DIB section.
bool Win32Host::create_frame() {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = kClientWidth;
  bi.bmiHeader.biHeight = -kClientHeight;  // negative: rows top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;  // 0x00RRGGBB words, as the core draws them
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  frame_dc_ = CreateCompatibleDC(nullptr);
  frame_bitmap_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!frame_dc_ || !frame_bitmap_) return false;
  frame_pixels_ = static_cast<std::uint32_t*>(bits);
  previous_bitmap_ = SelectObject(frame_dc_, frame_bitmap_);
  return true;
}

int Win32Host::run(HINSTANCE instance) {
  instance_ = instance;
  // The shell's handlers for a document may be COM objects.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  pictures_ = assets::Pictures::decode_all();
  if (!register_class() || !create_frame() || !create_window()) return 1;

  cue_device_ = sound::make_platform_cue_device();
  shell_ = launch::make_platform_shell();
  launcher_ = std::make_unique<Launcher>(*this, *cue_device_, *shell_, application_directory,
                                         kNativeSeparator);

  launcher_->load();
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  arm_timer();

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);  // the system's own keys (Alt+F4, Alt+Space)
    DispatchMessageW(&msg);
  }

  launcher_.reset();
  finish_sound();
  SelectObject(frame_dc_, previous_bitmap_);
  DeleteObject(frame_bitmap_);
  DeleteDC(frame_dc_);
  CoUninitialize();
  return 0;
}

Win32Host* host_of(HWND hwnd) {
  return reinterpret_cast<Win32Host*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Keeps the host with its window from the first message on.
void attach_host(HWND hwnd, LPARAM lparam) {
  const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lparam);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
}

// A system command that would move, size or maximize the window, however it is
// asked for (the low four bits of the command are the system's own).
bool moves_or_sizes(WPARAM command) {
  const auto asked = static_cast<UINT>(command & 0xFFF0);
  return std::find(std::begin(kFixedPlaceCommands), std::end(kFixedPlaceCommands), asked) !=
         std::end(kFixedPlaceCommands);
}

LRESULT CALLBACK window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) attach_host(hwnd, lparam);
  if (message == WM_DESTROY) {  // the only window is gone: so is the program
    PostQuitMessage(0);
    return 0;
  }
  // Whoever asks (a menu, the taskbar, another program), the window keeps its place and size.
  if (message == WM_SYSCOMMAND && moves_or_sizes(wparam)) return 0;
  // Before the core is made and once it is gone, the system's defaults.
  Win32Host* host = host_of(hwnd);
  if (!host || !host->has_core()) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    case WM_ERASEBKGND:  // the pictures cover every pixel: erasing would only flicker
      return 1;
    case WM_PAINT:
      host->paint();
      return 0;
    case WM_MOUSEMOVE:
      host->pointer_moved(lparam);
      return 0;
    case WM_LBUTTONDOWN:
      host->button_down(lparam);
      return 0;
    case WM_LBUTTONUP:
      host->button_up(lparam);
      return 0;
    case WM_TIMER:
      if (wparam == kTimerId) host->timer_fired();
      return 0;
    case WM_CLOSE:  // Alt+F4, the taskbar's close
      host->closed_from_outside();
      return 0;
    case WM_ENDSESSION:  // log-off or shut-down goes ahead
      if (wparam) host->closed_from_outside();
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

}  // namespace
}  // namespace quarvel

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  quarvel::Win32Host host;
  return host.run(instance);
}
