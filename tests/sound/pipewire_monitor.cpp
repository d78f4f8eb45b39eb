// Records what a PipeWire sink plays, from its monitor, as a desktop client at
// 20 ms latency would, and stamps every buffer with the graph clock of the
// cycle that rendered it. parec's reads through pipewire-pulse arrive up to a
// few cycles late; these stamps are PipeWire's own.
//
//   quarvel_pipewire_monitor SINK
//
// Writes to stdout, per buffer: the cycle's CLOCK_MONOTONIC time in ns
// (int64), the sample count (uint32), then that many mono 16-bit samples at
// 48 kHz. Ends when stdout is closed or on SIGTERM.
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 48000;

struct Recorder {
  pw_main_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_stream* stream = nullptr;
  std::vector<std::uint8_t> out;
};

bool write_all(const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(STDOUT_FILENO, p, n);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

void on_process(void* data) {
  auto* r = static_cast<Recorder*>(data);
  pw_buffer* b = pw_stream_dequeue_buffer(r->stream);
  if (!b) return;
  const spa_data& d = b->buffer->datas[0];
  pw_time t{};
  pw_stream_get_time_n(r->stream, &t, sizeof t);
  if (d.data && d.chunk) {
    const std::uint32_t offset = std::min(d.chunk->offset, d.maxsize);
    const std::uint32_t count = std::min(d.chunk->size, d.maxsize - offset) / 2;
    const std::int64_t when = t.now;
    r->out.resize(12 + std::size_t{count} * 2);
    std::memcpy(r->out.data(), &when, 8);
    std::memcpy(r->out.data() + 8, &count, 4);
    std::memcpy(r->out.data() + 12, static_cast<const std::uint8_t*>(d.data) + offset,
                std::size_t{count} * 2);
    if (!write_all(r->out.data(), r->out.size())) pw_main_loop_quit(r->loop);
  }
  pw_stream_queue_buffer(r->stream, b);
}

void on_quit(void* data, int) {
  pw_main_loop_quit(static_cast<Recorder*>(data)->loop);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::signal(SIGPIPE, SIG_IGN);
  pw_init(&argc, &argv);
  Recorder r;
  r.loop = pw_main_loop_new(nullptr);
  pw_loop_add_signal(pw_main_loop_get_loop(r.loop), SIGTERM, on_quit, &r);
  pw_properties* props =
      pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
                        PW_KEY_MEDIA_ROLE, "Music", PW_KEY_STREAM_CAPTURE_SINK, "true",
                        PW_KEY_TARGET_OBJECT, argv[1], PW_KEY_NODE_LATENCY, "960/48000", nullptr);
  pw_stream_events events{};
  events.version = PW_VERSION_STREAM_EVENTS;
  events.process = on_process;
  // A desktop's audio clients take client-rt.conf: their buffers are handled
  // in a realtime thread, which no busy program delays past its cycle.
  r.context = pw_context_new(pw_main_loop_get_loop(r.loop),
                             pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
  pw_core* core = r.context ? pw_context_connect(r.context, nullptr, 0) : nullptr;
  if (!core) return 1;
  r.stream = pw_stream_new(core, "quarvel-monitor", props);
  spa_hook listener{};
  pw_stream_add_listener(r.stream, &listener, &events, &r);
  std::uint8_t buffer[1024];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  spa_audio_info_raw info{};
  info.format = SPA_AUDIO_FORMAT_S16;
  info.rate = kRate;
  info.channels = 1;
  const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
  if (pw_stream_connect(
          r.stream, PW_DIRECTION_INPUT, PW_ID_ANY,
          static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                       PW_STREAM_FLAG_RT_PROCESS),
          params, 1) != 0) {
    return 1;
  }
  pw_main_loop_run(r.loop);
  pw_stream_destroy(r.stream);
  pw_context_destroy(r.context);
  pw_main_loop_destroy(r.loop);
  pw_deinit();
  return 0;
}
