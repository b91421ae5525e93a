// quorvel-run --video: every presented frame of the run, encoded as it is
// made (H.264 in MP4 or Matroska, through FFmpeg's libraries), so memory
// stays flat however long the run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/host.h"

// Frames a second as an exact fraction (1000/51 for a 51 ms virtual clock).
struct VideoRate {
  int num = 0;
  int den = 1;
};

// The video's frame rate: fps/1 when fps > 0, else 1000/clockMs reduced to
// lowest terms, else the mean rate of a recorded clock (its steps, each in
// force from its frame on) over frames 0 to frames - 1 (to the last step's
// frame when frames is 0 or too few), so the video lasts as long as the
// recorded flight did; {0, 1} when none is set.
VideoRate ChooseVideoRate(int fps, int clockMs, const std::vector<qv::host::ClockStep>& steps = {},
                          int frames = 0);

// The container a file name asks for ("mp4", "matroska"), or null for any
// other ending.
const char* VideoContainerFor(const std::string& path);

// Which encoder to use, given the names the library offers: libx264 when
// present, else the MPEG-4 Part 2 encoder every libavcodec build has. note
// says what was given up, empty when nothing was.
struct VideoEncoderChoice {
  const char* name = nullptr;  // null: no usable encoder at all
  std::string note;
};
VideoEncoderChoice ChooseVideoEncoder(bool (*available)(const char* name));

class VideoWriter {
 public:
  // Opens the file and checks the encoder; the stream itself is set up with
  // the first frame, whose size it takes. Null with a one-line *error.
  static std::unique_ptr<VideoWriter> Open(const std::string& path, VideoRate rate, std::string* error);
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // What Open had to say besides an error (an encoder fallback); empty if nothing.
  const std::string& Note() const;

  // Encodes the picture of frame `frame` (8-bit RGB rows, top first). Its
  // time in the video is its distance from the first frame written, so a
  // frame that never came leaves a gap rather than shifting the rest. False
  // once writing has failed (see Error); later frames are then ignored.
  bool Add(int frame, const std::uint8_t* rgb, int width, int height);

  // Drains the encoder, ends the container and closes the file; false on
  // failure. A writer that got no frame removes its empty file.
  bool Finish();

  const std::string& Error() const;
  int FramesWritten() const;
  // Wall time spent in Add and Finish (colour conversion, encoding, muxing).
  double EncodeMs() const;

 private:
  struct State;
  explicit VideoWriter(std::unique_ptr<State> state);
  std::unique_ptr<State> m;
};
