#pragma once
// Frames of a video file, one at a time, as 24-bit images.
//
// Stands in for the platform's AVI frame library and for the media graph of
// the loaders: it opens any container and codec that the system's FFmpeg
// libraries read, picks the first video stream and decodes frames by index in
// presentation order.  Stepping to the next frame continues decoding; other
// jumps seek to the nearest earlier key frame and decode forward.
//
// A file that cannot be opened, has no video stream or has an unusable frame
// size gives no reader; a frame that cannot be decoded answers false.  FFmpeg's
// own log output is silenced.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One decoded frame: Width x Height pixels of 3 bytes (blue, green, red), rows
// top-down and packed without padding. The device layer knows no image type of
// the library; the media components copy frames into their image buffers.
struct TVideoFrame {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Pixels;

  int32_t GetWidth() const { return Width; }
  int32_t GetHeight() const { return Height; }
  // Row Y of the frame (no bounds check).
  const uint8_t* GetScanline(int32_t Y) const { return Pixels.data() + size_t(Y) * size_t(Width) * 3; }
};

class TVideoReader {
 public:
  // Null when the file cannot be opened or holds no usable video stream.
  static std::unique_ptr<TVideoReader> Open(const std::string& FileName);
  ~TVideoReader();
  TVideoReader(const TVideoReader&) = delete;
  TVideoReader& operator=(const TVideoReader&) = delete;

  // Frames of the stream: what the container states, counted by reading the
  // packets once when it states nothing.
  int64_t GetFrameCount() const;
  // Frames per second = Rate / Scale, as the container states them (for AVI
  // the stream header's values, which a damaged file may leave at 0).
  uint32_t GetRate() const;
  uint32_t GetScale() const;
  int32_t GetWidth() const;
  int32_t GetHeight() const;
  // Bits per pixel of the delivered frames: always 24.
  int32_t GetBitCount() const;
  // Length of the stream in 100 ns units; 0 when unknown.
  int64_t GetDuration100ns() const;
  // Time of one frame in 100 ns units (rounded, halves to even); 0 when unknown.
  int64_t GetAverageTimePerFrame100ns() const;

  // Decodes frame Index (0-based, presentation order) into Frame at the
  // frame's size.  False (Frame untouched) when Frame is null, Index is outside
  // 0 .. GetFrameCount() - 1 or the frame cannot be decoded.
  bool GetFrame(int64_t Index, TVideoFrame* Frame);

 private:
  struct TImpl;
  explicit TVideoReader(std::unique_ptr<TImpl> Impl);
  std::unique_ptr<TImpl> F;
};
