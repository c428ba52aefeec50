#pragma once
// The process-wide registry of image file formats and content detection.
//
// Each entry names a format id, its display name, its extensions, the pages of
// the save-parameters dialog that edit its options and three procedures (read,
// write, probe).  The I/O components pick a codec by extension through it, the
// open and save dialogs build their filter lists from it, and the parameter
// description takes its format names from it.
//
// Built-in entries are read and written through the codec table
// (formats/codec_table.h): their procedures only say what is possible (set =
// supported) and are never called.  A built-in format without a row in the
// codec table has no read and no write procedure, so nothing offers it.
//
// The registry is built once (IEBuildFormatRegistry, also on first use of any
// lookup) and only read afterwards; it holds no locks of its own.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/io_params.h"
#include "foundations/progress.h"
#include "platform/rtl/object.h"

class TStream;
class TIEBitmap;

// Pages of the save-parameters dialog (bit flags).
using TIEParamsPages = uint16_t;
enum : TIEParamsPages {
  ppAUTO = 1,     // whatever page the format of the parameter set needs
  ppJPEG = 4,
  ppTIFF = 8,
  ppGIF = 16,
  ppBMP = 32,
  ppPCX = 64,
  ppPNG = 128,
  ppTGA = 256,
  ppJ2000 = 512,
};

// Reads the image at the stream's position into Bitmap and fills Params (only
// Params when ParamsOnly); failure sets the abort flag of Progress or raises.
using TIEReadProc = std::function<void(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                       TIEProgressRec& Progress, bool ParamsOnly)>;
// Writes Bitmap with the options of Params from the stream's position.
using TIEWriteProc =
    std::function<void(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress)>;
// True when the stream (at its position) holds the format FormatId.
using TIEProbeProc = std::function<bool(TStream* Stream, TIEFileFormat FormatId)>;

// One registry entry.
class TIEFileFormatInfo : public TObject {
 public:
  TIEFileFormat FormatId = ioUnknown;
  std::string Description;  // "TIFF Bitmap"
  std::string Extensions;   // without dots, ";"-separated: "TIF;TIFF;FAX;G3N;G3F;XIF"; may be empty
  bool BuiltIn = false;
  TIEParamsPages ParamsPages = 0;
  TIEReadProc ReadProc;     // empty = cannot read
  TIEWriteProc WriteProc;   // empty = cannot write
  TIEProbeProc ProbeProc;   // empty = no probe

  // The id under the name the dialogs use for it.
  TIEFileFormat FileType() const { return FormatId; }
};

// The entries in registration order (built on first use).  The registry owns
// them.
std::vector<std::unique_ptr<TIEFileFormatInfo>>& IEFileFormats();

// Start-up: builds the built-in rows (once; later calls do nothing until
// IEFreeFormatRegistry) and installs the format-name hook of the parameter set.
void IEBuildFormatRegistry();
// Finalization: frees every entry and removes the format-name hook.
void IEFreeFormatRegistry();
// Gives the GIF entry its read (write) procedure only while the GIF LZW
// decoder (encoder) hook is installed and this build reads (writes) GIF.
void IEUpdateGifCallbacks();

// Says whether this build reads and writes a built-in format, in place of
// what the codec table offers: the entry's procedures become the placeholders
// (true) or empty (false).  Nothing when the id has no built-in entry.
void IESetBuiltInFormatSupport(TIEFileFormat Id, bool CanRead, bool CanWrite);

// Lookups.  Nil / empty for ids and extensions that are not registered.
TIEFileFormatInfo* IEFindFormatById(TIEFileFormat Id);
// Ext: with or without one leading ".", any letter case.
TIEFileFormatInfo* IEFindFormatByExtension(const std::string& Ext);
// The N-th (from 0) extension of the entry, as written in its list.
std::string IEFormatExtension(TIEFileFormat Id, int32_t N);
int32_t IEFormatExtensionCount(TIEFileFormat Id);
// Appends Entry (the registry owns it from then on).
void IEAddFileFormat(TIEFileFormatInfo* Entry);
void IEAddFileFormat(std::unique_ptr<TIEFileFormatInfo> Entry);
// Removes and frees the first entry with that id.
void IERemoveFileFormat(TIEFileFormat Id);
// True when the file name's extension belongs to an entry that can be read.
bool IEIsReadableFileName(const std::string& FileName);

// Content detection.  The format id the stream holds at its position, 0 when
// none; the position is the same on return; never raises.
TIEFileFormat IEDetectStreamFormat(TStream* Stream);
// The format of a file (UTF-8 name) from its content, reconciled with its
// extension when VerifyExtension: 0 for an empty name, a missing file, an
// unrecognised content or (with VerifyExtension) content and extension that
// disagree.  Never raises.
TIEFileFormat IEDetectFileFormat(const std::string& FileName, bool VerifyExtension);
// "RIFF" at 0 and "AVI " at 8; position restored.
bool IEIsAviStream(TStream* Stream);
