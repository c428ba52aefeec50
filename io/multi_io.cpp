#include "io/multi_io.h"

#include <cstdio>
#include <utility>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "io/folio_io.h"
#include "io/tiff_reader.h"
#include "io/tiff_writer.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "views/multi_view.h"

TFolioMIO::TFolioMIO(TComponent* AOwner) : TComponent(AOwner) {}

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

void TFolioMIO::ApplyDefaultDpi(TIOParamsVals* Params) {
  if (Params->DpiX < 2) Params->SetDpiX(IEDefaultDpiX);
  if (Params->DpiY < 2) Params->SetDpiY(IEDefaultDpiY);
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
void TFolioMIO::LoadTiffFile(const std::string& FileName) {
  FAborting = false;
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  FCurrentFileName = FileName;
  try {
    LoadTiffStream(&Stream);
  } catch (...) {
    FCurrentFileName.clear();
    throw;
  }
  FCurrentFileName.clear();
}

void TFolioMIO::LoadTiffStream(TStream* Stream) {
  TFolioMView* View = FAttachedMView;
  if (!View) return;
  View->LockPaint();
  FAborting = false;
  TIEProgressRec Progress;
  Progress.Sender = this;
  Progress.Aborting = &FAborting;
  const int64_t P = Stream->GetPosition();
  int32_t Position = View->GetSelectedImage() >= 0 ? View->GetSelectedImage() : View->GetImageCount();
  int32_t Pending = -1;  // entry inserted but not yet filled
  TIEMask* AlphaMask = nullptr;
  try {
    // One walk of the directory chain serves every page.
    TTiffChain Chain;
    TiffScanChain(Stream, true, Chain);
    int32_t N = 0;
    for (int32_t i = 0;; ++i) {
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
      TiffReadStream(Bitmap.get(), Stream, N, Rec, Progress, false, AlphaMask, true, false, false, &Chain);
      if (AlphaMask) {
        Bitmap->CopyFromTIEMask(AlphaMask);
        delete AlphaMask;
        AlphaMask = nullptr;
      }
      ApplyDefaultDpi(Rec);
      if (FAutoAdjustDPI && !FAborting) {
        if (auto Adjusted = IEAdjustBitmapDpi(Bitmap.get(), *Rec, FFilteredAdjustDPI)) Bitmap = std::move(Adjusted);
      }
      Rec->SetImageIndex(Position);
      Rec->FileFormat = ioTIFF;
      Rec->FileName = FCurrentFileName;
      if (FAborting) {
        // The page that failed goes; the pages read before it stay.
        View->DeleteImage(Position);
        Pending = -1;
        break;
      }
      if (N <= 0) {
        // Nothing readable in the stream: a failure, not an empty success.
        FAborting = true;
        View->DeleteImage(Position);
        Pending = -1;
        break;
      }
      View->StoreImageBitmap(Position, Bitmap.get());
      View->SetImageDelayTime(Position, 100);
      Pending = -1;
      Bitmap.reset();
      if (OnProgress) OnProgress(this, static_cast<int32_t>(static_cast<int64_t>(i) * 100 / N));
      if (FAborting || i + 1 >= N) break;
      ++Position;
    }
  } catch (...) {
    delete AlphaMask;
    // An entry left without its image would be a blank page: take it out.
    if (Pending >= 0 && Pending < View->GetImageCount()) {
      try {
        View->DeleteImage(Pending);
      } catch (...) {
      }
    }
    View->UnlockPaint();
    DoFinishWork();
    throw;
  }
  RefreshView();
  View->UnlockPaint();
  DoFinishWork();
}

// ------------------------------------------------------------ saving
namespace {

// Writes the pages; the caller finishes the work.
void SaveTiffPages(TFolioMIO& Self, TFolioMView* View, TStream* Stream, bool SelectedOnly, bool& Aborting,
                   uint8_t MonoConversion, const TIEProgressEvent& OnProgress) {
  if (!View || View->GetImageCount() == 0) return;
  std::vector<int32_t> Pages;
  if (SelectedOnly) {
    for (int32_t n = 0; n < View->GetMultiSelectedCount(); ++n) Pages.push_back(View->GetMultiSelectedImage(n));
  } else {
    for (int32_t k = 0; k < View->GetImageCount(); ++k) Pages.push_back(k);
  }
  TIEProgressRec Progress;
  Progress.Sender = &Self;
  Progress.Aborting = &Aborting;
  const int64_t P = Stream->GetPosition();
  const int32_t Count = static_cast<int32_t>(Pages.size());
  for (int32_t k = 0; k < Count; ++k) {
    if (Aborting) break;
    TIOParamsVals* Rec = Self.ParamsOf(Pages[static_cast<size_t>(k)]);
    // A fresh bitmap per page: an entry without an image must never be
    // written as a copy of the page before it.
    auto Bitmap = std::make_unique<TIEBitmap>();
    if (Rec) View->CopyToIEBitmap(Pages[static_cast<size_t>(k)], Bitmap.get());
    if (!Rec || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
      Aborting = true;
      break;
    }
    Bitmap->SetMonoConversion(MonoConversion);
    Rec->SetImageIndex(k);
    Stream->SetPosition(P);
    if (TiffWriteStream(Stream, k > 0, Bitmap.get(), *Rec, Progress) <= 0) Aborting = true;
    if (OnProgress) OnProgress(&Self, static_cast<int32_t>(static_cast<int64_t>(k) * 100 / Count));
  }
}

}  // namespace

void TFolioMIO::SaveTiffStream(TStream* Stream, bool SelectedOnly) {
  try {
    SaveTiffPages(*this, FAttachedMView, Stream, SelectedOnly, FAborting, FMonoConversion, OnProgress);
  } catch (...) {
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}

void TFolioMIO::SaveTiffFile(const std::string& FileName, bool SelectedOnly) {
  FAborting = false;
  // The document is replaced only by a complete file: a failure halfway
  // leaves the previous file untouched.
  const std::string TempName = FileName + ".folio-saving";
  try {
    {
      TFileStream Stream(TempName, fmCreate);
      SaveTiffPages(*this, FAttachedMView, &Stream, SelectedOnly, FAborting, FMonoConversion, OnProgress);
    }
    if (FAborting || std::rename(TempName.c_str(), FileName.c_str()) != 0) {
      FAborting = true;
      DeleteFile(TempName);
    }
  } catch (...) {
    DeleteFile(TempName);
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}
