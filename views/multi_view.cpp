#include "views/multi_view.h"
#include "views/multi_view_load_job.h"

#include <atomic>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/image_store.h"
#include "foundations/selection_mask.h"
#include "foundations/value_helpers.h"
#include "io/folio_io.h"
#include "formats/codec_table.h"
#include "io/format_registry.h"
#include "platform/rtl/streams.h"
#include "io/multi_io.h"
#include "kernels/resample_engine.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"

namespace {

// Lock scope for the view's critical section.
struct TLockScope {
  explicit TLockScope(TCriticalSection& L) : Lock(L) { Lock.Enter(); }
  ~TLockScope() { Lock.Leave(); }
  TCriticalSection& Lock;
};

// Fully transparent pixels of a 24-bit image with an alpha plane become mid
// gray, so they do not show as black once the alpha is averaged.
void ColorTransparentPixels(TIEBitmap* Bitmap) {
  if (Bitmap->GetPixelFormat() != ie24RGB || !Bitmap->HasAlphaChannel()) return;
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  // Row by row; a pixel the alpha plane does not cover counts as transparent.
  const int32_t Covered =
      static_cast<int32_t>(std::clamp<int64_t>(std::min<int64_t>(Alpha->GetWidth(), Alpha->GetRowLen()), 0, w));
  std::vector<uint8_t> AlphaRow(static_cast<size_t>(w), 0);
  for (int32_t y = 0; y < h; ++y) {
    // The alpha row is copied first: a file-backed row lives only until the
    // next request.
    if (y < Alpha->GetHeight() && Covered > 0)
      std::copy_n(Alpha->GetScanline(y), Covered, AlphaRow.begin());
    else
      std::fill(AlphaRow.begin(), AlphaRow.end(), 0);
    uint8_t* Row = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < w; ++x)
      if (AlphaRow[size_t(x)] == 0) std::fill_n(Row + int64_t(x) * 3, 3, uint8_t(128));
  }
}

}  // namespace

// Source reduced or enlarged to Width x Height the way thumbnails are made,
// by the resampler with the store filter; the alpha plane follows.  A 1-bit
// page becomes shades of gray even when the store filter is rfNone (a plain
// stretch would drop most of its strokes), unless the filter projects it.
std::unique_ptr<TIEBitmap> IEMViewMakeReduced(TIEBitmap* Source, int32_t Width, int32_t Height,
                                       TResampleFilter Filter) {
  auto Result = std::make_unique<TIEBitmap>();
  if (!Result->Allocate(Width, Height, Source->GetPixelFormat())) return nullptr;
  if (Filter == rfNone && Source->GetPixelFormat() == ie1g) Filter = rfFastLinear;
  IEResampleBitmap(Source, Result.get(), Filter);
  // A resampled opaque plane is still opaque: keep the hint that lets
  // painting skip it.
  if (Source->HasAlphaChannel() && Result->HasAlphaChannel())
    Result->GetAlphaChannel()->SetFull(Source->GetAlphaChannel()->GetFull());
  return Result;
}

// One frame reader: the I/O component whose parameters name the file, and,
// for formats whose pages the codec reads one by one, the open file with its
// page reader, so frame n is found without walking the pages before it on
// every load.
struct TIEMViewFrameReader {
  std::unique_ptr<TFolioIO> IO;
  std::unique_ptr<TFileStream> Stream;
  std::unique_ptr<TIECodecPageReader> Pages;
  bool Opened = false;
};

// ======================================================================= TIEMText
TIEMText::TIEMText(TIEView* Owner, uint8_t Position)
    : FFont(std::make_unique<TFont>()), FOwner(Owner), FPosition(Position) {
  auto* MView = dynamic_cast<TFolioMView*>(Owner);
  FBackground = MView ? MView->GetBackground() : static_cast<TColor>(clBtnFace);
  if (MView) {
    TFont* Default = Position == 0   ? MView->FDefaultTopTextFont.get()
                     : Position == 1 ? MView->FDefaultBottomTextFont.get()
                                     : MView->FDefaultInfoTextFont.get();
    if (Default) FFont->Assign(Default);
  }
}

TIEMText::~TIEMText() = default;

void TIEMText::SetCaption(const std::string& Text) {
  if (auto* MView = dynamic_cast<TFolioMView*>(FOwner)) {
    if (TCanvas* Canvas = MView->GetCanvas()) {
      Canvas->SetFont(FFont.get());
      const int32_t h = Canvas->TextHeight(Text.empty() ? std::string("W") : Text);
      if (FPosition == 0) {
        if (MView->FUpperGap < h + 2) MView->FUpperGap = h + 2;
      } else if (FPosition == 1) {
        if (MView->FBottomGap < h + 2) MView->FBottomGap = MView->FStyle == iemsACD ? h + 4 : h + 2;
      }
    }
  }
  FCaption = Text;
}

// =================================================================== TFolioMView
TFolioMView::TFolioMView(TComponent* AOwner) : TIEView(AOwner) {
  FDefaultTopTextFont = std::make_unique<TFont>();
  FDefaultBottomTextFont = std::make_unique<TFont>();
  FDefaultInfoTextFont = std::make_unique<TFont>();
  SetBounds(GetLeft(), GetTop(), 180, 90);
  FIO = std::make_unique<TFolioIO>(nullptr);
  CreateStores();
}

TFolioMView::~TFolioMView() {
  FDestroying = true;
  StopWindowTimer(1);
  DeselectInternal();
  ClearLoadQueues();
  FreeLoadJobs();
  // Entries go from the last; their images go with the stores.
  for (size_t i = FEntries.size(); i-- > 0;) FreeEntryImages(FEntries[i].get());
  FEntries.clear();
  FCacheList.reset();
  FImageList.reset();
  FFrameReaders.clear();
  FIO.reset();
}

void TFolioMView::CreateStores() {
  FImageList = std::make_unique<TIEVirtualImageList>("ILIST", FUseFile);
  FImageList->SetMaximumMapped(FImageCacheSize);
  FImageList->SetMaximumMappedBytes(FImageCacheMemory);
  FCacheList = std::make_unique<TIEVirtualImageList>("ICACHE", FUseFile);
}

TIEMViewEntry* TFolioMView::Entry(int32_t Index) const {
  if (Index < 0 || Index >= GetImageCount()) return nullptr;
  return FEntries[size_t(Index)].get();
}

TIEMViewEntry* TFolioMView::CheckedEntry(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  if (!E) throw EListError(Format("List index out of bounds (%d)", Index));
  return E;
}

std::unique_ptr<TIEMViewEntry> TFolioMView::NewEntry() {
  auto E = std::make_unique<TIEMViewEntry>();
  E->Owner = this;
  E->Background = GetBackground();
  E->TopText = std::make_unique<TIEMText>(this, 0);
  E->BottomText = std::make_unique<TIEMText>(this, 1);
  E->InfoText = std::make_unique<TIEMText>(this, 2);
  return E;
}

void TFolioMView::FreeEntryImages(TIEMViewEntry* E) {
  TLockScope Lock(FLock);
  if (E->Image) {
    FImageList->Delete(E->Image);
    E->Image = nullptr;
  }
  if (E->DisplayCopy) {
    FCacheList->Delete(E->DisplayCopy);
    E->DisplayCopy = nullptr;
  }
}

void TFolioMView::SetLastChange(int32_t Kind, int32_t Index, int32_t NewIndex) {
  FLastChangeKind = Kind;
  FLastChangeIndex = Index;
  FLastChangeNewIndex = NewIndex;
}

void TFolioMView::CallBitmapChangeEvents() {
  // The kind goes back to 0 also when a callback fails.
  struct TResetKind {
    int32_t& Kind;
    ~TResetKind() { Kind = 0; }
  } Reset{FLastChangeKind};
  TIEView::CallBitmapChangeEvents();
}

// ------------------------------------------------------------------ entries
void TFolioMView::InsertEntry(int32_t Index, bool Select) {
  if (Index < 0) throw EListError(Format("List index out of bounds (%d)", Index));
  SetPlaying(false);
  const int32_t Position = std::min(Index, GetImageCount());
  FEntries.insert(FEntries.begin() + Position, NewEntry());
  if (Select) SelectImageInternal(Position);
  // The position the entry really has, so that lists kept parallel to the
  // entries by the callbacks insert at the same place.
  SetLastChange(1, Position, 0);
  CallBitmapChangeEvents();
  UpdateLayout();
}

void TFolioMView::InsertImage(int32_t Index) { InsertEntry(Index, true); }

void TFolioMView::InsertImageNoSelect(int32_t Index) { InsertEntry(Index, false); }

int32_t TFolioMView::AppendImage() {
  const int32_t Count = GetImageCount();
  InsertImage(Count);
  return Count;
}

void TFolioMView::DeleteImage(int32_t Index) {
  if (DeleteImageInternal(Index)) UpdateLayout();
}

bool TFolioMView::DeleteImageInternal(int32_t Index) {
  SetPlaying(false);
  if (Index >= GetImageCount()) return false;
  TIEMViewEntry* E = CheckedEntry(Index);
  CancelImageLoad(Index);
  const int32_t s = FSelectedIndex;
  DeselectInternal();
  FreeEntryImages(E);
  FEntries.erase(FEntries.begin() + Index);
  const int32_t Count = GetImageCount();
  if (s >= 0) {
    int32_t Next;
    if (Index < s)
      Next = s - 1;
    else if (Index > s)
      Next = s;
    else
      Next = Index < Count ? s : Count - 1;
    if (Next >= 0) SelectImageInternal(Next);
  }
  SetLastChange(2, Index, 0);
  CallBitmapChangeEvents();
  return true;
}

void TFolioMView::MoveImage(int32_t Index, int32_t NewIndex) {
  const int32_t Count = GetImageCount();
  if (Index < 0 || Index >= Count || NewIndex < 0) return;
  // Beyond the end means the last position: the entry can go no further, and
  // the remapped selection must name entries that exist.
  NewIndex = std::min(NewIndex, Count - 1);
  if (Index == NewIndex) return;
  SetPlaying(false);
  const int32_t s = FSelectedIndex;
  auto Remap = [&](int32_t b) {
    if (b == Index) return NewIndex;
    int32_t c = b - (Index < b ? 1 : 0);
    return c + (c >= NewIndex ? 1 : 0);
  };
  std::vector<int32_t> NewMulti;
  NewMulti.reserve(FMultiSelected.size());
  for (int32_t b : FMultiSelected) NewMulti.push_back(Remap(b));

  std::unique_ptr<TIEMViewEntry> Moving = std::move(FEntries[size_t(Index)]);
  FEntries.erase(FEntries.begin() + Index);
  FEntries.insert(FEntries.begin() + NewIndex, std::move(Moving));

  SetLastChange(3, Index, NewIndex);
  CallBitmapChangeEvents();

  if (NewMulti.empty()) {
    // Without multi-selection the selection stays at its position number.
    DeselectInternal();
    SelectImageInternal(s);
  } else {
    const int32_t Held = s >= 0 ? Remap(s) : -1;
    FSelectedIndex = NewMulti.front();
    FMultiSelected = std::move(NewMulti);
    // The held bitmap belongs to the entry that was selected; when the
    // selection now names another entry it is written back and the attached
    // components are told to fetch the new one.
    if (FSelectedIndex != Held && FSelectedBitmap) {
      ReleaseHeldBitmap();
      CallBitmapChangeEvents();
    }
  }
  UpdateLayout();
}

void TFolioMView::Clear() {
  Deselect();
  ClearLoadQueues();
  // One deletion at a time, each announced, so that attached components
  // keeping per-entry state (the page parameters) stay in step.
  for (int32_t i = GetImageCount(); i-- > 0;) DeleteImageInternal(i);
  FMultiSelected.clear();
  FreeFrameReaders();
  {
    TLockScope Lock(FLock);
    FImageList.reset();
    FCacheList.reset();
    CreateStores();
  }
  Update();
}

// ------------------------------------------------------------------- images
void TFolioMView::StoreImageBitmap(int32_t Index, TIEBaseBitmap* Bitmap) {
  TIEMViewEntry* E = Entry(Index);
  if (!Bitmap || !E) return;
  const bool Selected = Index == FSelectedIndex;
  StoreUnderLock(E, Index, Bitmap, Selected);
  if (Selected) {
    // The attached components fetch the new image (outside the lock, so a
    // loader thread is not held up by their work).
    FSelectedBitmap = nullptr;
    CallBitmapChangeEvents();
  }
}

void TFolioMView::StoreUnderLock(TIEMViewEntry* E, int32_t Index, TIEBaseBitmap* Bitmap, bool Selected) {
  TLockScope Lock(FLock);
  if (E->Image) {
    // The held bitmap of the selected entry belongs to the image going away.
    if (Selected && FSelectedBitmap) {
      FImageList->ReleaseBitmap(FSelectedBitmap, false);
      FSelectedBitmap = nullptr;
    }
    FImageList->Delete(E->Image);
    E->Image = nullptr;
    ClearImageCache(Index);
  }
  const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  auto* Full = dynamic_cast<TIEBitmap*>(Bitmap);
  bool Unchanged = FStoreType == ietNormal || !Full ||
                   (!FitSmallImages && w <= FThumbWidth && h <= FThumbHeight);
  int32_t tw = FThumbWidth, th = FThumbHeight;
  if (!Unchanged && w > 0 && h > 0) IEAspectFit(w, h, FThumbWidth, FThumbHeight, tw, th);
  if (!Unchanged && tw == w && th == h) Unchanged = true;
  if (Unchanged || tw < 1 || th < 1) {
    E->Image = FImageList->AddBitmap(Bitmap);
  } else if (w < 1 || h < 1) {
    // Nothing to reduce: an empty cell-size image.
    TIEBitmap Blank;
    if (Blank.Allocate(tw, th, ie24RGB)) {
      Blank.Fill(0);
      E->Image = FImageList->AddBitmap(&Blank);
    }
  } else {
    ColorTransparentPixels(Full);
    std::unique_ptr<TIEBitmap> Reduced = IEMViewMakeReduced(Full, tw, th, StoreFilter);
    if (Reduced) E->Image = FImageList->AddBitmap(Reduced.get());
  }
  if (E->Image) {
    FImageList->SetSourceWidth(E->Image, w);
    FImageList->SetSourceHeight(E->Image, h);
  }
}

void TFolioMView::SetIEBitmap(int32_t Index, TIEBitmap* Bitmap) {
  if (!Bitmap) return;
  StoreImageBitmap(Index, Bitmap);
  if (Entry(Index)) ClearImageCache(Index);
  UpdateLayout();
}

void TFolioMView::SetImage(int32_t Index, TBitmap* Bitmap) {
  if (Bitmap) {
    // Wraps the platform bitmap without copying it; the store copies.
    TIEBitmap Wrapper;
    Wrapper.AttachTBitmap(Bitmap, true);
    StoreImageBitmap(Index, &Wrapper);
  }
  if (Entry(Index)) ClearImageCache(Index);
  UpdateLayout();
}

void TFolioMView::CopyToIEBitmap(int32_t Index, TIEBitmap* Bitmap) {
  TIEMViewEntry* E = CheckedEntry(Index);
  TLockScope Lock(FLock);
  if (!E->Image) LoadImageOnDemand(Index);
  if (E->Image && Bitmap) FImageList->CopyToBitmap(E->Image, Bitmap);
}

TIEBitmap* TFolioMView::GetIEBitmap(int32_t Index) {
  TIEMViewEntry* E = CheckedEntry(Index);
  TLockScope Lock(FLock);
  if (!E->Image) LoadImageOnDemand(Index);
  return E->Image ? FImageList->GetBitmap(E->Image) : nullptr;
}

TBitmap* TFolioMView::GetBitmap(int32_t Index) {
  TIEBitmap* B = GetIEBitmap(Index);
  return B ? B->GetTBitmap() : nullptr;
}

void TFolioMView::ReleaseBitmap(int32_t Index) {
  TIEMViewEntry* E = CheckedEntry(Index);
  {
    TLockScope Lock(FLock);
    if (E->Image) FImageList->ReleaseEntryBitmap(E->Image, true);
  }
  ClearImageCache(Index);
}

int32_t TFolioMView::GetImageWidth(int32_t Index) {
  TIEMViewEntry* E = Entry(Index);
  TLockScope Lock(FLock);
  return E && E->Image ? FImageList->GetImageWidth(E->Image) : 0;
}

int32_t TFolioMView::GetImageHeight(int32_t Index) {
  TIEMViewEntry* E = Entry(Index);
  TLockScope Lock(FLock);
  return E && E->Image ? FImageList->GetImageHeight(E->Image) : 0;
}

int32_t TFolioMView::GetImageSourceWidth(int32_t Index) {
  TIEMViewEntry* E = Entry(Index);
  return E && E->Image ? FImageList->GetSourceWidth(E->Image) : 0;
}

int32_t TFolioMView::GetImageSourceHeight(int32_t Index) {
  TIEMViewEntry* E = Entry(Index);
  return E && E->Image ? FImageList->GetSourceHeight(E->Image) : 0;
}

void TFolioMView::SetImageSourceWidth(int32_t Index, int32_t Value) {
  if (TIEMViewEntry* E = Entry(Index); E && E->Image) FImageList->SetSourceWidth(E->Image, Value);
}

void TFolioMView::SetImageSourceHeight(int32_t Index, int32_t Value) {
  if (TIEMViewEntry* E = Entry(Index); E && E->Image) FImageList->SetSourceHeight(E->Image, Value);
}

void TFolioMView::SetImageBackground(int32_t Index, TColor Colour) {
  TIEMViewEntry* E = Entry(Index);
  if (!E) return;
  E->Background = Colour;
  ClearImageCache(Index);
  UpdateLayout();
}

TColor TFolioMView::GetImageBackground(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->Background : 0;
}

void TFolioMView::SetImageDelayTime(int32_t Index, int32_t Milliseconds) {
  if (TIEMViewEntry* E = Entry(Index)) E->Delay = Milliseconds;
}

int32_t TFolioMView::GetImageDelayTime(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->Delay : 0;
}

void TFolioMView::SetDeferredFileName(int32_t Index, const std::string& FileName) {
  if (TIEMViewEntry* E = Entry(Index)) {
    E->DeferredFileName = FileName;
    E->ImageID = -1;
  }
}

std::string TFolioMView::GetDeferredFileName(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->DeferredFileName : std::string();
}

TRect TFolioMView::GetImageRect(int32_t Index) const {
  const TIEMViewEntry* E = CheckedEntry(Index);
  return E->ImageRect;
}

void TFolioMView::SetImageID(int32_t Index, int32_t ID) {
  TIEMViewEntry* E = CheckedEntry(Index);
  E->ImageID = ID;
}

int32_t TFolioMView::GetImageID(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->ImageID : -1;
}

int32_t TFolioMView::GetImageGridRow(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->GridRow : 0;
}

int32_t TFolioMView::GetImageGridColumn(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->GridColumn : 0;
}

bool TFolioMView::ReserveImageSpace(int32_t Width, int32_t Height, int32_t BitsPerPixel, int32_t Count) {
  TLockScope Lock(FLock);
  return FImageList->ReserveSpace(Width, Height, BitsPerPixel, Count);
}

void TFolioMView::SetImageCacheSize(int32_t Value) {
  FImageCacheSize = Value;
  TLockScope Lock(FLock);
  FImageList->SetMaximumMapped(Value);
}

void TFolioMView::SetImageCacheMemory(int64_t Bytes) {
  FImageCacheMemory = std::max<int64_t>(Bytes, 0);
  TLockScope Lock(FLock);
  FImageList->SetMaximumMappedBytes(FImageCacheMemory);
}

TIEMText* TFolioMView::GetImageTopText(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->TopText.get() : nullptr;
}

TIEMText* TFolioMView::GetImageBottomText(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->BottomText.get() : nullptr;
}

TIEMText* TFolioMView::GetImageInfoText(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E ? E->InfoText.get() : nullptr;
}

bool TFolioMView::HasImage(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E && E->Image;
}

bool TFolioMView::HasDisplayCopy(int32_t Index) const {
  TIEMViewEntry* E = Entry(Index);
  return E && E->DisplayCopy;
}

// ----------------------------------------------------------- display copies
bool TFolioMView::MakeDisplayCopy(int32_t Index) {
  TIEMViewEntry* E = Entry(Index);
  if (!E) return false;
  TLockScope Lock(FLock);
  if (E->DisplayCopy) return true;
  if (!E->Image && !LoadImageOnDemand(Index)) return false;
  if (!E->Image) return false;
  TIEBitmap Source;
  if (!FImageList->CopyToBitmap(E->Image, &Source) || Source.IsEmpty()) return false;
  const double Aspect = GetImagePixelAspect(Index);
  // The shown height: rows count Aspect pixels high.
  const int32_t w = Source.GetWidth();
  const int32_t h = Aspect == 1 ? Source.GetHeight() : std::max(1, IERound(Source.GetHeight() * Aspect));
  int32_t tw = w, th = h;
  // Reduced to the cell; small images enlarged only when they should be.
  if (w > FThumbWidth || h > FThumbHeight || FitSmallImages)
    IEAspectFit(w, h, std::max(1, FThumbWidth), std::max(1, FThumbHeight), tw, th);
  if (tw == Source.GetWidth() && th == Source.GetHeight()) {
    E->DisplayCopy = FCacheList->AddBitmap(&Source);
  } else {
    ColorTransparentPixels(&Source);
    std::unique_ptr<TIEBitmap> Reduced = IEMViewMakeReduced(&Source, tw, th, StoreFilter);
    if (Reduced) E->DisplayCopy = FCacheList->AddBitmap(Reduced.get());
  }
  return E->DisplayCopy != nullptr;
}

double TFolioMView::GetImagePixelAspect(int32_t Index) {
  double Aspect = 1;
  if (OnImagePixelAspect) OnImagePixelAspect(this, Index, Aspect);
  return Aspect > 0 && std::isfinite(Aspect) ? Aspect : 1;
}

void TFolioMView::ClearImageCache(int32_t Index) {
  TIEMViewEntry* E = CheckedEntry(Index);
  TLockScope Lock(FLock);
  if (E->DisplayCopy) {
    FCacheList->Delete(E->DisplayCopy);
    E->DisplayCopy = nullptr;
  }
}

void TFolioMView::ClearAllImageCaches() {
  for (int32_t i = 0; i < GetImageCount(); ++i) ClearImageCache(i);
}

// ---------------------------------------------------------------- selection
void TFolioMView::ReleaseHeldBitmap() {
  if (!FSelectedBitmap) return;
  TLockScope Lock(FLock);
  FImageList->ReleaseBitmap(FSelectedBitmap, true);
  FSelectedBitmap = nullptr;
}

void TFolioMView::SelectImageInternal(int32_t Index) {
  FSelectionChanged = false;
  if (FPlaying || Index < 0 || Index >= GetImageCount()) return;
  ReleaseHeldBitmap();
  if (FEnableMultiSelect) {
    auto Found = std::find(FMultiSelected.begin(), FMultiSelected.end(), Index);
    if (!FMultiSelecting) {
      const std::vector<int32_t> Old = std::move(FMultiSelected);
      FMultiSelected.clear();
      for (int32_t i : Old) DoImageDeselect(i);
    } else if (Found != FMultiSelected.end() &&
               (!(FMultiSelectionOptions & iemoLeaveOneSelected) || FMultiSelected.size() > 1)) {
      FMultiSelected.erase(Found);
      DoImageDeselect(Index);
      if (!FKeepSelection) {
        FSelectedIndex = -1;
        return;
      }
    }
    if (std::find(FMultiSelected.begin(), FMultiSelected.end(), Index) == FMultiSelected.end())
      FMultiSelected.push_back(Index);
  }
  FSelectedIndex = Index;
  FSelectedBitmap = nullptr;
  FSelectionChanged = true;
  CallBitmapChangeEvents();
  DoImageSelect(Index);
}

void TFolioMView::SetSelectedImage(int32_t Index) {
  if (FPlaying || Index < 0 || Index >= GetImageCount()) return;
  if (Index == FSelectedIndex && !FMultiSelecting) return;
  SelectImageInternal(Index);
  UpdateLayout();
}

void TFolioMView::Deselect() {
  DeselectInternal();
  UpdateLayout();
}

void TFolioMView::DeselectInternal() {
  if (FSelectedIndex >= 0) ReleaseHeldBitmap();
  if (FEnableMultiSelect) {
    const std::vector<int32_t> Old = std::move(FMultiSelected);
    FMultiSelected.clear();
    for (int32_t i : Old) DoImageDeselect(i);
  } else if (FSelectedIndex >= 0) {
    DoImageDeselect(FSelectedIndex);
  }
  FSelectedIndex = -1;
}

int32_t TFolioMView::GetMultiSelectedImage(int32_t n) const {
  return n >= 0 && n < GetMultiSelectedCount() ? FMultiSelected[size_t(n)] : -1;
}

bool TFolioMView::IsSelected(int32_t Index) const {
  return Index == FSelectedIndex ||
         std::find(FMultiSelected.begin(), FMultiSelected.end(), Index) != FMultiSelected.end();
}

void TFolioMView::SetEnableMultiSelect(bool Value) {
  if (Value == FEnableMultiSelect) return;
  FEnableMultiSelect = Value;
  Update();
}

void TFolioMView::DoImageSelect(int32_t Index) {
  if (OnImageSelect && FUserAction) OnImageSelect(this, Index);
}

void TFolioMView::DoImageDeselect(int32_t Index) {
  if (OnImageDeselect && FUserAction && !FDestroying) OnImageDeselect(this, Index);
}

void TFolioMView::DoViewChange(int32_t Change) {
  if (OnViewChange && FUserAction) OnViewChange(this, Change);
}

TIEBitmap* TFolioMView::GetViewIEBitmap() {
  if (FSelectedIndex < 0 || FSelectedIndex >= GetImageCount()) return nullptr;
  if (!FSelectedBitmap) FSelectedBitmap = GetIEBitmap(FSelectedIndex);
  return FSelectedBitmap;
}

TBitmap* TFolioMView::GetViewBitmap() {
  TIEBitmap* B = GetViewIEBitmap();
  return B ? B->GetTBitmap() : nullptr;
}

// ---------------------------------------------------------- layout, painting
void TFolioMView::Update() { UpdateLayout(true); }

int32_t TFolioMView::UnlockPaint() {
  if (FPaintLock > 0) --FPaintLock;
  if (FPaintLock == 0) Update();
  return FPaintLock;
}

int32_t TFolioMView::UnlockPaintNoUpdate() {
  if (FPaintLock > 0) --FPaintLock;
  return FPaintLock;
}

void TFolioMView::SetBackground(TColor Value) {
  TIEView::SetBackground(Value);
  Update();
}

void TFolioMView::SetThumbWidth(int32_t Value) {
  FThumbWidth = Value;
  Update();
}

void TFolioMView::SetThumbHeight(int32_t Value) {
  FThumbHeight = Value;
  Update();
}

void TFolioMView::SetHorizBorder(int32_t Value) {
  if (Value == FHorizBorder) return;
  FHorizBorder = Value;
  Update();
}

void TFolioMView::SetVertBorder(int32_t Value) {
  if (Value == FVertBorder) return;
  FVertBorder = Value;
  Update();
}

void TFolioMView::SetUpperGap(int32_t Value) {
  FUpperGap = FUserUpperGap = Value;
  Update();
}

void TFolioMView::SetBottomGap(int32_t Value) {
  FBottomGap = FUserBottomGap = Value;
  Update();
}

void TFolioMView::SetGridWidth(int32_t Value) {
  if (Value == FGridWidth) return;
  FGridWidth = Value;
  Update();
}

void TFolioMView::SetDisplayMode(TIEMDisplayMode Value) {
  if (FPlaying) {
    // Applied when playback stops.
    FSavedDisplayMode = Value;
    return;
  }
  if (Value == FDisplayMode) return;
  FDisplayMode = Value;
  Update();
}

void TFolioMView::SetStyle(TIEMStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  Update();
}

// ---------------------------------------------------- loading and playback
bool TFolioMView::SplitFrameName(const std::string& Name, std::string& File, int32_t& Frame) {
  File = Name;
  Frame = 0;
  const size_t At = Name.rfind("::");
  if (At == std::string::npos) return false;
  const std::string Digits = Name.substr(At + 2);
  if (Digits.empty() || Digits.size() > 9 ||
      !std::all_of(Digits.begin(), Digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  File = Name.substr(0, At);
  Frame = std::stoi(Digits);
  return true;
}

bool TFolioMView::CanReload(const TIEMViewEntry* E) const {
  if (!E) return false;
  if (E->ImageID >= 0 && (OnImageIDRequest || OnImageIDRequestEx)) return true;
  return !E->DeferredFileName.empty();
}

void TFolioMView::PrepareLoadParams(TFolioIO* IO) {
  TIOParamsVals* P = IO->GetParams();
  if (FStoreType == ietThumb) {
    P->JpegReduceMode = ioJPEG_AUTOCALC;
    // A small cell may take the preview a camera or a JPEG carries.
    const bool Embedded = FThumbWidth <= 200 && FThumbHeight <= 200 && FPreferEmbeddedThumbs;
    P->SetLoadExifThumbnail(Embedded);
    P->SetRawLoadThumbnail(Embedded);
    P->JpegDctMethod = ioJPEG_IFAST;
    P->Width = FThumbWidth;
    P->Height = FThumbHeight;
  } else {
    P->JpegReduceMode = ioJPEG_FULLSIZE;
  }
  P->SetApplyOrientation(FAutoOrient);
}

TFolioIO* TFolioMView::GetFrameReader(const std::string& Name, int32_t& FrameNumber) {
  std::string File;
  SplitFrameName(Name, File, FrameNumber);
  for (const auto& R : FFrameReaders)
    if (R->IO->GetParams()->FileName == File) return R->IO.get();
  auto Reader = std::make_unique<TIEMViewFrameReader>();
  Reader->IO = std::make_unique<TFolioIO>(nullptr);
  Reader->IO->GetParams()->FileName = File;
  FFrameReaders.push_back(std::move(Reader));
  return FFrameReaders.back()->IO.get();
}

void TFolioMView::FreeFrameReaders() { FFrameReaders.clear(); }

void TFolioMView::LoadFrame(TFolioIO* Reader, int32_t n, int32_t& DelayMs) {
  DelayMs = 0;
  const std::string File = Reader->GetParams()->FileName;
  const TIEFileFormatInfo* Info = IEFindFormatByExtension(ExtractFileExt(File));
  TIEMViewFrameReader* Rec = nullptr;
  for (const auto& R : FFrameReaders)
    if (R->IO.get() == Reader) Rec = R.get();
  if (Rec && !Rec->Opened) {
    // Opened once per file; a file that cannot be opened that way goes
    // through the general load below.
    Rec->Opened = true;
    try {
      const TIEFileFormat Format = IEDetectFileFormat(File, false);
      const TIECodec* Codec = Format != ioUnknown ? IEFindCodec(Format) : nullptr;
      if (Codec && Codec->OpenPages) {
        Rec->Stream = std::make_unique<TFileStream>(File, fmOpenRead | fmShareDenyWrite);
        Rec->Pages = Codec->OpenPages(Rec->Stream.get());
      }
    } catch (const Exception&) {
      Rec->Pages.reset();
      Rec->Stream.reset();
    }
  }
  Reader->GetParams()->SetImageIndex(n);
  if (Rec && Rec->Pages && Reader->GetIEBitmap()) {
    std::atomic<bool> Aborting{false};
    TIEProgressRec Progress;
    Progress.Aborting = &Aborting;
    TIECodecReadRequest Request;
    Request.Stream = Rec->Stream.get();
    Request.Bitmap = Reader->GetIEBitmap();
    Request.Params = Reader->GetParams();
    Request.Progress = &Progress;
    TIECodecReadResult Result;
    try {
      // Page offsets count from the start of the file.
      Rec->Stream->SetPosition(0);
      Rec->Pages->ReadPage(n, Request, Result);
    } catch (const Exception&) {
      Aborting = true;
    }
    if (Result.AlphaMask && !Aborting) Request.Bitmap->CopyFromTIEMask(Result.AlphaMask.get());
    Reader->SetAborting(Aborting);
  } else if (Info && Info->FormatId != ioUnknown && Info->FormatId != ioAVI && Info->FormatId != 22 &&
             Info->FormatId != 23) {
    // A registered image format without page procedures: the load reads the
    // image the index names.
    Reader->LoadFromFileAuto(File);
  } else {
    // Video and other media files: one media object per file, kept open
    // for the file's other frames.
    if (!Reader->IsMediaFileOpen()) Reader->OpenMediaFile(File);
    Reader->LoadMediaFrame(n);
    if (!Reader->IsMediaFileOpen() || Reader->GetIEBitmap()->IsEmpty()) Reader->SetAborting(true);
    // The frame time is in milliseconds already.
    DelayMs = Reader->GetParams()->MediaFrameDuration;
  }
  // The reader keeps naming its file whatever the load wrote there.
  Reader->GetParams()->FileName = File;
  if (Info && Info->FormatId == ioGIF) DelayMs = 10 * Reader->GetParams()->GifDelay;
}

void TFolioMView::FillFromFileFrames(const std::string& FileName) {
  Clear();
  int32_t n = 0;
  try {
    const TIEFileFormat Format = IEDetectFileFormat(FileName, false);
    if (Format != ioUnknown && Format != ioAVI) {
      n = IEFileImageCount(FileName, Format);
      // A format without pages holds one image.
      if (n < 1) n = 1;
    } else {
      // Not an image file: the frames of a video, if it is one.
      n = IEFileImageCount(FileName);
    }
  } catch (const Exception&) {
    n = 0;
  }
  LockPaint();
  try {
    for (int32_t i = 0; i < n; ++i) {
      InsertImageNoSelect(i);
      SetDeferredFileName(i, FileName + "::" + std::to_string(i));
    }
  } catch (...) {
    UnlockPaint();
    throw;
  }
  UnlockPaint();
}

bool TFolioMView::LoadImageOnDemand(int32_t Index) {
  TIEMViewEntry* E = Entry(Index);
  if (!E) return false;
  TLockScope Lock(FLock);
  if (E->Image) return true;
  if (E->ImageID >= 0 && (OnImageIDRequest || OnImageIDRequestEx)) {
    // The image comes from the program: the handler keeps its bitmap, the
    // entry stores a copy.
    if (OnImageIDRequest) {
      TBitmap* Served = nullptr;
      OnImageIDRequest(this, E->ImageID, Served);
      if (Served && Entry(Index) == E) {
        TIEBitmap Wrapper;
        Wrapper.AttachTBitmap(Served, true);
        StoreImageBitmap(Index, &Wrapper);
      }
    } else {
      TIEBitmap* Served = nullptr;
      OnImageIDRequestEx(this, E->ImageID, Served);
      if (Served && Entry(Index) == E) StoreImageBitmap(Index, Served);
    }
    return true;
  }
  // Nothing to load from: the entry stays empty, which is no failure.
  if (E->DeferredFileName.empty()) return true;
  const std::string Name = E->DeferredFileName;
  std::string File;
  int32_t Frame = 0;
  const bool Framed = SplitFrameName(Name, File, Frame);
  TFolioIO* IO = Framed ? GetFrameReader(Name, Frame) : FIO.get();
  auto Loaded = std::make_unique<TIEBitmap>();
  IO->AttachBitmap(Loaded.get());
  IO->SetBackground(E->Background);
  IO->OnProgress = OnIOProgress;
  PrepareLoadParams(IO);
  if (FMIO) IO->SetAutoAdjustDPI(FMIO->GetAutoAdjustDPI());
  IO->SetAborting(false);
  int32_t Delay = 0;
  try {
    const std::string Ext = LowerCase(ExtractFileExt(Name));
    if (Framed)
      LoadFrame(IO, Frame, Delay);
    else if (Ext == ".emf" || Ext == ".wmf")
      IO->LoadMetafileFile(Name, FThumbWidth, -1, true);
    else
      IO->LoadFromFileAuto(Name);
  } catch (const Exception&) {
    IO->SetAborting(true);
  }
  const bool Failed = IO->GetAborting() || Loaded->IsEmpty();
  if (Failed) DoWrongImage(Loaded.get(), Index);
  // Events of the load may have changed the list: store only into the entry
  // that asked.
  if (Entry(Index) == E) {
    if (Framed && !Failed) E->Delay = Delay;
    if (TIOParamsVals* Rec = GetMIO()->ParamsOf(Index)) Rec->Assign(IO->GetParams());
    E->Background = IO->GetBackground();
    StoreImageBitmap(Index, Loaded.get());
    const TIOParamsVals* P = IO->GetParams();
    if (E->Image && P->StoredWidth > 0 && P->StoredHeight > 0) {
      FImageList->SetSourceWidth(E->Image, P->StoredWidth);
      FImageList->SetSourceHeight(E->Image, P->StoredHeight);
    }
  }
  IO->AttachBitmap(nullptr);
  IO->OnProgress = nullptr;
  return !Failed;
}

bool TFolioMView::SetImageFromFile(int32_t Index, const std::string& FileName, int32_t ImageIndex) {
  return LoadImageIntoEntry(Index, nullptr, FileName, ImageIndex);
}

bool TFolioMView::LoadImageIntoEntry(int32_t Index, TStream* Stream, const std::string& FileName,
                                     int32_t ImageIndex) {
  TIEMViewEntry* E = Entry(Index);
  if (!E) return false;
  TFolioMIO* MIO = GetMIO();
  TIEBitmap Loaded;
  FIO->AttachBitmap(&Loaded);
  FIO->SetBackground(E->Background);
  PrepareLoadParams(FIO.get());
  FIO->GetParams()->SetImageIndex(ImageIndex);
  FIO->SetAutoAdjustDPI(MIO->GetAutoAdjustDPI());
  bool Failed;
  try {
    if (Stream)
      FIO->LoadFromStream(Stream);
    else
      FIO->LoadFromFileAuto(FileName);
    Failed = FIO->GetAborting() || Loaded.IsEmpty();
  } catch (const Exception&) {
    Failed = true;
  }
  if (Failed) DoWrongImage(&Loaded, Index);
  // The entry may have gone while the I/O component ran its events.
  E = Entry(Index);
  if (E) {
    if (TIOParamsVals* Rec = MIO->ParamsOf(Index)) Rec->Assign(FIO->GetParams());
    E->Background = FIO->GetBackground();
    StoreImageBitmap(Index, &Loaded);
    const TIOParamsVals* P = FIO->GetParams();
    if (P->StoredWidth > 0 && P->StoredHeight > 0 && E->Image) {
      SetImageSourceWidth(Index, P->StoredWidth);
      SetImageSourceHeight(Index, P->StoredHeight);
    }
    ClearImageCache(Index);
  }
  FIO->AttachBitmap(nullptr);
  UpdateLayout();
  return !Failed && E != nullptr;
}

void TFolioMView::DoWrongImage(TIEBitmap* Bitmap, int32_t Index) {
  const int32_t w = std::max<int32_t>(FThumbWidth, 1), h = std::max<int32_t>(FThumbHeight, 1);
  if (OnWrongImage) {
    Bitmap->Allocate(w, h, ie24RGB);
    bool Handled = false;
    OnWrongImage(this, Bitmap, Index, Handled);
    if (Handled) return;
  }
  // A white cell with a shadowed question mark.
  TBitmap Picture;
  Picture.SetPixelFormat(pf24bit);
  Picture.SetSize(w, h);
  TCanvas* C = Picture.GetCanvas();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(clWhite);
  C->FillRect(TRect{0, 0, w, h});
  C->GetFont()->SetName("Arial");
  C->GetFont()->SetStyle(fsBold);
  C->GetFont()->SetSize(h);
  C->GetBrush()->SetStyle(bsClear);
  const int32_t tw = C->TextWidth("?"), th = C->TextHeight("?");
  C->GetFont()->SetColor(TColor(8421504));
  C->TextOut((w - tw) / 2 + 3, (h - th) / 2 + 3, "?");
  C->GetFont()->SetColor(TColor(0xFF0000));
  C->TextOut((w - tw) / 2, (h - th) / 2, "?");
  Bitmap->Assign(&Picture);
  if (Bitmap->GetPixelFormat() != ie24RGB) Bitmap->SetPixelFormat(ie24RGB);
}

TFolioMIO* TFolioMView::GetMIO() {
  if (!FMIO) {
    FMIO = new TFolioMIO(this);
    FMIO->FreeNotification(this);
    FMIO->SetAttachedMView(this);
    FMIO->OnProgress = FOnProgress;
    FMIO->OnFinishWork = FOnFinishWork;
  }
  return FMIO;
}

void TFolioMView::Notification(TComponent* AComponent, TOperation Operation) {
  TIEView::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr && AComponent == FMIO) FMIO = nullptr;
}


void TFolioMView::SetPlaying(bool Value) {
  if (Value == FPlaying) return;
  if (Value) {
    FSavedDisplayMode = FDisplayMode;
    FSavedSelectedIndex = FSelectedIndex;
    Deselect();
  }
  FPlaying = Value;
  PlayNextFrame();
  if (!Value) {
    SetDisplayMode(FSavedDisplayMode);
    SetSelectedImage(FSavedSelectedIndex);
  }
}

void TFolioMView::PlayNextFrame() {
  if (FPlayGuard || FDestroying) return;
  FPlayGuard = true;
  struct TGuard {
    bool& Flag;
    ~TGuard() { Flag = false; }
  } Guard{FPlayGuard};
  StopWindowTimer(1);
  FTimerInterval = 0;
  if (!FPlaying) return;
  if (FDisplayMode != mdSingle) {
    FDisplayMode = mdSingle;
    Update();
  }
  const int32_t Count = GetImageCount();
  if (Count == 0) return;
  FFrameIndex = std::min(FFrameIndex, Count - 1);
  if (OnPlayFrame) OnPlayFrame(this, FFrameIndex);
  // Painted now, so each frame is seen for its own delay.
  Invalidate();
  TCustomControl::Update();
  const int32_t Shown = FFrameIndex;
  if (Shown >= Count - 1) {
    FFrameIndex = 0;
    CallBitmapChangeEvents();
    if (!FLoopPlayback) {
      FPlaying = false;
      return;
    }
  } else {
    ++FFrameIndex;
  }
  FTimerInterval = std::max(GetImageDelayTime(Shown), 10);
  StartWindowTimer(1, uint32_t(FTimerInterval));
}
