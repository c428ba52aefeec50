#pragma once
// TIEDirectShow: the media object through which the loaders take frames out of
// video files.
//
// It keeps the shape of a media graph with a sample grabber (input file, the
// grabber option, connect, pause, time formats, seeking, grabbing the current
// frame) over TVideoReader, which does the decoding.  Only frame grabbing is
// provided: no playback, no video window and no notifications.
//
// A file that cannot be opened leaves the object unconnected; it then answers
// a duration of 0, which the loaders take as "nothing to load".  Positions
// are frame numbers in the frame format and 100 ns units in the media time
// format; a media time falls in the frame it lies in (position divided by the
// average time per frame, rounded down), so the loaders' steps of j times
// GetAverageTimePerFrame() land on frame j.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/rtl/object.h"

class TIEBitmap;
class TVideoReader;
struct TVideoFrame;

// Frame index Index of Reader decoded into Bitmap as ie24RGB at the frame's
// size. False (Bitmap untouched) when Bitmap is null, the frame cannot be
// decoded or the pixels cannot be allocated (Bitmap is then left empty).
bool IEGetVideoFrame(TVideoReader& Reader, int64_t Index, TIEBitmap* Bitmap);

class TIEDirectShow : public TObject {
 public:
  // Time formats of SetTimeFormat.
  static constexpr int32_t TimeFormatFrame = 1;
  static constexpr int32_t TimeFormatMediaTime = 5;

  TIEDirectShow();
  ~TIEDirectShow() override;

  // The file that Connect opens.
  const std::string& GetFileInput() const { return FFileInput; }
  void SetFileInput(const std::string& Value) { FFileInput = Value; }
  // Frames can be taken with GetSample only when this is on at Connect.
  bool GetSampleGrabber() const { return FSampleGrabber; }
  void SetSampleGrabber(bool Value) { FSampleGrabber = Value; }

  // Opens the input file (closing an open one first); stopped, at frame 0,
  // time format unchanged.  GetConnected tells whether it worked.
  void Connect();
  // True while a file is open.
  bool GetConnected() const;
  // Stops and closes the file.
  void Disconnect();
  // Paused state (a connected object only).
  void Pause();
  // 0 stopped, 1 paused, 2 running; 0 when not connected.
  int32_t GetState() const;

  // TimeFormatFrame or TimeFormatMediaTime (the start value); other values
  // are ignored.
  void SetTimeFormat(int32_t Format);
  int32_t GetTimeFormat() const { return FTimeFormat; }
  // Length in the current time format; 0 when not connected or unknown.
  int64_t GetDuration() const;
  // Time of one frame in 100 ns units; 0 when not connected or unknown.
  int64_t GetAverageTimePerFrame() const;
  // Moves to Position (current time format), kept within the first and the
  // last frame.  Nothing happens when not connected.
  void SetCurrentPosition(int64_t Position);
  // The current position in the current time format (the start of the
  // current frame in media time).
  int64_t GetCurrentPosition() const;
  // Copies the frame at the current position into Bitmap (ie24RGB).  Flag is
  // kept for the callers' shape and has no effect.  False when not connected,
  // the grabber option was off at Connect, or the frame cannot be decoded.
  bool GetSample(TIEBitmap* Bitmap, bool Flag);

  // Frame size; 0 x 0 when not connected.
  void GetNativeVideoSize(int32_t& Width, int32_t& Height) const;
  // Frame size and the name of the delivered format ("RGB24"); 0, 0 and ""
  // when not connected.
  void GetCurrentVideoFormat(int32_t& Width, int32_t& Height, std::string& FormatName) const;

 private:
  std::string FFileInput;
  bool FSampleGrabber = false;
  bool FGrabbing = false;  // the grabber option as it was at Connect
  int32_t FTimeFormat = TimeFormatMediaTime;
  int32_t FState = 0;
  int64_t FFrame = 0;  // current frame number
  std::unique_ptr<TVideoReader> FReader;
};
