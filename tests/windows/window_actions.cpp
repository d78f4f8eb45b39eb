// What the desktop and other programs do to the launcher's window, from a
// process of their own beside it (the end-to-end tests run it under Wine):
//   quarvel_window_actions close-in-box        posts WM_CLOSE once the window owns a box
//   quarvel_window_actions end-session-in-box  sends WM_QUERYENDSESSION, then WM_ENDSESSION
//                                              (log-off) once the window owns a box
//   quarvel_window_actions syscommand HEX      sends WM_SYSCOMMAND HEX (SC_KEYMENU with ' ',
//                                              as Alt+Space does)
// A command that opens a modal loop of the window's (its system menu, a move)
// is answered only when that loop ends: it is waited for one second at most.
// Exit status: 0 done; 1 no box appeared; 2 no launcher window; 3 the window
// refused or did not answer; 4 bad arguments.
#include <windows.h>
// shellapi.h needs the types from windows.h first.
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

// Polls `find` every 20 ms for up to 10 s; what it found, or null.
template <typename Find>
HWND wait_for(Find find) {
  for (int tries = 0; tries < 500; ++tries) {
    if (HWND found = find()) return found;
    Sleep(20);
  }
  return nullptr;
}

// The launcher's window, by its caption.
HWND launcher_window() {
  return wait_for([] { return FindWindowW(nullptr, L"Quarvel"); });
}

// A visible window owned by `owner`, such as the box the shell shows during a request.
HWND box_of(HWND owner) {
  struct Search {
    HWND owner;
    HWND box;
  } search{owner, nullptr};
  const WNDENUMPROC each = [](HWND w, LPARAM p) -> BOOL {
    auto* s = reinterpret_cast<Search*>(p);
    if (GetWindow(w, GW_OWNER) != s->owner || !IsWindowVisible(w)) return TRUE;
    s->box = w;
    return FALSE;
  };
  return wait_for([&] {
    EnumWindows(each, reinterpret_cast<LPARAM>(&search));
    return search.box;
  });
}

// Sends a message and waits `timeout` ms for the answer; false if none came.
bool send(HWND w, UINT message, WPARAM wparam, LPARAM lparam, UINT timeout,
          LRESULT* answer = nullptr) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(w, message, wparam, lparam, SMTO_NORMAL, timeout, &result)) {
    return false;
  }
  if (answer) *answer = static_cast<LRESULT>(result);
  return true;
}

// The system's end of session: asked first, then told, as at log-off.
int end_session(HWND w) {
  LRESULT may_end = FALSE;
  if (!send(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, 5000, &may_end) || !may_end) return 3;
  return send(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, 5000) ? 0 : 3;
}

int system_command(HWND w, const std::wstring& hex) {
  const auto command = static_cast<WPARAM>(std::wcstoul(hex.c_str(), nullptr, 16));
  const LPARAM key = (command & 0xFFF0) == SC_KEYMENU ? L' ' : 0;
  if (send(w, WM_SYSCOMMAND, command, key, 1000)) return 0;
  return IsWindow(w) ? 0 : 3;  // not answered yet: a modal loop of the window's is open
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 4;
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  LocalFree(argv);
  if (args.empty()) return 4;

  HWND launcher = launcher_window();
  if (!launcher) return 2;
  if (args[0] == L"syscommand" && args.size() == 2) return system_command(launcher, args[1]);
  if (args[0] != L"close-in-box" && args[0] != L"end-session-in-box") return 4;
  if (!box_of(launcher)) return 1;
  if (args[0] == L"end-session-in-box") return end_session(launcher);
  return PostMessageW(launcher, WM_CLOSE, 0, 0) ? 0 : 3;
}
