#pragma once
// TIELayer: one bitmap of a single-image view's layer stack, placed, scaled,
// rotated and blended over layer 0 (the view's image).
//
// The layer stream ("FOLIOLAYERS") that stores every layer of a view is
// written and read by TFolioView (folio_view_layers.cpp); the record here is
// the per-layer one the processing component's undo keeps.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundations/render_types.h"
#include "platform/rtl/object.h"
#include "platform/rtl/types.h"

class TFolioView;
class TIEBitmap;
class TStream;

// The stream signature: 11 characters padded with zero bytes to a 13-byte
// field, compared whole.
constexpr int32_t IELayersSignatureSize = 13;
extern const char IELayersSignature[IELayersSignatureSize];
// The newest layer stream version this code writes and reads.
constexpr int32_t IELayersVersion = 6;
// Size of the stream header (signature, version, image format, layer count).
constexpr int32_t IELayersHeaderSize = 25;

class TIELayer : public TObject {
 public:
  // Share: the layer shows Bitmap without owning it. Otherwise it creates its
  // own bitmap, of Bitmap's size and pixel format when a template is given.
  TIELayer(TFolioView* Owner, bool Share, TIEBitmap* Bitmap);
  ~TIELayer() override;
  TIELayer(const TIELayer&) = delete;
  TIELayer& operator=(const TIELayer&) = delete;

  void SetDefaults();
  // Everything but the rotation, its centre and the identifier.
  void CopyFrom(TIELayer* Source);

  TIEBitmap* GetBitmap() const { return FBitmap; }
  // Replaces the bitmap; the old one is freed when it was owned.
  void SetBitmap(TIEBitmap* Bitmap, bool Owns);
  bool GetOwnsBitmap() const { return FOwnsBitmap; }
  void SetOwnsBitmap(bool Value) { FOwnsBitmap = Value; }
  // Lets the bitmap go without freeing it.
  TIEBitmap* ReleaseBitmap();

  // Display size on the image plane (layer-0 pixels); 0 = the bitmap's.
  int32_t GetWidth() const;
  int32_t GetHeight() const;
  void SetWidth(int32_t Value) { FDisplayWidth = Value; }
  void SetHeight(int32_t Value) { FDisplayHeight = Value; }
  bool HasOwnSize() const;
  double GetRotate() const { return FRotate; }
  // A whole multiple of 360 is stored as 0.
  void SetRotate(double Value);

  int32_t ScreenToLayerX(int32_t x) const;
  int32_t ScreenToLayerY(int32_t y) const;
  int32_t LayerToScreenX(int32_t bx) const;
  int32_t LayerToScreenY(int32_t by) const;

  // The undo record (see the .cpp for its layout).
  void SaveToStream(TStream& Stream, bool WithBitmap);
  // Reads a record; throws EReadError on a damaged record.
  void LoadFromStream(TStream& Stream);

  const std::array<uint8_t, 16>& GetId() const { return FId; }
  void NewId();

  // Owned display cache (a mask layer's sampled alpha); freed by the update.
  std::unique_ptr<TIEBitmap> DisplayCache;
  TFolioView* View = nullptr;
  bool Visible = true;
  bool VisibleBox = true;
  int32_t Transparency = 255;  // opacity 0..255
  int32_t PosX = 0, PosY = 0;
  TRect ClientRect{0, 0, 0, 0};
  bool Cropped = false;
  bool Locked = false;
  bool Selectable = true;
  bool Magnify = false;
  double MagnifyRate = 2.0;
  uint8_t MagnifyShape = 0;
  uint8_t MagnifySource = 1;
  uint8_t BlendMode = 0;
  // A block owned by the layer.
  std::vector<uint8_t> UserData;
  // An opaque reference kept for the program (never owned nor stored).
  void* UserPointer = nullptr;
  TResampleFilter ResampleFilter = rfNone;
  bool UseResampleFilter = false;
  std::string Name;
  bool IsMask = false;
  bool Highlight = false;
  // Last drawing: destination and source rectangles (x, y, w, h).
  int32_t DrawDX = 0, DrawDY = 0, DrawDW = 0, DrawDH = 0;
  int32_t DrawSX = 0, DrawSY = 0, DrawSW = 0, DrawSH = 0;
  // Client corners of the rotated box.
  std::array<TPoint, 4> RotatedCorners{};
  double RotateCenterX = 0.5, RotateCenterY = 0.5;

 private:
  TIEBitmap* FBitmap = nullptr;
  bool FOwnsBitmap = true;
  int32_t FDisplayWidth = 0, FDisplayHeight = 0;
  double FRotate = 0;
  std::array<uint8_t, 16> FId{};
};

// True when the stream holds a layer stream header with a known version; the
// position is restored.
bool IEIsLayersStream(TStream& Stream);
