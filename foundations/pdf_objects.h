#pragma once
// A small object model of PDF 1.4 values and the routines that serialise a
// document: the header, numbered indirect objects, the cross-reference table
// and the trailer.  Output is ASCII except the header's binary comment and
// stream data; lines end with LF.
//
// Indirect objects live in a TIEPDFObjectList, numbered by their position from
// 1.  A writer that produces a document page by page writes each object as
// soon as it is complete (IEPDFWriteObject) and may then release it
// (IEPDFReleaseObject): the list keeps only its number and offset for the
// cross-reference table.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/rtl/object.h"

class TStream;

class TIEPDFObject : public TObject {
 public:
  // 0 for a direct object; the position in the document's list for an
  // indirect one.
  int32_t ObjectNumber = 0;
  // Where the object was written (for an indirect object: its "n 0 obj" line).
  int64_t Offset = 0;
  // A container does not free a child flagged Shared (it is owned elsewhere,
  // usually by the object list).
  bool Shared = false;
  // Records the stream position in Offset, then writes the object's text.
  virtual void WriteToStream(TStream* Stream) = 0;
};

class TIEPDFNullObject : public TIEPDFObject {
 public:
  void WriteToStream(TStream* Stream) override;
};

class TIEPDFRefObject : public TIEPDFObject {
 public:
  TIEPDFRefObject(int32_t ATarget, int32_t AGeneration) : Target(ATarget), Generation(AGeneration) {}
  int32_t Target;
  int32_t Generation;
  void WriteToStream(TStream* Stream) override;
};

class TIEPDFBooleanObject : public TIEPDFObject {
 public:
  explicit TIEPDFBooleanObject(bool AValue) : Value(AValue) {}
  bool Value;
  void WriteToStream(TStream* Stream) override;
};

class TIEPDFNumericObject : public TIEPDFObject {
 public:
  explicit TIEPDFNumericObject(double AValue) : Value(AValue) {}
  double Value;
  void WriteToStream(TStream* Stream) override;
};

// A literal string of bytes: "(" text ")" with backspace, tab, line feed,
// form feed, carriage return, both parentheses and the backslash escaped by a
// backslash; other bytes unchanged.
class TIEPDFStringObject : public TIEPDFObject {
 public:
  explicit TIEPDFStringObject(std::string AValue) : Value(std::move(AValue)) {}
  // A text string from UTF-8: as it is when it is plain ASCII, else UTF-16
  // big-endian with its byte-order mark, as PDF text strings require.
  static std::unique_ptr<TIEPDFStringObject> FromText(const std::string& Utf8);
  std::string Value;
  void WriteToStream(TStream* Stream) override;
};

// "/" + the name; bytes outside "!".."~", the delimiters ()<>[]{}/% and "#"
// itself are written as "#" and two hex digits.
class TIEPDFNameObject : public TIEPDFObject {
 public:
  explicit TIEPDFNameObject(std::string AName) : Name(std::move(AName)) {}
  std::string Name;
  void WriteToStream(TStream* Stream) override;
};

// "[" then each item followed by a blank, then "]".  Owns its items except
// those flagged Shared.
class TIEPDFArrayObject : public TIEPDFObject {
 public:
  TIEPDFArrayObject() = default;
  ~TIEPDFArrayObject() override;
  TIEPDFArrayObject(const TIEPDFArrayObject&) = delete;
  TIEPDFArrayObject& operator=(const TIEPDFArrayObject&) = delete;
  void Add(TIEPDFObject* Item) { Items.push_back(Item); }
  std::vector<TIEPDFObject*> Items;
  void WriteToStream(TStream* Stream) override;
};

// "<< " then "/key value" LF per entry in insertion order, then ">>".  Owns
// its values except those flagged Shared.
class TIEPDFDictionaryObject : public TIEPDFObject {
 public:
  TIEPDFDictionaryObject() = default;
  ~TIEPDFDictionaryObject() override;
  TIEPDFDictionaryObject(const TIEPDFDictionaryObject&) = delete;
  TIEPDFDictionaryObject& operator=(const TIEPDFDictionaryObject&) = delete;
  void AddObject(const std::string& Key, TIEPDFObject* Value) { Entries.emplace_back(Key, Value); }
  // Replaces the value of Key (freeing the old one unless Shared), or adds it.
  void SetObject(const std::string& Key, TIEPDFObject* Value);
  TIEPDFObject* Find(const std::string& Key) const;
  std::vector<std::pair<std::string, TIEPDFObject*>> Entries;  // keys without "/"
  void WriteToStream(TStream* Stream) override;
};

// The dictionary (with "Length" always the data length), LF, "stream", LF,
// the data, LF, "endstream".
class TIEPDFStreamObject : public TIEPDFObject {
 public:
  TIEPDFStreamObject();
  static std::unique_ptr<TIEPDFStreamObject> CreateFromBuffer(const void* Data, int64_t Length);
  std::vector<uint8_t> Data;
  std::unique_ptr<TIEPDFDictionaryObject> Dictionary;
  int64_t GetLength() const { return int64_t(Data.size()); }
  void WriteToStream(TStream* Stream) override;
};

// The indirect objects of a document, in number order.
using TIEPDFObjectList = std::vector<std::unique_ptr<TIEPDFObject>>;

// Number text: integers as integers, other values in plain decimal with at
// most six decimals, "." as decimal point whatever the locale, never an
// exponent.
std::string IEPDFNumberText(double Value);

// Appends Object and sets its number to the new count; answers the object.
TIEPDFObject* IEPDFAddObject(TIEPDFObjectList& ObjectList, std::unique_ptr<TIEPDFObject> Object);
// A {Type: /Catalog} dictionary, added to the list.
TIEPDFDictionaryObject* IEPDFCreateCatalog(TIEPDFObjectList& ObjectList);
// A page: Type /Page, Resources (a reference, when given), MediaBox (direct,
// taken over), Contents (a reference); added to the list and to PageList.
TIEPDFDictionaryObject* IEPDFCreatePage(TIEPDFObjectList& ObjectList,
                                        std::vector<TIEPDFDictionaryObject*>& PageList,
                                        TIEPDFObject* Resources, TIEPDFArrayObject* MediaBox,
                                        int32_t ContentsNumber);
// The page tree over PageList (each page gets its Parent); the catalog (the
// first object) gets Pages.
TIEPDFDictionaryObject* IEPDFCreatePages(TIEPDFObjectList& ObjectList,
                                         const std::vector<TIEPDFDictionaryObject*>& PageList);

// "%PDF-1.4" LF, then a comment line of four bytes above 127 ("%" first).
void IEPDFWriteHeader(TStream* Stream);
// One indirect object: "n 0 obj" LF, the object, LF, "endobj" LF; its Offset
// becomes the position of the number line.
void IEPDFWriteObject(TStream* Stream, TIEPDFObject* Object);
// Every object of the list, in order.
void IEPDFWriteObjects(TStream* Stream, TIEPDFObjectList& ObjectList);
// Replaces a written object by a placeholder that keeps its number and
// offset, freeing its data.
void IEPDFReleaseObject(TIEPDFObjectList& ObjectList, int32_t ObjectNumber);
// The cross-reference table (20-byte entries), the trailer with /Root 1 0 R
// and /Info (when given), startxref and "%%EOF".
void IEPDFWriteXRefTrailer(TStream* Stream, const TIEPDFObjectList& ObjectList, const TIEPDFObject* Info);

void IEPDFWrite(TStream* Stream, const std::string& Text);
void IEPDFWriteLn(TStream* Stream, const std::string& Text);
// Text with Char prepended until it has Length characters.
std::string IEPadLeft(const std::string& Text, int32_t Length, char Char);
