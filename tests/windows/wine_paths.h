// Paths of the Linux side as a program under Wine sees them.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "record.h"

namespace quarvel::wintest {

// The DOS path of a Unix path, through Wine's own conversion (the drive that
// maps "/", usually Z:).
inline std::wstring from_unix(std::string_view unix_path) {
  using Convert = WCHAR*(CDECL*)(LPCSTR);
  static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  const std::string path(unix_path);
  if (convert) {
    if (WCHAR* dos = convert(path.c_str())) {
      std::wstring out(dos);
      HeapFree(GetProcessHeap(), 0, dos);
      return out;
    }
  }
  std::wstring out = L"Z:" + widen(path);
  for (auto& c : out) c = c == L'/' ? L'\\' : c;
  return out;
}

}  // namespace quarvel::wintest
