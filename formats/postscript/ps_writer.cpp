#include "formats/postscript/ps_writer.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/text_encodings.h"
#include "foundations/value_helpers.h"
#include "formats/fax/ccitt_fax.h"
#include "formats/jpeg/jpeg_codec.h"
#include "platform/rtl/streams.h"

namespace {

void Line(TStream* Stream, const std::string& S) { IEWriteLineCRLF(Stream, S); }

std::string Str(int64_t V) { return std::to_string(V); }

// DSC text fields are 7-bit clean: other characters become "?".
std::string CleanText(const std::string& S) {
  std::string out;
  for (unsigned char c : S) out += (c >= 32 && c < 127) ? char(c) : '?';
  return out;
}

std::string RunLengthAll(const std::vector<uint8_t>& Data) {
  std::string out(size_t(IERunLengthEncodeBound(int32_t(Data.size()))), '\0');
  const int32_t n =
      IERunLengthEncode(Data.data(), int32_t(Data.size()), reinterpret_cast<uint8_t*>(out.data()));
  out.resize(size_t(n));
  return out;
}

std::string Ascii85(const std::string& Raw) {
  std::string out(size_t(IEEncodeASCII85Bound(int32_t(Raw.size()))), '\0');
  const uint8_t* in = reinterpret_cast<const uint8_t*>(Raw.data());
  uint8_t* o = reinterpret_cast<uint8_t*>(out.data());
  int32_t counter = 0;
  const int32_t n = IEEncodeASCII85(in, int32_t(Raw.size()), o, counter);
  out.resize(size_t(n));
  return out;
}

std::string MemoryText(TMemoryStream& M) {
  return std::string(static_cast<const char*>(M.GetMemory()), size_t(M.GetSize()));
}

}  // namespace

std::string PsPadNumber(int32_t Value, int32_t Width) {
  std::string s = std::to_string(Value);
  if (int32_t(s.size()) < Width) s.append(size_t(Width) - s.size(), ' ');
  return s;
}

std::unique_ptr<TIEPsDocState> PsBeginDocument(TStream* Stream, TIOParamsVals& Params) {
  auto s = std::make_unique<TIEPsDocState>();
  Line(Stream, "%!PS-Adobe-3.0");
  Line(Stream, "%%Creator: Folivra");
  Line(Stream, "%%Title: " + CleanText(Params.PsDocumentTitle));
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char date[64];
  std::strftime(date, sizeof date, "%a %b %d %H:%M:%S %Y", &local);
  Line(Stream, std::string("%%CreationDate: ") + date);
  Line(Stream, "%%DocumentData: Clean7Bit");
  Line(Stream, "%%LanguageLevel: 2");
  s->PagesLinePos = Stream->GetPosition();
  Line(Stream, "%%Pages: " + PsPadNumber(0, 6));
  Line(Stream, "%%BoundingBox: 0 0 " + Str(std::max(1, Params.PsPageWidth)) + " " +
                   Str(std::max(1, Params.PsPageHeight)));
  Line(Stream, "%%EndComments");
  s->EndPos = Stream->GetPosition();
  return s;
}

void PsAddPage(TIEPsDocState* State, TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
               TIEProgressRec& Progress) {
  if (State == nullptr || Bitmap == nullptr || Progress.IsAborting()) return;
  const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) {
    Progress.SetAborting();
    return;
  }
  TIEBitmap* page = Bitmap;
  std::unique_ptr<TIEBitmap> temp;
  TIEPixelFormat pf = page->GetPixelFormat();
  const uint8_t compression = Params.PsImageCompression;
  if ((pf != ie1g && pf != ie8g && pf != ie8p && pf != ie24RGB) ||
      (compression == ioPS_JPEG && (pf == ie8g || pf == ie8p))) {
    temp = std::make_unique<TIEBitmap>();
    temp->Assign(Bitmap);
    temp->ConvertToPixelFormat(ie24RGB);
    page = temp.get();
    pf = ie24RGB;
  }

  // The coded image data and the lines that read it.
  std::string raw;
  std::vector<std::string> setup;  // before %%BeginData
  std::string imageLine;           // the operator line after it
  const std::string matrix = "[" + Str(w) + " 0 0 " + Str(h) + " 0 0]";
  if (pf == ie1g) {
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
    setup.push_back(Str(w) + " " + Str(h) + " 1 " + matrix);
    if (compression == ioPS_RLE) {
      std::vector<uint8_t> all;
      const int32_t rowBytes = (w + 7) / 8;
      for (int32_t y = 0; y < h; ++y)
        all.insert(all.end(), page->GetScanline(y), page->GetScanline(y) + rowBytes);
      raw = RunLengthAll(all);
      setup.push_back("currentfile /ASCII85Decode filter /RunLengthDecode filter");
    } else {
      // Group 3 when asked for, Group 4 otherwise (JPEG has no 1-bit form).
      const bool g3 = compression == ioPS_G3FAX2D;
      TCcittEncoder encoder(g3 ? ccsGroup3TwoD : ccsGroup4, w, 1);
      for (int32_t y = 0; y < h; ++y) encoder.EncodeRow(page->GetScanline(y));
      encoder.FinishStrip();
      TMemoryStream coded;
      if (coded.Write(encoder.Data(), encoder.Size()) != encoder.Size()) {
        Progress.SetAborting();
        return;
      }
      raw = MemoryText(coded);
      setup.push_back("currentfile /ASCII85Decode filter << /K " + std::string(g3 ? "1" : "-1") +
                      " /BlackIs1 true /Columns " + Str(w) + " /Rows " + Str(h) + " /EndOfLine " +
                      (g3 ? "true" : "false") +
                      " /Uncompressed true /EncodedByteAlign false /EndOfBlock "
                      "false >> /CCITTFaxDecode filter");
    }
    imageLine = "image";
  } else if (compression == ioPS_JPEG) {
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = 3;
    TMemoryStream jpeg;
    JpegWriteStream(&jpeg, page, Params, Progress);
    if (Progress.IsAborting()) return;
    raw = MemoryText(jpeg);
    const bool gray = Params.JpegColorSpace == ioJPEG_GRAYLEV;
    setup.push_back(Str(w) + " " + Str(h) + " 8 " + matrix);
    setup.push_back("currentfile /ASCII85Decode filter << >> /DCTDecode filter");
    imageLine = gray ? "image" : "false 3 colorimage";
  } else {
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = pf == ie24RGB ? 3 : 1;
    std::vector<uint8_t> all;
    all.reserve(size_t(w) * size_t(h) * (pf == ie24RGB ? 3 : 1));
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* src = page->GetScanline(y);
      if (pf == ie24RGB) {
        for (int32_t x = 0; x < w; ++x) all.insert(all.end(), {src[x * 3 + 2], src[x * 3 + 1], src[x * 3]});
      } else {
        all.insert(all.end(), src, src + w);
      }
    }
    raw = RunLengthAll(all);
    const std::string source = "currentfile /ASCII85Decode filter /RunLengthDecode filter";
    if (pf == ie8p) {
      std::string lookup;
      static const char* kHex = "0123456789ABCDEF";
      for (int32_t i = 0; i < 256; ++i) {
        const TRGB c = i < page->GetPaletteLen() ? page->GetPaletteColor(i) : TRGB{};
        for (uint8_t v : {c.r, c.g, c.b}) {
          lookup += kHex[v >> 4];
          lookup += kHex[v & 15];
        }
        if (i % 16 == 15 && i < 255) lookup += "\r\n";
      }
      setup.push_back("[/Indexed /DeviceRGB 255 <" + lookup + ">] setcolorspace");
      imageLine = "<< /ImageType 1 /Width " + Str(w) + " /Height " + Str(h) +
                  " /BitsPerComponent 8 /Decode [0 255] /ImageMatrix " + matrix + " /DataSource " + source +
                  " >> image";
    } else {
      setup.push_back(Str(w) + " " + Str(h) + " 8 " + matrix);
      setup.push_back(source);
      imageLine = pf == ie24RGB ? "false 3 colorimage" : "image";
    }
  }
  const std::string data = Ascii85(raw);
  raw.clear();
  raw.shrink_to_fit();

  const int32_t number = State->PageCount + 1;
  const int32_t paperW = std::max(1, Params.PsPageWidth), paperH = std::max(1, Params.PsPageHeight);
  int32_t fitW = 1, fitH = 1;
  // The page keeps its shape on paper, also when its two resolutions differ.
  IEAspectFitAtResolution(w, h, Params.DpiX, Params.DpiY, paperW, paperH, fitW, fitH);

  Stream->Seek(State->EndPos, soBeginning);
  Line(Stream, "%%Page: " + Str(number) + " " + Str(number));
  Line(Stream, "%%PageBoundingBox: 0 0 " + Str(paperW) + " " + Str(paperH));
  Line(Stream, "%%BeginPageSetup");
  Line(Stream, "<< /PageSize [" + Str(paperW) + " " + Str(paperH) + "] >> setpagedevice");
  Line(Stream, "%%EndPageSetup");
  Line(Stream, "save");
  Line(Stream, "0 " + Str(paperH) + " translate");
  Line(Stream, Str(fitW) + " -" + Str(fitH) + " scale");
  for (const std::string& s : setup) Line(Stream, s);
  // The count covers every byte after the %%BeginData line up to %%EndData:
  // the operator line and the encoded data with their line ends.
  const int64_t count = int64_t(imageLine.size()) + 2 + int64_t(data.size());
  Line(Stream, "%%BeginData: " + Str(count) + " ASCII Bytes");
  Line(Stream, imageLine);
  Stream->WriteBuffer(data.data(), int64_t(data.size()));
  Line(Stream, "%%EndData");
  Line(Stream, "restore");
  Line(Stream, "showpage");
  State->EndPos = Stream->GetPosition();
  State->PageCount = number;
  Stream->Seek(State->PagesLinePos, soBeginning);
  Line(Stream, "%%Pages: " + PsPadNumber(number, 6));
  Stream->Seek(State->EndPos, soBeginning);
}

void PsEndDocument(std::unique_ptr<TIEPsDocState>& State, TStream* Stream) {
  if (!State) return;
  Stream->Seek(State->EndPos, soBeginning);
  Line(Stream, "%%Trailer");
  Line(Stream, "%%EOF");
  State.reset();
}

void PsWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  Progress.Report(0);
  auto state = PsBeginDocument(Stream, Params);
  PsAddPage(state.get(), Stream, Bitmap, Params, Progress);
  PsEndDocument(state, Stream);
  if (!Progress.IsAborting()) Progress.Report(100);
}
