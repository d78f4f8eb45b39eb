#include "app/desktop_scale.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "app/elements.h"

namespace quarvel {

int window_scale(std::optional<double> dpi, int screen_width, int screen_height) {
  if (!dpi || !std::isfinite(*dpi) || *dpi < 2 * 96.0) return 1;
  const double fits = std::min(screen_width / kClientWidth, screen_height / kClientHeight);
  return std::max(1, static_cast<int>(std::min(std::floor(*dpi / 96.0), fits)));
}

namespace {

// Reads the settings another client wrote, trusting none of its lengths.
class SettingsReader {
 public:
  explicit SettingsReader(std::span<const std::uint8_t> data) : data_(data) {}

  bool skip(std::size_t n) {
    if (data_.size() - at_ < n) return false;
    at_ += n;
    return true;
  }
  std::optional<std::uint32_t> card(std::size_t bytes) {  // 2 or 4 bytes, in the data's order
    if (data_.empty() || data_.size() - at_ < bytes) return std::nullopt;
    const bool msb_first = data_[0] == 1;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
      const std::size_t byte = msb_first ? i : bytes - 1 - i;
      v = (v << 8) | data_[at_ + byte];
    }
    at_ += bytes;
    return v;
  }
  std::optional<std::string_view> padded_string(std::size_t n) {
    if (data_.size() - at_ < n) return std::nullopt;
    const std::string_view s(reinterpret_cast<const char*>(data_.data() + at_), n);
    if (!skip(n) || !skip((4 - n % 4) % 4)) return std::nullopt;
    return s;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t at_ = 0;
};

enum SettingType : std::uint8_t { kInteger = 0, kString = 1, kColor = 2 };

}  // namespace

std::optional<double> xsettings_dpi(std::span<const std::uint8_t> data) {
  SettingsReader in(data);
  if (!in.skip(4) || !in.card(4)) return std::nullopt;  // byte order, serial
  const auto count = in.card(4);
  std::optional<double> scale_dpi, xft_dpi;
  for (std::uint32_t i = 0; count && i < *count; ++i) {
    const auto type = in.card(1);
    const auto name_length = in.skip(1) ? in.card(2) : std::nullopt;
    const auto name = name_length ? in.padded_string(*name_length) : std::nullopt;
    if (!type || !name || !in.card(4)) return std::nullopt;  // last-change serial
    if (*type == kInteger) {
      const auto value = in.card(4);
      if (!value) return std::nullopt;
      const auto signed_value = static_cast<std::int32_t>(*value);
      if (*name == "Gdk/WindowScalingFactor" && signed_value > 0) scale_dpi = 96.0 * signed_value;
      if (*name == "Xft/DPI" && signed_value > 0) xft_dpi = signed_value / 1024.0;
    } else if (*type == kString) {
      const auto length = in.card(4);
      if (!length || !in.padded_string(*length)) return std::nullopt;
    } else if (*type != kColor || !in.skip(8)) {
      return std::nullopt;
    }
  }
  return scale_dpi ? scale_dpi : xft_dpi;
}

}  // namespace quarvel
