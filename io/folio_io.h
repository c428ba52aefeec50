#pragma once
// TFolioIO: the component through which the library loads, saves and reads
// the parameters of one image.
//
// It works on one current image: its own TIEBitmap, the image shown by an
// attached view (TIEView), or a bitmap handed in with AttachBitmap.  Beside the
// image it keeps one TIOParamsVals describing the file last read or written
// and carrying the options of the next write.  The codec is chosen by file
// extension, by format id or by content through the format registry.
//
// Every load and save follows one pattern: the abort flag is cleared, the
// image prepared, a progress record built on the stack and handed to the
// codec, and the operation always ends with DoFinishWork (progress 100, then
// OnFinishWork), also when it failed or an exception leaves it.  Failures are
// reported through GetAborting() after the call.  The per-format entry points
// let codec exceptions pass after DoFinishWork; the generic paths catch them.
//
// Streams may carry a 12-byte header before a TIFF, PCX or JPEG image
// (StreamHeaders): magic "TIFF"/"PCX2"/"JFIF", 4 zero bytes, then the
// little-endian length of the image data, so that several images can follow
// one another in one stream.
//
// A file save never destroys the file it replaces before the new one is
// complete: the image is written to a temporary file in the same folder and
// renamed over the old name only when the codec succeeded.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundations/pixel_types.h"
#include "io/format_registry.h"
#include "formats/io_params.h"
#include "foundations/progress.h"
#include "platform/gdi/colors.h"
#include "platform/rtl/components.h"
#include "platform/rtl/object.h"
#include "platform/rtl/threads.h"
#include "platform/vcl/form_reader.h"

class TStream;
class TIEBitmap;
class TIEMask;
class TIEView;
class TBitmap;
class TVideoReader;
class TIEDirectShow;
struct TIEChangeCallbackRec;

// Units the dialogs show.
enum TIEDialogsMeasureUnit : uint8_t { ieduInches, ieduCm, ieduSelectableDefInches, ieduSelectableDefCm };

// Options of the save-parameters dialog (bit flags).
using TIOPreviewsParams = uint8_t;
enum : TIOPreviewsParams { ioppDefaultLockPreview = 1, ioppApplyButton = 2 };


class TFolioIO;
// Replaces the save-parameters dialog when it sets Handled.
using TIEDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;
// An acquired image before the component takes it; Handled keeps it out.
using TIEAcquireBitmapEvent = std::function<void(TObject* Sender, TIEBitmap* ABitmap, bool& Handled)>;
// Called with the parameters dialog before it is shown.
using TIEIOPreviewEvent = std::function<void(TObject* Sender, TObject* Dialog)>;

// Stream header magics.
inline constexpr char IEStreamHeaderTIFF[4] = {'T', 'I', 'F', 'F'};
inline constexpr char IEStreamHeaderPCX[4] = {'P', 'C', 'X', '2'};
inline constexpr char IEStreamHeaderJPEG[4] = {'J', 'F', 'I', 'F'};

class TFolioIO : public TComponent, public IFormPropertyTarget {
 public:
  explicit TFolioIO(TComponent* AOwner = nullptr);
  // Create without owner, then AttachBitmap(Bitmap).
  static std::unique_ptr<TFolioIO> CreateFromBitmap(TIEBitmap* Bitmap);
  ~TFolioIO() override;
  TFolioIO(const TFolioIO&) = delete;
  TFolioIO& operator=(const TFolioIO&) = delete;

  std::string ClassName() const override { return "TFolioIO"; }

  // ---- attachment
  TIEView* GetAttachedFolio() const { return FAttachedFolio; }
  void SetAttachedFolio(TIEView* Value);
  // Works on Bitmap (not owned) from now on; nullptr while a view is attached
  // only detaches the view's callback.  nullptr otherwise keeps no image.
  void AttachBitmap(TIEBitmap* Bitmap);
  // The current image (may be nullptr after AttachBitmap(nullptr)).
  TIEBitmap* GetIEBitmap() const { return FIEBitmap; }
  // The current image as a GUI bitmap: the image's own at ieTBitmap, else the
  // GUI bitmap of an attached view without TIEBitmap.
  virtual TBitmap* GetTBitmap();
  // The attached view's change callback (Destroying: code 1).
  void ViewChanged(bool Destroying);

  TIOParamsVals* GetParams() { return FParams.get(); }

  // ---- properties
  TColor GetBackground() const;
  void SetBackground(TColor Value);
  bool GetNativePixelFormat() const { return FParams ? FParams->NativePixelFormat : false; }
  void SetNativePixelFormat(bool Value) {
    if (FParams) FParams->NativePixelFormat = Value;
  }
  bool GetStreamHeaders() const { return FStreamHeaders; }
  void SetStreamHeaders(bool Value) { FStreamHeaders = Value; }
  bool GetAutoAdjustDPI() const { return FAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { FAutoAdjustDPI = Value; }
  bool GetFilteredAdjustDPI() const { return FFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { FFilteredAdjustDPI = Value; }
  bool GetAborting() const { return FAborting; }
  void SetAborting(bool Value) { FAborting = Value; }
  bool GetAsyncMode() const { return FAsyncMode; }
  void SetAsyncMode(bool Value) { FAsyncMode = Value; }
  TMsgLanguage GetMsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  TIOPreviewsParams GetPreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(TIOPreviewsParams Value) { FPreviewsParams = Value; }
  bool GetSimplifiedParamsDialogs() const { return FSimplifiedParamsDialogs; }
  void SetSimplifiedParamsDialogs(bool Value) { FSimplifiedParamsDialogs = Value; }
  TIEDialogsMeasureUnit GetDialogsMeasureUnit() const { return FDialogsMeasureUnit; }
  void SetDialogsMeasureUnit(TIEDialogsMeasureUnit Value) { FDialogsMeasureUnit = Value; }
  uint8_t GetMonoConversion() const { return FMonoConversion; }
  // Also the current image's own setting (0 ordered dither, 1 threshold).
  void SetMonoConversion(uint8_t Value);

  // ---- acquisition: each image a device delivers comes here.  Unless
  // OnAcquireBitmap handles it, the current image takes a copy (resolution
  // adjusted with AutoAdjustDPI) and Params is pointed at this component's
  // parameters for the device to fill.
  virtual void DoAcquireBitmap(TIEBitmap* Bitmap, bool& Handled);
  virtual void ReceiveAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& Params);
  void ResetAcquireState() { FAcquireBusy = 0; }
  // Proxy of URL downloads: empty (a direct connection) from creation on.
  const std::string& GetProxyAddress() const { return FProxyAddress; }
  const std::string& GetProxyUser() const { return FProxyUser; }
  const std::string& GetProxyPassword() const { return FProxyPassword; }

  // ---- generic loading and saving
  void LoadFromFile(const std::string& FileName);
  void LoadFromFileAuto(const std::string& FileName);
  void LoadFromFileFormat(const std::string& FileName, TIEFileFormat Format);
  // Downloads an http, https or ftp URL (through GetProxyAddress when one is
  // set) and loads it like a stream; LoadFromFile sends URLs here.  A failed
  // or aborted download, or content in no known format, sets the abort flag.
  void LoadUrl(const std::string& URL);
  void SaveToFile(const std::string& FileName);
  void LoadFromBuffer(const void* Buffer, int64_t Size, TIEFileFormat Format = ioUnknown);
  void LoadFromStream(TStream* Stream);
  void LoadFromStreamFormat(TStream* Stream, TIEFileFormat Format);
  void SaveToStream(TStream* Stream, TIEFileFormat Format);

  // ---- parameters only (no pixels are decoded)
  void ReadParamsFromBuffer(const void* Buffer, int64_t Size, TIEFileFormat Format = ioUnknown);
  void ReadParamsFromFile(const std::string& FileName);
  void ReadParamsFromFileFormat(const std::string& FileName, TIEFileFormat Format);
  void ReadParamsFromStream(TStream* Stream);
  void ReadParamsFromStreamFormat(TStream* Stream, TIEFileFormat Format);

  // ---- per-format entry points of the component's own codecs
  // TIFF loads read page TiffPageIndex and answer the file's page count.
  int32_t LoadTiffFile(const std::string& FileName);
  int32_t LoadTiffStream(TStream* Stream);
  void SaveTiffFile(const std::string& FileName);
  void SaveTiffStream(TStream* Stream);
  void LoadJpegFile(const std::string& FileName);
  void LoadJpegStream(TStream* Stream);
  void SaveJpegFile(const std::string& FileName);
  void SaveJpegStream(TStream* Stream);
  void LoadPcxFile(const std::string& FileName);
  void LoadPcxStream(TStream* Stream);
  void SavePcxFile(const std::string& FileName);
  void SavePcxStream(TStream* Stream);
  // DCX loads read page DcxPageIndex; saves insert the image as a page.
  void LoadDcxFile(const std::string& FileName);
  void LoadDcxStream(TStream* Stream);
  void SaveDcxFile(const std::string& FileName);
  void SaveDcxStream(TStream* Stream);

  // Further formats through their rows of the codec table.  PNG loads take
  // the file's background colour into GetBackground (the file variant offers
  // the current one as default for a file without it).
  void LoadPngFile(const std::string& FileName);
  void LoadPngStream(TStream* Stream);
  void SavePngFile(const std::string& FileName);
  void SavePngStream(TStream* Stream);
  void LoadTgaFile(const std::string& FileName);
  void LoadTgaStream(TStream* Stream);
  void SaveTgaFile(const std::string& FileName);
  void SaveTgaStream(TStream* Stream);
  void LoadBmpFile(const std::string& FileName);
  void LoadBmpStream(TStream* Stream);
  void SaveBmpFile(const std::string& FileName);
  void SaveBmpStream(TStream* Stream);
  void SaveIcoFile(const std::string& FileName);
  void SaveIcoStream(TStream* Stream);
  void LoadWbmpFile(const std::string& FileName);
  void LoadWbmpStream(TStream* Stream);
  void SaveWbmpFile(const std::string& FileName);
  void SaveWbmpStream(TStream* Stream);
  // PostScript and PDF saves write a complete one-page document.
  void SavePsFile(const std::string& FileName);
  void SavePsStream(TStream* Stream);
  void SavePdfFile(const std::string& FileName);
  void SavePdfStream(TStream* Stream);
  // Camera raw; the stream variant hands a stream to the format the registry
  // gives the extension "raw" when that is not camera raw.
  void LoadRawFile(const std::string& FileName);
  void LoadRawStream(TStream* Stream);
  // Headerless pixels as the RawPixels parameters describe them; an empty
  // name does nothing.
  void LoadRawBitmapFile(const std::string& FileName);
  void LoadRawBitmapStream(TStream* Stream);
  void LoadPsdFile(const std::string& FileName);
  void LoadPsdStream(TStream* Stream);
  void SavePsdFile(const std::string& FileName);
  void SavePsdStream(TStream* Stream);
  void LoadHdpFile(const std::string& FileName);
  void LoadHdpStream(TStream* Stream);
  void SaveHdpFile(const std::string& FileName);
  void SaveHdpStream(TStream* Stream);

  // GIF frame GifImageIndex, composed over the frames before it on a
  // screen-sized canvas when the file has several; answers the file's frame
  // count (-1 when the call went to a worker).
  int32_t LoadGifFile(const std::string& FileName);
  int32_t LoadGifStream(TStream* Stream);
  int32_t ReadGifStream(TStream* Stream);

  // Metafiles: this build has no metafile renderer, so the loads end with
  // the abort flag set (after DoFinishWork) and leave the image as it was.
  void LoadMetafileFile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha);
  void LoadMetafileStream(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha);

  // Frames of a video file by index: OpenAviFile answers the frame count
  // (0 with the abort flag on failure) and sets AviFrameCount and
  // AviFrameDuration; LoadAviFrame decodes a frame into the current image.
  int32_t OpenAviFile(const std::string& FileName);
  void LoadAviFrame(int32_t Index);
  void CloseAviFile();
  bool IsAviFileOpen() const { return FAviReader != nullptr; }

  // Frames of any media file through the media object: OpenMediaFile
  // answers the frame count (0 for a file of no duration), LoadMediaFrame
  // grabs frame Index into the current image.
  int32_t OpenMediaFile(const std::string& FileName);
  void LoadMediaFrame(int32_t Index);
  void CloseMediaFile();
  bool IsMediaFileOpen() const { return FMedia != nullptr; }

  // Stores DpiX/DpiY in the Photoshop resolution resource of the first APP13
  // marker of JpegMarkers (a resource shorter than 16 bytes stays as it is).
  void UpdateJpegResolutionInfo();
  // Before a JPEG is written: the resolution resource, then the IPTC, EXIF and
  // XMP markers rebuilt from the parameters (one EXIF block, never two).
  void RebuildJpegMarkers();

  // ---- the save-parameters dialog: OnDoPreviews may handle it; the dialog
  // itself is not available in this build (false).
  virtual bool DoPreviews(TIEParamsPages Pages);

  // ---- helpers every operation uses
  // False without a current image; takes a linked GUI bitmap's pixels first.
  // A non-empty Allowed (bit per TIEPixelFormat value) restricts the formats.
  bool PrepareBitmap(uint32_t Allowed = 0);
  // After a load: refreshes an attached view and runs its image-changed hook.
  void UpdateAttached();
  // A resolution below 2 becomes the library default (through the setters).
  void FixMissingDpi();
  // Equalises non-square resolutions (AutoAdjustDPI step).
  void AdjustDpi();
  // Passes Params' resolution to the attached view.
  virtual void SyncViewDPI();
  virtual void DoProgress(TObject* Sender, int32_t per);
  virtual void DoFinishWork();
  // True when the calling thread is one of this component's running workers.
  bool InWorkerThread() const;
  // Waits until no worker of this component runs and every one of its threads
  // has ended (joined); Abort sets the abort flag first (and again on every
  // round). Inside one of the component's own workers it waits for the
  // others' calls only (a thread cannot join itself).
  void WaitThreads(bool Abort);
  // Worker threads of this component not yet joined (for diagnostics).
  size_t WorkerThreadCount() const;
  // A progress record bound to this component (Silent: without callback).
  TIEProgressRec MakeProgress(bool Silent = false);

  // Published properties and events read from a form resource.
  const TFormPropertyTable& FormProperties() const override;

  // ---- events
  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIEDoPreviewsEvent OnDoPreviews;
  TIEIOPreviewEvent OnIOPreview;
  TIEAcquireBitmapEvent OnAcquireBitmap;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend struct TFolioIOAccess;
  friend class TIEIOThread;
  // The asynchronous rule: AsyncMode, an image this component does not own,
  // and not already inside one of its workers.
  bool NeedAsync() const;
  void StartWorker(std::function<void()> Call);
  void WorkerDone(TThread* Worker);
  // In a worker, with a view that has a parent: posts Msg to the view (its
  // handle made in the GUI thread first) and answers true.
  bool PostToView(uint32_t Msg, int32_t WParam);
  void QueueToGui(const std::function<void()>& Method);
  void ReplaceBitmap(TIEBitmap* Bitmap);
  void NewOwnImage();
  void UnregisterFromView();
  // Built-in dispatch by id (file or stream).
  void LoadBuiltInFile(const std::string& FileName, TIEFileFormat Format);
  void LoadBuiltInStream(TStream* Stream, TIEFileFormat Format);
  void SaveBuiltInFile(const std::string& FileName, TIEFileFormat Format);
  void SaveBuiltInStream(TStream* Stream, TIEFileFormat Format);
  // A file in a format of the registry that is not built in.
  void LoadRegisteredFile(const std::string& FileName, const TIEFileFormatInfo& Entry);
  void GenericLoad(TStream* Stream, const std::string& FileName, TIEFileFormat Format);
  void GenericSave(TStream* Stream, const std::string& FileName, TIEFileFormat Format);
  void ReadParamsCommon(TStream* Stream, TIEFileFormat Format);
  static bool Is24Or1(TIEBitmap* Bitmap);

  TIEBitmap* FIEBitmap = nullptr;  // current image
  std::unique_ptr<TIEBitmap> FOwnBitmap;
  TBitmap* FGuiLink = nullptr;  // GUI bitmap of an attached view without TIEBitmap
  TIEView* FAttachedFolio = nullptr;
  TIEChangeCallbackRec* FChangeCallback = nullptr;
  std::unique_ptr<TIOParamsVals> FParams;
  TColor FBackground = 0;
  TMsgLanguage FMsgLanguage = msSystem;
  TIOPreviewsParams FPreviewsParams = 0;
  bool FSimplifiedParamsDialogs = true;
  bool FStreamHeaders = false;
  TIEDialogsMeasureUnit FDialogsMeasureUnit = ieduInches;
  bool FAutoAdjustDPI = false;
  bool FFilteredAdjustDPI = false;
  uint8_t FMonoConversion = 1;
  std::atomic<bool> FAborting{false};
  bool FAsyncMode = false;
  int32_t FPageCount = 0;  // the last TIFF load's page count
  const std::string FProxyAddress, FProxyUser, FProxyPassword;
  // Workers, guarded by FWorkerLock. FWorkers lists those still running their
  // call (FIdleEvent is set when it becomes empty); FThreads owns every worker
  // not yet joined, so waiting for the component means the threads are gone,
  // not only their calls.
  mutable TCriticalSection FWorkerLock;
  TEvent FIdleEvent{false, false};
  std::vector<TThread*> FWorkers;
  std::vector<std::unique_ptr<TThread>> FThreads;
  // Joins the workers whose call has ended (all of them when All); never
  // called by a worker of this component.
  void JoinWorkers(bool All);
  // The open video file of OpenAviFile and the media object of
  // OpenMediaFile, with the seek step per frame and one frame's duration (ms).
  std::unique_ptr<TVideoReader> FAviReader;
  std::unique_ptr<TIEDirectShow> FMedia;
  int32_t FAcquireBusy = 0;
  int64_t FMediaFrameStep = 0;
  double FMediaFrameTime = 0;
  // Above 0 while a call must run synchronously (LoadFromBuffer's stream
  // lives on its stack).
  int32_t FForceSync = 0;
};

// The AutoAdjustDPI equalisation on an explicit bitmap: when DpiX and DpiY
// differ, are positive and both the bitmap and Params have a size, answers a
// new bitmap of the new size (Filtered: 24-bit RGB, else the same pixel
// format) and stores the new size and resolution in Params; nullptr when
// nothing is to be done.  Bitmap is left untouched, its alpha plane ignored.
std::unique_ptr<TIEBitmap> IEAdjustBitmapDpi(TIEBitmap* Bitmap, TIOParamsVals& Params, bool Filtered);

// Makes "TFolioIO" creatable by form resources (also done when the unit is
// linked in).
void IERegisterFolioIOClass();

// Writes FileName through a temporary file in the same folder, so that a
// failed write never destroys the file it replaces: Write fills the temporary
// file, which is renamed over FileName (over the file a symbolic link names,
// with that file's permissions) only when Write returned, the data reached the
// disk and Aborting is still false; otherwise it is removed and Aborting set.
// An existing file that may not be written, or a temporary file that cannot
// be made, raises EFCreateError with Aborting set; Write's exceptions pass on.
void IEWriteFileThroughTemp(const std::string& FileName, std::atomic<bool>& Aborting,
                            const std::function<void(TStream*)>& Write);

// Page counts of files without loading them, through the format's row of the
// codec table (0 for formats without pages); exceptions of opening pass.
int32_t IEFileImageCount(const std::string& FileName, TIEFileFormat Format);
// Images of a file by its extension: the pages or frames of TIFF, GIF, icon,
// DCX, DICOM and HD Photo files, 1 for the other registered formats, and the
// frame count of a media file (AVI, unknown extensions); 0 when nothing can
// be read.
int32_t IEFileImageCount(const std::string& FileName);
int32_t IETiffFileImageCount(const std::string& FileName);
int32_t IEDcxFileImageCount(const std::string& FileName);

// Appends "date time : Message" to the file IEDebugLogFileName names;
// nothing while it is empty.
void IEDebugLog(const std::string& Message);

// The format id the registry gives the extension (with or without its dot,
// any letter case); ioUnknown when none.
TIEFileFormat IEFormatOfExtension(const std::string& Ext);

// Window messages an asynchronous component posts to its attached view.
inline constexpr uint32_t IEM_UPDATE = 8024;
inline constexpr uint32_t IEM_DSHOWNEWFRAME = 8025;
inline constexpr uint32_t IEM_DSHOWEVENT = 8026;
inline constexpr uint32_t IEM_PROGRESS = 8027;
inline constexpr uint32_t IEM_FINISHWORK = 8028;
