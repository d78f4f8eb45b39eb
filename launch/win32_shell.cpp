// The shell on Windows (launch/shell_request.h): ShellExecuteA of shell32.dll.
// Implemented: every request, its UTF-8 strings made UTF-16 and then 8-bit text in the system's
//   ANSI code page just before the call.
// Left out: the result (> 32 on success) and the last error, which nothing reads.
// Why it is so: ShellExecuteA is looked up by name at its first call, not bound at start, so a
//   shell32.dll without it fails only the request that needs it, with the system's report. A path
//   with letters that the ANSI code page lacks (a folder named in another script) cannot be said in
//   8-bit text: they would turn into '?' and every request from such a folder would fail. When any
//   string does not survive the conversion, the same request goes to ShellExecuteW instead.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/win32_text.h"
#include "launch/shell_request.h"

namespace quarvel::launch {
namespace {

using ShellExecuteAFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
using ShellExecuteWFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

// Looks a function of shell32.dll up by name. Not finding it is a failing step
// of the program: it ends with the system's report.
FARPROC shell32_function(const char* name) {
  HMODULE shell32 = LoadLibraryW(L"shell32.dll");
  FARPROC fn = shell32 ? GetProcAddress(shell32, name) : nullptr;
  if (!fn) FatalAppExitA(0, (std::string(name) + " was not found in shell32.dll").c_str());
  return fn;
}

template <typename Fn>
Fn shell32_lookup(const char* name) {
  // FARPROC to a function pointer of the right type, the documented way.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(shell32_function(name)));
}

// UTF-16 to the ANSI code page; nothing if some character has no exact
// counterpart there (no best-fit look-alikes, no default character).
std::optional<std::string> to_ansi(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const UINT acp = GetACP();
  const int length = static_cast<int>(wide.size());
  const DWORD flags = acp == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used_default_arg = acp == CP_UTF8 ? nullptr : &used_default;  // UTF-8 loses nothing
  const int size = WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0, nullptr,
                                       used_default_arg);
  if (size <= 0 || used_default) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), length, out.data(), size, nullptr,
                      used_default_arg);
  // The way back must give the same text.
  const int back = MultiByteToWideChar(CP_ACP, 0, out.data(), size, nullptr, 0);
  std::wstring round(static_cast<std::size_t>(back > 0 ? back : 0), L'\0');
  if (back > 0) MultiByteToWideChar(CP_ACP, 0, out.data(), size, round.data(), back);
  if (round != wide) return std::nullopt;
  return out;
}

// One request's strings in UTF-16; the parameters may be absent (null).
struct WideRequest {
  std::wstring operation, file, directory;
  std::optional<std::wstring> parameters;
};

// The same strings in the ANSI code page, if every one of them survives.
struct AnsiRequest {
  std::string operation, file, directory;
  std::optional<std::string> parameters;
};

std::optional<AnsiRequest> to_ansi(const WideRequest& w) {
  auto directory = to_ansi(w.directory);
  std::optional<std::string> parameters;
  if (w.parameters) {
    parameters = to_ansi(*w.parameters);
    if (!parameters) return std::nullopt;
  }
  auto file = to_ansi(w.file);
  auto operation = to_ansi(w.operation);
  if (!directory || !file || !operation) return std::nullopt;
  return AnsiRequest{std::move(*operation), std::move(*file), std::move(*directory),
                     std::move(parameters)};
}

class Win32Shell final : public Shell {
 public:
  void execute(const ShellRequest& r) override {
    const WideRequest wide{widen(r.operation), widen(r.file), widen(r.directory),
                           r.parameters ? std::optional(widen(*r.parameters)) : std::nullopt};
    HWND owner = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(r.owner));
    // The result (> 32 on success) is not examined, whatever it is.
    if (const auto ansi = to_ansi(wide)) {
      static const auto shell_execute_a = shell32_lookup<ShellExecuteAFn>("ShellExecuteA");
      shell_execute_a(owner, ansi->operation.c_str(), ansi->file.c_str(),
                      ansi->parameters ? ansi->parameters->c_str() : nullptr,
                      ansi->directory.c_str(), r.show_command);
    } else {
      static const auto shell_execute_w = shell32_lookup<ShellExecuteWFn>("ShellExecuteW");
      shell_execute_w(owner, wide.operation.c_str(), wide.file.c_str(),
                      wide.parameters ? wide.parameters->c_str() : nullptr, wide.directory.c_str(),
                      r.show_command);
    }
  }
};

}  // namespace

std::unique_ptr<Shell> make_platform_shell() {
  return std::make_unique<Win32Shell>();
}

}  // namespace quarvel::launch
