// Maker-note directories and the TIFF file handler: layouts of the known
// cameras, whole files from libtiff's tools and ImageMagick read and written
// back, edits, and damaged input.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "foundations/ie_streams.h"
#include "foundations/tag_directory.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

using testsupport::HaveTool;
using testsupport::ReadFileBytes;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& B, size_t At, uint32_t V, int N, bool Big) {
  if (B.size() < At + N) B.resize(At + N);
  for (int i = 0; i < N; ++i) B[At + (Big ? N - 1 - i : i)] = uint8_t(V >> (8 * i));
}

uint32_t Get(const Bytes& B, size_t At, int N, bool Big) {
  uint32_t V = 0;
  for (int i = 0; i < N; ++i) V |= uint32_t(B.at(At + (Big ? N - 1 - i : i))) << (8 * i);
  return V;
}

Bytes Values(std::initializer_list<uint32_t> L, int Size, bool Big) {
  Bytes B;
  for (uint32_t V : L) Put(B, B.size(), V, Size, Big);
  return B;
}

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end() + 1); }

// One directory entry to build: Data in file order; Value is used when Data is
// empty (an offset or an inline number).
struct Ent {
  uint16_t Tag, Type;
  uint32_t Count;
  Bytes Data;
  uint32_t Value = 0;
};

// Lays out TIFF-style files and maker notes by hand.
struct Builder {
  bool Big;
  Bytes F;
  explicit Builder(bool ABig, bool Header = true) : Big(ABig) {
    if (Header) {
      F = {uint8_t(Big ? 'M' : 'I'), uint8_t(Big ? 'M' : 'I')};
      Put(F, 2, 42, 2, Big);
      Put(F, 4, 0, 4, Big);
    }
  }
  size_t Append(const Bytes& D) {
    if (F.size() & 1) F.push_back(0);
    const size_t At = F.size();
    F.insert(F.end(), D.begin(), D.end());
    return At;
  }
  // Writes the data blocks, then the directory; answers the directory's offset.
  size_t Ifd(const std::vector<Ent>& Es, uint32_t Next = 0) {
    std::vector<uint32_t> Vals;
    for (const Ent& E : Es) {
      if (E.Data.size() > 4)
        Vals.push_back(uint32_t(Append(E.Data)));
      else if (!E.Data.empty()) {
        Bytes V = E.Data;
        V.resize(4);
        Vals.push_back(Get(V, 0, 4, Big));
      } else
        Vals.push_back(E.Value);
    }
    if (F.size() & 1) F.push_back(0);
    const size_t At = F.size();
    Put(F, At, uint32_t(Es.size()), 2, Big);
    for (size_t i = 0; i < Es.size(); ++i) {
      const size_t P = At + 2 + 12 * i;
      Put(F, P, Es[i].Tag, 2, Big);
      Put(F, P + 2, Es[i].Type, 2, Big);
      Put(F, P + 4, Es[i].Count, 4, Big);
      Put(F, P + 8, Vals[i], 4, Big);
    }
    Put(F, At + 2 + 12 * Es.size(), Next, 4, Big);
    return At;
  }
  void First(uint32_t Off) { Put(F, 4, Off, 4, Big); }
  void Next(size_t IfdAt, uint32_t Off) { Put(F, IfdAt + 2 + 12 * Get(F, IfdAt, 2, Big), Off, 4, Big); }
};

// A stream over a copy of Data.
std::unique_ptr<TMemoryStream> StreamOf(const Bytes& Data) {
  auto S = std::make_unique<TMemoryStream>();
  if (!Data.empty()) S->WriteBuffer(Data.data(), int64_t(Data.size()));
  S->SetPosition(0);
  return S;
}

Bytes BytesOf(TMemoryStream& S) {
  const auto* P = static_cast<const uint8_t*>(S.GetMemory());
  return Bytes(P, P + S.GetSize());
}

Bytes Written(TIETIFFHandler& H, int32_t Page = -1) {
  TMemoryStream S;
  H.WriteStream(&S, Page);
  return BytesOf(S);
}

// Directories of a file as an independent walker sees them: per page, per
// entry (tag, type, count, value field), with the positions of data blocks.
struct WalkEntry {
  uint32_t Tag, Type, Count, Value;
};
struct Walked {
  bool Big = false;
  std::vector<uint32_t> IfdOffsets;
  std::vector<std::vector<WalkEntry>> Pages;
};
Walked Walk(const Bytes& F) {
  Walked W;
  W.Big = F.at(0) == 'M';
  uint32_t Off = Get(F, 4, 4, W.Big);
  while (Off != 0 && W.Pages.size() < 100) {
    W.IfdOffsets.push_back(Off);
    std::vector<WalkEntry> Es;
    const uint32_t N = Get(F, Off, 2, W.Big);
    for (uint32_t i = 0; i < N; ++i) {
      const size_t P = Off + 2 + 12 * i;
      Es.push_back({Get(F, P, 2, W.Big), Get(F, P + 2, 2, W.Big), Get(F, P + 4, 4, W.Big), Get(F, P + 8, 4, W.Big)});
    }
    W.Pages.push_back(Es);
    Off = Get(F, Off + 2 + 12 * N, 4, W.Big);
  }
  return W;
}

int64_t SizeOfType(uint32_t Type) { return IETIFFTypeSize(int32_t(Type)); }

// ----------------------------------------------------------------------------
// Maker notes

struct NoteLayout {
  const char* Name;
  std::string Signature;
  int HeaderKind;  // as the device table
  bool OffsetsFromNote;  // offset mode 1
  bool Big;
};

// A maker note of four entries (inline bytes, inline shorts, rationals and a
// text stored elsewhere) in the given layout, to be placed at stream position
// At: the signature, the header, the directory, then the data.
Bytes MakeNote(const NoteLayout& L, int64_t At, uint16_t Count = 4) {
  Builder B(L.Big, false);
  B.F.assign(L.Signature.begin(), L.Signature.end());
  int64_t Base = 0;
  if (L.HeaderKind == 1) {
    Base = int64_t(B.F.size());
    B.F.push_back(L.Big ? 'M' : 'I');
    B.F.push_back(L.Big ? 'M' : 'I');
    Put(B.F, B.F.size(), 42, 2, L.Big);
    Put(B.F, B.F.size(), 8, 4, L.Big);
  } else if (L.HeaderKind == 2) {
    Put(B.F, B.F.size(), uint32_t(B.F.size() + 4), 4, false);
  }
  const int64_t OffsetBase = L.OffsetsFromNote ? Base : -At;
  const std::vector<Ent> Es = {
      {1, IETIFFTYPE_UNDEFINED, 4, Bytes{'0', '2', '1', '0'}},
      {2, IETIFFTYPE_SHORT, 2, Values({100, 200}, 2, L.Big)},
      {0x84, IETIFFTYPE_RATIONAL, 2, Values({18, 10, 55, 10}, 4, L.Big)},
      {3, IETIFFTYPE_ASCII, 8, Text("COLOR  ")},
  };
  const size_t Dir = B.F.size();
  B.F.resize(Dir + 2 + 12 * Es.size() + 4);
  Put(B.F, Dir, Count, 2, L.Big);
  for (size_t i = 0; i < Es.size(); ++i) {
    const size_t P = Dir + 2 + 12 * i;
    Put(B.F, P, Es[i].Tag, 2, L.Big);
    Put(B.F, P + 2, Es[i].Type, 2, L.Big);
    Put(B.F, P + 4, Es[i].Count, 4, L.Big);
    if (Es[i].Data.size() > 4)
      Put(B.F, P + 8, uint32_t(int64_t(B.Append(Es[i].Data)) - OffsetBase), 4, L.Big);
    else
      std::copy(Es[i].Data.begin(), Es[i].Data.end(), B.F.begin() + int64_t(P + 8));
  }
  return B.F;
}

// The entries of a handler with their data, as comparable text.
std::string Describe(const TIETagsHandler& H) {
  std::ostringstream O;
  for (int32_t i = 0; i < H.GetEntriesCount(); ++i) {
    const TIETagEntry& E = H.GetEntry(i);
    int64_t Size = 0;
    const uint8_t* D = H.GetEntryData(i, Size);
    O << E.Tag << ":" << E.Type << ":" << E.Count << "[";
    for (int64_t k = 0; D && k < Size; ++k) O << int(D[k]) << " ";
    O << "]";
  }
  return O.str();
}

const std::string kExpectedNote =
    "1:7:4[48 50 49 48 ]2:3:2[100 0 200 0 ]132:5:2[18 0 0 0 10 0 0 0 55 0 0 0 10 0 0 0 ]"
    "3:2:8[67 79 76 79 82 32 32 0 ]";

const NoteLayout kLayouts[] = {
    {"Nikon type 3", std::string("Nikon\0\x02\x10\0\0", 10), 1, true, true},
    {"Nikon type 3, II header", std::string("Nikon\0\x02\x10\0\0", 10), 1, true, false},
    {"Fujifilm", "FUJIFILM", 2, true, false},
    {"Casio QVC", std::string("QVC\0\0\0", 6), 0, false, true},
    {"Sony", std::string("SONY DSC \0\0\0", 12), 0, false, false},
    {"Panasonic", std::string("Panasonic\0\0\0", 12), 0, false, false},
    {"no signature", "", 0, false, false},
};

}  // namespace

TEST(MakerNote, EveryKnownLayoutLoadsNormalisedAndSavesBackTheSame) {
  for (const NoteLayout& L : kLayouts) {
    SCOPED_TRACE(L.Name);
    const int64_t At = 100;
    const Bytes Note = MakeNote(L, At);
    Bytes File(At, 0xAA);
    File.insert(File.end(), Note.begin(), Note.end());
    auto S = StreamOf(File);
    S->SetPosition(At);
    TIETagsHandler H;
    // The enclosing file's order only matters for devices without their own.
    H.LoadFromStream(S.get(), int32_t(Note.size()), !L.Big);
    EXPECT_EQ(Describe(H), kExpectedNote);
    EXPECT_EQ(H.GetDeviceInfo().Signature, L.Signature);
    EXPECT_EQ(H.GetRawSize(), int32_t(Note.size()));

    // Written at another position and read there again: the same entries.
    TMemoryStream Out;
    const int64_t At2 = 37;
    Out.SetSize(At2);
    Out.SetPosition(At2);
    const int32_t Size = H.SaveToStream(&Out);
    ASSERT_GT(Size, 0);
    EXPECT_EQ(Out.GetSize(), At2 + Size);
    const Bytes Saved = BytesOf(Out);
    EXPECT_EQ(std::string(Saved.begin() + At2, Saved.begin() + At2 + int64_t(L.Signature.size())), L.Signature);
    if (L.HeaderKind == 1) {
      const size_t P = At2 + L.Signature.size();
      EXPECT_EQ(Saved[P], L.Big ? 'M' : 'I');
      EXPECT_EQ(Get(Saved, P + 4, 4, L.Big), 8u);  // the directory right after the header
      // Data offsets count from the end of the signature.
      const size_t Dir = P + 8;
      const uint32_t TextAt = Get(Saved, Dir + 2 + 12 * 3 + 8, 4, L.Big);
      EXPECT_EQ(std::string(Saved.begin() + int64_t(P + TextAt), Saved.begin() + int64_t(P + TextAt + 5)), "COLOR");
    }
    Out.SetPosition(At2);
    TIETagsHandler Back;
    Back.LoadFromStream(&Out, Size, true);
    EXPECT_EQ(Describe(Back), kExpectedNote);

    TIETagsHandler Copy;
    Copy.Assign(&Back);
    EXPECT_EQ(Describe(Copy), kExpectedNote);
    EXPECT_EQ(Copy.GetDeviceInfo().Signature, L.Signature);
  }
}

TEST(MakerNote, DamagedDirectoriesLoadNothingAndBadOffsetsZeroTheirEntry) {
  const NoteLayout Sony = kLayouts[4];
  {  // 300 entries claimed
    const Bytes Note = MakeNote(Sony, 0, 300);
    auto S = StreamOf(Note);
    TIETagsHandler H;
    H.LoadFromStream(S.get(), int32_t(Note.size()), true);
    EXPECT_EQ(H.GetEntriesCount(), 0);
    EXPECT_EQ(H.GetRawSize(), 0);
  }
  {  // the directory runs past the end of the note
    Bytes Note = MakeNote(Sony, 0);
    Note.resize(12 + 2 + 12 * 2);
    auto S = StreamOf(Note);
    TIETagsHandler H;
    H.LoadFromStream(S.get(), int32_t(Note.size()), true);
    EXPECT_EQ(H.GetEntriesCount(), 0);
  }
  {  // text data pointing beyond the note: only that entry is emptied
    Bytes Note = MakeNote(Sony, 0);
    Put(Note, 12 + 2 + 12 * 3 + 8, 5000, 4, false);
    auto S = StreamOf(Note);
    TIETagsHandler H;
    H.LoadFromStream(S.get(), int32_t(Note.size()), true);
    ASSERT_EQ(H.GetEntriesCount(), 4);
    EXPECT_EQ(H.GetEntry(3).Count, 0u);
    EXPECT_EQ(H.GetEntry(3).Value, 0u);
    EXPECT_EQ(H.GetEntry(2).Count, 2u);
  }
  {  // the caller's size exceeds the stream: only what is there is read
    const Bytes Note = MakeNote(Sony, 0);
    auto S = StreamOf(Note);
    TIETagsHandler H;
    H.LoadFromStream(S.get(), 1 << 30, true);
    EXPECT_EQ(H.GetRawSize(), int32_t(Note.size()));
    EXPECT_EQ(Describe(H), kExpectedNote);
    H.LoadFromStream(S.get(), 1, true);
    EXPECT_EQ(H.GetEntriesCount(), 0);
  }
}

TEST(MakerNote, TooLargeIsNotWrittenAndARawReaderDirectoryIsFinished) {
  // A directory written into the handler's stream the way the camera raw
  // reader does: count, entries, data behind them.
  TIETagsHandler H;
  Bytes D(2 + 12 * 2, 0);
  Put(D, 0, 2, 2, false);
  Put(D, 2, 0x10, 2, false), Put(D, 4, IETIFFTYPE_SHORT, 2, false), Put(D, 6, 1, 4, false), Put(D, 10, 7, 4, false);
  Put(D, 14, 0x11, 2, false), Put(D, 16, IETIFFTYPE_SHORT, 2, false), Put(D, 18, 3, 4, false);
  Put(D, 22, uint32_t(D.size()), 4, false);
  for (uint32_t V : {1u, 2u, 3u}) Put(D, D.size(), V, 2, false);
  H.GetData()->WriteBuffer(D.data(), int64_t(D.size()));
  H.LoadEntryTable();
  ASSERT_EQ(H.GetEntriesCount(), 2);
  EXPECT_EQ(Describe(H), "16:3:1[7 0 ]17:3:3[1 0 2 0 3 0 ]");
  TMemoryStream Out;
  EXPECT_EQ(H.SaveToStream(&Out), 2 + 24 + 4 + 6);

  // 70000 bytes of data cannot go into the note.
  TIETagsHandler Big;
  Bytes E(2 + 12, 0);
  Put(E, 0, 1, 2, false);
  Put(E, 2, 0x20, 2, false), Put(E, 4, IETIFFTYPE_UNDEFINED, 2, false), Put(E, 6, 70000, 4, false);
  Put(E, 10, 14, 4, false);
  E.resize(14 + 70000, 0x55);
  Big.GetData()->WriteBuffer(E.data(), int64_t(E.size()));
  Big.LoadEntryTable();
  TMemoryStream Out2;
  Out2.WriteBuffer("abc", 3);
  EXPECT_EQ(Big.SaveToStream(&Out2), 0);
  EXPECT_EQ(Out2.GetPosition(), 3);
  EXPECT_EQ(Out2.GetSize(), 3);

  TIETagsHandler Empty;
  EXPECT_EQ(Empty.SaveToStream(&Out2), 0);
  EXPECT_THROW(Empty.GetEntry(0), EListError);
}

TEST(MakerNote, TruncatedAndCorruptedNotesLoadSafely) {
  std::mt19937 Rng(11);
  for (const NoteLayout& L : kLayouts) {
    const Bytes Note = MakeNote(L, 0);
    for (size_t n = 0; n <= Note.size(); ++n) {
      auto S = StreamOf(Bytes(Note.begin(), Note.begin() + int64_t(n)));
      TIETagsHandler H;
      H.LoadFromStream(S.get(), int32_t(Note.size()), true);
      TMemoryStream Out;
      H.SaveToStream(&Out);
    }
    for (int Round = 0; Round < 300; ++Round) {
      Bytes B = Note;
      for (int k = 0; k < 3; ++k) B[Rng() % B.size()] = uint8_t(Rng());
      auto S = StreamOf(B);
      TIETagsHandler H;
      H.LoadFromStream(S.get(), int32_t(B.size()), Rng() & 1);
      for (int32_t i = 0; i < H.GetEntriesCount(); ++i) {
        int64_t Size;
        const uint8_t* P = H.GetEntryData(i, Size);
        if (P && Size > 0) {
          EXPECT_LE(Size, int64_t(B.size()));
        }
      }
      TMemoryStream Out;
      H.SaveToStream(&Out);
    }
  }
}

// ----------------------------------------------------------------------------
// TIFF handler on hand-made files

namespace {

// Two pages: the first with text, rationals, two strips, an EXIF directory
// holding an Interoperability directory, and a GPS directory; the second plain.
Bytes TwoPageFile(bool Big) {
  Builder B(Big);
  const size_t Strip0 = B.Append(Bytes(16, 0x11));
  const size_t Strip1 = B.Append(Bytes{0x22, 0x23, 0x24});
  const size_t Strip2 = B.Append(Bytes(8, 0x33));
  const size_t Interop = B.Ifd({{1, IETIFFTYPE_ASCII, 4, Text("R98")}});
  const size_t Exif = B.Ifd({{36867, IETIFFTYPE_ASCII, 20, Text("2024:01:02 03:04:05")},
                             {33434, IETIFFTYPE_RATIONAL, 1, Values({1, 100}, 4, Big)},
                             {40965, IETIFFTYPE_LONG, 1, {}, uint32_t(Interop)}});
  const size_t Gps = B.Ifd({{0, IETIFFTYPE_BYTE, 4, Bytes{2, 2, 0, 0}}, {1, IETIFFTYPE_ASCII, 2, Text("N")}});
  const size_t Second = B.Ifd({{256, IETIFFTYPE_SHORT, 1, Values({8}, 2, Big)},
                               {257, IETIFFTYPE_SHORT, 1, Values({8}, 2, Big)},
                               {259, IETIFFTYPE_SHORT, 1, Values({1}, 2, Big)},
                               {273, IETIFFTYPE_LONG, 1, {}, uint32_t(Strip2)},
                               {279, IETIFFTYPE_SHORT, 1, Values({8}, 2, Big)}});
  // Written out of tag order, as some writers do.
  const size_t First = B.Ifd({{271, IETIFFTYPE_ASCII, 9, Text("FolioCam")},
                              {256, IETIFFTYPE_LONG, 1, Values({16}, 4, Big)},
                              {257, IETIFFTYPE_SHORT, 1, Values({2}, 2, Big)},
                              {273, IETIFFTYPE_SHORT, 2, Values({uint32_t(Strip0), uint32_t(Strip1)}, 2, Big)},
                              {279, IETIFFTYPE_LONG, 2, Values({16, 3}, 4, Big)},
                              {282, IETIFFTYPE_RATIONAL, 1, Values({300, 1}, 4, Big)},
                              {34665, IETIFFTYPE_LONG, 1, {}, uint32_t(Exif)},
                              {34853, IETIFFTYPE_LONG, 1, {}, uint32_t(Gps)}},
                             uint32_t(Second));
  B.First(uint32_t(First));
  return B.F;
}

std::vector<uint16_t> TagsOf(const TIETIFFEntryList& L) {
  std::vector<uint16_t> T;
  for (const TIETIFFEntry& E : L) T.push_back(E.Tag);
  return T;
}

void ExpectTwoPageContent(TIETIFFHandler& H) {
  ASSERT_EQ(H.GetPagesCount(), 2);
  TIETIFFEntryList* P = H.GetPage(0);
  EXPECT_EQ(TagsOf(*P), (std::vector<uint16_t>{256, 257, 271, 273, 279, 282, 34665, 34853}));
  EXPECT_EQ(H.GetTagValue(P, 256, 0), 16);
  EXPECT_EQ(H.GetTagValue(P, 279, 1), 3);
  EXPECT_EQ(H.GetTagValue(P, 279, 2), 0);  // past the count
  EXPECT_EQ(H.GetTagValue(P, 999, 0), 0);
  const TIETIFFEntry& Strips = (*P)[size_t(H.FindTag(0, 273))];
  ASSERT_EQ(Strips.Blocks.size(), 2u);
  EXPECT_EQ(Strips.Blocks[0], Bytes(16, 0x11));
  EXPECT_EQ(Strips.Blocks[1], (Bytes{0x22, 0x23, 0x24}));
  EXPECT_EQ(Strips.Type, IETIFFTYPE_LONG);
  const TIETIFFEntry& Make = (*P)[size_t(H.FindTag(0, 271))];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Make.DataPtr())), "FolioCam");
  const TIETIFFEntry& Exif = (*P)[size_t(H.FindTag(0, 34665))];
  ASSERT_NE(Exif.Child, nullptr);
  EXPECT_EQ(TagsOf(*Exif.Child), (std::vector<uint16_t>{33434, 36867, 40965}));
  const TIETIFFEntry& Interop = (*Exif.Child)[2];
  ASSERT_NE(Interop.Child, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>((*Interop.Child)[0].DataPtr())), "R98");
  const TIETIFFEntry& Gps = (*P)[size_t(H.FindTag(0, 34853))];
  ASSERT_NE(Gps.Child, nullptr);
  EXPECT_EQ(H.GetTagValue(Gps.Child.get(), 0, 1), 2);
  EXPECT_EQ((*H.GetPage(1))[size_t(H.FindTag(1, 273))].Blocks[0], Bytes(8, 0x33));
}

}  // namespace

TEST(TIFFHandler, ReadsAndWritesBackBothByteOrders) {
  for (bool Big : {false, true}) {
    SCOPED_TRACE(Big ? "MM" : "II");
    const Bytes File = TwoPageFile(Big);
    auto S = StreamOf(File);
    TIETIFFHandler H(S.get());
    EXPECT_EQ(H.GetBigEndian(), Big);
    EXPECT_EQ(H.GetMagic(), IETIFF_MAGIC);
    ExpectTwoPageContent(H);

    const Bytes Out = Written(H);
    EXPECT_EQ(Out[0], Big ? 'M' : 'I');
    const Walked W = Walk(Out);
    ASSERT_EQ(W.Pages.size(), 2u);
    EXPECT_EQ(W.IfdOffsets[0], 8u);
    for (size_t p = 0; p < W.Pages.size(); ++p) {
      EXPECT_EQ(W.IfdOffsets[p] % 2, 0u);
      uint32_t Prev = 0;
      for (const WalkEntry& E : W.Pages[p]) {
        EXPECT_GT(E.Tag, Prev);  // sorted
        Prev = E.Tag;
        if (int64_t(E.Count) * SizeOfType(E.Type) > 4 || E.Tag == 34665 || E.Tag == 34853) {
          EXPECT_EQ(E.Value % 2, 0u) << E.Tag;
        }
      }
    }
    // The strips moved: their new offsets point at the same bytes.
    const WalkEntry* Strips = nullptr;
    for (const WalkEntry& E : W.Pages[0])
      if (E.Tag == 273) Strips = &E;
    ASSERT_NE(Strips, nullptr);
    EXPECT_EQ(Strips->Type, IETIFFTYPE_LONG);
    EXPECT_EQ(Out[Get(Out, Strips->Value, 4, Big)], 0x11);
    EXPECT_EQ(Out[Get(Out, Strips->Value + 4, 4, Big)], 0x22);

    auto S2 = StreamOf(Out);
    TIETIFFHandler Back(S2.get());
    ExpectTwoPageContent(Back);
    EXPECT_EQ(Written(Back), Out);

    // One page alone, and a handler written after other bytes.
    const Walked One = Walk(Written(H, 1));
    ASSERT_EQ(One.Pages.size(), 1u);
    EXPECT_EQ(One.Pages[0].size(), 5u);
    TMemoryStream Shifted;
    Shifted.WriteBuffer("0123456789", 10);
    H.WriteStream(&Shifted, -1);
    Shifted.SetPosition(10);
    TIETIFFHandler FromShifted(&Shifted);
    ExpectTwoPageContent(FromShifted);
  }
}

TEST(TIFFHandler, HdPhotoImagePlanesAreImageDataOnlyInHdPhotoFiles) {
  for (uint16_t Magic : {uint16_t(IEHDPHOTO_MAGIC), uint16_t(IETIFF_MAGIC)}) {
    Builder B(false);
    Put(B.F, 2, Magic, 2, false);
    const size_t Image = B.Append(Bytes{1, 2, 3, 4, 5, 6});
    const size_t Alpha = B.Append(Bytes{7, 8, 9});
    const size_t Ifd = B.Ifd({{48320, IETIFFTYPE_LONG, 1, {}, uint32_t(Image)},
                              {48321, IETIFFTYPE_LONG, 1, {}, 6},
                              {48322, IETIFFTYPE_LONG, 1, {}, uint32_t(Alpha)},
                              {48323, IETIFFTYPE_LONG, 1, {}, 3}});
    B.First(uint32_t(Ifd));
    auto S = StreamOf(B.F);
    TIETIFFHandler H(S.get());
    EXPECT_EQ(H.GetMagic(), Magic);
    ASSERT_EQ(H.GetPagesCount(), 1);
    const TIETIFFEntry& E = (*H.GetPage(0))[0];
    const Bytes Out = Written(H);
    const Walked W = Walk(Out);
    EXPECT_EQ(Get(Out, 2, 2, false), Magic);
    if (Magic == IEHDPHOTO_MAGIC) {
      ASSERT_EQ(E.Blocks.size(), 1u);
      EXPECT_EQ(E.Blocks[0], (Bytes{1, 2, 3, 4, 5, 6}));
      // The planes moved with their offsets.
      EXPECT_EQ(Out.at(W.Pages.at(0)[0].Value), 1);
      EXPECT_EQ(Out.at(W.Pages.at(0)[2].Value), 7);
    } else {
      EXPECT_TRUE(E.Blocks.empty());  // plain numbers in a TIFF file
      EXPECT_EQ(W.Pages.at(0)[0].Value, Image);
    }
  }
}

TEST(TIFFHandler, SetTagValueWritesEveryTypeInTheFilesByteOrder) {
  struct Case {
    uint16_t Type;
    double Number;
    const char* Str;  // given as text when set
    Bytes LE;         // the value's bytes in a little-endian file
  };
  const Case Cases[] = {
      {IETIFFTYPE_BYTE, 200, nullptr, {200}},
      {IETIFFTYPE_SBYTE, -5, nullptr, {0xFB}},
      {IETIFFTYPE_SHORT, 65535, nullptr, {0xFF, 0xFF}},
      {IETIFFTYPE_SSHORT, -2.9, nullptr, {0xFE, 0xFF}},
      {IETIFFTYPE_LONG, 70000, nullptr, {0x70, 0x11, 0x01, 0x00}},
      {IETIFFTYPE_SLONG, -1, nullptr, {0xFF, 0xFF, 0xFF, 0xFF}},
      {IETIFFTYPE_LONG, 0, "1234", {0xD2, 0x04, 0, 0}},
      {IETIFFTYPE_ASCII, 0, "abc", {'a', 'b', 'c', 0}},
      {IETIFFTYPE_ASCII, 0, "Folivra", {'F', 'o', 'l', 'i', 'v', 'r', 'a', 0}},
      {IETIFFTYPE_ASCII, 2.5, nullptr, {'2', '.', '5', 0}},
      {IETIFFTYPE_RATIONAL, 0.12345, nullptr, {0xD2, 0x04, 0, 0, 0x10, 0x27, 0, 0}},
      {IETIFFTYPE_SRATIONAL, -1.5, nullptr, {0x68, 0xC5, 0xFF, 0xFF, 0x10, 0x27, 0, 0}},
      {IETIFFTYPE_FLOAT, 1.0, nullptr, {0, 0, 0x80, 0x3F}},
      {IETIFFTYPE_DOUBLE, 2.0, nullptr, {0, 0, 0, 0, 0, 0, 0, 0x40}},
  };
  for (bool Big : {false, true}) {
    auto S = StreamOf(TwoPageFile(Big));
    TIETIFFHandler H(S.get());
    for (const Case& C : Cases) {
      SCOPED_TRACE(std::to_string(C.Type) + (Big ? " MM" : " II"));
      TIETIFFEntryList* P = H.GetPage(1);
      if (C.Str)
        H.SetTagValue(P, 305, std::string(C.Str), C.Type);
      else
        H.SetTagValue(P, 305, C.Number, C.Type);
      ASSERT_EQ(H.FindTag(1, 305), int32_t(P->size()) - 1);  // appended, old one gone
      const TIETIFFEntry& E = P->back();
      EXPECT_EQ(E.Type, C.Type);
      Bytes Expected = C.LE;
      if (Big) {
        const int32_t Unit = C.Type == IETIFFTYPE_RATIONAL || C.Type == IETIFFTYPE_SRATIONAL ? 4 : IETIFFTypeSize(C.Type);
        for (size_t k = 0; k + Unit <= Expected.size(); k += Unit)
          std::reverse(Expected.begin() + int64_t(k), Expected.begin() + int64_t(k + Unit));
      }
      EXPECT_EQ(Bytes(E.DataPtr(), E.DataPtr() + E.DataSize()), Expected);
      // Written and read back, the value stays.
      auto S2 = StreamOf(Written(H));
      TIETIFFHandler Back(S2.get());
      const TIETIFFEntry& B = (*Back.GetPage(1))[size_t(Back.FindTag(1, 305))];
      EXPECT_EQ(Bytes(B.DataPtr(), B.DataPtr() + B.DataSize()), Expected);
    }
    EXPECT_EQ(std::count_if(H.GetPage(1)->begin(), H.GetPage(1)->end(),
                            [](const TIETIFFEntry& E) { return E.Tag == 305; }),
              1);
    H.SetTagValue(H.GetPage(1), 305, 1.0, 99);  // no such type: nothing changes
    EXPECT_EQ(H.GetPage(1)->back().Type, IETIFFTYPE_DOUBLE);
    const size_t Before = H.GetPage(1)->size();
    H.DeleteTag(1, H.FindTag(1, 305));
    H.DeleteTag(1, 99);
    H.DeleteTag(7, 0);
    EXPECT_EQ(H.GetPage(1)->size(), Before - 1);
  }
}

TEST(TIFFHandler, CopyTagDuplicatesDataAndNeedsTheSameByteOrder) {
  auto SL = StreamOf(TwoPageFile(false));
  auto SB = StreamOf(TwoPageFile(true));
  TIETIFFHandler Source(SL.get()), Target, Other(SB.get());
  {
    auto S = StreamOf(TwoPageFile(false));
    Target.ReadStream(S.get());
  }
  Target.DeleteTag(1, Target.FindTag(1, 273));
  // The EXIF directory replaces nothing in page 1 and arrives whole.
  Target.CopyTag(0, Source.FindTag(0, 34665), 1, &Source);
  Target.CopyTag(0, Source.FindTag(0, 273), 1, &Source);
  Target.CopyTag(0, Source.FindTag(0, 271), 1, &Source);
  Target.CopyTag(0, Source.FindTag(0, 271), 1, &Source);  // replaces the copy
  TIETIFFEntryList* P = Target.GetPage(1);
  EXPECT_EQ(std::count_if(P->begin(), P->end(), [](const TIETIFFEntry& E) { return E.Tag == 271; }), 1);
  const TIETIFFEntry& Exif = (*P)[size_t(Target.FindTag(1, 34665))];
  ASSERT_NE(Exif.Child, nullptr);
  EXPECT_NE(Exif.Child.get(), (*Source.GetPage(0))[size_t(Source.FindTag(0, 34665))].Child.get());
  EXPECT_EQ(Exif.Child->size(), 3u);
  EXPECT_EQ((*P)[size_t(Target.FindTag(1, 273))].Blocks.size(), 2u);
  // Source can go; the copies are the target's own.
  Source.Clear();
  const Walked W = Walk(Written(Target));
  EXPECT_EQ(W.Pages.at(1).size(), 7u);  // 256 257 259 271 273 279 34665

  const size_t Count = Other.GetPage(0)->size();
  Other.CopyTag(0, Target.FindTag(0, 282), 0, &Target);  // II into MM: nothing
  Target.CopyTag(0, 0, 5, &Target);
  Target.CopyTag(0, 99, 0, &Target);
  EXPECT_EQ(Other.GetPage(0)->size(), Count);
}

TEST(TIFFHandler, OldStyleJpegPagesGetStripOffsetsAtTheStartOfScan) {
  for (bool WithScan : {true, false}) {
    Builder B(false);
    Bytes Jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0, 4, 1, 2};
    if (WithScan) Jpeg.insert(Jpeg.end(), {0xFF, 0xDA, 0, 2, 9, 9});
    Jpeg.insert(Jpeg.end(), {0xFF, 0xD9});
    const size_t J = B.Append(Jpeg);
    const size_t Tables = B.Append(Bytes(64, 7));
    const size_t Ifd = B.Ifd({{256, IETIFFTYPE_SHORT, 1, Values({8}, 2, false)},
                              {259, IETIFFTYPE_SHORT, 1, Values({6}, 2, false)},
                              {273, IETIFFTYPE_LONG, 1, {}, uint32_t(J + 8)},
                              {279, IETIFFTYPE_LONG, 1, {}, 6},
                              {513, IETIFFTYPE_LONG, 1, {}, uint32_t(J)},
                              {514, IETIFFTYPE_LONG, 1, {}, uint32_t(Jpeg.size())},
                              {519, IETIFFTYPE_LONG, 1, {}, uint32_t(Tables)},
                              {520, IETIFFTYPE_LONG, 1, {}, uint32_t(Tables)},
                              {521, IETIFFTYPE_LONG, 1, {}, uint32_t(Tables)}});
    B.First(uint32_t(Ifd));
    auto S = StreamOf(B.F);
    TIETIFFHandler H(S.get());
    ASSERT_EQ(H.GetPagesCount(), 1);
    EXPECT_EQ(TagsOf(*H.GetPage(0)), (std::vector<uint16_t>{256, 259, 279, 513, 514}));
    const Bytes Out = Written(H);
    const Walked W = Walk(Out);
    std::map<uint32_t, WalkEntry> Tags;
    uint32_t Prev = 0;
    for (const WalkEntry& E : W.Pages.at(0)) {
      EXPECT_GT(E.Tag, Prev);
      Prev = E.Tag;
      Tags[E.Tag] = E;
    }
    ASSERT_TRUE(Tags.count(513));
    EXPECT_EQ(Bytes(Out.begin() + Tags[513].Value, Out.begin() + Tags[513].Value + int64_t(Jpeg.size())), Jpeg);
    if (WithScan) {
      ASSERT_TRUE(Tags.count(273));
      EXPECT_EQ(Tags[273].Type, IETIFFTYPE_LONG);
      EXPECT_EQ(Tags[273].Value, Tags[513].Value + 8);
      EXPECT_EQ(Out[Tags[273].Value + 1], 0xDA);
      EXPECT_EQ(W.Pages[0].size(), 6u);
    } else {
      EXPECT_FALSE(Tags.count(273));
      EXPECT_EQ(W.Pages[0].size(), 5u);
    }
    EXPECT_EQ(TagsOf(*H.GetPage(0)).size(), 5u);  // the made-up entry is not kept
  }
}

TEST(TIFFHandler, LoopingChainsAndDirectoriesStopAtTheFirstRepeat) {
  Builder B(false);
  const size_t Strip = B.Append(Bytes(4, 1));
  // Page A's EXIF directory points at itself through its Interoperability tag.
  const size_t SelfAt = B.F.size() + (B.F.size() & 1);
  const size_t Exif = B.Ifd({{40965, IETIFFTYPE_LONG, 1, {}, uint32_t(SelfAt)},
                             {36867, IETIFFTYPE_ASCII, 4, Text("abc")}});
  ASSERT_EQ(Exif, SelfAt);
  const size_t A = B.Ifd({{256, IETIFFTYPE_SHORT, 1, Values({4}, 2, false)},
                          {273, IETIFFTYPE_LONG, 1, {}, uint32_t(Strip)},
                          {279, IETIFFTYPE_LONG, 1, {}, 4},
                          {34665, IETIFFTYPE_LONG, 1, {}, uint32_t(Exif)}});
  // Page B's GPS tag points at page A, and B's next is A again.
  const size_t Bp = B.Ifd({{256, IETIFFTYPE_SHORT, 1, Values({5}, 2, false)},
                           {34853, IETIFFTYPE_LONG, 1, {}, uint32_t(A)}},
                          uint32_t(A));
  B.Next(A, uint32_t(Bp));
  B.First(uint32_t(A));
  auto S = StreamOf(B.F);
  TIETIFFHandler H(S.get());
  ASSERT_EQ(H.GetPagesCount(), 2);
  const TIETIFFEntry& E = (*H.GetPage(0))[size_t(H.FindTag(0, 34665))];
  ASSERT_NE(E.Child, nullptr);
  EXPECT_EQ(TagsOf(*E.Child), (std::vector<uint16_t>{36867}));  // the loop back is dropped
  EXPECT_EQ(H.FindTag(1, 34853), -1);
  EXPECT_EQ(H.GetTagValue(H.GetPage(1), 256, 0), 5);

  // A directory whose next offset is itself gives one page.
  Builder C(true);
  const size_t Self = C.Ifd({{256, IETIFFTYPE_SHORT, 1, Values({1}, 2, true)}});
  C.Next(Self, uint32_t(Self));
  C.First(uint32_t(Self));
  auto S2 = StreamOf(C.F);
  EXPECT_EQ(TIETIFFHandler(S2.get()).GetPagesCount(), 1);
}

TEST(TIFFHandler, DamagedFilesKeepWhatReadsAndNeverOverreachTheFile) {
  // Counts and sizes that claim more than the file holds.
  Builder B(false);
  const size_t Strip = B.Append(Bytes(10, 9));
  Bytes Offsets;
  for (int i = 0; i < 2000; ++i) Put(Offsets, Offsets.size(), uint32_t(Strip), 4, false);
  Bytes Counts;
  for (int i = 0; i < 2000; ++i) Put(Counts, Counts.size(), 0x7FFFFFFF, 4, false);
  const size_t Ifd = B.Ifd({{256, IETIFFTYPE_SHORT, 1, Values({1}, 2, false)},
                            {270, IETIFFTYPE_DOUBLE, 0xFFFFFFFF, {}, 8},  // 32 GB of data
                            {271, IETIFFTYPE_ASCII, 50, {}, 0xFFFFFFF0},  // offset past the end
                            {272, 77, 3, {}, 0},                           // unknown type
                            {273, IETIFFTYPE_LONG, 2000, Offsets},
                            {279, IETIFFTYPE_LONG, 2000, Counts},
                            {34665, IETIFFTYPE_LONG, 1, {}, 0x7FFFFFF0}});
  B.First(uint32_t(Ifd));
  auto S = StreamOf(B.F);
  TIETIFFHandler H(S.get());
  ASSERT_EQ(H.GetPagesCount(), 1);
  EXPECT_EQ(TagsOf(*H.GetPage(0)), (std::vector<uint16_t>{256, 273, 279}));
  const TIETIFFEntry& Strips = (*H.GetPage(0))[1];
  int64_t Total = 0;
  for (const Bytes& Blk : Strips.Blocks) Total += int64_t(Blk.size());
  EXPECT_LE(Total, 4 * int64_t(B.F.size()) + (1 << 20));
  // Each strip kept what the file had, and its byte count says so.
  EXPECT_EQ(Strips.Blocks[0].size(), B.F.size() - Strip);
  EXPECT_EQ(uint32_t(H.GetTagValue(H.GetPage(0), 279, 0)), B.F.size() - Strip);

  // A directory cut short keeps its whole entries; bad headers read nothing.
  Bytes Cut = TwoPageFile(false);
  const uint32_t First = Get(Cut, 4, 4, false);
  Cut.resize(First + 2 + 12 * 3 + 5);
  auto S2 = StreamOf(Cut);
  TIETIFFHandler H2(S2.get());
  ASSERT_EQ(H2.GetPagesCount(), 1);
  EXPECT_EQ(H2.GetPage(0)->size(), 3u);
  for (const Bytes& Bad : {Bytes{'I', 'I', 42}, Bytes{'X', 'X', 42, 0, 8, 0, 0, 0}, Bytes{}}) {
    auto S3 = StreamOf(Bad);
    TIETIFFHandler H3;
    EXPECT_FALSE(H3.ReadStream(S3.get()));
    EXPECT_EQ(H3.GetPagesCount(), 0);
  }
  EXPECT_FALSE(TIETIFFHandler().ReadStream(nullptr));
}

TEST(TIFFHandler, TruncatedAndCorruptedFilesReadAndRewriteSafely) {
  std::mt19937 Rng(5);
  for (bool Big : {false, true}) {
    const Bytes Good = TwoPageFile(Big);
    auto Check = [](const Bytes& F) {
      auto S = StreamOf(F);
      TIETIFFHandler H(S.get());
      const Bytes Out = Written(H);
      auto S2 = StreamOf(Out);
      TIETIFFHandler Back(S2.get());
      EXPECT_EQ(Back.GetPagesCount(), H.GetPagesCount());
      EXPECT_LE(Out.size(), 4 * F.size() + (1 << 20) + 4096);
    };
    for (size_t n = 0; n <= Good.size(); ++n) Check(Bytes(Good.begin(), Good.begin() + int64_t(n)));
    for (int Round = 0; Round < 1500; ++Round) {
      Bytes F = Good;
      for (int k = 0; k < 4; ++k) F[Rng() % F.size()] = uint8_t(Rng());
      Check(F);
    }
  }
}

// ----------------------------------------------------------------------------
// Files of the peer tools

namespace {

// tiffdump's entries per directory, "tag type count<values>", with the values
// of offset-bearing tags left out.
std::vector<std::vector<std::string>> DumpTags(const std::string& Path) {
  std::string Out;
  EXPECT_EQ(RunCommand("tiffdump '" + Path + "' 2>&1", &Out), 0) << Out;
  std::vector<std::vector<std::string>> Pages;
  std::istringstream In(Out);
  for (std::string Line; std::getline(In, Line);) {
    if (Line.rfind("Directory ", 0) == 0) {
      Pages.emplace_back();
      continue;
    }
    // "Name (tag) TYPE (type) count<values>"; tags without a name show as
    // "tag (0xhex)".
    std::istringstream L(Line);
    std::string Name, TagText, TypeName, TypeText, Rest;
    if (Pages.empty() || !(L >> Name >> TagText >> TypeName >> TypeText) || TagText[0] != '(' || TypeText[0] != '(')
      continue;
    std::getline(L, Rest);
    const size_t Lt = Rest.find('<'), Gt = Rest.rfind('>');
    if (Lt == std::string::npos || Gt == std::string::npos || Gt < Lt) continue;
    const int Tag = std::isdigit(static_cast<unsigned char>(Name[0])) ? std::stoi(Name) : std::stoi(TagText.substr(1));
    const bool Offsets = Tag == 273 || Tag == 324 || Tag == 513 || Tag == 34665 || Tag == 34853;
    Pages.back().push_back(std::to_string(Tag) + " " + TypeText.substr(1, TypeText.size() - 2) + " " +
                           Trim(Rest.substr(0, Lt)) + (Offsets ? "" : Rest.substr(Lt, Gt - Lt + 1)));
  }
  return Pages;
}

// Tag, type and count of every entry of a handler's pages in tiffdump's form.
std::vector<std::vector<std::string>> HandlerTags(TIETIFFHandler& H) {
  std::vector<std::vector<std::string>> Pages;
  for (int32_t p = 0; p < H.GetPagesCount(); ++p) {
    Pages.emplace_back();
    for (const TIETIFFEntry& E : *H.GetPage(p))
      Pages.back().push_back(std::to_string(E.Tag) + " " + std::to_string(E.Type) + " " + std::to_string(E.Count));
  }
  return Pages;
}

std::vector<std::vector<std::string>> WithoutValues(std::vector<std::vector<std::string>> Pages) {
  for (auto& P : Pages)
    for (auto& E : P) E = E.substr(0, E.find('<'));
  return Pages;
}

}  // namespace

TEST(TIFFHandler, PeerFilesReadWithTheirTagsAndRewriteCleanly) {
  if (!HaveTool("convert") || !HaveTool("tiffcp") || !HaveTool("tiffdump") || !HaveTool("tiffinfo") ||
      !HaveTool("tiffcmp"))
    GTEST_SKIP() << "needs ImageMagick and libtiff's tools";
  TempDir D;
  const std::string Q = "'" + D.path() + "/";
  struct Case {
    const char* Name;
    std::string Command;
    bool Big;
    int Pages;
  };
  const Case Cases[] = {
      {"magick-le", "convert -size 16x8 gradient: -compress none " + Q + "magick-le.tif'", false, 1},
      {"magick-multi", "convert -size 16x8 gradient: gradient:red-blue xc:gray -compress none " + Q + "magick-multi.tif'",
       false, 3},
      {"magick-be", "convert -size 16x8 gradient: gradient:red-blue -define tiff:endian=msb -compress none " + Q +
                        "magick-be.tif'",
       true, 2},
      {"tiffcp-lzw", "tiffcp -c lzw -r 3 " + Q + "magick-multi.tif' " + Q + "tiffcp-lzw.tif'", false, 3},
      {"tiffcp-g4", "convert -size 64x40 pattern:checkerboard -type bilevel -depth 1 -compress group4 " + Q +
                        "bw.tif' && tiffcp -c g4 -r 16 " + Q + "bw.tif' " + Q + "tiffcp-g4.tif'",
       false, 1},
      {"tiffcp-tiled-be", "tiffcp -B -t -w 16 -l 16 " + Q + "magick-be.tif' " + Q + "tiffcp-tiled-be.tif'", true, 2},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    ASSERT_EQ(RunCommand(C.Command + " 2>/dev/null"), 0);
    const std::string In = D.file(std::string(C.Name) + ".tif");
    const std::string Out = D.file(std::string(C.Name) + "-out.tif");
    TIETIFFHandler H(In);
    ASSERT_EQ(H.GetPagesCount(), C.Pages);
    EXPECT_EQ(H.GetBigEndian(), C.Big);
    const auto Peer = DumpTags(In);
    EXPECT_EQ(HandlerTags(H), WithoutValues(Peer));

    H.WriteFile(Out, -1);
    std::string Info;
    EXPECT_EQ(RunCommand("tiffinfo -D '" + Out + "' 2>&1 >/dev/null", &Info), 0);
    EXPECT_EQ(Info, "") << "tiffinfo complained";
    EXPECT_EQ(DumpTags(Out), Peer);
    // tiffcmp reads strips only: both files go through tiffcp first.
    const std::string A = D.file("a.tif"), B = D.file("b.tif");
    EXPECT_EQ(RunCommand("tiffcp -s -c none '" + In + "' '" + A + "' && tiffcp -s -c none '" + Out + "' '" + B +
                         "' && tiffcmp '" + A + "' '" + B + "' >/dev/null 2>&1"),
              0)
        << "pixels differ";
    EXPECT_EQ(ReadFileBytes(Out).at(0), C.Big ? 'M' : 'I');

    // One page alone.
    const std::string One = D.file(std::string(C.Name) + "-one.tif");
    H.WriteFile(One, C.Pages - 1);
    const auto OnePeer = DumpTags(One);
    ASSERT_EQ(OnePeer.size(), 1u);
    EXPECT_EQ(OnePeer[0], Peer.back());
  }
}

TEST(TIFFHandler, EditedFileReadsInThePeers) {
  if (!HaveTool("tiffdump") || !HaveTool("tiffinfo")) GTEST_SKIP() << "needs libtiff's tools";
  TempDir D;
  WriteFileBytes(D.file("two.tif"), TwoPageFile(false));
  TIETIFFHandler H(D.file("two.tif"));
  ASSERT_EQ(H.GetPagesCount(), 2);
  TIETIFFEntryList* P = H.GetPage(1);
  H.SetTagValue(P, 305, std::string("Folivra"), IETIFFTYPE_ASCII);
  H.SetTagValue(P, 282, 72.5, IETIFFTYPE_RATIONAL);
  H.SetTagValue(P, 283, 72.5, IETIFFTYPE_RATIONAL);
  H.SetTagValue(P, 296, 2, IETIFFTYPE_SHORT);
  H.SetTagValue(P, 262, 1, IETIFFTYPE_SHORT);
  H.SetTagValue(P, 258, 8, IETIFFTYPE_SHORT);
  H.SetTagValue(P, 257, 1, IETIFFTYPE_SHORT);  // one row: the 8 bytes of the strip
  H.CopyTag(0, H.FindTag(0, 34665), 1, &H);
  H.DeletePage(0);
  H.WriteFile(D.file("edited.tif"), -1);
  const auto Tags = DumpTags(D.file("edited.tif"));
  ASSERT_EQ(Tags.size(), 1u);
  const std::vector<std::string> Expected = {
      "256 3 1<8>",       "257 3 1<1>",       "258 3 1<8>",        "259 3 1<1>",    "262 3 1<1>",
      "273 4 1",          "279 3 1<8>",       "282 5 1<72.5>",     "283 5 1<72.5>", "296 3 1<2>",
      "305 2 8<Folivra\\0>", "34665 4 1"};
  EXPECT_EQ(Tags[0], Expected);
  // libtiff's list of EXIF fields lacks the Interoperability pointer: its
  // warning about that tag is the only line allowed.
  std::string Info;
  EXPECT_EQ(RunCommand("tiffinfo -D '" + D.file("edited.tif") + "' 2>&1 >/dev/null | grep -v 'tag 40965 '", &Info), 1);
  EXPECT_EQ(Info, "");

  // The EXIF directories survive for another reader too.
  if (RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) return;
  std::string Exif;
  ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"from PIL import Image; im = Image.open('" + D.file("edited.tif") +
                           "'); x = im.getexif(); e = x.get_ifd(0x8769); print(e[36867], e[33434], "
                           "x.get_ifd(0xA005)[1])\"",
                       &Exif),
            0);
  EXPECT_EQ(Exif, "2024:01:02 03:04:05 0.01 R98\n");
}

TEST(TIFFHandler, FileConstructorAndPages) {
  TempDir D;
  TIETIFFHandler Missing(D.file("none.tif"));
  EXPECT_EQ(Missing.GetPagesCount(), 0);
  EXPECT_EQ(Missing.GetPage(0), nullptr);
  EXPECT_EQ(Missing.FindTag(0, 256), -1);
  WriteFileBytes(D.file("two.tif"), TwoPageFile(true));
  TIETIFFHandler H(D.file("two.tif"));
  ExpectTwoPageContent(H);
  H.DeletePage(0);
  H.DeletePage(3);
  ASSERT_EQ(H.GetPagesCount(), 1);
  EXPECT_EQ(H.GetTagValue(H.GetPage(0), 256, 0), 8);
  H.WriteFile(D.file("one.tif"));
  auto Back = TIETIFFHandler::CreateFromStream(StreamOf(ReadFileBytes(D.file("one.tif"))).get());
  EXPECT_EQ(Back->GetPagesCount(), 1);
  EXPECT_TRUE(Back->GetBigEndian());
  // Offsets cannot pass 4 GB: writing there fails instead of wrapping.
  TNulStream Far;
  Far.Seek(int64_t(5) << 30, soBeginning);
  EXPECT_THROW(H.WriteStream(&Far), EWriteError);
  H.Clear();
  EXPECT_EQ(Walk(Written(H)).Pages.size(), 0u);
}
