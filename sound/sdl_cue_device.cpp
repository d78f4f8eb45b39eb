// The Linux cue device on SDL2 audio (placeholder: silent until the worker lands).
#include <memory>

#include "sound/cue_device.h"

namespace quarvel::sound {
namespace {

class SilentCueDevice final : public CueDevice {
 public:
  void set_device_type(std::string_view) override {}
  void set_file_name(std::string) override {}
  void command(CueCommand) override {}
};

}  // namespace

std::unique_ptr<CueDevice> make_platform_cue_device() {
  return std::make_unique<SilentCueDevice>();
}

}  // namespace quarvel::sound
