// The processing component: format negotiation, the operation protocol with a
// selection, analyses that never convert the document, progress bounds, and
// the undo and redo stacks over images, selections and layers of a view.
#include "processing/folio_proc.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/temp_file.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/forms.h"
#include "views/view_base.h"

namespace {

void Put32(TStream& S, uint32_t V) { S.WriteBuffer(&V, 4); }
uint32_t Get32(TStream& S) {
  uint32_t V = 0;
  S.ReadBuffer(&V, 4);
  return V;
}

// A view with an image, a rectangle selection and layers, enough to stand in
// for the single-image view behind the view base's virtuals.
class TTestView : public TIEView {
 public:
  struct TLayer {
    uint8_t Id[16] = {};
    int32_t PosX = 0;
    std::unique_ptr<TIEBitmap> Bitmap;
  };
  explicit TTestView(TComponent* Owner) : TIEView(Owner) {
    Image.Allocate(16, 12, ie24RGB);
    Mask.AllocateBits(16, 12, 1);
    for (int i = 0; i < 3; ++i) {
      TLayer L;
      L.Id[0] = uint8_t(i + 1);
      L.Bitmap = std::make_unique<TIEBitmap>(4, 4, ie24RGB);
      L.Bitmap->Fill(TColor(i * 40));
      Layers.push_back(std::move(L));
    }
  }
  TIEBitmap Image;
  TIEMask Mask;
  bool HasSel = false;
  int32_t Sel[4] = {-1, -1, -1, -1};
  std::vector<TLayer> Layers;
  int32_t Current = 0;
  int32_t Updates = 0;

  void Select(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    Mask.Clear();
    HasSel = X1 >= 0;
    Sel[0] = X1, Sel[1] = Y1, Sel[2] = X2, Sel[3] = Y2;
    if (HasSel)
      for (int32_t y = Y1; y <= Y2; ++y)
        for (int32_t x = X1; x <= X2; ++x) Mask.SetPixel(x, y, 1);
  }

  TIEBitmap* GetViewIEBitmap() override { return &Image; }
  TIEBitmap* GetAlphaChannel() override { return Image.GetAlphaChannel(); }
  bool GetHasAlphaChannel() override { return Image.HasAlphaChannel(); }
  void RemoveAlphaChannel(bool) override {}
  void LockPaint() override {}
  int32_t UnlockPaint() override { return 0; }
  int32_t UnlockPaintNoUpdate() override { return 0; }
  void Update() override { ++Updates; }

  TIEMask* GetSelectionMask() override { return &Mask; }
  bool GetHasSelection() override { return HasSel; }
  bool SaveSelectionToStream(TStream& S) override {
    Put32(S, HasSel);
    for (int32_t V : Sel) Put32(S, uint32_t(V));
    return true;
  }
  void LoadSelectionFromStream(TStream& S, int32_t) override {
    bool H = Get32(S) != 0;
    int32_t R[4];
    for (int32_t& V : R) V = int32_t(Get32(S));
    Select(H ? R[0] : -1, R[1], R[2], R[3]);
  }
  int32_t GetLayerCount() override { return int32_t(Layers.size()); }
  int32_t GetCurrentLayerIndex() override { return Current; }
  TIEBitmap* GetLayerBitmap(int32_t I) override { return I == 0 ? &Image : Layers[I].Bitmap.get(); }
  void SaveLayerRecord(int32_t I, TStream& S, bool WithBitmap) override {
    const int32_t Pixels = WithBitmap ? 4 * 4 * 3 : 0;
    Put32(S, uint32_t(4 + 16 + 4 + 4 + Pixels));
    S.WriteBuffer(Layers[I].Id, 16);
    Put32(S, uint32_t(Layers[I].PosX));
    Put32(S, WithBitmap);
    if (WithBitmap)
      for (int y = 0; y < 4; ++y) S.WriteBuffer(Layers[I].Bitmap->GetScanline(y), 12);
  }
  void LoadLayerRecord(int32_t I, TStream& S) override {
    Get32(S);
    uint8_t Id[16];
    S.ReadBuffer(Id, 16);
    Layers[I].PosX = int32_t(Get32(S));
    if (Get32(S))
      for (int y = 0; y < 4; ++y) S.ReadBuffer(Layers[I].Bitmap->GetScanline(y), 12);
  }
  int32_t FindLayerById(const uint8_t* Id) override {
    for (size_t i = 0; i < Layers.size(); ++i)
      if (std::memcmp(Layers[i].Id, Id, 16) == 0) return int32_t(i);
    return -1;
  }
};

std::vector<uint8_t> Bytes(TIEBitmap* B) {
  std::vector<uint8_t> V;
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* R = B->GetScanline(y);
    V.insert(V.end(), R, R + B->GetRowLen());
  }
  V.push_back(uint8_t(B->GetPixelFormat()));
  return V;
}

TEST(FolioProc, EnsurePixelFormatTable) {
  struct Case {
    TIEPixelFormat From;
    TIEPixelFormatSet Allowed;
    bool AutoConvert, Ok;
    TIEPixelFormat To;
  } Cases[] = {
      {ie1g, IEPixelFormatSetOf({ie24RGB}), true, true, ie24RGB},
      {ie1g, IEPixelFormatSetOf({ie24RGB}), false, false, ie1g},
      {ie24RGB, IEPixelFormatSetOf({ie1g}), true, true, ie1g},  // fallback scan
      {ie8g, 0, true, true, ie8g},
      {ie8g, IEPixelFormatSetOf({ieRGB48, ie24RGB}), true, true, ie24RGB},
  };
  for (const Case& C : Cases) {
    TIEBitmap B(4, 4, C.From);
    auto P = TFolioProc::CreateFromBitmap(&B);
    P->SetAutoConvertFormat(C.AutoConvert);
    EXPECT_EQ(P->EnsurePixelFormat(C.Allowed), C.Ok);
    EXPECT_EQ(B.GetPixelFormat(), C.To);
  }
}

TEST(FolioProc, RefusedOperationLeavesNoUndoEntry) {
  TIEBitmap B(8, 8, ie1g);
  auto P = TFolioProc::CreateFromBitmap(&B);
  P->SetAutoUndo(true);
  P->SetUndoLimit(5);
  P->SetAutoConvertFormat(false);
  int32_t Saves = 0;
  P->OnSaveUndo = [&](TObject*, TIEUndoSource) { ++Saves; };
  P->GammaCorrect(2.0);
  EXPECT_EQ(P->UndoCount(), 0);
  EXPECT_EQ(Saves, 0);
  P->SetAutoConvertFormat(true);
  P->GammaCorrect(0);  // refused gamma
  EXPECT_EQ(P->UndoCount(), 0);
  P->GammaCorrect(2.0);
  EXPECT_EQ(P->UndoCount(), 1);
  EXPECT_EQ(P->GetUndoCaption(0), "GammaCorrect");
  EXPECT_EQ(B.GetPixelFormat(), ie24RGB);
  P->Undo();
  EXPECT_EQ(B.GetPixelFormat(), ie1g);  // the snapshot predates the conversion
}

TEST(FolioProc, ProgressNeverExceedsHundred) {
  TIEBitmap B(20, 20, ie24RGB);
  auto P = TFolioProc::CreateFromBitmap(&B);
  int32_t Max = -1, Finished = 0;
  P->OnProgress = [&](TObject*, int32_t V) { Max = std::max(Max, V); };
  P->OnFinishWork = [&](TObject*) { ++Finished; };
  P->DoProgress(250);
  EXPECT_EQ(Max, 100);
  P->AddSoftShadow(2, 3, 3, true, TColor(0), 100);
  EXPECT_EQ(Max, 100);
  EXPECT_EQ(Finished, 1);
}

TEST(FolioProc, AnalysisWorksOnACopy) {
  TIEBitmap B(6, 6, ie1g);
  B.Fill(1);
  auto P = TFolioProc::CreateFromBitmap(&B);
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  ASSERT_TRUE(P->BeginAnalysis(IEPixelFormatSetOf({ie24RGB}), X1, Y1, X2, Y2, Work, Mask));
  EXPECT_NE(Work, &B);
  EXPECT_EQ(Work->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Work->GetScanline(0)[0], 255);
  P->EndAnalysis(Work);
  EXPECT_EQ(B.GetPixelFormat(), ie1g);
  ASSERT_TRUE(P->BeginAnalysis(IEPixelFormatSetOf({ie1g}), X1, Y1, X2, Y2, Work, Mask));
  EXPECT_EQ(Work, &B);
  P->EndAnalysis(Work);
}

TEST(FolioProc, SelectionLimitsTheOperationToMaskedPixels) {
  TTestView View(nullptr);
  View.Image.Fill(TColor(0x404040));
  TFolioProc P(nullptr);
  P.SetAttachedFolio(&View);
  ASSERT_EQ(P.GetIEBitmap(), &View.Image);
  View.Select(2, 2, 5, 4);
  View.Mask.SetPixel(3, 3, 0);  // a hole inside the box
  View.Mask.UpdateBoundingBox();
  P.GammaCorrect(2.0);
  EXPECT_EQ(View.Image.GetScanline(2)[3 * 2], 128);  // 64 -> 128 inside
  EXPECT_EQ(View.Image.GetScanline(3)[3 * 3], 64);   // the hole keeps its value
  EXPECT_EQ(View.Image.GetScanline(0)[0], 64);       // outside the box
  EXPECT_GT(View.Updates, 0);
  View.HasSel = false;
  P.GammaCorrect(2.0);
  EXPECT_EQ(View.Image.GetScanline(0)[0], 128);  // no selection: everything
}

TEST(FolioProc, AttachmentFollowsTheView) {
  auto View = std::make_unique<TTestView>(nullptr);
  TFolioProc P(nullptr);
  P.SetAttachedFolio(View.get());
  EXPECT_EQ(View->GetChangeCallbackCount(), 1);
  P.SetAttachedFolio(nullptr);
  EXPECT_EQ(View->GetChangeCallbackCount(), 0);
  P.SetAttachedFolio(View.get());
  View.reset();
  EXPECT_EQ(P.GetAttachedFolio(), nullptr);
  ASSERT_NE(P.GetIEBitmap(), nullptr);
  EXPECT_EQ(P.GetIEBitmap()->GetWidth(), 0);
}

TEST(FolioProc, ReadFromAFormResource) {
  const char* Text =
      "object F: TForm\n"
      "  object Proc1: TFolioProc\n"
      "    AutoUndo = False\n"
      "    UndoLimit = 7\n"
      "    Background = $00112233\n"
      "    MsgLanguage = msEnglish\n"
      "  end\n"
      "end\n";
  TForm F(nullptr);
  F.ReadFormResourceText(Text, "proc");
  auto* P = F.Find<TFolioProc>("Proc1");
  ASSERT_NE(P, nullptr);
  EXPECT_FALSE(P->GetAutoUndo());
  EXPECT_EQ(P->GetUndoLimit(), 7);
  EXPECT_EQ(P->GetBackground(), TColor(0x00112233));
}

TEST(Undo, LimitsCaptionsAndSources) {
  TIEBitmap B(4, 4, ie24RGB);
  auto P = TFolioProc::CreateFromBitmap(&B);
  P->PushUndoWithCaption("a");
  P->PushUndoWithCaption("b");
  EXPECT_EQ(P->UndoCount(), 1);  // limit 1
  EXPECT_EQ(P->GetUndoCaption(0), "b");
  P->SetUndoLimit(3);
  for (const char* C : {"1", "2", "3", "4", "5"}) P->PushUndoWithCaption(C);
  EXPECT_EQ(P->UndoCount(), 3);
  EXPECT_EQ(P->GetUndoCaption(0), "5");
  EXPECT_EQ(P->GetUndoCaption(2), "3");
  EXPECT_EQ(P->GetUndoCaption(3), "");
  EXPECT_EQ(P->GetUndoSource(0), ieuImage);
  EXPECT_EQ(P->GetUndoSource(7), ieuUnknown);
  P->SetUndoLimit(2);
  EXPECT_EQ(P->UndoCount(), 3);
  P->PushUndo();
  EXPECT_EQ(P->UndoCount(), 2);
  P->DropUndoAt(1);
  EXPECT_EQ(P->UndoCount(), 1);
  P->SetUndoLimit(0);
  int32_t Saves = 0;
  P->OnSaveUndo = [&](TObject*, TIEUndoSource) { ++Saves; };
  P->PushUndo();
  EXPECT_EQ(Saves, 0);
  // A one-pixel-wide image: PushUndo fires but adds nothing, with a caption
  // nothing at all happens.
  TIEBitmap Thin(1, 5, ie24RGB);
  auto Q = TFolioProc::CreateFromBitmap(&Thin);
  Q->SetUndoLimit(5);
  Q->OnSaveUndo = [&](TObject*, TIEUndoSource) { ++Saves; };
  Q->PushUndo();
  EXPECT_EQ(Saves, 1);
  Q->PushUndoWithCaption("x");
  EXPECT_EQ(Saves, 1);
  EXPECT_EQ(Q->UndoCount(), 0);
  // Without a view, selection and layer snapshots do not apply.
  Q->PushUndo(ieuSelection);
  Q->PushUndo(ieuLayer);
  EXPECT_EQ(Q->UndoCount(), 0);
}

TEST(Undo, RestoreKeepsEntriesAndFillsRedo) {
  TIEBitmap B(4, 4, ie24RGB);
  B.Fill(TColor(0x111111));
  auto P = TFolioProc::CreateFromBitmap(&B);
  P->SetUndoLimit(10);
  P->PushUndo();
  B.Fill(TColor(0x222222));
  P->PushUndo();
  B.Fill(TColor(0x333333));
  P->Undo(true);
  P->Undo(true);
  EXPECT_EQ(P->UndoCount(), 2);
  EXPECT_EQ(P->RedoCount(), 2);
  EXPECT_EQ(B.GetScanline(0)[0], 0x22);
  P->RestoreUndoEntry(1, false);
  EXPECT_EQ(B.GetScanline(0)[0], 0x11);
  P->Redo();  // the newest redo entry is the state the second undo left
  EXPECT_EQ(B.GetScanline(0)[0], 0x22);
  P->RestoreRedoEntry(1);
  EXPECT_EQ(B.GetScanline(0)[0], 0x33);
}

TEST(Undo, SnapshotsAreInPrivateFilesThatGoAway) {
  TIEBitmap B(64, 64, ie24RGB);
  auto P = TFolioProc::CreateFromBitmap(&B);
  P->SetUndoLimit(4);
  // The open descriptors of this process; other test programs share the temp
  // folder, so its listing would not tell whose files are there.
  auto OpenFiles = [] {
    std::vector<std::string> N;
    if (DIR* D = opendir("/proc/self/fd")) {
      const std::string Own = std::to_string(dirfd(D));  // the listing's own
      while (dirent* E = readdir(D))
        if (E->d_name[0] != '.' && E->d_name != Own) N.push_back(E->d_name);
      closedir(D);
    }
    std::sort(N.begin(), N.end());
    return N;
  };
  const auto Before = OpenFiles();
  for (int i = 0; i < 3; ++i) P->PushUndo();
  const auto During = OpenFiles();
  std::vector<std::string> Added;
  std::set_difference(During.begin(), During.end(), Before.begin(), Before.end(), std::back_inserter(Added));
  ASSERT_EQ(Added.size(), 3u);
  for (const std::string& Fd : Added) {
    char Target[4096] = {};
    const ssize_t Len = readlink(("/proc/self/fd/" + Fd).c_str(), Target, sizeof(Target) - 1);
    ASSERT_GT(Len, 0);
    EXPECT_NE(access(Target, F_OK), 0) << Target << ": snapshot files must not be reachable by name";
  }
  P->DropAllUndo();
  EXPECT_EQ(OpenFiles(), Before);
}

TEST(Undo, ZeroLengthLayerRecordEndsTheWalk) {
  TTestView View(nullptr);
  TFolioProc P(nullptr);
  P.SetAttachedFolio(&View);
  P.SetUndoLimit(3);
  // A view that writes a record claiming length 0.
  struct TBadView : TTestView {
    using TTestView::TTestView;
    void SaveLayerRecord(int32_t I, TStream& S, bool) override {
      Put32(S, 0);
      S.WriteBuffer(Layers[I].Id, 16);
    }
  } Bad(nullptr);
  P.SetAttachedFolio(&Bad);
  P.PushUndo(ieuLayer);
  ASSERT_EQ(P.UndoCount(), 1);
  P.Undo();  // must return
  SUCCEED();
}

// Ten edits of images, selections and layers, each saved first as the
// application does; then undone one by one (each undo saving the current
// state for redo) and redone, comparing the whole state at every step.
TEST(Undo, TenEditsBackAndForth) {
  TTestView View(nullptr);
  TFolioProc P(nullptr);
  P.SetAutoUndo(true);
  P.SetAttachedFolio(&View);
  P.SetUndoLimit(20);
  View.Image.Fill(TColor(0x202020));
  struct TState {
    std::vector<uint8_t> Image, Layer2;
    bool HasSel;
    std::vector<int32_t> Sel, Pos;
    bool operator==(const TState&) const = default;
  };
  auto State = [&] {
    TState S{Bytes(&View.Image), Bytes(View.Layers[2].Bitmap.get()), View.HasSel,
             std::vector<int32_t>(View.Sel, View.Sel + 4), {}};
    for (auto& L : View.Layers) S.Pos.push_back(L.PosX);
    return S;
  };
  std::vector<TState> States{State()};
  std::vector<TIEUndoSource> Sources;
  auto Edit = [&](TIEUndoSource Source, const std::function<void()>& Change) {
    if (Source == ieuImage)
      Change();  // the operation saves its own snapshot
    else {
      P.PushUndo(Source);
      Change();
    }
    Sources.push_back(Source);
    States.push_back(State());
  };
  Edit(ieuImage, [&] { P.GammaCorrect(2.0); });
  Edit(ieuSelection, [&] { View.Select(1, 1, 6, 6); });
  Edit(ieuImage, [&] { P.GammaCorrect(0.5, 1); });  // inside the selection
  Edit(ieuLayer, [&] { View.Layers[1].PosX = 7; });
  Edit(ieuSelection, [&] { View.Select(-1, -1, -1, -1); });
  Edit(ieuImage, [&] { P.AddSoftShadow(1.5, 2, 2, true, TColor(0xFF), 80); });  // canvas grows
  View.Current = 2;  // the full-layer snapshot keeps the current layer's bitmap
  Edit(ieuFullLayer, [&] {
    View.Layers[2].Bitmap->Fill(TColor(0xABCDEF));
    View.Layers[2].PosX = -3;
  });
  Edit(ieuSelection, [&] { View.Select(0, 0, 3, 3); });
  Edit(ieuLayer, [&] { View.Layers[0].PosX = 11; });
  Edit(ieuSelection, [&] { View.Select(2, 3, 4, 5); });
  ASSERT_EQ(P.UndoCount(), 10);
  ASSERT_EQ(P.GetUndoSource(0), ieuImage);
  // Image snapshots go back into the layer that was current when they were
  // taken: layer 0 for every image edit here.
  for (int32_t k = 9; k >= 0; --k) {
    if (k == 5) View.Current = 0;
    P.Undo(true);
    P.DropNewestUndo();
    ASSERT_TRUE(State() == States[k]) << "after undoing edit " << k;
  }
  EXPECT_EQ(P.RedoCount(), 10);
  for (int32_t k = 0; k < 10; ++k) {
    if (k == 6) View.Current = 2;
    P.PushUndo(Sources[k]);
    P.Redo();
    P.DropNewestRedo();
    ASSERT_TRUE(State() == States[k + 1]) << "after redoing edit " << k;
  }
}

}  // namespace
