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

// ".doc" -> QuarvelTest.Document -> "<this program>" "%1"
bool register_for_doc() {
  using namespace quarvel::wintest;
  const std::wstring command = L"\"" + own_path() + L"\" \"%1\"";
  return set_class_value(L".doc", nullptr, L"QuarvelTest.Document") &&
         set_class_value(L"QuarvelTest.Document\\shell\\open\\command", nullptr, command);
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
