// The application directory on Windows (base/paths.h): the folder of this program's own file.
// Implemented: GetModuleFileNameW, however long the path, as UTF-8; a drive root keeps its
//   backslash ("C:\").
// Why it is so: the wide API, because a folder named in another script has no 8-bit name.
#include <windows.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "base/win32_text.h"

namespace quarvel {

std::string application_directory() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return ".";
    if (n < buf.size()) {
      std::wstring exe(buf.data(), n);
      const auto slash = exe.find_last_of(L"\\/");
      if (slash == std::wstring::npos) return ".";
      // "C:\Quarvel.exe" lives in "C:\"; every other folder loses its separator.
      const bool at_root = slash == 2 && exe[1] == L':';
      const std::size_t length = at_root ? slash + 1 : slash;
      return narrow(std::wstring_view(exe.data(), length));
    }
    buf.resize(buf.size() * 2);  // a long path: try again with more room
  }
}

}  // namespace quarvel
