// A stand-in for the program that opens ".doc" documents. Started with a
// document, it records its whole command line and its working directory in
// opened.txt beside that document. With --register it makes itself the
// handler of ".doc" in the Wine prefix it runs in.
#include <windows.h>
// shellapi.h needs the types from windows.h first.
#include <shellapi.h>

#include <string>

#include "record.h"

namespace {

bool set_default_value(const std::wstring& key, const std::wstring& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const LONG rc =
      RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

// ".doc" -> QuarvelTest.Document -> "<this program>" "%1"
bool register_for_doc() {
  const std::wstring command = L"\"" + quarvel::wintest::own_path() + L"\" \"%1\"";
  return set_default_value(L".doc", L"QuarvelTest.Document") &&
         set_default_value(L"QuarvelTest.Document\\shell\\open\\command", command);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace quarvel::wintest;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 2) return 2;
  const std::wstring arg = argv[1];
  LocalFree(argv);
  if (arg == L"--register") return register_for_doc() ? 0 : 1;
  const std::wstring record = folder_of(arg) + L"\\opened.txt";
  return append_record(record, {GetCommandLineW(), current_directory()}) ? 0 : 1;
}
