// quorvel-run --video: whole runs on the scripted host, the file decoded
// back with libavformat and libavcodec and compared with the run's own
// screenshots; and runs whose video cannot be written.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testing/run_util.h"

namespace fs = std::filesystem;

namespace {

using namespace qv::test;

// A video file decoded whole: its stream's description and every picture as
// 8-bit RGB, converted with the colour matrix and range the stream names.
struct Decoded {
  bool ok = false;
  std::string codec;
  int width = 0, height = 0;
  AVRational rate{0, 1};
  std::vector<std::vector<unsigned char>> frames;
};

Decoded DecodeVideo(const std::string& path) {
  av_log_set_level(AV_LOG_FATAL);  // a cut-short file is expected here, not news
  Decoded d;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return d;
  AVCodecContext* decoder = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  const AVCodec* codec = nullptr;
  const int index = avformat_find_stream_info(format, nullptr) >= 0
                        ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)
                        : -1;
  if (index >= 0 && (decoder = avcodec_alloc_context3(codec)) &&
      avcodec_parameters_to_context(decoder, format->streams[index]->codecpar) >= 0 &&
      avcodec_open2(decoder, codec, nullptr) >= 0) {
    d.codec = codec->name;
    d.width = decoder->width;
    d.height = decoder->height;
    d.rate = format->streams[index]->avg_frame_rate;
    auto take = [&]() {
      while (avcodec_receive_frame(decoder, frame) >= 0) {
        if (!scaler) {
          scaler = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr,
                                  nullptr, nullptr);
          const int matrix = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
          sws_setColorspaceDetails(scaler, sws_getCoefficients(matrix),
                                   frame->color_range == AVCOL_RANGE_JPEG, sws_getCoefficients(matrix), 1, 0,
                                   1 << 16, 1 << 16);
        }
        std::vector<unsigned char> rgb(static_cast<size_t>(frame->width) * frame->height * 3);
        uint8_t* planes[1] = {rgb.data()};
        const int strides[1] = {frame->width * 3};
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        d.frames.push_back(std::move(rgb));
      }
    };
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) take();
      av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    take();
    d.ok = true;
  }
  sws_freeContext(scaler);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return d;
}

double Psnr(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  if (a.size() != b.size() || a.empty()) return 0.0;
  double sum = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double e = static_cast<double>(a[i]) - b[i];
    sum += e * e;
  }
  const double mse = sum / static_cast<double>(a.size());
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct RunOutput {
  int exitCode = -1;
  std::string out, err;  // err: standard error, or the terminal's text
};

class RunVideo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = MakeTempDir("qv_video");
    ASSERT_FALSE(s_dir.empty());
    ASSERT_EQ(RunCommand(std::string(QUORVEL_MAKEDATA_BIN) + " " + s_dir + "/data --seed 1").exitCode, 0);
    // Fly forward and turn every frame, so that no two frames look alike.
    std::ofstream script(s_dir + "/turn.input");
    script << "1 button 0 down\n1 move 30 -40\n";
    for (int f = 2; f < 40; ++f) script << f << " move 25 8\n";
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(s_dir, ec);
  }
  // quorvel-run in the data folder with the turning script, after the shell
  // commands in `shell`. Standard error is a file, or with `terminal` a
  // pseudo-terminal (through script(1)) whose text is kept instead.
  static RunOutput Start(const std::string& args, const std::string& shell = "", bool terminal = false) {
    const std::string out = s_dir + "/stdout.txt", err = s_dir + "/stderr.txt";
    const std::string run = shell + " exec " + QUORVEL_RUN_BIN + " --dir " + s_dir + "/data --input " +
                            s_dir + "/turn.input --epoch 1000000000 " + args + " >" + out;
    const RunResult r = RunCommand(terminal ? "script -qec \"" + run + "\" /dev/null >" + err
                                            : "sh -c '" + run + " 2>" + err + "'");
    return {r.exitCode, ReadText(out), ReadText(err)};
  }
  static std::string s_dir;
};
std::string RunVideo::s_dir;

// Every frame of a run (30 frames to MP4, 12 to Matroska) is in the file, in
// order, at the size and rate asked for, and each is the run's own
// screenshot of that frame within 35 dB. With the camera moving each frame,
// a frame one place off would be another picture, which the last check shows
// is well under that. The progress line is there only on a terminal.
TEST_F(RunVideo, EveryFrameIsTheScreenshotOfThatFrameAtTheAskedRate) {
  struct Case {
    const char* file;
    const char* args;
    int frames;
    AVRational rate;
    bool terminal;  // standard error is a terminal: the progress line shows
  } cases[] = {{"flight.mp4", "--clock 51", 30, {1000, 51}, false},
               {"flight.mkv", "--clock 40 --video-fps 30", 12, {30, 1}, true}};  // the rate asked wins
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const int kFrames = c.frames;
    std::string shots;
    for (int f = 0; f < kFrames; ++f)
      shots += " --shot " + std::to_string(f) + ":" + s_dir + "/" + std::to_string(f) + ".png";
    const std::string video = s_dir + "/" + c.file;
    const RunOutput run =
        Start(std::string(c.args) + " --frames " + std::to_string(kFrames) + " --video " + video + shots, "",
              c.terminal);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    if (c.terminal)
      EXPECT_NE(run.err.find("\rframe 12/12  "), std::string::npos) << run.err;
    else
      EXPECT_EQ(run.err, "") << "no progress line where standard error is not a terminal";
    EXPECT_EQ(Field(run.out, "video"), video);

    const Decoded d = DecodeVideo(video);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.codec, "h264");
    EXPECT_EQ(d.width, 1024);
    EXPECT_EQ(d.height, 768);
    EXPECT_EQ(av_cmp_q(d.rate, c.rate), 0) << d.rate.num << "/" << d.rate.den;
    ASSERT_EQ(d.frames.size(), static_cast<size_t>(kFrames));
    std::vector<std::vector<unsigned char>> shot(kFrames);
    for (int f = 0; f < kFrames; ++f) {
      int w = 0, h = 0;
      ASSERT_TRUE(ReadPngRgb(s_dir + "/" + std::to_string(f) + ".png", w, h, shot[f])) << f;
      EXPECT_GE(Psnr(d.frames[f], shot[f]), 35.0) << "frame " << f;
    }
    // Neighbours differ while the camera turns (the last frame, after the
    // window closed, reads no input and repeats the view of the one before).
    EXPECT_LT(Psnr(d.frames[kFrames - 3], shot[kFrames - 2]), 30.0) << "neighbouring frames differ";
  }
}

// A destination that cannot be written ends the run with one line on
// standard error and exit code 1: a folder that is not there (before the
// run starts), a full disk (/dev/full behind the file's name), and a file
// size limit (the kernel refuses writes past it). In the last case what was
// written before the refusal is a video that plays.
TEST_F(RunVideo, AnUnwritableVideoEndsTheRunWithOneLine) {
  ASSERT_EQ(RunCommand("ln -sf /dev/full " + s_dir + "/full.mp4").exitCode, 0);
  const std::string limited = s_dir + "/limited.mkv";
  struct Case {
    std::string video, shell, reason;
    bool runs;  // the run starts before the failure
  } cases[] = {{s_dir + "/missing/v.mp4", "", "No such file or directory", false},
               {s_dir + "/full.mp4", "", "No space left on device", true},
               // Without the signal, a write past the limit fails with EFBIG.
               {limited, "trap \"\" XFSZ; ulimit -f 600;", "File too large", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.video);
    const RunOutput run = Start("--clock 51 --video-fps 1 --frames 200 --video " + c.video, c.shell);
    EXPECT_EQ(run.exitCode, 1) << run.out;
    ASSERT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(c.video), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    if (c.runs) {
      const int frames = std::atoi(Field(run.out, "frames").c_str());
      EXPECT_GT(frames, 0) << run.out;
      EXPECT_LT(frames, 200) << "the failure ends the run";
    } else {
      EXPECT_EQ(run.out, "") << "nothing ran";
    }
  }
  const Decoded partial = DecodeVideo(limited);
  ASSERT_TRUE(partial.ok);
  EXPECT_GT(partial.frames.size(), 0u);
}

}  // namespace
