// Layers: the stack, the layer stream and its damaged forms, the undo record,
// and moving, resizing and rotating layers with the mouse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "support/test_support.h"
#include "support/view_on_form.h"
#include "views/folio_view.h"
#include "views/layers.h"

namespace {

std::unique_ptr<TIEBitmap> Gradient(int32_t W, int32_t H, uint8_t Tag) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) B->SetPixel24(x, y, TRGB{uint8_t(x * 3), uint8_t(y * 5), Tag});
  return B;
}

bool SamePixels(TIEBitmap* A, TIEBitmap* B) {
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight() || A->GetPixelFormat() != B->GetPixelFormat())
    return false;
  for (int32_t y = 0; y < A->GetHeight(); ++y)
    if (std::memcmp(A->GetScanline(y), B->GetScanline(y), size_t(A->GetRowLen())) != 0) return false;
  return true;
}

class LayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    V = testsupport::PlaceViewOnForm(Form);
    auto B = Gradient(60, 40, 7);
    V->SetIEBitmap(B.get());
  }
  // Two more layers with every property set away from its default.
  void AddTwoLayers() {
    V->AddLayer();
    TIELayer* L = V->GetCurrentLayer();
    auto B = Gradient(20, 10, 99);
    L->GetBitmap()->Assign(B.get());
    L->PosX = 5;
    L->PosY = -3;
    L->Transparency = 128;
    L->Cropped = true;
    L->Locked = true;
    L->Magnify = true;
    L->MagnifyRate = 3.5;
    L->MagnifyShape = 1;
    L->MagnifySource = 0;
    L->BlendMode = 7;
    L->SetWidth(40);
    L->SetHeight(30);
    L->ResampleFilter = rfBicubic;
    L->UseResampleFilter = true;
    L->Name = "stamp";
    L->UserData = {1, 2, 3};
    L->Selectable = false;
    L->Highlight = true;
    L->VisibleBox = false;
    L->Visible = false;
    V->AddLayer();
    TIELayer* M = V->GetCurrentLayer();
    auto G = std::make_unique<TIEBitmap>(8, 8, ie8g);
    G->Fill(200);
    M->GetBitmap()->Assign(G.get());
    M->IsMask = true;
  }
  std::unique_ptr<TForm> Form;
  TFolioView* V = nullptr;
};

TEST_F(LayerTest, StreamRoundTripsEveryLayerProperty) {
  AddTwoLayers();
  for (int32_t Format : {-1, -2}) {
    TMemoryStream S;
    ASSERT_TRUE(V->SaveLayersToStream(S, Format));
    // The header: signature padded with zeros to 13 bytes, version 6.
    const auto* H = static_cast<const uint8_t*>(S.GetMemory());
    EXPECT_EQ(std::memcmp(H, "FOLIOLAYERS\0\0", 13), 0);
    S.SetPosition(0);
    EXPECT_TRUE(IEIsLayersStream(S));
    EXPECT_EQ(S.GetPosition(), 0);

    TFolioView W(nullptr);
    ASSERT_TRUE(W.LoadLayersFromStream(S)) << Format;
    ASSERT_EQ(W.GetLayerCount(), 3);
    EXPECT_EQ(W.GetCurrentLayerIndex(), 2);
    for (int32_t i = 0; i < 3; ++i) {
      TIELayer* A = V->GetLayer(i);
      TIELayer* B = W.GetLayer(i);
      EXPECT_TRUE(SamePixels(A->GetBitmap(), B->GetBitmap())) << i;
      EXPECT_EQ(A->PosX, B->PosX);
      EXPECT_EQ(A->PosY, B->PosY);
      EXPECT_EQ(A->Transparency, B->Transparency);
      EXPECT_EQ(A->Cropped, B->Cropped);
      EXPECT_EQ(A->Locked, B->Locked);
      EXPECT_EQ(A->Magnify, B->Magnify);
      EXPECT_EQ(A->MagnifyRate, B->MagnifyRate);
      EXPECT_EQ(A->MagnifyShape, B->MagnifyShape);
      EXPECT_EQ(A->MagnifySource, B->MagnifySource);
      EXPECT_EQ(A->BlendMode, B->BlendMode);
      EXPECT_EQ(A->GetWidth(), B->GetWidth());
      EXPECT_EQ(A->GetHeight(), B->GetHeight());
      EXPECT_EQ(A->ResampleFilter, B->ResampleFilter);
      EXPECT_EQ(A->UseResampleFilter, B->UseResampleFilter);
      EXPECT_EQ(A->Name, B->Name);
      EXPECT_EQ(A->UserData, B->UserData);
      EXPECT_EQ(A->IsMask, B->IsMask);
      EXPECT_EQ(A->Selectable, B->Selectable);
      EXPECT_EQ(A->Highlight, B->Highlight);
      EXPECT_EQ(A->VisibleBox, B->VisibleBox);
      EXPECT_EQ(A->Visible, B->Visible);
    }
    // Layer 0 keeps its bitmap object: what is attached to the view stays valid.
    EXPECT_EQ(W.GetLayer(0)->GetBitmap()->GetWidth(), 60);
  }
}

TEST_F(LayerTest, LayerImagesThroughAFileFormat) {
  AddTwoLayers();
  TMemoryStream S;
  ASSERT_TRUE(V->SaveLayersToStream(S, 1));  // 1 is written as PNG
  int32_t Format = 0;
  std::memcpy(&Format, static_cast<const uint8_t*>(S.GetMemory()) + 17, 4);
  EXPECT_EQ(Format, 8);
  S.SetPosition(0);
  TFolioView W(nullptr);
  ASSERT_TRUE(W.LoadLayersFromStream(S));
  ASSERT_EQ(W.GetLayerCount(), 3);
  for (int32_t i = 0; i < 2; ++i)
    EXPECT_TRUE(SamePixels(V->GetLayer(i)->GetBitmap(), W.GetLayer(i)->GetBitmap())) << i;
  // The mask layer keeps its gray format.
  EXPECT_EQ(W.GetLayer(2)->GetBitmap()->GetPixelFormat(), ie8g);
  EXPECT_EQ(W.GetLayer(2)->GetBitmap()->GetPixel8(3, 3), 200);
}

TEST_F(LayerTest, DamagedStreamsFailCleanlyAndLeaveTheLayers) {
  AddTwoLayers();
  TMemoryStream Good;
  ASSERT_TRUE(V->SaveLayersToStream(Good, -1));
  const auto* G = static_cast<const uint8_t*>(Good.GetMemory());
  const std::vector<uint8_t> Bytes(G, G + Good.GetSize());
  auto Patched = [&](size_t At, std::vector<uint8_t> With) {
    std::vector<uint8_t> B = Bytes;
    for (size_t i = 0; i < With.size(); ++i) B[At + i] = With[i];
    return B;
  };
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> Cases = {
      {"signature", Patched(0, {'X'})},
      {"padding", Patched(11, {'Z'})},
      {"version 0", Patched(13, {0, 0, 0, 0})},
      {"version 7", Patched(13, {7, 0, 0, 0})},
      {"format 0", Patched(17, {0, 0, 0, 0})},
      {"layer stream as image", Patched(17, {26, 0, 0, 0})},
      {"huge count", Patched(21, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"negative count", Patched(21, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"huge name", Patched(25 + 38, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"image position", Patched(25 + 57 - 8, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"truncated", std::vector<uint8_t>(Bytes.begin(), Bytes.end() - 40)},
      {"header only", std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + 25)},
      {"empty", {}},
  };
  for (const auto& [Name, Data] : Cases) {
    TFolioView W(nullptr);
    auto B = Gradient(9, 9, 1);
    W.SetIEBitmap(B.get());
    W.AddLayer();
    TMemoryStream S;
    if (!Data.empty()) S.WriteBuffer(Data.data(), int64_t(Data.size()));
    S.SetPosition(0);
    EXPECT_FALSE(W.LoadLayersFromStream(S)) << Name;
    EXPECT_EQ(W.GetLayerCount(), 2) << Name;
    EXPECT_EQ(W.GetLayer(0)->GetBitmap()->GetWidth(), 9) << Name;
  }
  // Every truncation is refused; random damage never crashes and never
  // leaves a half-replaced stack.
  for (size_t Cut = 0; Cut < Bytes.size(); Cut += 13) {
    TFolioView W(nullptr);
    TMemoryStream S;
    S.WriteBuffer(Bytes.data(), int64_t(Cut));
    S.SetPosition(0);
    EXPECT_FALSE(W.LoadLayersFromStream(S)) << Cut;
    EXPECT_EQ(W.GetLayerCount(), 1);
  }
  uint32_t Seed = 12345;
  for (int k = 0; k < 300; ++k) {
    std::vector<uint8_t> D = Bytes;
    for (int n = 0; n < 3; ++n) {
      Seed = Seed * 1103515245u + 12345u;
      D[(Seed >> 8) % D.size()] ^= uint8_t(1u << ((Seed >> 4) & 7));
    }
    TFolioView W(nullptr);
    TMemoryStream S;
    S.WriteBuffer(D.data(), int64_t(D.size()));
    S.SetPosition(0);
    const bool Ok = W.LoadLayersFromStream(S);
    EXPECT_EQ(W.GetLayerCount(), Ok ? 3 : 1);
  }
  // Compressed image bytes flipped: refused too.
  std::vector<uint8_t> Flip = Bytes;
  for (size_t i = Flip.size() - 200; i < Flip.size() - 100; ++i) Flip[i] ^= 0x5A;
  TMemoryStream S;
  S.WriteBuffer(Flip.data(), int64_t(Flip.size()));
  S.SetPosition(0);
  TFolioView W(nullptr);
  EXPECT_FALSE(W.LoadLayersFromStream(S));
  EXPECT_EQ(W.GetLayerCount(), 1);
}

TEST_F(LayerTest, LayerFileThroughTheFileSystem) {
  AddTwoLayers();
  testsupport::TempDir Dir;
  ASSERT_TRUE(V->SaveLayersToFile(Dir.file("a.lyr"), -1));
  TFolioView W(nullptr);
  EXPECT_TRUE(W.LoadLayersFromFile(Dir.file("a.lyr")));
  EXPECT_EQ(W.GetLayerCount(), 3);
  EXPECT_FALSE(W.LoadLayersFromFile(Dir.file("missing.lyr")));
}

TEST_F(LayerTest, UndoRecordRoundTripsWithoutStoringAddresses) {
  AddTwoLayers();
  TIELayer* L = V->GetLayer(1);
  L->SetRotate(30.5);
  L->RotateCenterX = 0.25;
  int Dummy = 0;
  L->UserPointer = &Dummy;
  TMemoryStream S;
  L->SaveToStream(S, true);
  // The 4-byte slot after the blend mode holds no address.
  const auto* P = static_cast<const uint8_t*>(S.GetMemory());
  const size_t Slot = 4 + 16 + 8 + 3 + 12 + 16 + 2 + 24 + 1;
  EXPECT_EQ(std::memcmp(P + Slot, "\0\0\0\0", 4), 0);
  int32_t Len = 0;
  std::memcpy(&Len, P, 4);
  EXPECT_EQ(Len, S.GetSize());
  TFolioView W(nullptr);
  W.AddLayer();
  S.SetPosition(0);
  W.LoadLayerRecord(1, S);
  EXPECT_EQ(S.GetPosition(), S.GetSize());
  TIELayer* R = W.GetLayer(1);
  EXPECT_EQ(R->GetRotate(), 30.5);
  EXPECT_EQ(R->RotateCenterX, 0.25);
  EXPECT_EQ(R->Name, "stamp");
  EXPECT_EQ(R->GetId(), L->GetId());
  EXPECT_TRUE(SamePixels(R->GetBitmap(), L->GetBitmap()));
  EXPECT_EQ(W.FindLayerById(L->GetId().data()), 1);
  // A record that claims more than the stream holds is refused.
  S.SetPosition(0);
  const int32_t Huge = 0x7FFFFFFF;
  S.WriteBuffer(&Huge, 4);
  S.SetPosition(0);
  EXPECT_THROW(R->LoadFromStream(S), Exception);
}

TEST_F(LayerTest, StackOperations) {
  TIELayer Probe(V, false, nullptr);
  for (auto [In, Stored] : {std::pair{720.0, 0.0}, {30.5, 30.5}, {-360.0, 0.0}}) {
    Probe.SetRotate(In);
    EXPECT_EQ(Probe.GetRotate(), Stored);
  }
  AddTwoLayers();
  // A layer followed by its mask goes with it.
  V->RemoveLayer(1);
  EXPECT_EQ(V->GetLayerCount(), 1);
  EXPECT_EQ(V->GetCurrentLayerIndex(), 0);
  V->RemoveLayer(0);
  EXPECT_EQ(V->GetLayerCount(), 1);
  // Non-selectable layers pass the choice down.
  V->AddLayer();
  V->AddLayer();
  V->GetLayer(2)->Selectable = false;
  V->SetCurrentLayer(0);
  V->SetCurrentLayer(2);
  EXPECT_EQ(V->GetCurrentLayerIndex(), 1);
  EXPECT_EQ(V->GetIEBitmap(), V->GetLayer(1)->GetBitmap());
  V->ClearLayers();
  EXPECT_EQ(V->GetLayerCount(), 1);
  EXPECT_TRUE(V->GetLayer(0)->Locked);
}

TEST_F(LayerTest, ExternalBitmapIsReleasedAtOnce) {
  auto Ext = Gradient(30, 20, 3);
  V->SetExternalBitmap(Ext.get());
  EXPECT_EQ(V->GetIEBitmap(), Ext.get());
  V->SetExternalBitmap(nullptr);
  EXPECT_NE(V->GetIEBitmap(), Ext.get());
  EXPECT_EQ(V->GetLayer(0)->GetBitmap(), V->GetIEBitmap());
  EXPECT_TRUE(V->GetLayer(0)->GetOwnsBitmap());
  Ext.reset();  // the view holds nothing of it any more
  V->Update();
  V->PaintNow();
}

TEST_F(LayerTest, LayersDrawOverTheImageAndMaskLayersLeaveTheirDataAlone) {
  V->SetBackground(clBlack);
  V->AddLayer();
  TIELayer* L = V->GetCurrentLayer();
  auto Red = std::make_unique<TIEBitmap>(10, 10, ie24RGB);
  Red->Fill(double(0x0000FF));
  L->GetBitmap()->Assign(Red.get());
  L->PosX = 20;
  L->PosY = 10;
  V->AddLayer();
  TIELayer* M = V->GetCurrentLayer();
  auto Mask = std::make_unique<TIEBitmap>(10, 10, ie24RGB);
  Mask->Fill(double(0xFFFFFF));
  Mask->FillRect(0, 0, 4, 9, 0);  // left half transparent
  M->GetBitmap()->Assign(Mask.get());
  M->PosX = 20;
  M->PosY = 10;
  M->IsMask = true;
  V->Update();
  V->PaintNow();
  auto Px = [&](int32_t x, int32_t y) { return V->GetFrontBuffer()->GetPixelColor(x, y) & 0xFFFFFF; };
  EXPECT_GE(Px(27, 15) & 0xFF, 254u);  // opaque half of the layer: red
  EXPECT_EQ(Px(27, 15) & 0xFFFF00, 0u);
  const TColor Under = Px(22, 15);
  EXPECT_NE(Under, TColor(0x0000FF));       // masked half shows the image
  EXPECT_EQ(M->GetBitmap()->GetPixelFormat(), ie24RGB);  // the mask layer is untouched
  EXPECT_EQ(L->GetBitmap()->HasAlphaChannel(), false);
  // Flattening bakes what shows.
  V->FlattenLayers();
  EXPECT_EQ(V->GetLayerCount(), 1);
  EXPECT_GE(V->GetIEBitmap()->GetPixel24(27, 15).r, 254);
}

TEST_F(LayerTest, AlphaOfAnotherSizeShowsTheImageOpaque) {
  auto B = Gradient(60, 40, 7);
  auto A = std::make_unique<TIEBitmap>(5, 5, ie8g);
  A->Fill(0);
  B->AttachAlphaChannel(std::move(A));
  V->GetIEBitmap()->Assign(B.get());
  V->PaintNow();
  const TColor C = V->GetFrontBuffer()->GetPixelColor(10, 10) & 0xFFFFFF;
  EXPECT_EQ(C, TColor(RGB(7, 50, 30)));
}

class LayerMouseTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    V->AddLayer();
    auto B = Gradient(20, 10, 50);
    V->GetCurrentLayer()->GetBitmap()->Assign(B.get());
    V->GetCurrentLayer()->PosX = 10;
    V->GetCurrentLayer()->PosY = 10;
    V->SetZoom(200);
    V->Update();
    V->PaintNow();
  }
  void Drag(QPoint From, QPoint To, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
    QWidget* W = V->GetWidget();
    SendMouse(W, QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton, Mods);
    const QPoint Mid = (From + To) / 2;
    SendMouse(W, QEvent::MouseMove, Mid, Qt::NoButton, Qt::LeftButton, Mods);
    SendMouse(W, QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton, Mods);
    SendMouse(W, QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton, Mods);
    V->PaintNow();
  }
};

TEST_F(LayerMouseTest, MoveResizeAndRotateWithGrips) {
  std::vector<TIELayerEvent> Events;
  V->OnLayerNotify = [&](TObject*, int32_t, TIELayerEvent E) { Events.push_back(E); };
  V->SetMouseInteract(IEMI(miMoveLayers) | IEMI(miResizeLayers));
  TIELayer* L = V->GetLayer(1);
  // Move: drag from inside the layer.
  Drag(QPoint(30, 30), QPoint(70, 50));
  EXPECT_EQ(L->PosX, 30);
  EXPECT_EQ(L->PosY, 20);
  EXPECT_NE(std::find(Events.begin(), Events.end(), ielMoved), Events.end());
  // Resize: the bottom-right grip sits on the layer's corner (100, 60).
  Drag(QPoint(100, 60), QPoint(140, 90));
  EXPECT_EQ(L->PosX, 30);
  EXPECT_EQ(L->GetWidth(), 40);
  EXPECT_EQ(L->GetHeight(), 25);
  EXPECT_NE(std::find(Events.begin(), Events.end(), ielResized), Events.end());
  // With Shift the aspect at the press is kept.
  Drag(QPoint(140, 90), QPoint(180, 90), Qt::ShiftModifier);
  EXPECT_EQ(L->GetWidth(), 60);
  EXPECT_EQ(L->GetHeight(), 38);
  // Rotate: dragging outside the layer turns it; with Shift by 45 degrees.
  V->SetMouseInteract(IEMI(miRotateLayers));
  Drag(QPoint(250, 150), QPoint(250, 750), Qt::ShiftModifier);
  EXPECT_EQ(std::fmod(L->GetRotate(), 45.0), 0.0);
  EXPECT_NE(L->GetRotate(), 0.0);
  EXPECT_NE(std::find(Events.begin(), Events.end(), ielRotated), Events.end());
  // Dropping the rotate mode bakes the rotation into the bitmap.
  V->SetMouseInteract(IEMI(miMoveLayers));
  EXPECT_EQ(L->GetRotate(), 0.0);
  EXPECT_GT(L->GetBitmap()->GetWidth(), 60);
}

}  // namespace
