// A stand-in for the host game vivu.exe: it records how it was started (its
// whole command line, then its working directory) in started.txt beside
// itself, and ends.
#include <windows.h>

#include "record.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace quarvel::wintest;
  const std::wstring record = folder_of(own_path()) + L"\\started.txt";
  return append_record(record, {GetCommandLineW(), current_directory()}) ? 0 : 1;
}
