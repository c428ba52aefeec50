#include "formats/pdf/pdf_writer.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pdf_objects.h"
#include "foundations/text_encodings.h"
#include "foundations/value_helpers.h"
#include "foundations/zlib_streams.h"
#include "formats/fax/ccitt_fax.h"
#include "formats/jpeg/jpeg_codec.h"
#include "platform/rtl/streams.h"

namespace {

constexpr int32_t kCatalog = 1, kResources = 2, kPages = 3;

TIEPDFArrayObject* NameArray(std::initializer_list<const char*> Names) {
  auto* a = new TIEPDFArrayObject();
  for (const char* n : Names) a->Add(new TIEPDFNameObject(n));
  return a;
}

TIEPDFArrayObject* NumberArray(std::initializer_list<double> Values) {
  auto* a = new TIEPDFArrayObject();
  for (double v : Values) a->Add(new TIEPDFNumericObject(v));
  return a;
}

// Rows of a page as the image stream wants them, one at a time.
using TRowSource = std::function<void(int32_t Row, std::vector<uint8_t>& Out)>;

void Deflate(TMemoryStream& Out, int32_t Height, const TRowSource& Rows) {
  TZCompressionStream z(&Out);
  std::vector<uint8_t> row;
  for (int32_t y = 0; y < Height; ++y) {
    Rows(y, row);
    z.WriteBuffer(row.data(), int64_t(row.size()));
  }
  z.Finish();
}

void Plain(TMemoryStream& Out, int32_t Height, const TRowSource& Rows) {
  std::vector<uint8_t> row;
  for (int32_t y = 0; y < Height; ++y) {
    Rows(y, row);
    Out.WriteBuffer(row.data(), int64_t(row.size()));
  }
}

bool Lzw(TMemoryStream& Out, int32_t Height, const TRowSource& Rows, TTiffLzwEncodeProc Encoder) {
  if (Encoder == nullptr) return false;
  void* state = nullptr;
  std::vector<uint8_t> row;
  for (int32_t y = 0; y < Height; ++y) {
    Rows(y, row);
    Encoder(row.data(), int32_t(row.size()), &Out, state);
  }
  Encoder(nullptr, 0, &Out, state);
  return true;
}

void RunLength(TMemoryStream& Out, int32_t Height, const TRowSource& Rows) {
  std::vector<uint8_t> all, row;
  for (int32_t y = 0; y < Height; ++y) {
    Rows(y, row);
    all.insert(all.end(), row.begin(), row.end());
  }
  std::vector<uint8_t> coded(size_t(IERunLengthEncodeBound(int32_t(all.size()))));
  const int32_t n = IERunLengthEncode(all.data(), int32_t(all.size()), coded.data());
  Out.WriteBuffer(coded.data(), n);
}

std::string DateText(const char* Format) {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char buf[64];
  std::strftime(buf, sizeof buf, Format, &local);
  return buf;
}

}  // namespace

std::unique_ptr<TIEPdfDocState> PdfBeginDocument(TStream* Stream) {
  auto s = std::make_unique<TIEPdfDocState>();
  s->Stream = Stream;
  s->Catalog = IEPDFCreateCatalog(s->Objects);
  auto resources = std::make_unique<TIEPDFDictionaryObject>();
  resources->AddObject("ProcSet", NameArray({"PDF", "ImageB", "ImageC", "ImageI"}));
  s->XObjects = new TIEPDFDictionaryObject();
  resources->AddObject("XObject", s->XObjects);
  s->Resources = static_cast<TIEPDFDictionaryObject*>(IEPDFAddObject(s->Objects, std::move(resources)));
  s->Pages = static_cast<TIEPDFDictionaryObject*>(
      IEPDFAddObject(s->Objects, std::make_unique<TIEPDFDictionaryObject>()));
  s->Kids = std::make_unique<TIEPDFArrayObject>();
  IEPDFWriteHeader(Stream);
  return s;
}

int32_t PdfPageCount(const TIEPdfDocState* State) { return State ? State->PageCount : 0; }

void PdfAddPage(TIEPdfDocState* State, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  if (State == nullptr || Bitmap == nullptr || Progress.IsAborting()) return;
  const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) {
    Progress.SetAborting();
    return;
  }
  TIEBitmap* page = Bitmap;
  std::unique_ptr<TIEBitmap> temp;
  TIEPixelFormat pf = page->GetPixelFormat();
  const uint8_t compression = Params.PdfImageCompression;
  // JPEG has no 1-bit form; gray and palette JPEG pages are coded as colour.
  const bool asColour = (pf != ie1g && pf != ie8g && pf != ie8p && pf != ie24RGB) ||
                        (compression == ioPDF_JPEG && (pf == ie8g || pf == ie8p));
  if (asColour) {
    temp = std::make_unique<TIEBitmap>();
    temp->Assign(Bitmap);
    temp->ConvertToPixelFormat(ie24RGB);
    page = temp.get();
    pf = ie24RGB;
  }

  TMemoryStream data;
  auto image = std::make_unique<TIEPDFStreamObject>();
  TIEPDFDictionaryObject& d = *image->Dictionary;
  d.AddObject("Type", new TIEPDFNameObject("XObject"));
  d.AddObject("Subtype", new TIEPDFNameObject("Image"));
  d.AddObject("Width", new TIEPDFNumericObject(w));
  d.AddObject("Height", new TIEPDFNumericObject(h));

  const int32_t bytesPerRow = pf == ie1g ? (w + 7) / 8 : (pf == ie24RGB ? w * 3 : w);
  TRowSource rows = [&](int32_t y, std::vector<uint8_t>& out) {
    out.resize(size_t(bytesPerRow));
    const uint8_t* src = page->GetScanline(y);
    if (pf == ie24RGB) {
      for (int32_t x = 0; x < w; ++x) {
        out[size_t(x) * 3] = src[x * 3 + 2];
        out[size_t(x) * 3 + 1] = src[x * 3 + 1];
        out[size_t(x) * 3 + 2] = src[x * 3];
      }
    } else {
      std::copy(src, src + bytesPerRow, out.begin());
    }
  };
  auto flate = [&] {
    Deflate(data, h, rows);
    d.AddObject("Filter", new TIEPDFNameObject("FlateDecode"));
  };

  if (pf == ie1g) {
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
    const uint8_t c = compression == ioPDF_JPEG ? uint8_t(ioPDF_G3FAX2D) : compression;
    if (c == ioPDF_G4FAX || c == ioPDF_G3FAX2D) {
      TCcittEncoder encoder(c == ioPDF_G4FAX ? ccsGroup4 : ccsGroup3TwoD, w, 1);
      for (int32_t y = 0; y < h; ++y) encoder.EncodeRow(page->GetScanline(y));
      encoder.FinishStrip();
      if (data.Write(encoder.Data(), encoder.Size()) != encoder.Size()) {
        Progress.SetAborting();
        return;
      }
      // Rows are coded as stored (0 bits as white runs); BlackIs1 makes the
      // filter give the stored bits back, where 1 is white for DeviceGray.
      d.AddObject("Filter", new TIEPDFNameObject("CCITTFaxDecode"));
      auto* parms = new TIEPDFDictionaryObject();
      parms->AddObject("K", new TIEPDFNumericObject(c == ioPDF_G4FAX ? -1 : 1));
      parms->AddObject("BlackIs1", new TIEPDFBooleanObject(true));
      parms->AddObject("Columns", new TIEPDFNumericObject(w));
      parms->AddObject("Rows", new TIEPDFNumericObject(h));
      parms->AddObject("EndOfLine", new TIEPDFBooleanObject(c != ioPDF_G4FAX));
      parms->AddObject("EncodedByteAlign", new TIEPDFBooleanObject(false));
      parms->AddObject("EndOfBlock", new TIEPDFBooleanObject(false));
      d.AddObject("DecodeParms", parms);
    } else if (c == ioPDF_UNCOMPRESSED) {
      Plain(data, h, rows);
    } else if (c == ioPDF_RLE) {
      RunLength(data, h, rows);
      d.AddObject("Filter", new TIEPDFNameObject("RunLengthDecode"));
    } else if (c == ioPDF_LZW && Lzw(data, h, rows, Params.TiffLzwEncoder)) {
      d.AddObject("Filter", new TIEPDFNameObject("LZWDecode"));
    } else {
      flate();
    }
    d.AddObject("ColorSpace", new TIEPDFNameObject("DeviceGray"));
    d.AddObject("BitsPerComponent", new TIEPDFNumericObject(1));
  } else {
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = pf == ie24RGB ? 3 : 1;
    if (compression == ioPDF_JPEG) {
      JpegWriteStream(&data, page, Params, Progress);
      if (Progress.IsAborting()) return;
      d.AddObject("Filter", new TIEPDFNameObject("DCTDecode"));
    } else if (compression == ioPDF_UNCOMPRESSED) {
      Plain(data, h, rows);
    } else if (compression == ioPDF_LZW && Lzw(data, h, rows, Params.TiffLzwEncoder)) {
      d.AddObject("Filter", new TIEPDFNameObject("LZWDecode"));
    } else {
      flate();
    }
    if (pf == ie8p) {
      auto* cs = new TIEPDFArrayObject();
      cs->Add(new TIEPDFNameObject("Indexed"));
      cs->Add(new TIEPDFNameObject("DeviceRGB"));
      cs->Add(new TIEPDFNumericObject(255));
      std::string lookup;
      for (int32_t i = 0; i < 256; ++i) {
        const TRGB c = i < page->GetPaletteLen() ? page->GetPaletteColor(i) : TRGB{};
        lookup += char(c.r);
        lookup += char(c.g);
        lookup += char(c.b);
      }
      cs->Add(new TIEPDFStringObject(lookup));
      d.AddObject("ColorSpace", cs);
    } else if (pf == ie8g || (compression == ioPDF_JPEG && Params.JpegColorSpace == ioJPEG_GRAYLEV)) {
      d.AddObject("ColorSpace", new TIEPDFNameObject("DeviceGray"));
    } else {
      d.AddObject("ColorSpace", new TIEPDFNameObject("DeviceRGB"));
    }
    d.AddObject("BitsPerComponent", new TIEPDFNumericObject(8));
  }
  image->Data.assign(static_cast<const uint8_t*>(data.GetMemory()),
                     static_cast<const uint8_t*>(data.GetMemory()) + data.GetSize());
  data.Clear();

  TStream* out = State->Stream;
  const int32_t n = ++State->PageCount;
  const int32_t paperW = std::max(1, Params.PdfPageWidth), paperH = std::max(1, Params.PdfPageHeight);
  int32_t fitW = 1, fitH = 1;
  // The page keeps its shape on paper, also when its two resolutions differ.
  IEAspectFitAtResolution(w, h, Params.DpiX, Params.DpiY, paperW, paperH, fitW, fitH);

  TIEPDFObject* img = IEPDFAddObject(State->Objects, std::move(image));
  IEPDFWriteObject(out, img);
  const int32_t imageNumber = img->ObjectNumber;
  IEPDFReleaseObject(State->Objects, imageNumber);

  const std::string name = "lm" + std::to_string(n);
  const std::string content = "q\n" + std::to_string(fitW) + " 0 0 " + std::to_string(fitH) + " 0 " +
                              std::to_string(paperH - fitH) + " cm\n/" + name + " Do\nQ";
  TIEPDFObject* contents = IEPDFAddObject(
      State->Objects, TIEPDFStreamObject::CreateFromBuffer(content.data(), int64_t(content.size())));
  IEPDFWriteObject(out, contents);
  const int32_t contentsNumber = contents->ObjectNumber;
  IEPDFReleaseObject(State->Objects, contentsNumber);
  State->XObjects->AddObject(name, new TIEPDFRefObject(imageNumber, 0));

  auto pageDict = std::make_unique<TIEPDFDictionaryObject>();
  pageDict->AddObject("Type", new TIEPDFNameObject("Page"));
  pageDict->AddObject("Parent", new TIEPDFRefObject(kPages, 0));
  pageDict->AddObject("Resources", new TIEPDFRefObject(kResources, 0));
  pageDict->AddObject("MediaBox", NumberArray({0, 0, double(paperW), double(paperH)}));
  pageDict->AddObject("Contents", new TIEPDFRefObject(contentsNumber, 0));
  TIEPDFObject* pageObj = IEPDFAddObject(State->Objects, std::move(pageDict));
  IEPDFWriteObject(out, pageObj);
  State->Kids->Add(new TIEPDFRefObject(pageObj->ObjectNumber, 0));
  IEPDFReleaseObject(State->Objects, pageObj->ObjectNumber);
}

void PdfEndDocument(std::unique_ptr<TIEPdfDocState>& State, TIOParamsVals& Params) {
  if (!State) return;
  TIEPdfDocState& s = *State;
  TStream* out = s.Stream;
  s.Pages->AddObject("Type", new TIEPDFNameObject("Pages"));
  s.Pages->AddObject("Kids", s.Kids.release());
  s.Pages->AddObject("Count", new TIEPDFNumericObject(s.PageCount));
  s.Catalog->AddObject("Pages", new TIEPDFRefObject(kPages, 0));

  auto info = std::make_unique<TIEPDFDictionaryObject>();
  const std::pair<const char*, const std::string*> texts[] = {
      {"Title", &Params.PdfTitle},       {"Author", &Params.PdfAuthor},   {"Subject", &Params.PdfSubject},
      {"Keywords", &Params.PdfKeywords}, {"Creator", &Params.PdfCreator}, {"Producer", &Params.PdfProducer}};
  for (const auto& t : texts)
    if (!t.second->empty()) info->AddObject(t.first, TIEPDFStringObject::FromText(*t.second).release());
  info->AddObject("CreationDate", new TIEPDFStringObject("D:" + DateText("%Y%m%d%H%M%S")));
  TIEPDFObject* infoObj = IEPDFAddObject(s.Objects, std::move(info));

  for (int32_t number : {kCatalog, kResources, kPages, infoObj->ObjectNumber})
    IEPDFWriteObject(out, s.Objects[size_t(number - 1)].get());
  IEPDFWriteXRefTrailer(out, s.Objects, infoObj);
  State.reset();
}

void PdfWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  Progress.Report(0);
  auto state = PdfBeginDocument(Stream);
  PdfAddPage(state.get(), Bitmap, Params, Progress);
  PdfEndDocument(state, Params);
  if (!Progress.IsAborting()) Progress.Report(100);
}
