#include "run_video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libavutil/rational.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace {

// Visually lossless for terrain; the preset keeps encoding well under the
// time a frame takes to render on llvmpipe.
constexpr const char* kX264Preset = "veryfast";
constexpr const char* kX264Crf = "18";
// The fallback's quantiser (2 is the finest step that still compresses).
constexpr int kMpeg4Quantiser = 2;
// A key frame every two seconds: a fragmented MP4 is cut at key frames, so
// a run that dies loses at most this much of its video.
constexpr double kKeyFrameSeconds = 2.0;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

bool EncoderExists(const char* name) { return avcodec_find_encoder_by_name(name) != nullptr; }

}  // namespace

VideoRate ChooseVideoRate(int fps, int clockMs, const std::vector<qv::host::ClockStep>& steps, int frames) {
  if (fps > 0) return {fps, 1};
  if (clockMs > 0) {
    const int g = std::gcd(1000, clockMs);
    return {1000 / g, clockMs / g};
  }
  if (steps.empty()) return {0, 1};
  // Frame f (from 1) is the step in force at f later than frame f - 1.
  const int last = std::max(frames - 1, steps.back().frame);
  std::int64_t ms = 0;
  std::uint32_t step = 0;
  std::size_t next = 0;
  for (int f = 1; f <= last; ++f) {
    while (next < steps.size() && steps[next].frame <= f) step = steps[next++].ms;
    ms += step;
  }
  if (ms <= 0) return {0, 1};
  VideoRate rate;
  av_reduce(&rate.num, &rate.den, static_cast<std::int64_t>(last) * 1000, ms, 1 << 20);
  return rate;
}

const char* VideoContainerFor(const std::string& path) {
  auto endsWith = [&](const char* tail) {
    const std::string t(tail);
    return path.size() > t.size() && path.compare(path.size() - t.size(), t.size(), t) == 0;
  };
  if (endsWith(".mp4")) return "mp4";
  if (endsWith(".mkv")) return "matroska";
  return nullptr;
}

VideoEncoderChoice ChooseVideoEncoder(bool (*available)(const char* name)) {
  if (available("libx264")) return {"libx264", ""};
  if (available("mpeg4"))
    return {"mpeg4", "this FFmpeg has no H.264 encoder (libx264); the video is MPEG-4 Part 2 instead"};
  return {nullptr, "this FFmpeg has neither an H.264 (libx264) nor an MPEG-4 encoder"};
}

struct VideoWriter::State {
  std::string path;
  VideoRate rate;
  const AVCodec* codec = nullptr;
  std::string note, error;
  AVFormatContext* format = nullptr;
  AVCodecContext* encoder = nullptr;
  AVStream* stream = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  int width = 0, height = 0;
  int firstFrame = -1, lastFrame = -1;
  int written = 0;
  bool failed = false, finished = false;
  double encodeMs = 0.0;

  bool Fail(const std::string& what, int code) {
    if (!failed)
      error = "writing video '" + path + "' failed: " + what + (code < 0 ? ": " + AvError(code) : "");
    failed = true;
    return false;
  }
  bool StartStream(int w, int h);
  bool Encode(const AVFrame* picture);
};

bool VideoWriter::State::StartStream(int w, int h) {
  width = w;
  height = h;
  encoder = avcodec_alloc_context3(codec);
  if (!encoder) return Fail("no memory for the encoder", 0);
  encoder->width = w;
  encoder->height = h;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->time_base = {rate.den, rate.num};
  encoder->framerate = {rate.num, rate.den};
  encoder->gop_size = std::max(1, static_cast<int>(std::lround(kKeyFrameSeconds * rate.num / rate.den)));
  // The colour conversion below uses the BT.709 matrix into video range;
  // the stream says so, so that players convert back the same way.
  encoder->color_range = AVCOL_RANGE_MPEG;
  encoder->colorspace = AVCOL_SPC_BT709;
  encoder->color_primaries = AVCOL_PRI_BT709;
  encoder->color_trc = AVCOL_TRC_BT709;
  if (format->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* codecOptions = nullptr;
  if (std::string(codec->name) == "libx264") {
    av_dict_set(&codecOptions, "preset", kX264Preset, 0);
    av_dict_set(&codecOptions, "crf", kX264Crf, 0);
  } else {
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = FF_QP2LAMBDA * kMpeg4Quantiser;
  }
  int ret = avcodec_open2(encoder, codec, &codecOptions);
  av_dict_free(&codecOptions);
  if (ret < 0) return Fail(std::string("cannot open the ") + codec->name + " encoder", ret);

  stream = avformat_new_stream(format, nullptr);
  if (!stream) return Fail("no memory for the stream", 0);
  ret = avcodec_parameters_from_context(stream->codecpar, encoder);
  if (ret < 0) return Fail("cannot describe the stream", ret);
  stream->time_base = encoder->time_base;
  stream->avg_frame_rate = encoder->framerate;
  AVDictionary* muxOptions = nullptr;
  // A fragmented MP4 (a moof box every key frame, no index at the end) is
  // playable up to its last whole fragment when the run is cut short, and
  // the muxer keeps no per-frame index in memory.
  if (std::string(format->oformat->name) == "mp4")
    av_dict_set(&muxOptions, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
  ret = avformat_write_header(format, &muxOptions);
  av_dict_free(&muxOptions);
  if (ret < 0) return Fail("cannot write the header", ret);

  scaler = sws_getContext(w, h, AV_PIX_FMT_RGB24, w, h, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                          nullptr);
  if (!scaler) return Fail("cannot set up the colour conversion", 0);
  // Source: full-range RGB; destination: BT.709 in video range.
  sws_setColorspaceDetails(scaler, sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709),
                           0, 0, 1 << 16, 1 << 16);
  frame = av_frame_alloc();
  packet = av_packet_alloc();
  if (!frame || !packet) return Fail("no memory for a frame", 0);
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = w;
  frame->height = h;
  frame->color_range = encoder->color_range;
  frame->colorspace = encoder->colorspace;
  ret = av_frame_get_buffer(frame, 0);
  if (ret < 0) return Fail("no memory for a frame", ret);
  return true;
}

// Hands one picture (null: the end) to the encoder and writes every packet
// it gives back.
bool VideoWriter::State::Encode(const AVFrame* picture) {
  int ret = avcodec_send_frame(encoder, picture);
  if (ret < 0) return Fail("the encoder refused a frame", ret);
  for (;;) {
    ret = avcodec_receive_packet(encoder, packet);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return Fail("the encoder failed", ret);
    av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
    packet->stream_index = stream->index;
    ret = av_interleaved_write_frame(format, packet);  // takes the packet's data
    // A write that failed in the output's buffer shows up here, not before.
    if (ret >= 0 && format->pb->error < 0) ret = format->pb->error;
    if (ret < 0) return Fail("cannot write", ret);
  }
}

VideoWriter::VideoWriter(std::unique_ptr<State> state) : m(std::move(state)) {}

VideoWriter::~VideoWriter() {
  if (!m->finished) Finish();
  sws_freeContext(m->scaler);
  av_frame_free(&m->frame);
  av_packet_free(&m->packet);
  avcodec_free_context(&m->encoder);
  if (m->format) {
    if (m->format->pb) avio_closep(&m->format->pb);
    avformat_free_context(m->format);
  }
}

std::unique_ptr<VideoWriter> VideoWriter::Open(const std::string& path, VideoRate rate, std::string* error) {
  const char* container = VideoContainerFor(path);
  if (!container) {
    *error = "the video file '" + path + "' must end in .mp4 or .mkv";
    return nullptr;
  }
  if (rate.num <= 0 || rate.den <= 0) {
    *error = "the video needs a frame rate";
    return nullptr;
  }
  // The library's own messages would add lines to ours; every failure comes
  // back as a result code and is told in one line.
  av_log_set_level(AV_LOG_FATAL);
  auto state = std::make_unique<State>();
  state->path = path;
  state->rate = rate;
  const VideoEncoderChoice choice = ChooseVideoEncoder(EncoderExists);
  if (!choice.name) {
    *error = choice.note;
    return nullptr;
  }
  state->codec = avcodec_find_encoder_by_name(choice.name);
  state->note = choice.note;
  std::unique_ptr<VideoWriter> writer(new VideoWriter(std::move(state)));
  State& s = *writer->m;
  int ret = avformat_alloc_output_context2(&s.format, nullptr, container, path.c_str());
  if (ret < 0 || !s.format) {
    *error = "cannot set up the video container for '" + path + "': " + AvError(ret);
    s.finished = true;
    return nullptr;
  }
  // The file is opened now, so that an unwritable path fails before the run.
  ret = avio_open(&s.format->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (ret < 0) {
    *error = "cannot write video '" + path + "': " + AvError(ret);
    s.finished = true;
    return nullptr;
  }
  return writer;
}

const std::string& VideoWriter::Note() const { return m->note; }
const std::string& VideoWriter::Error() const { return m->error; }
int VideoWriter::FramesWritten() const { return m->written; }
double VideoWriter::EncodeMs() const { return m->encodeMs; }

bool VideoWriter::Add(int frame, const std::uint8_t* rgb, int width, int height) {
  State& s = *m;
  if (s.failed || s.finished) return false;
  if (frame <= s.lastFrame) return true;  // a second picture in one frame: the first one counts
  const auto start = std::chrono::steady_clock::now();
  bool ok = true;
  if (!s.stream) {
    ok = s.StartStream(width, height);
    s.firstFrame = frame;
  } else if (width != s.width || height != s.height) {
    char what[96];
    std::snprintf(what, sizeof what, "frame %d is %d x %d, the video %d x %d", frame, width, height, s.width,
                  s.height);
    ok = s.Fail(what, 0);
  }
  if (ok) {
    const int ret = av_frame_make_writable(s.frame);
    ok = ret >= 0 || s.Fail("no memory for a frame", ret);
  }
  if (ok) {
    const std::uint8_t* planes[1] = {rgb};
    const int strides[1] = {width * 3};
    sws_scale(s.scaler, planes, strides, 0, height, s.frame->data, s.frame->linesize);
    s.frame->pts = frame - s.firstFrame;
    ok = s.Encode(s.frame);
  }
  if (ok) {
    s.lastFrame = frame;
    ++s.written;
  }
  s.encodeMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return ok;
}

bool VideoWriter::Finish() {
  State& s = *m;
  if (s.finished) return !s.failed;
  s.finished = true;
  const auto start = std::chrono::steady_clock::now();
  // After a failed write the muxer is not asked for its trailer: what is in
  // the file stays as it is (a Matroska file and a fragmented MP4 play up to
  // their last whole cluster or fragment).
  if (s.stream && !s.failed && s.Encode(nullptr)) {
    const int ret = av_write_trailer(s.format);
    if (ret < 0) s.Fail("cannot end the file", ret);
  }
  if (s.format && s.format->pb) {
    const int ret = avio_closep(&s.format->pb);
    if (ret < 0) s.Fail("cannot close the file", ret);
  }
  if (s.written == 0 && !s.failed) std::remove(s.path.c_str());
  s.encodeMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return !s.failed;
}
