// Text at the Windows boundary: the core holds UTF-8, Windows takes UTF-16.
// Only Windows backend files include this header.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace quarvel
