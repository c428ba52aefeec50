#include "app/library_steps.h"

#include "dialogs/word_tables.h"
#include "formats/fax/ccitt_fax.h"
#include "formats/gif/gif_lzw.h"
#include "formats/row_colour_converter.h"
#include "formats/tiff/tiff_lzw.h"
#include "foundations/library_startup.h"
#include "foundations/settings.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "io/multi_io.h"
#include "pictures/png_button.h"
#include "pictures/png_picture.h"
#include "platform/gdi/screen.h"
#include "platform/vcl/clipboard.h"
#include "processing/folio_proc.h"
#include "views/folio_view.h"
#include "views/multi_view.h"
#include "dialogs/image_file_dialogs.h"
#include "dialogs/preset_images.h"
#include "processing/effects_launcher.h"
#include "platform/vcl/status_bar.h"
#include "widgets/widget_classes.h"

void FolivraInstallLibrarySteps() {
  static bool Installed = false;
  if (Installed) return;
  Installed = true;

  // Library defaults and the national word tables of the dialogs.
  IEAddStartupStep(iessDefaults, IEDefsInitialize, IEDefsFinalize);
  IEAddStartupStep(iessUtilities, IEWordsInitialize, IEWordsFinalize);

  // The vector view's clipboard format.
  IEAddStartupStep(iessVectorView, [] { RegisterClipboardFormat("FOLIO VECT"); }, nullptr);

  // Single-image I/O: the four LZW hooks, the format registry, the colour
  // conversion hook.
  IEAddStartupStep(
      iessSingleImageIO,
      [] {
        IEInstallGifLzwHooks();
        TiffLzwDecodeHook = TiffLzwDecode;
        TiffLzwEncodeHook = TiffLzwEncode;
        IEBuildFormatRegistry();
        IEInstallColorConvertHook();
      },
      [] { IEFreeFormatRegistry(); });

  // Processing: its clipboard format and the effects dialog's kept settings.
  IEAddStartupStep(iessProcessing, IEFolioProcInit, IEFolioProcFinal);

  // Single-image view: what the screen offers (the defaults stay when there
  // is no screen).
  IEAddStartupStep(
      iessSingleImageView,
      [] {
        const int32_t Bits = ScreenBitsPerPixel();
        if (Bits > 0) IEScreenBitsPerPixel = Bits;
        const int32_t Dx = ScreenLogPixelsX(), Dy = ScreenLogPixelsY();
        if (Dx > 0) IEScreenDpiX = Dx;
        if (Dy > 0) IEScreenDpiY = Dy;
      },
      nullptr);

  // The fax decoding trees.
  IEAddStartupStep(iessFaxCodec, CcittInitialize, CcittFreeTrees);

  // The text control's clipboard format.
  IEAddStartupStep(iessTextControl, [] { RegisterClipboardFormat("FOLIO TEXTMEMO"); }, nullptr);

  // The preset frames of the dialogs.
  IEAddStartupStep(iessPresetImages, IEPresetImagesInitialize, IEPresetImagesFinalize);
}

void FolivraRegisterComponentClasses() {
  static bool Registered = false;
  if (Registered) return;
  Registered = true;
  RegisterPNGPicture();
  RegisterPNGButton();
  OxRegisterWidgetClasses();
  IERegisterFolioIOClass();
  IERegisterFolioMIOClass();
  IERegisterFolioMViewClass();
  IERegisterFolioViewClasses();
  IERegisterFileDialogClasses();
  RegisterComponentClass<TStatusBar>("TStatusBar");
  IERegisterFolioProcClass();
}
