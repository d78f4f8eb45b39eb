// Paths of the files the launcher uses: the application directory followed by
// a fixed literal, joined by plain concatenation with no normalisation.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// The path separator of the platform being built ('\\' on Windows, '/' elsewhere).
#if defined(_WIN32)
inline constexpr char kNativeSeparator = '\\';
#else
inline constexpr char kNativeSeparator = '/';
#endif

// dir followed by literal, whose backslashes become `separator`. A directory
// that ends in a separator (a file-system root) gives two in a row.
std::string join_path(std::string_view dir, std::string_view literal, char separator);

// The folder that holds the running executable, read afresh on every call, as
// UTF-8 text. No trailing separator, except at a root ("/" or "C:\").
// Defined by the platform backend (posix_app_dir.cpp, win32_app_dir.cpp).
std::string application_directory();

// application_directory() + literal, with the platform's separator.
std::string application_path(std::string_view literal);

}  // namespace quarvel
