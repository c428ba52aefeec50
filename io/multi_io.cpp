#include "io/multi_io.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "formats/media/direct_show.h"
#include "foundations/file_utils.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "foundations/temp_file.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "formats/codec_table.h"
#include "io/url_loading.h"
#include "platform/devices/video_reader.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "views/multi_view.h"

namespace {
// Formats the component loads page by page through their codec's page
// procedures (the others go through the view one image at a time).
bool IsPagedFormat(TIEFileFormat Format) {
  return Format == ioTIFF || Format == ioGIF || Format == ioICO || Format == ioDCX || Format == ioDICOM;
}

}  // namespace

TFolioMIO::TFolioMIO(TComponent* AOwner) : TComponent(AOwner), FPreviewFont(std::make_unique<TFont>()) {}

void TFolioMIO::SetPreviewFont(TFont* Value) {
  if (Value) FPreviewFont->Assign(Value);
}

TFolioMIO::~TFolioMIO() {
  Detach();
  // Last to first, as the records were handed out.
  while (!FParams.empty()) FParams.pop_back();
}

void TFolioMIO::Detach() {
  if (FAttachedMView) {
    if (FChangeCallback) FAttachedMView->UnregisterChangeCallback(FChangeCallback);
    FAttachedMView->RemoveFreeNotification(this);
  }
  FChangeCallback = nullptr;
  FAttachedMView = nullptr;
}

void TFolioMIO::SetAttachedMView(TFolioMView* Value) {
  if (Value == FAttachedMView) return;
  Detach();
  FAttachedMView = Value;
  if (!Value) return;
  Value->FreeNotification(this);
  FChangeCallback = Value->RegisterChangeCallback(
      [this](TIEView* Sender, int32_t Code) { ViewChanged(Sender, Code); }, this);
  // Records in excess (from an earlier view) are kept.
  while (GetImageCount() < Value->GetImageCount()) InsertParams(GetImageCount());
}

void TFolioMIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr && AComponent == FAttachedMView) {
    // The view frees its callback records itself.
    FChangeCallback = nullptr;
    FAttachedMView = nullptr;
  }
}

TIOParamsVals* TFolioMIO::ParamsOf(int32_t Index) const {
  if (Index < 0 || Index >= GetImageCount()) return nullptr;
  return FParams[static_cast<size_t>(Index)].get();
}

// ------------------------------------------------------------ keeping in step
void TFolioMIO::ViewChanged(TIEView* Sender, int32_t Code) {
  if (Code == 1) {
    // The view is going away and frees the callback records itself.
    FChangeCallback = nullptr;
    FAttachedMView = nullptr;
    return;
  }
  if (Code != 0 || !FAttachedMView) return;
  const int32_t Index = FAttachedMView->GetLastChangeIndex();
  switch (FAttachedMView->GetLastChangeKind()) {
    case 1: InsertParams(Index); break;
    case 2: DeleteParams(Index); break;
    case 3: MoveParams(Index, FAttachedMView->GetLastChangeNewIndex()); break;
    default: break;
  }
}

void TFolioMIO::InsertParams(int32_t Index) {
  auto Rec = std::make_unique<TIOParamsVals>(nullptr);
  const int32_t Count = GetImageCount();
  if (Count > 0) {
    // A new page takes the encoding options of its neighbour.
    const int32_t From = (Index >= 0 && Index < Count) ? Index : Count - 1;
    Rec->AssignCompressionInfo(FParams[static_cast<size_t>(From)].get());
  }
  if (Index < 0) Index = 0;
  if (Index >= Count)
    FParams.push_back(std::move(Rec));
  else
    FParams.insert(FParams.begin() + Index, std::move(Rec));
}

void TFolioMIO::DeleteParams(int32_t Index) {
  if (Index >= 0 && Index < GetImageCount()) FParams.erase(FParams.begin() + Index);
}

void TFolioMIO::MoveParams(int32_t Index, int32_t NewIndex) {
  const int32_t Count = GetImageCount();
  if (Index < 0 || Index >= Count || NewIndex < 0 || Index == NewIndex) return;
  auto Rec = std::move(FParams[static_cast<size_t>(Index)]);
  FParams.erase(FParams.begin() + Index);
  if (NewIndex < Count)
    FParams.insert(FParams.begin() + NewIndex, std::move(Rec));
  else
    FParams.push_back(std::move(Rec));
}

int32_t TFolioMIO::InsertPosition() const {
  if (!FAttachedMView) return 0;
  const int32_t Selected = FAttachedMView->GetSelectedImage();
  return Selected >= 0 ? Selected : FAttachedMView->GetImageCount();
}

TIEProgressRec TFolioMIO::CodecProgress() {
  // No callback: the component reports per page itself.
  TIEProgressRec Progress;
  Progress.Sender = this;
  Progress.Aborting = &FAborting;
  return Progress;
}

void TFolioMIO::ApplyDefaultDpi(TIOParamsVals* Params) {
  if (Params->DpiX < 2) Params->SetDpiX(IEDefaultDpiX);
  if (Params->DpiY < 2) Params->SetDpiY(IEDefaultDpiY);
}

void TFolioMIO::CopyFirstPageOptions() {
  if (GetImageCount() < 2) return;
  // Through a copy: AssignCompressionInfo reads while the targets change.
  TIOParamsVals First(nullptr);
  First.AssignCompressionInfo(ParamsOf(0));
  for (int32_t i = 1; i < GetImageCount(); ++i) ParamsOf(i)->AssignCompressionInfo(&First);
}

// ------------------------------------------------------------ acquisition
bool TFolioMIO::AcquirePages(uint8_t Api) {
  if (FAcquireBusy != 0) return true;
  bool Result = false;
  try {
    FAborting = false;
    FAcquirePosition = 0;
    if (FAttachedMView)
      FAcquirePosition = InsertPosition();
    // No scanner interface is part of this build: every source answers
    // that nothing was acquired.
    Result = false;
    RefreshView();
  } catch (...) {
    Result = false;
  }
  return Result;
}

void TFolioMIO::ReceiveAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& Params) {
  bool Handled = false;
  if (OnAcquireBitmap) OnAcquireBitmap(this, Bitmap, Handled);
  if (Handled || !FAttachedMView || !Bitmap) return;
  TFolioMView* View = FAttachedMView;
  FAcquirePosition = std::max(std::min(FAcquirePosition, View->GetImageCount()), 0);
  const int32_t Position = FAcquirePosition;
  View->InsertImageNoSelect(Position);
  TIOParamsVals* Rec = ParamsOf(Position);
  if (!Rec) return;
  Params = Rec;
  std::unique_ptr<TIEBitmap> Adjusted;
  if (FAutoAdjustDPI) Adjusted = IEAdjustBitmapDpi(Bitmap, *Rec, FFilteredAdjustDPI);
  View->StoreImageBitmap(Position, Adjusted ? Adjusted.get() : Bitmap);
  View->SetImageDelayTime(Position, 100);
  if (OnAfterAcquireBitmap) OnAfterAcquireBitmap(this, Position);
  ++FAcquirePosition;
}

void TFolioMIO::ResetAcquireState() { FAcquireBusy = 0; }

bool TFolioMIO::WiaProgress(int32_t Percent) {
  if (OnProgress) OnProgress(this, Percent);
  return !FAborting;
}

// ------------------------------------------------------------ dialogs
bool TFolioMIO::ShowParamsPreviews(int32_t Index, TIEParamsPages Pages) {
  bool Handled = false;
  if (OnDoPreviews) OnDoPreviews(this, Handled);
  if (Handled) return true;
  TFolioMView* View = FAttachedMView;
  if (!View) return false;
  if (View->GetImageCount() > 0 && View->GetSelectedImage() < 0) View->SetSelectedImage(0);
  if (!View->GetViewBitmap()) return false;
  // The parameters dialog is not part of this build: it answers as if
  // cancelled.
  const bool Result = false;
  if (Index < 0) CopyFirstPageOptions();
  RefreshView();
  return Result;
}

bool TFolioMIO::ShowPrintPreview(const std::string& Title, bool ShowAnnotations, const std::string& Caption) {
  // No print preview in this build: as if cancelled.
  return false;
}

void TFolioMIO::DoFinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

void TFolioMIO::RefreshView() {
  if (!FAttachedMView) return;
  FAttachedMView->Update();
  FAttachedMView->DoImageChange();
}

// ------------------------------------------------------------ loading
void TFolioMIO::LoadFile(const std::string& FileName) {
  if (Trim(FileName).empty()) {
    FAborting = true;
    return;
  }
  if (IEGetURLTypeW(FileName) != 0) {
    LoadUrl(FileName);
    return;
  }
  FAborting = false;
  const std::string Ext = LowerCase(IEExtractFileExt(FileName, true));
  const TIEFileFormatInfo* Entry = IEFindFormatByExtension(Ext);
  if (Entry && IsPagedFormat(Entry->FormatId))
    LoadPagesFile(FileName, Entry->FormatId);
  else if (Ext == ".avi")
    LoadAviFile(FileName);
  else if (FAttachedMView && IEIsReadableFileName(FileName))
    LoadOnePageThroughView(FileName);
  else
    LoadMediaFile(FileName);
}

void TFolioMIO::LoadOnePageThroughView(const std::string& FileName) {
  TFolioMView* View = FAttachedMView;
  const int32_t Position = InsertPosition();
  View->InsertImageNoSelect(Position);
  bool Loaded = false;
  // The view reads the page; it honours the orientation when either asks.
  const bool Orient = View->GetAutoOrient();
  View->SetAutoOrient(Orient || FApplyOrientation);
  try {
    Loaded = View->SetImageFromFile(Position, FileName, 0);
  } catch (...) {
    Loaded = false;
  }
  View->SetAutoOrient(Orient);
  if (!Loaded) {
    // A file that cannot be read adds no page; the caller learns of it
    // through Aborting.
    FAborting = true;
    if (Position < View->GetImageCount()) View->DeleteImage(Position);
  } else if (TFolioMIO* Own = View->GetMIO(); Own != this) {
    // The view describes the page in its own component; this one keeps the
    // same description, or a later save would lose the page's resolution
    // and options.
    TIOParamsVals* Rec = ParamsOf(Position);
    TIOParamsVals* Read = Own->ParamsOf(Position);
    if (Rec && Read) Rec->Assign(Read);
  }
  DoFinishWork();
}

void TFolioMIO::LoadPagesFile(const std::string& FileName, TIEFileFormat Format) {
  FAborting = false;
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  FCurrentFileName = FileName;
  try {
    LoadPagesStream(&Stream, Format);
  } catch (...) {
    FCurrentFileName.clear();
    throw;
  }
  FCurrentFileName.clear();
}

void TFolioMIO::LoadPagesStream(TStream* Stream, TIEFileFormat Format) {
  const TIECodec* Codec = IEFindCodec(Format);
  if (!Codec || !Codec->OpenPages) {
    LoadUnsupported();
    return;
  }
  if (!FAttachedMView) return;
  std::unique_ptr<TIECodecPageReader> Pages = Codec->OpenPages(Stream);
  LoadPages(Stream, Format, *Pages);
}

void TFolioMIO::LoadTiffFile(const std::string& FileName) { LoadPagesFile(FileName, ioTIFF); }
void TFolioMIO::LoadTiffStream(TStream* Stream) { LoadPagesStream(Stream, ioTIFF); }
void TFolioMIO::LoadDcxFile(const std::string& FileName) { LoadPagesFile(FileName, ioDCX); }
void TFolioMIO::LoadDcxStream(TStream* Stream) { LoadPagesStream(Stream, ioDCX); }
void TFolioMIO::LoadGifFile(const std::string& FileName) { LoadPagesFile(FileName, ioGIF); }
void TFolioMIO::LoadGifStream(TStream* Stream) { LoadPagesStream(Stream, ioGIF); }
void TFolioMIO::LoadIcoFile(const std::string& FileName) { LoadPagesFile(FileName, ioICO); }
void TFolioMIO::LoadIcoStream(TStream* Stream) { LoadPagesStream(Stream, ioICO); }
void TFolioMIO::LoadDicomFile(const std::string& FileName) { LoadPagesFile(FileName, ioDICOM); }
void TFolioMIO::LoadDicomStream(TStream* Stream) { LoadPagesStream(Stream, ioDICOM); }

void TFolioMIO::LoadUnsupported() {
  // No codec for the format in this build: nothing is inserted, and the
  // caller learns of it through Aborting.
  if (!FAttachedMView) return;
  FAborting = true;
  DoFinishWork();
}

namespace {

// Milliseconds between frames for a stated rate of Rate / Scale frames per
// second; a rate or scale of 0 (a damaged header) falls back to the average
// frame time, else to 100 ms.
int32_t FrameDelayMs(uint32_t Rate, uint32_t Scale, int64_t AverageTimePerFrame100ns) {
  if (Rate > 0 && Scale > 0) return static_cast<int32_t>(std::min<int64_t>(int64_t(Scale) * 1000 / Rate, INT32_MAX));
  if (AverageTimePerFrame100ns > 0)
    return static_cast<int32_t>(std::min<int64_t>(AverageTimePerFrame100ns / 10000, INT32_MAX));
  return 100;
}

// Runs Body; the work finishes after it in every case (an exception passes
// on after that).
template <typename F>
void FinishAfter(TFolioMIO& IO, F&& Body) {
  try {
    Body();
  } catch (...) {
    IO.DoFinishWork();
    throw;
  }
  IO.DoFinishWork();
}

// The frame of every page loop: Body runs with the view's painting locked;
// after a normal end the view is refreshed.  The lock is released and the
// work finishes in every case.
template <typename F>
void LoadWithViewLocked(TFolioMIO& IO, TFolioMView* View, F&& Body) {
  View->LockPaint();
  try {
    Body();
  } catch (...) {
    View->UnlockPaint();
    IO.DoFinishWork();
    throw;
  }
  IO.RefreshView();
  View->UnlockPaint();
  IO.DoFinishWork();
}

}  // namespace

void TFolioMIO::LoadAviFile(const std::string& FileName) {
  TFolioMView* View = FAttachedMView;
  if (!View) return;
  FAborting = false;
  std::unique_ptr<TVideoReader> Reader = TVideoReader::Open(FileName);
  if (!Reader) {
    // Not a video this reader can open; the media loader tries its own way.
    LoadMediaFile(FileName);
    return;
  }
  const int64_t Count = Reader->GetFrameCount();
  const int32_t Delay =
      FrameDelayMs(Reader->GetRate(), Reader->GetScale(), Reader->GetAverageTimePerFrame100ns());
  int32_t Position = InsertPosition();
  LoadWithViewLocked(*this, View, [&] {
    if (Count <= 0) FAborting = true;
    for (int64_t i = 0; i < Count && !FAborting; ++i) {
      TIEBitmap Frame;
      if (!IEGetVideoFrame(*Reader, i, &Frame) || Frame.IsEmpty()) {
        FAborting = true;
        break;
      }
      View->InsertImageNoSelect(Position);
      TIOParamsVals* Rec = ParamsOf(Position);
      if (!Rec) {
        FAborting = true;
        View->DeleteImage(Position);
        break;
      }
      View->StoreImageBitmap(Position, &Frame);
      if (i == 0)
        View->ReserveImageSpace(Frame.GetWidth(), Frame.GetHeight(), Frame.GetBitCount(),
                                static_cast<int32_t>(std::min<int64_t>(Count - 1, INT32_MAX)));
      View->SetImageDelayTime(Position, Delay);
      Rec->BitsPerSample = 8;
      Rec->SamplesPerPixel = 3;
      Rec->SetImageIndex(Position);
      Rec->SetDpiX(IEDefaultDpiX);
      Rec->SetDpiY(IEDefaultDpiY);
      Rec->Width = Frame.GetWidth();
      Rec->Height = Frame.GetHeight();
      Rec->FileName = FileName;
      Rec->FileFormat = ioAVI;
      // The frame time in milliseconds has its own field; the GIF delay
      // counts hundredths and stays untouched.
      Rec->AviFrameCount = static_cast<int32_t>(std::min<int64_t>(Count, INT32_MAX));
      Rec->AviFrameDuration = Delay;
      Rec->FreeColorMap();
      if (OnProgress) OnProgress(this, static_cast<int32_t>(i * 100 / Count));
      ++Position;
    }
  });
}

void TFolioMIO::LoadMediaFile(const std::string& FileName) {
  TFolioMView* View = FAttachedMView;
  if (!View) return;
  FAborting = false;
  TIEDirectShow Media;
  Media.SetFileInput(FileName);
  Media.SetSampleGrabber(true);
  Media.Connect();
  Media.Pause();
  Media.SetTimeFormat(TIEDirectShow::TimeFormatMediaTime);
  const int64_t D = Media.GetDuration();
  if (D <= 0) {
    FAborting = true;
    DoFinishWork();
    return;
  }
  Media.SetTimeFormat(TIEDirectShow::TimeFormatFrame);
  int64_t N = Media.GetDuration();
  const int64_t T = Media.GetAverageTimePerFrame();
  int64_t Step = 1;
  if (N == D) {
    // The source counts no frames: step through it in media time.
    if (T <= 0) {
      FAborting = true;
      DoFinishWork();
      return;
    }
    N = D / T;
    Step = T;
    Media.SetTimeFormat(TIEDirectShow::TimeFormatMediaTime);
  }
  // Milliseconds per frame, as the view counts its delays.
  const int32_t Delay = N > 0 ? static_cast<int32_t>(std::min<int64_t>(D / 10000 / N, INT32_MAX)) : 100;
  int32_t Position = InsertPosition();
  LoadWithViewLocked(*this, View, [&] {
    if (N <= 0) FAborting = true;
    for (int64_t j = 0; j < N && !FAborting; ++j) {
      View->InsertImageNoSelect(Position);
      TIOParamsVals* Rec = ParamsOf(Position);
      TIEBitmap Frame;
      bool Got = false;
      if (Rec) {
        Rec->SetImageIndex(Position);
        Rec->FileFormat = 0;
        Rec->FileName = FileName;
        Rec->NativePixelFormat = FNativePixelFormat;
        Media.SetCurrentPosition(j * Step);
        Got = Media.GetSample(&Frame, true) && !Frame.IsEmpty();
      }
      if (!Got) {
        // A frame that cannot be had adds no page, and ends the load.
        FAborting = true;
        View->DeleteImage(Position);
        break;
      }
      View->StoreImageBitmap(Position, &Frame);
      View->SetImageDelayTime(Position, Delay);
      if (j == 0) {
        const bool Thumb = View->GetStoreType() == ietThumb;
        View->ReserveImageSpace(Thumb ? View->GetThumbWidth() : Frame.GetWidth(),
                                Thumb ? View->GetThumbHeight() : Frame.GetHeight(), Frame.GetBitCount(),
                                static_cast<int32_t>(std::min<int64_t>(N - 1, INT32_MAX)));
      }
      if (OnProgress) OnProgress(this, static_cast<int32_t>(j * 100 / N));
      ++Position;
    }
    Media.Disconnect();
  });
}
void TFolioMIO::LoadUrl(const std::string& URL) {
  TMemoryStream Stream;
  std::string Ext;
  // A flag left from an earlier failure must not stop this download.
  FAborting = false;
  if (!IEGetFromURL(URL, &Stream, FProxyAddress, FProxyUser, FProxyPassword, OnProgress, this, &FAborting, Ext)) {
    // Failed or stopped: nothing of a partial download is read.
    FAborting = true;
    DoFinishWork();
    return;
  }
  FCurrentFileName = URL;
  Stream.SetPosition(0);
  try {
    const TIEFileFormat Format = IEDetectStreamFormat(&Stream);
    if (IsPagedFormat(Format))
      LoadPagesStream(&Stream, Format);
    else
      LoadDownloadedFile(Stream, URL, Ext);
  } catch (...) {
    FCurrentFileName.clear();
    throw;
  }
  FCurrentFileName.clear();
}

void TFolioMIO::LoadDownloadedFile(TMemoryStream& Stream, const std::string& URL, const std::string& Ext) {
  // The content decides the extension when it is recognised; the server's
  // word for the type is the fallback.
  std::string Suffix = Ext;
  const TIEFileFormat Detected = IEDetectStreamFormat(&Stream);
  if (Detected != 0 && IEFormatExtensionCount(Detected) > 0) Suffix = LowerCase(IEFormatExtension(Detected, 0));
  const std::string TempName = IEGetTempFileName() + "." + Suffix;
  Stream.SaveToFile(TempName);
  TFolioMView* View = FAttachedMView;
  const int32_t Before = View ? View->GetImageCount() : 0;
  const int32_t At = InsertPosition();
  try {
    LoadFile(TempName);
  } catch (...) {
    DeleteFile(TempName);
    throw;
  }
  DeleteFile(TempName);
  // The pages came from the URL, not from the scratch copy that is gone now.
  if (View && FAttachedMView == View) {
    for (int32_t i = At; i < At + View->GetImageCount() - Before; ++i) {
      if (TIOParamsVals* Rec = ParamsOf(i)) Rec->FileName = URL;
    }
  }
}

void TFolioMIO::LoadPages(TStream* Stream, int32_t FileFormat, TIECodecPageReader& Pages) {
  const int32_t FixedCount = Pages.PageCount();
  TFolioMView* View = FAttachedMView;
  LoadWithViewLocked(*this, View, [&] {
    FAborting = false;
    TIEProgressRec Progress = CodecProgress();
    const int64_t P = Stream->GetPosition();
    int32_t Position = InsertPosition();
    int32_t Pending = -1;  // entry inserted but not yet filled
    try {
      int32_t N = FixedCount;
      // A known count of zero pages means there is nothing readable here.
      if (FixedCount == 0) FAborting = true;
      for (int32_t i = 0; FixedCount < 0 || i < FixedCount; ++i) {
        View->InsertImageNoSelect(Position);
        Pending = Position;
        TIOParamsVals* Rec = ParamsOf(Position);
        if (!Rec) {
          // Without its record the page cannot be described: stop, never guess.
          FAborting = true;
          View->DeleteImage(Position);
          Pending = -1;
          break;
        }
        auto Bitmap = std::make_unique<TIEBitmap>();
        Stream->SetPosition(P);
        Rec->SetImageIndex(i);
        Rec->NativePixelFormat = FNativePixelFormat;
        Rec->SetApplyOrientation(FApplyOrientation);
        TIECodecReadRequest Request;
        Request.Stream = Stream;
        Request.Bitmap = Bitmap.get();
        Request.Params = Rec;
        Request.Progress = &Progress;
        TIECodecReadResult Result;
        Pages.ReadPage(i, Request, Result);
        if (FixedCount < 0) N = Result.PageCount;
        if (Result.AlphaMask) Bitmap->GetAlphaChannel()->CopyFromTIEMask(Result.AlphaMask.get());
        ApplyDefaultDpi(Rec);
        if (FAutoAdjustDPI && !FAborting) {
          if (auto Adjusted = IEAdjustBitmapDpi(Bitmap.get(), *Rec, FFilteredAdjustDPI)) Bitmap = std::move(Adjusted);
        }
        Rec->SetImageIndex(Position);
        Rec->FileFormat = FileFormat;
        Rec->FileName = FCurrentFileName;
        if (!FAborting && (N <= 0 || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0)) {
          // Nothing readable: a failure, not an empty success.
          FAborting = true;
        }
        if (FAborting) {
          // The page that failed goes; the pages read before it stay.
          View->DeleteImage(Position);
          Pending = -1;
          break;
        }
        View->StoreImageBitmap(Position, Bitmap.get());
        View->SetImageDelayTime(Position, 100);
        Pending = -1;
        Bitmap.reset();
        if (OnProgress) OnProgress(this, static_cast<int32_t>(static_cast<int64_t>(i) * 100 / N));
        if (FAborting || (FixedCount < 0 && i + 1 >= N)) break;
        ++Position;
      }
      // Every reachable page is in; a file cut off behind them still lost
      // pages, and the caller must hear of it.
      if (!FAborting && Pages.PagesLost()) FAborting = true;
    } catch (...) {
      // An entry left without its image would be a blank page: take it out.
      if (Pending >= 0 && Pending < View->GetImageCount()) {
        try {
          View->DeleteImage(Pending);
        } catch (...) {
        }
      }
      throw;
    }
  });
}

// ------------------------------------------------------------ saving
void TFolioMIO::SaveToNamedFile(const std::string& FileName, const std::function<void(TStream*)>& Writer) {
  FAborting = false;
  // The document is replaced only by a complete file: a failure halfway
  // leaves the previous file untouched.
  FinishAfter(*this, [&] { IEWriteFileThroughTemp(FileName, FAborting, Writer); });
}

void TFolioMIO::SavePages(TStream* Stream, TIEFileFormat Format, bool SelectedOnly) {
  const TIECodec* Codec = IEFindCodec(Format);
  if (!Codec || !Codec->CreatePages) {
    // A format this build cannot write page by page: nothing is written.
    FAborting = true;
    return;
  }
  TFolioMView* View = FAttachedMView;
  if (!View || View->GetImageCount() == 0) return;
  std::vector<int32_t> Pages;
  if (SelectedOnly) {
    for (int32_t n = 0; n < View->GetMultiSelectedCount(); ++n) Pages.push_back(View->GetMultiSelectedImage(n));
  } else {
    for (int32_t k = 0; k < View->GetImageCount(); ++k) Pages.push_back(k);
  }
  TIEProgressRec Progress = CodecProgress();
  const int32_t Count = static_cast<int32_t>(Pages.size());
  // One page in memory at a time.
  std::unique_ptr<TIECodecPageWriter> Writer = Codec->CreatePages(Stream, Count, Progress);
  for (int32_t k = 0; k < Count; ++k) {
    if (FAborting) break;
    TIOParamsVals* Rec = ParamsOf(Pages[static_cast<size_t>(k)]);
    // A fresh bitmap per page: an entry without an image must never be
    // written as a copy of the page before it.
    auto Bitmap = std::make_unique<TIEBitmap>();
    if (Rec) View->CopyToIEBitmap(Pages[static_cast<size_t>(k)], Bitmap.get());
    if (!Rec || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
      FAborting = true;
      break;
    }
    Bitmap->SetMonoConversion(FMonoConversion);
    Rec->SetImageIndex(k);
    if (!Writer->AddPage(Bitmap.get(), *Rec)) FAborting = true;
    if (OnProgress) OnProgress(this, static_cast<int32_t>(static_cast<int64_t>(k) * 100 / Count));
  }
  Writer->Finish();
}

void TFolioMIO::SavePagesStream(TStream* Stream, TIEFileFormat Format, bool SelectedOnly) {
  FinishAfter(*this, [&] { SavePages(Stream, Format, SelectedOnly); });
}

void TFolioMIO::SavePagesFile(const std::string& FileName, TIEFileFormat Format, bool SelectedOnly) {
  SaveToNamedFile(FileName, [&](TStream* Stream) { SavePages(Stream, Format, SelectedOnly); });
}

void TFolioMIO::SaveTiffStream(TStream* Stream, bool SelectedOnly) { SavePagesStream(Stream, ioTIFF, SelectedOnly); }
void TFolioMIO::SaveTiffFile(const std::string& FileName, bool SelectedOnly) {
  SavePagesFile(FileName, ioTIFF, SelectedOnly);
}
void TFolioMIO::SaveDcxStream(TStream* Stream) { SavePagesStream(Stream, ioDCX, false); }
void TFolioMIO::SaveDcxFile(const std::string& FileName) { SavePagesFile(FileName, ioDCX, false); }
void TFolioMIO::SaveGifStream(TStream* Stream) { SavePagesStream(Stream, ioGIF, false); }
void TFolioMIO::SaveGifFile(const std::string& FileName) { SavePagesFile(FileName, ioGIF, false); }
void TFolioMIO::SavePsStream(TStream* Stream) { SavePagesStream(Stream, ioPS, false); }
void TFolioMIO::SavePsFile(const std::string& FileName) { SavePagesFile(FileName, ioPS, false); }
void TFolioMIO::SavePdfStream(TStream* Stream) { SavePagesStream(Stream, ioPDF, false); }
void TFolioMIO::SavePdfFile(const std::string& FileName) { SavePagesFile(FileName, ioPDF, false); }
