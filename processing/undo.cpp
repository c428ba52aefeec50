// Undo and redo stacks of TFolioProc.
//
// Each entry keeps one kind of state of the attachment: an image snapshot (a
// full copy, by default in a private delete-on-close temporary file, so a
// long stack costs disk rather than memory), or a memory stream with the
// view's selection, layers or objects.  Restoring an entry never removes it;
// callers drop entries themselves.
#include <algorithm>
#include <cstring>

#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"
#include "processing/folio_proc.h"
#include "views/view_base.h"

namespace {

// The fixed head of a layer record: its whole length, then the identifier.
constexpr int64_t LayerRecordHead = 4 + 16;

}  // namespace

std::string TFolioProc::GetUndoCaption(int32_t Index) const {
  if (Index < 0 || Index >= UndoCount()) return "";
  return FUndo[FUndo.size() - 1 - size_t(Index)].Caption;
}

std::string TFolioProc::GetRedoCaption(int32_t Index) const {
  if (Index < 0 || Index >= RedoCount()) return "";
  return FRedo[FRedo.size() - 1 - size_t(Index)].Caption;
}

TIEUndoSource TFolioProc::GetUndoSource(int32_t Index) const {
  if (Index < 0 || Index >= UndoCount()) return ieuUnknown;
  return FUndo[size_t(Index)].Source;
}

bool TFolioProc::BuildSnapshot(TIEUndoSource Source, TUndoEntry& Entry) {
  Entry.Source = Source;
  TIEView* View = FAttachedFolio;
  if (Source == ieuImage) {
    if (!FIEBitmap || FIEBitmap->GetWidth() < 2 || FIEBitmap->GetHeight() < 2) return false;
    auto Snap = std::make_unique<TIEBitmap>();
    Snap->SetMemoryThreshold(0);
    Snap->SetLocation(FUndoLocation);
    Snap->Assign(FIEBitmap);
    Entry.LayerIndex = View ? View->GetCurrentLayerIndex() : -1;
    if (View) {
      Entry.DpiX = View->GetDpiX();
      Entry.DpiY = View->GetDpiY();
    }
    Snap->SetTag(Entry.LayerIndex);
    Entry.Snapshot = std::move(Snap);
    return true;
  }
  if (!View || Source == ieuUnknown) return false;
  auto Stream = std::make_unique<TMemoryStream>();
  bool Built = false;
  switch (Source) {
    case ieuSelection:
      Built = View->SaveSelectionToStream(*Stream);
      break;
    case ieuObject:
      Built = View->SaveObjectsToStream(*Stream);
      break;
    case ieuLayer:
    case ieuFullLayer: {
      const int32_t Current = View->GetCurrentLayerIndex();
      if (Current < 0) break;  // a view without layers
      for (int32_t i = 0; i < View->GetLayerCount(); ++i)
        View->SaveLayerRecord(i, *Stream, Source == ieuFullLayer && i == Current);
      Built = true;
      break;
    }
    case ieuObjectsAndLayers:
      Built = View->SaveLayersAndObjectsToStream(*Stream);
      break;
    default:
      break;
  }
  if (!Built) return false;
  Entry.Snapshot = std::move(Stream);
  return true;
}

bool TFolioProc::Push(TUndoStack& Stack, TIEUndoSource Source) {
  TUndoEntry Entry;
  if (!BuildSnapshot(Source, Entry)) return false;
  while (!Stack.empty() && int32_t(Stack.size()) >= FUndoLimit) Stack.erase(Stack.begin());
  Stack.push_back(std::move(Entry));
  return true;
}

void TFolioProc::PushUndo(TIEUndoSource Source) {
  FLastPushAdded = false;
  if (FUndoLimit == 0) return;
  if (Source == ieuImage && !EnsurePixelFormat(0)) return;
  FLastPushAdded = Push(FUndo, Source);
  if (OnSaveUndo) OnSaveUndo(this, Source);
}

void TFolioProc::PushRedo(TIEUndoSource Source) {
  FLastPushAdded = false;
  if (FUndoLimit == 0) return;
  if (Source == ieuImage && !EnsurePixelFormat(0)) return;
  FLastPushAdded = Push(FRedo, Source);
}

void TFolioProc::PushUndoWithCaption(const std::string& Caption, TIEUndoSource Source) {
  if (!EnsurePixelFormat(0) || FIEBitmap->GetWidth() < 2 || FIEBitmap->GetHeight() < 2) return;
  PushUndo(Source);
  if (FLastPushAdded) FUndo.back().Caption = Caption;
}

void TFolioProc::PushRedoWithCaption(const std::string& Caption, TIEUndoSource Source) {
  if (!EnsurePixelFormat(0) || FIEBitmap->GetWidth() < 2 || FIEBitmap->GetHeight() < 2) return;
  PushRedo(Source);
  if (FLastPushAdded) FRedo.back().Caption = Caption;
}

void TFolioProc::DropNewestUndo() {
  if (!FUndo.empty()) FUndo.pop_back();
}

void TFolioProc::DropNewestRedo() {
  if (!FRedo.empty()) FRedo.pop_back();
}

void TFolioProc::DropAllUndo() { FUndo.clear(); }

void TFolioProc::DropAllRedo() { FRedo.clear(); }

void TFolioProc::DropUndoAt(int32_t Position) {
  if (Position < 0 || Position >= UndoCount()) return;
  FUndo.erase(FUndo.end() - 1 - Position);
}

void TFolioProc::Restore(TUndoEntry& Entry) {
  TIEView* View = FAttachedFolio;
  if (Entry.Source == ieuImage) {
    auto* Snap = static_cast<TIEBitmap*>(Entry.Snapshot.get());
    TIEBitmap* Target = FIEBitmap;
    if (View && Entry.LayerIndex >= 0 && View->GetLayerCount() > 0) {
      TIEBitmap* Layer = View->GetLayerBitmap(std::clamp(Entry.LayerIndex, 0, View->GetLayerCount() - 1));
      if (Layer) Target = Layer;
    }
    if (Target) {
      Target->Assign(Snap);
      if (!Snap->HasAlphaChannel() && Target->HasAlphaChannel()) Target->RemoveAlphaChannel(false);
    }
    if (View && Entry.DpiX > 0 && Entry.DpiY > 0) View->SetDpi(Entry.DpiX, Entry.DpiY);
    Refresh();
    return;
  }
  if (!View) return;
  auto* Stream = static_cast<TMemoryStream*>(Entry.Snapshot.get());
  Stream->SetPosition(0);
  switch (Entry.Source) {
    case ieuSelection:
      View->LoadSelectionFromStream(*Stream, 1);
      break;
    case ieuObject:
      View->LoadObjectsFromStream(*Stream);
      break;
    case ieuLayer:
    case ieuFullLayer: {
      const int64_t Size = Stream->GetSize();
      while (Stream->GetPosition() < Size) {
        const int64_t Start = Stream->GetPosition();
        uint8_t Head[LayerRecordHead];
        if (Stream->Read(Head, LayerRecordHead) != LayerRecordHead) break;
        const uint32_t Len = uint32_t(Head[0]) | uint32_t(Head[1]) << 8 | uint32_t(Head[2]) << 16 |
                             uint32_t(Head[3]) << 24;
        // A record shorter than its own head (a length of 0 above all) or
        // running past the stream ends the walk instead of looping on it.
        if (Len < LayerRecordHead || Start + int64_t(Len) > Size) break;
        const int32_t Index = View->FindLayerById(Head + 4);
        if (Index >= 0) {
          Stream->SetPosition(Start);
          View->LoadLayerRecord(Index, *Stream);
        }
        Stream->SetPosition(Start + Len);
      }
      View->Update();
      break;
    }
    case ieuObjectsAndLayers:
      View->LoadLayersAndObjectsFromStream(*Stream);
      break;
    default:
      break;
  }
}

void TFolioProc::RestoreUndoEntry(int32_t Position, bool AddRedo) {
  if (!EnsurePixelFormat(0) || Position < 0 || Position >= UndoCount()) return;
  const size_t Index = FUndo.size() - 1 - size_t(Position);
  if (AddRedo) PushRedo(FUndo[Index].Source);
  Restore(FUndo[Index]);
}

void TFolioProc::RestoreRedoEntry(int32_t Position) {
  if (!EnsurePixelFormat(0) || Position < 0 || Position >= RedoCount()) return;
  Restore(FRedo[FRedo.size() - 1 - size_t(Position)]);
}
