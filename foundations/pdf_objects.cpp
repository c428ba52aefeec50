#include "foundations/pdf_objects.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/rtl/streams.h"

void IEPDFWrite(TStream* Stream, const std::string& Text) {
  if (!Text.empty()) Stream->WriteBuffer(Text.data(), int64_t(Text.size()));
}

void IEPDFWriteLn(TStream* Stream, const std::string& Text) { IEPDFWrite(Stream, Text + "\n"); }

std::string IEPadLeft(const std::string& Text, int32_t Length, char Char) {
  if (int32_t(Text.size()) >= Length) return Text;
  return std::string(size_t(Length) - Text.size(), Char) + Text;
}

std::string IEPDFNumberText(double Value) {
  if (!std::isfinite(Value)) return "0";
  char buf[64];
  if (std::fabs(Value) < 1e15 && Value == std::trunc(Value)) {
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(Value));
    return std::string(buf, r.ptr);
  }
  // Beyond what a PDF reader holds anyway, keep the magnitude in plain digits.
  const auto r = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::fixed, 6);
  std::string s(buf, r.ptr);
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0" || s.empty()) s = "0";
  return s;
}

void TIEPDFNullObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  IEPDFWrite(Stream, "null");
}

void TIEPDFRefObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  IEPDFWrite(Stream, std::to_string(Target) + " " + std::to_string(Generation) + " R");
}

void TIEPDFBooleanObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  IEPDFWrite(Stream, Value ? "true" : "false");
}

void TIEPDFNumericObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  IEPDFWrite(Stream, IEPDFNumberText(Value));
}

std::unique_ptr<TIEPDFStringObject> TIEPDFStringObject::FromText(const std::string& Utf8) {
  bool ascii = true;
  for (unsigned char c : Utf8)
    if (c > 126) ascii = false;
  if (ascii) return std::make_unique<TIEPDFStringObject>(Utf8);
  std::string out = "\xFE\xFF";
  auto put16 = [&](uint32_t U) {
    out.push_back(char(U >> 8));
    out.push_back(char(U & 0xFF));
  };
  for (size_t i = 0; i < Utf8.size();) {
    const unsigned char c = Utf8[i];
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6 && i + 1 < Utf8.size()) {
      cp = ((c & 0x1Fu) << 6) | (Utf8[i + 1] & 0x3Fu);
      len = 2;
    } else if ((c >> 4) == 14 && i + 2 < Utf8.size()) {
      cp = ((c & 0x0Fu) << 12) | ((Utf8[i + 1] & 0x3Fu) << 6) | (Utf8[i + 2] & 0x3Fu);
      len = 3;
    } else if ((c >> 3) == 30 && i + 3 < Utf8.size()) {
      cp = ((c & 0x07u) << 18) | ((Utf8[i + 1] & 0x3Fu) << 12) | ((Utf8[i + 2] & 0x3Fu) << 6) |
           (Utf8[i + 3] & 0x3Fu);
      len = 4;
    }
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      put16(0xD800 | (cp >> 10));
      put16(0xDC00 | (cp & 0x3FF));
    } else {
      put16(cp > 0xFFFF ? 0xFFFD : cp);
    }
    i += len;
  }
  return std::make_unique<TIEPDFStringObject>(out);
}

void TIEPDFStringObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  std::string s = "(";
  for (char c : Value) {
    switch (c) {
      case 8:
        s += "\\b";
        break;
      case 9:
        s += "\\t";
        break;
      case 10:
        s += "\\n";
        break;
      case 12:
        s += "\\f";
        break;
      case 13:
        s += "\\r";
        break;
      case '(':
        s += "\\(";
        break;
      case ')':
        s += "\\)";
        break;
      case '\\':
        s += "\\\\";
        break;
      default:
        s += c;
    }
  }
  s += ")";
  IEPDFWrite(Stream, s);
}

void TIEPDFNameObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  static const char* kHex = "0123456789ABCDEF";
  std::string s = "/";
  for (unsigned char c : Name) {
    if (c < 33 || c > 126 || std::strchr("()<>[]{}/%#", c) != nullptr) {
      s += '#';
      s += kHex[c >> 4];
      s += kHex[c & 15];
    } else {
      s += char(c);
    }
  }
  IEPDFWrite(Stream, s);
}

TIEPDFArrayObject::~TIEPDFArrayObject() {
  for (TIEPDFObject* o : Items)
    if (o && !o->Shared) delete o;
}

void TIEPDFArrayObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  IEPDFWrite(Stream, "[");
  for (TIEPDFObject* o : Items) {
    o->WriteToStream(Stream);
    IEPDFWrite(Stream, " ");
  }
  IEPDFWrite(Stream, "]");
}

TIEPDFDictionaryObject::~TIEPDFDictionaryObject() {
  for (auto& e : Entries)
    if (e.second && !e.second->Shared) delete e.second;
}

void TIEPDFDictionaryObject::SetObject(const std::string& Key, TIEPDFObject* Value) {
  for (auto& e : Entries) {
    if (e.first == Key) {
      if (e.second && !e.second->Shared) delete e.second;
      e.second = Value;
      return;
    }
  }
  AddObject(Key, Value);
}

TIEPDFObject* TIEPDFDictionaryObject::Find(const std::string& Key) const {
  for (const auto& e : Entries)
    if (e.first == Key) return e.second;
  return nullptr;
}

void TIEPDFDictionaryObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  IEPDFWrite(Stream, "<< ");
  for (auto& e : Entries) {
    TIEPDFNameObject key(e.first);
    key.WriteToStream(Stream);
    IEPDFWrite(Stream, " ");
    e.second->WriteToStream(Stream);
    IEPDFWrite(Stream, "\n");
  }
  IEPDFWrite(Stream, ">>");
}

TIEPDFStreamObject::TIEPDFStreamObject() : Dictionary(std::make_unique<TIEPDFDictionaryObject>()) {
  Dictionary->AddObject("Length", new TIEPDFNumericObject(0));
}

std::unique_ptr<TIEPDFStreamObject> TIEPDFStreamObject::CreateFromBuffer(const void* Data, int64_t Length) {
  auto s = std::make_unique<TIEPDFStreamObject>();
  if (Length > 0) {
    const uint8_t* p = static_cast<const uint8_t*>(Data);
    s->Data.assign(p, p + Length);
  }
  return s;
}

void TIEPDFStreamObject::WriteToStream(TStream* Stream) {
  Offset = Stream->GetPosition();
  Dictionary->SetObject("Length", new TIEPDFNumericObject(double(Data.size())));
  Dictionary->WriteToStream(Stream);
  IEPDFWrite(Stream, "\nstream\n");
  if (!Data.empty()) Stream->WriteBuffer(Data.data(), int64_t(Data.size()));
  IEPDFWrite(Stream, "\nendstream");
}

TIEPDFObject* IEPDFAddObject(TIEPDFObjectList& ObjectList, std::unique_ptr<TIEPDFObject> Object) {
  ObjectList.push_back(std::move(Object));
  ObjectList.back()->ObjectNumber = int32_t(ObjectList.size());
  return ObjectList.back().get();
}

TIEPDFDictionaryObject* IEPDFCreateCatalog(TIEPDFObjectList& ObjectList) {
  auto d = std::make_unique<TIEPDFDictionaryObject>();
  d->AddObject("Type", new TIEPDFNameObject("Catalog"));
  return static_cast<TIEPDFDictionaryObject*>(IEPDFAddObject(ObjectList, std::move(d)));
}

TIEPDFDictionaryObject* IEPDFCreatePage(TIEPDFObjectList& ObjectList,
                                        std::vector<TIEPDFDictionaryObject*>& PageList,
                                        TIEPDFObject* Resources, TIEPDFArrayObject* MediaBox,
                                        int32_t ContentsNumber) {
  auto d = std::make_unique<TIEPDFDictionaryObject>();
  d->AddObject("Type", new TIEPDFNameObject("Page"));
  if (Resources) d->AddObject("Resources", new TIEPDFRefObject(Resources->ObjectNumber, 0));
  d->AddObject("MediaBox", MediaBox);
  d->AddObject("Contents", new TIEPDFRefObject(ContentsNumber, 0));
  auto* page = static_cast<TIEPDFDictionaryObject*>(IEPDFAddObject(ObjectList, std::move(d)));
  PageList.push_back(page);
  return page;
}

TIEPDFDictionaryObject* IEPDFCreatePages(TIEPDFObjectList& ObjectList,
                                         const std::vector<TIEPDFDictionaryObject*>& PageList) {
  auto* pages = static_cast<TIEPDFDictionaryObject*>(
      IEPDFAddObject(ObjectList, std::make_unique<TIEPDFDictionaryObject>()));
  pages->AddObject("Type", new TIEPDFNameObject("Pages"));
  auto* kids = new TIEPDFArrayObject();
  for (TIEPDFDictionaryObject* page : PageList) {
    kids->Add(new TIEPDFRefObject(page->ObjectNumber, 0));
    page->SetObject("Parent", new TIEPDFRefObject(pages->ObjectNumber, 0));
  }
  pages->AddObject("Kids", kids);
  pages->AddObject("Count", new TIEPDFNumericObject(double(PageList.size())));
  if (!ObjectList.empty())
    if (auto* catalog = dynamic_cast<TIEPDFDictionaryObject*>(ObjectList.front().get()))
      catalog->SetObject("Pages", new TIEPDFRefObject(pages->ObjectNumber, 0));
  return pages;
}

void IEPDFWriteHeader(TStream* Stream) {
  IEPDFWriteLn(Stream, "%PDF-1.4");
  // A comment of high bytes tells transfer programs that the file is binary.
  IEPDFWriteLn(Stream, "%\xC8\xD2\xF0\xFE");
}

void IEPDFWriteObject(TStream* Stream, TIEPDFObject* Object) {
  const int64_t pos = Stream->GetPosition();
  IEPDFWriteLn(Stream, std::to_string(Object->ObjectNumber) + " 0 obj");
  Object->WriteToStream(Stream);
  IEPDFWrite(Stream, "\nendobj\n");
  Object->Offset = pos;
}

void IEPDFWriteObjects(TStream* Stream, TIEPDFObjectList& ObjectList) {
  for (auto& o : ObjectList) IEPDFWriteObject(Stream, o.get());
}

void IEPDFReleaseObject(TIEPDFObjectList& ObjectList, int32_t ObjectNumber) {
  if (ObjectNumber < 1 || ObjectNumber > int32_t(ObjectList.size())) return;
  auto& slot = ObjectList[size_t(ObjectNumber - 1)];
  auto stub = std::make_unique<TIEPDFNullObject>();
  stub->ObjectNumber = ObjectNumber;
  stub->Offset = slot->Offset;
  slot = std::move(stub);
}

void IEPDFWriteXRefTrailer(TStream* Stream, const TIEPDFObjectList& ObjectList, const TIEPDFObject* Info) {
  const int64_t x = Stream->GetPosition();
  const std::string size = std::to_string(ObjectList.size() + 1);
  std::string s = "xref\n0 " + size + "\n0000000000 65535 f \n";
  for (const auto& o : ObjectList) s += IEPadLeft(std::to_string(o->Offset), 10, '0') + " 00000 n \n";
  s += "trailer\n<< /Size " + size + "\n/Root 1 0 R\n";
  if (Info) s += "/Info " + std::to_string(Info->ObjectNumber) + " 0 R\n";
  s += ">>\nstartxref\n" + std::to_string(x) + "\n%%EOF\n";
  IEPDFWrite(Stream, s);
}
