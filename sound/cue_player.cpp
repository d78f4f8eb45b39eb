#include "sound/cue_player.h"

namespace quarvel::sound {

void CuePlayer::set_up_and_play_open() {
  device_.set_device_type("WaveAudio");
  device_.set_file_name(path_(cue_literal(Cue::open)));
  device_.command(CueCommand::open);
  device_.command(CueCommand::play);
}

void CuePlayer::play(Cue cue) {
  device_.command(CueCommand::close);
  device_.set_file_name(path_(cue_literal(cue)));
  device_.command(CueCommand::open);
  device_.command(CueCommand::play);
}

void CuePlayer::close() {
  device_.command(CueCommand::close);
}

}  // namespace quarvel::sound
