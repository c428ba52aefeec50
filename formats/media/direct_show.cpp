#include "formats/media/direct_show.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "foundations/image_buffer.h"
#include "platform/devices/video_reader.h"

bool IEGetVideoFrame(TVideoReader& Reader, int64_t Index, TIEBitmap* Bitmap) {
  if (!Bitmap) return false;
  TVideoFrame Frame;
  if (!Reader.GetFrame(Index, &Frame)) return false;
  if (!Bitmap->Allocate(Frame.Width, Frame.Height, ie24RGB)) return false;
  const size_t RowBytes = size_t(Frame.Width) * 3;
  for (int32_t y = 0; y < Frame.Height; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    if (!Row) return false;
    std::memcpy(Row, Frame.GetScanline(y), RowBytes);
  }
  return true;
}

TIEDirectShow::TIEDirectShow() = default;

TIEDirectShow::~TIEDirectShow() = default;

void TIEDirectShow::Connect() {
  Disconnect();
  FReader = TVideoReader::Open(FFileInput);
  FGrabbing = FSampleGrabber;
}

bool TIEDirectShow::GetConnected() const { return FReader != nullptr; }

void TIEDirectShow::Disconnect() {
  FReader.reset();
  FState = 0;
  FFrame = 0;
  FGrabbing = false;
}

void TIEDirectShow::Pause() {
  if (FReader) FState = 1;
}

int32_t TIEDirectShow::GetState() const { return FReader ? FState : 0; }

void TIEDirectShow::SetTimeFormat(int32_t Format) {
  if (Format == TimeFormatFrame || Format == TimeFormatMediaTime) FTimeFormat = Format;
}

int64_t TIEDirectShow::GetDuration() const {
  if (!FReader) return 0;
  return FTimeFormat == TimeFormatFrame ? FReader->GetFrameCount() : FReader->GetDuration100ns();
}

int64_t TIEDirectShow::GetAverageTimePerFrame() const {
  return FReader ? FReader->GetAverageTimePerFrame100ns() : 0;
}

void TIEDirectShow::SetCurrentPosition(int64_t Position) {
  if (!FReader) return;
  int64_t frame = Position;
  if (FTimeFormat == TimeFormatMediaTime) {
    const int64_t t = FReader->GetAverageTimePerFrame100ns();
    frame = t > 0 ? Position / t : 0;
  }
  FFrame = std::clamp<int64_t>(frame, 0, std::max<int64_t>(FReader->GetFrameCount() - 1, 0));
}

int64_t TIEDirectShow::GetCurrentPosition() const {
  if (!FReader) return 0;
  if (FTimeFormat == TimeFormatFrame) return FFrame;
  const int64_t t = FReader->GetAverageTimePerFrame100ns();
  if (t > 0 && FFrame > std::numeric_limits<int64_t>::max() / t) return std::numeric_limits<int64_t>::max();
  return FFrame * t;
}

bool TIEDirectShow::GetSample(TIEBitmap* Bitmap, bool Flag) {
  if (!FReader || !FGrabbing || !Bitmap) return false;
  return IEGetVideoFrame(*FReader, FFrame, Bitmap);
}

void TIEDirectShow::GetNativeVideoSize(int32_t& Width, int32_t& Height) const {
  Width = FReader ? FReader->GetWidth() : 0;
  Height = FReader ? FReader->GetHeight() : 0;
}

void TIEDirectShow::GetCurrentVideoFormat(int32_t& Width, int32_t& Height,
                                          std::string& FormatName) const {
  GetNativeVideoSize(Width, Height);
  FormatName = FReader ? "RGB24" : "";
}
