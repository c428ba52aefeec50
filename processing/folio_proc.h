#pragma once
// TFolioProc: the non-visual component every image operation runs through.
//
// It works on one image at a time, the processed bitmap, taken from a view
// (AttachedFolio) or given directly (SetAttachedBitmap).  Every operation
// follows one protocol: check (and if allowed convert) the pixel format, save
// an undo snapshot, find the selection, run a kernel over a rectangle of a
// work bitmap, write the result back through the selection mask, refresh the
// view and report the end of work.  Analyses (histograms, skew detection) run
// on a converted copy when the document's format does not suit them, so
// looking at a page never changes it.  What needs a single-image view
// (selection mask, layers, objects) is reached through TIEView's virtuals.
//
// The undo and redo stacks are implemented in undo.cpp.  Everything runs in
// the GUI thread.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "foundations/pixel_types.h"
#include "platform/rtl/types.h"
#include "foundations/progress.h"
#include "foundations/render_types.h"
#include "kernels/flip_negative.h"
#include "platform/gdi/colors.h"
#include "platform/rtl/components.h"
#include "platform/vcl/form_reader.h"

class TIEBitmap;
class TIEFtImage;
class TIEMask;
class TIEView;
class TStream;
class TIPDialogParams;
struct TIEHistogramEntry;

// What an undo snapshot saves.
enum TIEUndoSource : uint8_t {
  ieuUnknown = 0,
  ieuImage = 1,
  ieuSelection = 2,
  ieuObject = 3,
  ieuLayer = 4,
  ieuFullLayer = 5,
  ieuObjectsAndLayers = 6
};

// Pixel formats an operation accepts: bit n stands for format n; empty means
// any format.
using TIEPixelFormatSet = uint16_t;
constexpr TIEPixelFormatSet IEPixelFormatSetOf(std::initializer_list<TIEPixelFormat> Formats) {
  TIEPixelFormatSet S = 0;
  for (TIEPixelFormat F : Formats) S = TIEPixelFormatSet(S | (1u << F));
  return S;
}

using TIESaveUndoEvent = std::function<void(TObject* Sender, TIEUndoSource Source)>;

class TFolioProc : public TComponent, public IFormPropertyTarget {
 public:
  // AutoUndo starts on when the component has an owner.
  explicit TFolioProc(TComponent* AOwner = nullptr);
  // Create(nullptr), AutoUndo off, attached to Bitmap.
  static std::unique_ptr<TFolioProc> CreateFromBitmap(TIEBitmap* Bitmap);
  ~TFolioProc() override;
  TFolioProc(const TFolioProc&) = delete;
  TFolioProc& operator=(const TFolioProc&) = delete;

  // ---- attachment ----
  TIEView* GetAttachedFolio() const { return FAttachedFolio; }
  // Takes the view's image as the processed bitmap and follows its changes;
  // nullptr goes back to an own empty bitmap.
  void SetAttachedFolio(TIEView* View);
  // Works on Bitmap directly (the caller keeps it); nullptr with a view
  // attached does nothing.
  void SetAttachedBitmap(TIEBitmap* Bitmap);
  // The processed bitmap.
  TIEBitmap* GetIEBitmap() const { return FIEBitmap; }
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Published properties and events read from form resources.
  const TFormPropertyTable& FormProperties() const override;

  // ---- properties ----
  bool GetAutoUndo() const { return FAutoUndo; }
  void SetAutoUndo(bool Value) { FAutoUndo = Value; }
  bool GetAutoConvertFormat() const { return FAutoConvertFormat; }
  void SetAutoConvertFormat(bool Value) { FAutoConvertFormat = Value; }
  // The view's background when a view is attached.
  TColor GetBackground() const;
  void SetBackground(TColor Value);
  int32_t GetDpiX() const;
  int32_t GetDpiY() const;
  // Bounds both stacks; 0 saves nothing.  Lowering it keeps entries until the
  // next push.
  int32_t GetUndoLimit() const { return FUndoLimit; }
  void SetUndoLimit(int32_t Value) { FUndoLimit = Value < 0 ? 0 : Value; }
  // Storage of image snapshots (a private temporary file by default).
  TIELocation GetUndoLocation() const { return FUndoLocation; }
  void SetUndoLocation(TIELocation Value) { FUndoLocation = Value; }

  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIESaveUndoEvent OnSaveUndo;

  // ---- the operation protocol ----
  // True when the bitmap's format is in Allowed (or Allowed is empty), or
  // after converting it to the first allowed candidate when AutoConvertFormat
  // is on.
  bool EnsurePixelFormat(TIEPixelFormatSet Allowed);
  // The selection's rectangle (X2, Y2 exclusive; the whole image without one)
  // and mask; false when nothing is selected.
  virtual bool GetSelectionArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, TIEMask*& Mask);
  // Saves the undo snapshot (AutoUndo), converts the format and hands out the
  // work bitmap and rectangle.  A refused format leaves no undo entry and
  // answers false.
  bool BeginOperation(TIEPixelFormatSet Allowed, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                      const std::string& Caption, TIEBitmap*& Work, TIEMask*& Mask);
  // Writes Work back through the mask, frees a temporary work bitmap, refreshes.
  void EndOperation(TIEBitmap* Work, TIEMask* Mask);
  // Read-only variant: no undo, and a bitmap whose format is not allowed is
  // converted on a copy, never in the document.
  bool BeginAnalysis(TIEPixelFormatSet Allowed, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                     TIEBitmap*& Work, TIEMask*& Mask);
  void EndAnalysis(TIEBitmap* Work);
  // Makes the view show the processed bitmap.
  void Refresh();
  // Progress 100, then OnFinishWork.
  virtual void NotifyFinishWork();
  // Reports Per (limited to 0 .. 100) to OnProgress.
  void DoProgress(int32_t Per);
  // A progress handler for kernels that forwards to DoProgress.
  TIEProgressEvent ProgressHandler();

  // ---- undo and redo (undo.cpp) ----
  virtual bool CanUndo() const { return !FUndo.empty(); }
  virtual bool CanRedo() const { return !FRedo.empty(); }
  virtual int32_t UndoCount() const { return int32_t(FUndo.size()); }
  virtual int32_t RedoCount() const { return int32_t(FRedo.size()); }
  // Counted from the newest (0).
  virtual std::string GetRedoCaption(int32_t Index) const;
  virtual std::string GetUndoCaption(int32_t Index) const;
  // Counted from the oldest (0).
  TIEUndoSource GetUndoSource(int32_t Index) const;
  virtual void PushUndo(TIEUndoSource Source = ieuImage);
  virtual void PushUndoWithCaption(const std::string& Caption, TIEUndoSource Source = ieuImage);
  virtual void DropNewestUndo();
  virtual void DropAllUndo();
  // Counted from the newest.
  void DropUndoAt(int32_t Position);
  virtual void Undo(bool AddRedo = false) { RestoreUndoEntry(0, AddRedo); }
  virtual void RestoreUndoEntry(int32_t Position, bool AddRedo);
  virtual void PushRedo(TIEUndoSource Source = ieuImage);
  virtual void PushRedoWithCaption(const std::string& Caption, TIEUndoSource Source = ieuImage);
  virtual void DropAllRedo();
  virtual void DropNewestRedo();
  virtual void Redo() { RestoreRedoEntry(0); }
  virtual void RestoreRedoEntry(int32_t Position);

  // ---- operations ----
  // Gamma curve on the channels (red 1, green 2, blue 4) of an ie24RGB or
  // ieRGB48 image or selection.  Gamma <= 0 is refused (nothing saved).
  void GammaCorrect(double Gamma, int32_t Channels = 7);
  // A soft shadow behind the image's opaque part (see IEAddSoftShadow).
  void AddSoftShadow(double Radius, int32_t OffsetX, int32_t OffsetY, bool AdaptSize, TColor ShadowColor,
                     int32_t Intensity);

  // ---- colour, histogram, negative, flip, clear, crop to the selection,
  // colour depth, effects dialog, resample, canvas size and rotation ----
  // (colour_ops.cpp, flip_negative_ops.cpp, depth_ops.cpp, resample_ops.cpp,
  // rotate_ops.cpp, effects_launcher.cpp)
  // Gray levels into the three channels of the image or selection (ie24RGB).
  void ConvertToGray();
  // Automatic histogram equalisation of the image or selection (ie24RGB).
  void HistAutoEqualize();
  // Histogram (256 entries) of the image or selection, counted on a 24-bit
  // copy when the image has another format: the document is not changed.
  void ComputeHistogram(TIEHistogramEntry (&Hist)[256]);
  // Colour negative of the image or selection, any format.
  void Negative();
  // Mirrors the columns or reverses the rows of the whole image.
  void Flip(TIEFlipDirection Direction);
  // Fills the whole image with Background.
  void Clear();
  // Crops to the selection's bounding box (pixels outside the mask take
  // Background and alpha 0), or with ToAlpha keeps the size and makes the
  // selection the alpha plane.
  void CropSel(bool ToAlpha);
  // Crops to the opaque part of the alpha plane, without an undo entry.
  void CropToAlphaExtent();
  // Colors below 3: 1 bit by threshold (the gray of the mean colour) or by
  // ordered dither; 3 .. 1024: at most Colors colours, staying 24-bit; more
  // than 1024 changes nothing and saves nothing.  The whole image.
  void ConvertTo(int32_t Colors, bool Threshold);
  // As ConvertTo, and writes the palette used into Palette (Colors entries;
  // black and white below 3 colours).
  void ConvertToPalette(int32_t Colors, TRGB* Palette, bool Threshold);
  // Expands a 1-bit image to 24-bit; other images are left alone.
  void ConvertTo24Bit();
  // Scales the whole image.  -1 for one side keeps the proportions, 0 keeps
  // that side, other negative values mean their absolute value.  The same
  // size, sizes beyond the image limits and two negative sizes change
  // nothing and save nothing.
  void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
  // Scales into Dest (same sizing rules); false when nothing was written.
  bool ResampleTo(TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
  // New canvas size; the old pixels are placed by the alignments (0 left or
  // top, 1 centre, 2 right or bottom), new areas take Background and, when
  // Alpha is below 255, that alpha.  Sizes below 1 or beyond the image
  // limits change nothing.
  void ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign, uint8_t VertAlign,
                   int32_t Alpha = 255);
  // Turns the whole image by Angle degrees (counter-clockwise), the canvas
  // enlarged; Background -1 is the Background property; Quality 1 or 2 picks
  // bilinear or bicubic sampling for antialiased 24-bit images.
  void Rotate(double Angle, bool Antialias = true, uint8_t Quality = 0, TColor Background = TColor(-1));
  // Opens the effects dialog on the image or selection; true when the user
  // confirmed.  Width and Height below 1, Left and Top below 0 ask for the
  // defaults.
  bool ShowEffectsDialog(uint16_t Effects = 1, bool Resizable = true, int32_t Width = -1, int32_t Height = -1,
                         int32_t Left = -1, int32_t Top = -1);
  // The effects dialog's settings, kept between openings.
  TIPDialogParams* GetIPDialogParams();
  // Options of the effects dialog (bits of the prpp constants).
  uint8_t GetPreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(uint8_t Value) { FPreviewsParams = Value; }
  // Called with the dialog just before it is shown.
  std::function<void(TObject* Sender, TObject* Dialog)> OnPreview;

 private:
  std::unique_ptr<TIPDialogParams> FIPDialogParams;
  uint8_t FPreviewsParams = 0x06;  // show the reset button, hard reset

 public:
  // ---- end of colour ... rotation ----
  // ---- skew detection, despeckling, crop, auto-crop, fills, Fourier image
  // and clipboard (page_cleaning.cpp, crop_fill.cpp, fourier_ops.cpp,
  // clipboard.cpp) ----
  // Degrees the page's lines are tilted (see IEDetectSkewAngle), measured on
  // the image or a copy of the selection's box; the document never changes.
  // 0 with Found false when nothing was found or the image was refused.
  double DetectSkewAngle(int32_t ResampleWidth, int32_t AngleRange, double Precision, bool EdgeDetect,
                         bool* Found = nullptr);
  // ie1g pages only (a page of another format is refused, never thresholded):
  // specks of Colour (0 black) of at most Size pixels in their 3 x 3
  // neighbourhood, in the selection.  Nothing at all when Size is 0.
  void RemoveIsolatedPixels(int32_t Colour, int32_t Size);
  // The k-fill noise filter on an ie1g page (or the selection); another
  // format is refused.  Nothing when Iterations is 0.
  void RemoveNoise(int32_t Iterations, bool Invert);
  // Cuts the image to the inclusive rectangle, clipped to the image; a
  // reversed or empty rectangle (after clipping) is refused.  The alpha plane
  // follows.
  void Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void CropToRect(const TRect& Rect) { Crop(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  // The content rectangle of a scanned page (IEAutoCropRect) into Rect, and
  // with DoCrop the crop to it.  False, Rect untouched, when there is none or
  // Tolerance <= 0.
  bool AutoCrop(bool DoCrop, TRect& Rect, double Tolerance);
  // Paints the selection (or the image) with Colour.
  void Fill(TRGB Colour);
  // Bucket fill of the region of similar colour around (X, Y) (ie24RGB).
  void CastColor(int32_t X, int32_t Y, TRGB Colour, int32_t Tolerance);
  // The spectrum picture or the inverse image of FT into the processed
  // bitmap; no undo entry.
  void FFTSpectrumToImage(TIEFtImage* FT);
  void InverseFFTToImage(TIEFtImage* FT);
  // The image (or the selection) to the clipboard as a DIB, with WithRaw also
  // in the library's raw form; true when the DIB was placed.
  bool CopyToClipboard(bool WithRaw = true);
  bool SelCopyToClip(bool WithRaw = true);
  // Replaces the image by the clipboard's (raw form, PNG, DIB in that order),
  // converted to the image's pixel format when it had one.  False, nothing
  // changed, when the clipboard holds no usable image.
  bool PasteFromClipboard();
  // The clipboard image stretched into the selection's rectangle (through the
  // mask for SelPasteFromClip); PasteFromClipboard without a selection.
  bool SelPasteFromClipStretch(bool MergeAlpha = false);
  bool SelPasteFromClip(bool MergeAlpha = false);

 private:
  struct TUndoEntry {
    std::unique_ptr<TObject> Snapshot;  // TIEBitmap for images, TMemoryStream otherwise
    TIEUndoSource Source = ieuUnknown;
    std::string Caption;
    int32_t LayerIndex = -1;  // the view's current layer when an image was saved
    // The view's resolutions when an image was saved: a quarter turn swaps
    // them, and undoing it swaps them back.
    int32_t DpiX = 0, DpiY = 0;
  };
  using TUndoStack = std::vector<TUndoEntry>;

  void ViewChanged(TIEView* Sender, int32_t Code);
  void Unregister();
  void UseOwnBitmap();
  // The format EnsurePixelFormat would convert to; false when refused.
  bool TargetFormat(TIEPixelFormatSet Allowed, TIEPixelFormat& Target) const;
  // Snapshot of Source's kind; false when it does not apply.
  bool BuildSnapshot(TIEUndoSource Source, TUndoEntry& Entry);
  bool Push(TUndoStack& Stack, TIEUndoSource Source);
  void Restore(TUndoEntry& Entry);

  bool FAutoUndo;
  TIEView* FAttachedFolio = nullptr;
  void* FCallbackHandle = nullptr;
  TColor FBackground = TColor(0);
  TIEBitmap* FIEBitmap = nullptr;
  std::unique_ptr<TIEBitmap> FOwnBitmap;
  std::unique_ptr<TIEBitmap> FWorkCopy;
  bool FAutoConvertFormat = true;
  TUndoStack FUndo, FRedo;
  TIELocation FUndoLocation = ieFile;
  int32_t FUndoLimit = 1;
  bool FLastPushAdded = false;
  // Shared by the two selection pastes (clipboard.cpp).
  bool SelPaste(bool Stretch, bool MergeAlpha);
};

// Makes "TFolioProc" creatable by form resources (also done when the unit is
// linked in).
void IERegisterFolioProcClass();
