#pragma once
// The library's one-time start-up and finalization.
//
// IEStaticInitialize prepares everything the library keeps process-wide (the
// library defaults, the word tables, the LZW and colour-conversion hooks, the
// format registry, clipboard formats, the fax decoding trees, the default
// resolution, ...) by running its start-up steps in one fixed order;
// IEStaticFinalize undoes one call and, when the count falls to zero, runs
// the shutdown steps in exactly the reverse order. Both are reference-counted
// and guarded by one process-wide lock, so any number of callers may pair them.
//
// The steps belong to the units that own what they build, and many of those
// live in layers above this one: each layer installs its step procedures into
// the numbered slots below (IESetStartupStep) before the first
// IEStaticInitialize, as the kernels install the pixel conversion. A slot left
// empty runs nothing (its unit builds itself on first use).
#include <cstdint>
#include <functional>
#include <string>

// The start-up steps in their order.
enum TIEStartupStep : uint8_t {
  iessGDIPlus = 0,        // antialiased canvas switch
  iessDefaults = 1,       // gray weights, preview background style
  iessUtilities = 2,      // OS version, word tables, temporary-file policy, cosine ramp
  iessJpeg2000 = 3,       // JPEG 2000 codec tables
  iessVectorView = 4,     // "FOLIO VECT" clipboard format, text shortcuts
  iessSingleImageIO = 5,  // LZW hooks, format registry, colour-conversion hook
  iessProcessing = 6,     // bit-expansion table, "FOLIO RAW FORMAT"
  iessSingleImageView = 7,// screen metrics, default resolution 300 x 300
  iessFaxCodec = 8,       // white and black run-code trees
  iessTextControl = 9,    // "FOLIO TEXTMEMO"
  iessPresetImages = 10,  // preset images of the dialogs
  iessStepCount = 11
};

using TIEStartupProc = std::function<void()>;

// Installs the start-up and shutdown procedures of Step (replacing earlier
// ones). Either may be empty.
void IESetStartupStep(TIEStartupStep Step, TIEStartupProc Init, TIEStartupProc Final);
// Adds procedures that run after those already installed for Step (start-up)
// and before them (shutdown): a step whose unit is split over layers.
void IEAddStartupStep(TIEStartupStep Step, TIEStartupProc Init, TIEStartupProc Final);

// Prepares the library; safe to call any number of times.
void IEStaticInitialize();
// Undoes one IEStaticInitialize; the call matching the first tears the library
// down. Harmless when the library was never started.
void IEStaticFinalize();

// Number of IEStaticInitialize calls not yet matched (0 when not started).
int32_t IEStaticInitCount();
// The start-up tag: "STATICINIT" while the library is started, else empty.
std::string IEStaticInitTag();
