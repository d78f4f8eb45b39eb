#include "base/paths.h"

namespace quarvel {

std::string join_path(std::string_view dir, std::string_view literal, char separator) {
  std::string path;
  path.reserve(dir.size() + literal.size());
  path.append(dir);
  for (char c : literal) path.push_back(c == '\\' ? separator : c);
  return path;
}

std::string application_path(std::string_view literal) {
  return join_path(application_directory(), literal, kNativeSeparator);
}

}  // namespace quarvel
