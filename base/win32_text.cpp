// Text at the Windows boundary (base/win32_text.h): UTF-8 to UTF-16 and back, by the system.
// Left out: any report of malformed text; the system puts its replacement character there.
#include "base/win32_text.h"

#include <windows.h>

namespace quarvel {

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), size);
  return out;
}

std::string narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int length = static_cast<int>(utf16.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, out.data(), size, nullptr, nullptr);
  }
  return out;
}

}  // namespace quarvel
