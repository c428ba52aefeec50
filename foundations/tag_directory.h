#pragma once
// TIFF-style tag directories handled as data, without decoding images:
// - TIETagsHandler keeps the EXIF MakerNote (tag 37500) of a page, a
//   camera-specific directory, normalised to little-endian;
// - TIETIFFHandler reads a whole TIFF (or HD Photo) file into memory as a list
//   of pages of tag entries with their data, lets tags be found, set, deleted
//   and copied between two handlers, and writes everything back.
//
// Everything read from a file is checked against what the file holds: counts,
// sizes and offsets that point outside it drop the entry (or zero it, in a
// maker note), directory chains and sub-directories that return to a directory
// already read stop there, and the memory a file can make the handler take is
// bounded by a small multiple of the file's size.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/object.h"

class TStream;
class TMemoryStream;

// TIFF field types.
enum : uint16_t {
  IETIFFTYPE_BYTE = 1,
  IETIFFTYPE_ASCII = 2,
  IETIFFTYPE_SHORT = 3,
  IETIFFTYPE_LONG = 4,
  IETIFFTYPE_RATIONAL = 5,
  IETIFFTYPE_SBYTE = 6,
  IETIFFTYPE_UNDEFINED = 7,
  IETIFFTYPE_SSHORT = 8,
  IETIFFTYPE_SLONG = 9,
  IETIFFTYPE_SRATIONAL = 10,
  IETIFFTYPE_FLOAT = 11,
  IETIFFTYPE_DOUBLE = 12,
  IETIFFTYPE_IFD = 13,  // a LONG that holds a directory offset
};

// Bytes per value of a field type: the twelve TIFF 6.0 types and IFD (4);
// 0 for any other type.
int32_t IETIFFTypeSize(int32_t Type);

// ---------------------------------------------------------------------------
// Maker notes

// How a camera lays out its maker note.
struct TIEEXIFMakerNoteDeviceInfo {
  std::string Signature;   // the bytes the maker note starts with
  // 0: data offsets count from the start of the enclosing TIFF; 1: from a base
  // inside the maker note.
  uint8_t OffsetMode = 0;
  // 0: none; 1: an 8-byte TIFF header follows the signature; 2: a 32-bit
  // little-endian offset of the directory follows the signature.
  uint8_t HeaderKind = 0;
  uint8_t Header[8] = {};  // header kind 1: byte order, 42, directory offset
  // 0: as the enclosing file; 1: from the header; 2: little-endian;
  // 3: big-endian.
  uint8_t ByteOrderMode = 0;
};

// One directory entry of the normalised maker note: Value holds the data
// (little-endian) when they fit 4 bytes, else their position in the handler's
// stream.
struct TIETagEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint32_t Value = 0;
};

class TIETagsHandler : public TObject {
 public:
  TIETagsHandler();
  ~TIETagsHandler() override;
  TIETagsHandler(const TIETagsHandler&) = delete;
  TIETagsHandler& operator=(const TIETagsHandler&) = delete;

  // Forgets the raw copy and the entries; the device record becomes the
  // default one.
  void Clear();
  // Becomes a copy of Source (nothing when Source is null).
  void Assign(const TIETagsHandler* Source);
  // Reads a maker note of Size bytes at the stream's position; LittleEndian is
  // the enclosing file's byte order.  Data offsets of device offset mode 0 are
  // taken as stream positions (the enclosing TIFF starts at position 0).  A
  // directory that does not fit the maker note, or has more than 256 entries,
  // loads nothing; an entry whose data lie outside the maker note gets count
  // and value 0.
  void LoadFromStream(TStream* Stream, int32_t Size, bool LittleEndian);
  // Writes the maker note at the stream's position in the device's layout and
  // answers its size; answers 0 (position put back, bytes written stay) when it
  // would be 65001 bytes or more.  Writes nothing and answers 0 when the
  // handler holds no directory.
  int32_t SaveToStream(TStream* Stream) const;
  // Rebuilds the entry table from the handler's stream (after a reader wrote a
  // little-endian directory into GetData(): a 16-bit count, 12-byte entries,
  // data behind them, offsets counted from the stream's start).  Entries that
  // do not fit the stream are left out.
  void LoadEntryTable();

  // The normalised directory: entry count, entries, then their data.
  TMemoryStream* GetData() const { return FData.get(); }
  int32_t GetEntriesCount() const { return static_cast<int32_t>(FEntries.size()); }
  // Entry I of the table (EListError outside it).
  const TIETagEntry& GetEntry(int32_t I) const;
  // The data bytes of entry I (its value field when they fit 4 bytes) and
  // their number; null when they are not in the stream.
  const uint8_t* GetEntryData(int32_t I, int64_t& Size) const;
  const TIEEXIFMakerNoteDeviceInfo& GetDeviceInfo() const { return FDevice; }
  // The maker note as it was read.
  const uint8_t* GetRawData() const { return FRaw.data(); }
  int32_t GetRawSize() const { return static_cast<int32_t>(FRaw.size()); }

 private:
  std::vector<uint8_t> FRaw;
  TIEEXIFMakerNoteDeviceInfo FDevice;
  std::unique_ptr<TMemoryStream> FData;
  std::vector<TIETagEntry> FEntries;
};

// ---------------------------------------------------------------------------
// Whole TIFF files

struct TIETIFFEntry;
// The entries of one directory.
using TIETIFFEntryList = std::vector<TIETIFFEntry>;

// One directory entry with everything it refers to.  Tag, type and count are
// kept as numbers; the value field and every data block stay in the file's
// byte order.  No file offset is kept: the writer lays the data out again.
struct TIETIFFEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint8_t Value[4] = {};      // the data when they fit 4 bytes
  std::vector<uint8_t> Data;  // the data when they exceed 4 bytes
  // Sub-directory tags (EXIF 34665, GPS 34853, Interoperability 40965): the
  // entries of the directory the value points at.
  std::unique_ptr<TIETIFFEntryList> Child;
  // Image-data tags (strip, tile and JPEG interchange offsets, the HD Photo
  // image planes): one block per offset, sized by the byte-count partner.
  std::vector<std::vector<uint8_t>> Blocks;

  TIETIFFEntry() = default;
  TIETIFFEntry(TIETIFFEntry&&) noexcept = default;
  TIETIFFEntry& operator=(TIETIFFEntry&&) noexcept = default;
  // Bytes of the entry's data: count x bytes per value.
  int64_t DataSize() const;
  // The data bytes (the value field or the data block).
  const uint8_t* DataPtr() const;
};

// Magic numbers of the header.
enum : uint16_t {
  IETIFF_MAGIC = 42,
  IEHDPHOTO_MAGIC = 444,
};

class TIETIFFHandler : public TObject {
 public:
  TIETIFFHandler();
  // Reads the file (opened for reading, writers excluded) when it exists.
  explicit TIETIFFHandler(const std::string& FileName);
  // Reads from the stream's position.
  explicit TIETIFFHandler(TStream* Stream);
  static std::unique_ptr<TIETIFFHandler> CreateFromStream(TStream* Stream);
  ~TIETIFFHandler() override;
  TIETIFFHandler(const TIETIFFHandler&) = delete;
  TIETIFFHandler& operator=(const TIETIFFHandler&) = delete;

  // Clears, reads the header at the stream's position, then the chain of
  // pages.  Offsets in the file are stream positions (as WriteStream writes
  // them).  False when the header is missing or its byte order is neither "II"
  // nor "MM"; damaged directories keep what was read before the damage.
  bool ReadStream(TStream* Stream);
  void Clear();
  // Removes a page (nothing for an index outside the list).
  void DeletePage(int32_t Page);

  int32_t GetPagesCount() const { return static_cast<int32_t>(FPages.size()); }
  // The entries of a page; null outside the list.
  TIETIFFEntryList* GetPage(int32_t Page) const;
  bool GetBigEndian() const { return FBigEndian; }
  void SetBigEndian(bool Value) { FBigEndian = Value; }
  uint16_t GetMagic() const { return FMagic; }

  // Index of the entry with that tag in the page; -1 when the page or the tag
  // is missing.
  int32_t FindTag(int32_t Page, uint16_t Tag) const;
  // Index of the entry with that tag in the list; -1 when none (or no list).
  static int32_t FindEntry(const TIETIFFEntryList* List, uint16_t Tag);
  // Element K of the tag's value: BYTE, ASCII, UNDEFINED unsigned; SBYTE
  // signed; SHORT, SSHORT 16-bit; LONG, SLONG, IFD 32-bit; 0 for other types,
  // a missing tag or K outside the count.
  int32_t GetTagValue(const TIETIFFEntryList* List, uint16_t Tag, int32_t K) const;
  // The same for an entry.
  int32_t GetEntryValue(const TIETIFFEntry& Entry, int32_t K) const;

  // Deletes entry Index of the page / list with its data, sub-directory and
  // image data (each entry owns them; FreeImageData is kept for callers that
  // name it).  Nothing for an index outside the list.
  void DeleteTag(int32_t Page, int32_t Index);
  void DeleteEntry(TIETIFFEntryList* List, int32_t Index, bool FreeImageData = true);

  // Replaces the tag (deleting an old one) by a one-value entry appended to the
  // list, in the handler's byte order: BYTE, SBYTE, SHORT, SSHORT, LONG, SLONG
  // take the value truncated to an integer; ASCII the text with its zero
  // (count = length + 1); RATIONAL and SRATIONAL Trunc(Value x 10000) / 10000;
  // FLOAT and DOUBLE the real number.  Numbers given for ASCII are written as
  // text; text given for a number is read as one ("." decimals).
  void SetTagValue(TIETIFFEntryList* List, uint16_t Tag, double Value, uint16_t Type);
  void SetTagValue(TIETIFFEntryList* List, uint16_t Tag, const std::string& Value, uint16_t Type);

  // Copies entry SourceIndex of Source's page SourcePage into page TargetPage
  // of this handler, replacing an entry with the same tag; nothing when either
  // page or the index is out of range, or the byte orders differ.
  void CopyTag(int32_t SourcePage, int32_t SourceIndex, int32_t TargetPage, const TIETIFFHandler* Source);

  // Writes the header and all pages (Page outside 0 .. count - 1) or only page
  // Page at the stream's position; offsets are stream positions.  Directories
  // are sorted by tag and start at even positions; data over 4 bytes start at
  // even positions.
  void WriteStream(TStream* Stream, int32_t Page = -1);
  // Creates the file and writes it.
  void WriteFile(const std::string& FileName, int32_t Page = -1);

 private:
  struct TReadState;
  bool ReadIfd(TStream* Stream, TReadState& State, int64_t Offset, TIETIFFEntryList& List, int64_t& Next);
  void ReadImageData(TStream* Stream, TReadState& State, TIETIFFEntryList& List);
  int64_t WriteIfd(TStream* Stream, TIETIFFEntryList& List);
  void PutValue(TIETIFFEntry& Entry, double Number, const std::string& Text, bool IsText);

  bool FBigEndian = false;
  uint16_t FMagic = IETIFF_MAGIC;
  std::vector<std::unique_ptr<TIETIFFEntryList>> FPages;
};
