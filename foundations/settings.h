#pragma once
// Process-wide switches, defaults, tables and hooks of the image library.
//
// They are plain globals without a lock: the library start-up gives them their
// start values, the application may change them before it loads, converts or
// draws images, and every thread only reads them afterwards.  Each variable is
// also initialised statically to its start value, so code that runs before the
// start-up still sees sane values.
//
// Hook types name classes of later parts of the library only through forward
// declarations, so this header pulls in nothing.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TStream;
class TIEBitmap;
class TIOParamsVals;
class TIEICC;
class QWidget;
struct TIEIOPlugin;

// ---------------------------------------------------------------------------
// Hook types

// TIFF LZW decoder, row by row.  With State null: creates the decoder state over
// Data (DataSize bytes of coded strip data) and decodes the first row.  With
// State set and Data not null: decodes the next row.  With Data null: frees the
// state and answers null.  Answers a pointer to RowLength decoded bytes, valid
// until the next call, or null on failure.  The decoder never reads beyond
// DataSize bytes of Data.
using TTiffLzwDecodeProc = uint8_t* (*)(const uint8_t* Data, int64_t DataSize, int32_t RowLength,
                                        void*& State, int32_t FillOrder);

// TIFF LZW encoder: one row per call, one LZW stream per strip.  With State null
// creates the state and writes Clear; with a Row compresses Count more bytes;
// with Row null writes the last code and EOI, flushes and frees the state.
using TTiffLzwEncodeProc = void (*)(const uint8_t* Row, int32_t Count, TStream* Stream, void*& State);

// GIF LZW decoder: reads the code-size byte and the data sub-blocks at the
// stream's position and writes palette indexes into Buffer.  Success shows only
// as a moved stream position.
using TGifLzwDecodeProc = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced,
                                   uint8_t* Buffer);

// GIF LZW encoder: writes the code-size byte, the data sub-blocks and the zero
// terminator at the stream's position.
using TGifLzwEncodeProc = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced,
                                   const uint8_t* Buffer, int32_t BitsPerPixel);

// Row colour converter every codec calls: converts Count pixels from InputLayout
// to OutputLayout (the pixel layout codes of the ICC profiles).  Params may be
// null.
using TIEColorConvertProc = void (*)(const void* Input, uint8_t InputLayout, void* Output,
                                     uint8_t OutputLayout, int32_t Count, TIOParamsVals* Params);

// Replaces the library's own placement of a dialog window on a monitor; its
// answer is the answer of the placement call.
using TIEPlaceDialogProc = bool (*)(QWidget* Window);

// ---------------------------------------------------------------------------
// GDI+ canvas

// The antialiased canvas may be used.
extern bool IEUseGDIPlus;

// ---------------------------------------------------------------------------
// Library defaults

// Gray weights in per cent: gray = (R x red + G x green + B x blue) / 100.
extern int32_t IEGrayWeightRed;    // 21
extern int32_t IEGrayWeightGreen;  // 71
extern int32_t IEGrayWeightBlue;   // 8

// Background of the two preview dialogs: 0 plain, 1 striped, 2 brushed.
extern uint8_t IEPreviewBackgroundStyle;

// Language of the library's dialogs; msSystem follows the system's locale and
// msUser (never filled) shows the English words.
enum TMsgLanguage : uint8_t {
  msSystem, msEnglish, msItalian, msGerman, msSpanish, msFrench, msPortuguese, msGreek,
  msRussian, msDutch, msSwedish, msPolish, msJapanese, msCzech, msFinnish, msFarsi, msChinese,
  msChineseTraditional, msDanish, msTurkish, msKorean, msHungarian, msUser
};
inline constexpr int32_t IELanguageCount = msUser + 1;
// The languages' names in value order, as form resources write them.
inline const std::vector<std::string>& MsgLanguageNames() {
  static const std::vector<std::string> Names = {
      "msSystem",  "msEnglish", "msItalian", "msGerman", "msSpanish", "msFrench",  "msPortuguese",
      "msGreek",   "msRussian", "msDutch",   "msSwedish", "msPolish", "msJapanese", "msCzech",
      "msFinnish", "msFarsi",   "msChinese", "msChineseTraditional", "msDanish", "msTurkish",
      "msKorean",  "msHungarian", "msUser"};
  return Names;
}

// ---------------------------------------------------------------------------
// Utilities

// Operating-system version code: 0..2 the Windows 9x family, 3..8 the NT family
// from 4.0 to 6.1, 9 anything else (this system always runs as "anything else").
extern uint8_t IEOSVersion;
// True when IEOSVersion > 2.
extern bool IEUnicodePlatform;
// Null: the library places dialogs itself.
extern TIEPlaceDialogProc IEPlaceDialogHook;
// Size in bytes above which an image buffer goes to a temporary file; -1 = not
// set (the buffer computes its own threshold from the physical memory).
extern int64_t IETempFileThreshold;
// An image buffer may fall back to a temporary file when memory runs out.
extern bool IEAllowTempFileFallback;
// An image buffer may fall back to segmented memory when one block cannot be had.
extern bool IEAllowSegmentedMemory;
// IECosineRamp[i] = round(64 - 64 x cos(i x pi / 255)): a rising raised-cosine
// ramp from 0 to 128, used by the image buffer's blend.
extern std::array<int32_t, 256> IECosineRamp;

// ---------------------------------------------------------------------------
// Single-image I/O

// IEFileExists tests the file through the platform's file-exists call.
extern bool IEUseFileExists;

// LZW hooks.  The I/O start-up installs the library's own coders; a hook left
// null disables the codec that needs it.
extern TGifLzwDecodeProc GifLzwDecodeHook;
extern TGifLzwEncodeProc GifLzwEncodeHook;
extern TTiffLzwDecodeProc TiffLzwDecodeHook;
extern TTiffLzwEncodeProc TiffLzwEncodeHook;
// Other names for the same four hooks.
inline TGifLzwDecodeProc& GifLzwDecoderHook = GifLzwDecodeHook;
inline TGifLzwEncodeProc& GifLzwEncoderHook = GifLzwEncodeHook;
inline TTiffLzwDecodeProc& TiffLzwDecoderHook = TiffLzwDecodeHook;
inline TTiffLzwEncodeProc& TiffLzwEncoderHook = TiffLzwEncodeHook;

// Folder of the library's temporary files; empty = the system's temporary folder.
extern std::string IETempFolder;
// Scanner log file; empty = no log.
extern std::string IETwainLogFileName;
// I/O debug log file; empty = no log.
extern std::string IEDebugLogFileName;

// Row colour converter; the I/O start-up installs the library's own.
extern TIEColorConvertProc IEColorConvertHook;
// Colour management through ICC profiles is on.
extern bool IEColorManagement;
// CMYK <-> RGB go through the built-in CMYK profile.
extern bool IEUseCMYKProfile;
// Colour reduction: -1 automatic, 0 NeuQuant, 1 median cut.
extern int32_t IEColorReductionAlgorithm;
// Colour reduction quality: -1 automatic.
extern int32_t IEColorReductionQuality;
// Buffered read streams of the readers keep positions relative to their start.
extern bool IEBufferedReadRelative;
// Largest side, in pixels, of an imported metafile.
extern int32_t IEMaxMetafileSide;
// Registered I/O plug-ins (nothing in this system adds one).
extern std::vector<TIEIOPlugin*> IEIOPlugins;
// The two global ICC profiles; created on first use by the colour conversions
// and freed by the I/O shutdown, which owns them.
extern TIEICC* IECmykProfile;
extern TIEICC* IESrgbProfile;

// ---------------------------------------------------------------------------
// Single-image view: screen and system metrics, default resolution

extern int32_t IEScreenBitsPerPixel;  // 24 until the view start-up reads the screen
extern int32_t IEScreenDpiX;          // 96 until the view start-up reads the screen
extern int32_t IEScreenDpiY;          // 96 until the view start-up reads the screen
// Resolution given to images whose files carry none.
extern int32_t IEDefaultDpiX;  // 300
extern int32_t IEDefaultDpiY;  // 300
extern bool IERemoteSession;   // the display is a remote session
extern bool IEMMXAvailable;    // the processor offers MMX
extern int32_t IESystemEdgeX;    // 3-D edge width (2)
extern int32_t IESystemEdgeY;    // 3-D edge height (2)
extern int32_t IESystemBorderX;  // thin border width (1)
extern int32_t IESystemBorderY;  // thin border height (1)

// ---------------------------------------------------------------------------
// Start values.  Each function gives the settings of one start-up step their
// start values; the step's owner calls it and then sets what it probes itself
// (the hooks of the I/O step, the screen facts of the view step).

void IEGDIPSettingsInitialize();   // IEUseGDIPlus
void IEDefsSettingsInitialize();   // gray weights, preview background style
void IEUtilsSettingsInitialize();  // OS version, dialog hook, temporary-file policy, cosine ramp
// IEUseFileExists, folders and log names, colour switches, plug-in list, metafile
// side.  Leaves the LZW and colour hooks and the ICC profiles alone: the I/O
// start-up installs those.
void IEIOSettingsInitialize();
// Default resolution, screen and system metrics (their fallback values), the
// remote-session and MMX flags.
void IEViewSettingsInitialize();

// All of the above, in start-up order.
void IEInitializeSettings();

// Fills Ramp with the raised-cosine ramp described at IECosineRamp.
void IEFillCosineRamp(std::array<int32_t, 256>& Ramp);
