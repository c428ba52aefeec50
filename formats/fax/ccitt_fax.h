#pragma once
// Bilevel fax codec: Modified Huffman, Group 3 one- and two-dimensional and
// Group 4 coding, as plain procedures over caller-owned buffers.
//
// Rows are packed 1-bit lines, pixel 0 in bit 7 of byte 0, (Width + 7) / 8
// bytes used.  The two directions use opposite values:
//  - rows produced by the decoders: 1 = white, 0 = black (the row is first
//    filled with 1 bits over all its used bytes, then black runs are cleared);
//  - rows consumed by the encoders: 0 = white, 1 = black.
//
// FillOrder is the TIFF fill order of the coded bits: 1 = the first coded bit
// is the most significant bit of each byte, 2 = the least significant.  The
// decoders take every value other than 1 as 2; the encoders take every value
// other than 2 as 1.
//
// The decoders never fail and never read outside Data[0 .. DataLen): bits past
// the end read as 0 and the end of the data ends the line.  Bit positions are
// counted from Data[0]; the decoders clamp the data they look at so that a bit
// position always fits 32 bits.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class TStream;

// One entry of a code table: the code is the Length low bits of Code, most
// significant first.  Run is a run length in pixels, or one of the markers
// CcittRunSkip (eight to ten 0 bits and a 1) and CcittRunEol (an end of line).
struct CcittCodeEntry {
  int32_t Length;
  uint16_t Code;
  int32_t Run;
};

constexpr int32_t CcittRunSkip = -1;
constexpr int32_t CcittRunEol = -3;

// Code indexes answered by the decoding trees.
constexpr int32_t CcittMakeupFirst = 64;     // make-up codes 64..90: runs 64 .. 1728
constexpr int32_t CcittExtMakeupFirst = 91;  // 91..103: runs 1792 .. 2560
constexpr int32_t CcittEolIndex = 104;       // 000000000001
constexpr int32_t CcittEndOfData = 127;      // EOL after 31 zeros; also "no more data"
constexpr int32_t CcittNoCode = 128;         // 31 leading 0 bits: no code starts here

// Run codes, [0] white and [1] black, indexed by code index:
//   0..63 terminating codes for runs 0..63, 64..90 make-up codes for 64..1728,
//   91..103 the extended make-up codes 1792..2560 (the same in both colours),
//   104 EOL, 105..107 eight, nine and ten 0 bits and a 1 (skip),
//   108..127 EOL preceded by 1 to 20 further 0 bits.
extern const std::array<std::array<CcittCodeEntry, 128>, 2> CcittRunCodes;

// Mode codes of the two-dimensional coding, in this order (the decoder relies
// on it): 0 twelve 0 bits (start of an EOL with fill), 1 pass, 2 horizontal,
// 3..9 vertical with a1 = b1 + index - 6 (VL3 .. VR3), 10 two-dimensional and
// 11 one-dimensional extension into uncompressed mode, 12 EOL.
enum TCcittMode : int32_t {
  ccmEolStart = 0,  // twelve 0 bits: the start of an EOL with fill
  ccmPass = 1,
  ccmHorizontal = 2,
  ccmVL3 = 3,
  ccmVL2 = 4,
  ccmVL1 = 5,
  ccmV0 = 6,
  ccmVR1 = 7,
  ccmVR2 = 8,
  ccmVR3 = 9,
  ccmUncompressed2D = 10,  // extension into uncompressed mode from a 2-D line
  ccmUncompressed1D = 11,  // the same from a 1-D line
  ccmEol = 12,
};
constexpr int32_t CcittModeCount = 13;
extern const std::array<CcittCodeEntry, CcittModeCount> CcittModeCodes;

// Vertical mode codes indexed by b1 - a1 + 3 (VR3, VR2, VR1, V0, VL1, VL2, VL3).
extern const std::array<CcittCodeEntry, 7> CcittVerticalCodes;

// Node of a run-code decoding tree: Value is a code index 0..127 in a leaf and
// 128 in an inner node.
struct CcittTreeNode {
  int32_t Value;
  CcittTreeNode* Child0;
  CcittTreeNode* Child1;
};

// The two roots, [0] white and [1] black; their subtrees are heap blocks owned
// by the trees (CcittBuildTrees / CcittFreeTrees).
extern CcittTreeNode CcittTreeRoots[2];

// ---------------------------------------------------------------------------
// Trees

// Builds the trees once; called by the library start-up before any decoding.
// The decoders also build them on first use when the start-up has not run.
void CcittInitialize();
// Builds both trees from the run-code tables (any trees present are freed
// first).
void CcittBuildTrees();
// Inserts Entry's code below Root; the node reached by its last bit gets Value.
void CcittTreeInsert(CcittTreeNode* Root, const CcittCodeEntry& Entry, int32_t Value);
// Frees the subtrees hanging from the two roots (the roots themselves stay).
void CcittFreeTrees();
// Frees Node and everything below it, children first.
void CcittFreeTree(CcittTreeNode* Node);

// ---------------------------------------------------------------------------
// Bit access (decoding)

// The 32 coded bits that start at BitPos, the first of them in bit 31; bits
// past the end of the data (or before its start) read as 0.
uint32_t CcittFetchBits(const uint8_t* Data, int32_t DataLen, int32_t BitPos, int32_t FillOrder);
// The N (1..32) coded bits that start at BitPos, as an integer.
uint32_t CcittReadBits(const uint8_t* Data, int32_t DataLen, int32_t BitPos, int32_t N,
                       int32_t FillOrder);
// The index of the run code of Colour (0 white, 1 black) that starts at BitPos:
// CcittEndOfData when BitPos is at or past the end of the data, CcittNoCode
// when the next 31 bits are all 0.
int32_t CcittDecodeRunCode(const uint8_t* Data, int32_t DataLen, int32_t BitPos,
                           int32_t FillOrder, int32_t Colour);
// The first mode code (in table order) that the bits at BitPos begin with; 0
// when none does.
int32_t CcittDecodeModeCode(const uint8_t* Data, int32_t DataLen, int32_t BitPos,
                            int32_t FillOrder);
// The smallest n in 1..11 such that the n bits at BitPos are n - 1 zeros and a
// one; 0 when there is none.
int32_t CcittUncompressedCode(const uint8_t* Data, int32_t DataLen, int32_t BitPos,
                              int32_t FillOrder);

// ---------------------------------------------------------------------------
// Row helpers (decoded-row values)

// Clears min(Count, Width - From) bits from pixel From on.
void CcittPaintBlack(uint8_t* Row, int32_t From, int32_t Count, int32_t Width);
// The first pixel p >= From equal to Value (1 white, 0 black), or Width when
// there is none; positions below 0 read as white.
int32_t CcittFindColour(const uint8_t* Line, int32_t From, int32_t Width, int32_t Value);

// ---------------------------------------------------------------------------
// Decoders (rows in decoded-row values)

// One Modified Huffman line starting at StartBit, with or without a leading
// EOL; answers the bit position after it.
int32_t CcittDecode1DLine(uint8_t* Row, const uint8_t* Data, int32_t DataLen, int32_t FillOrder,
                          int32_t StartBit, int32_t Width);
// One line of TIFF compression 2 from bit 0 of Data; answers the bytes it used
// (never more than DataLen): the caller advances Data by that many bytes.
int32_t CcittDecodeMhRow(uint8_t* Row, const uint8_t* Data, int32_t DataLen, int32_t FillOrder,
                         int32_t Width);
// What one strip's two-dimensional decoding carries from a line to the next
// beside the reference line's bits: the line's colour changes as its codes
// left them, runs of no pixels included (they count for the next line's
// pass and vertical codes, and its bits cannot show them).  One per strip,
// created at the strip's start.
class TCcittDecodeState {
 public:
  TCcittDecodeState();
  ~TCcittDecodeState();
  TCcittDecodeState(const TCcittDecodeState&) = delete;
  TCcittDecodeState& operator=(const TCcittDecodeState&) = delete;

  struct TLists;
  std::unique_ptr<TLists> FLists;
  // Lines of only pass, horizontal and vertical codes are decoded into their
  // changes and written out word by word; off, every line takes the full
  // decoder.  Both give the same rows and positions.
  bool FCommonLines = true;
};

// One Group 3 two-dimensional or Group 4 line starting at StartBit, coded
// against RefLine ((Width + 7) / 8 bytes, all 1 bits at the start of a
// strip); copies the decoded row into RefLine and answers the bit position
// after the line.  EolSearch turns on the recognition of EOLs with fill bits.
// State carries the strip's changes from line to line; without it a state of
// the calling thread serves, kept for one RefLine buffer at a time.
int32_t CcittDecode2DLine(uint8_t* Row, const uint8_t* Data, int32_t DataLen, bool EolSearch,
                          int32_t FillOrder, int32_t StartBit, uint8_t* RefLine, int32_t Width,
                          TCcittDecodeState* State = nullptr);

// ---------------------------------------------------------------------------
// Encoders (rows in encoder values: 0 white, 1 black)

// Scratch bytes that always hold one coded line of Width pixels together with
// up to 7 pending bits, EOLs, the tag bit and the end-of-block code.
int64_t CcittLineBufferSize(int32_t Width);

// Appends the N low bits of Code, most significant first, at bit BitCount of
// Buffer (bytes that receive bits must start zeroed).  BitCount grows by N.
void CcittPutBits(uint8_t* Buffer, int32_t& BitCount, int32_t N, uint32_t Code, int32_t FillOrder);
// Appends the codes of one run of Colour (0 white, 1 black): make-up codes (runs
// over 2560 as repeated 2560 codes) and the terminating code.
void CcittPutRun(uint8_t* Buffer, int32_t& BitCount, int32_t Run, int32_t Colour,
                 int32_t FillOrder);
// The line as alternating runs starting with white (a line that begins black
// starts with a white run of 0).
void CcittEncodeRuns(const uint8_t* Row, int32_t Width, uint8_t* Buffer, int32_t FillOrder,
                     int32_t& BitCount);
// Two-dimensional coding of Row against RefLine.
void CcittEncode2DLine(const uint8_t* Row, const uint8_t* RefLine, uint8_t* Buffer, int32_t Width,
                       int32_t FillOrder, int32_t& BitCount);

// Coding schemes of the encoder.
enum TCcittScheme : uint8_t {
  ccsModifiedHuffman,  // TIFF compression 2: every row from a byte boundary, no EOL
  ccsGroup3OneD,       // an EOL before every row
  ccsGroup3TwoD,       // EOL and tag bit: a one-dimensional first row, two-dimensional rows after it
  ccsGroup4,           // two-dimensional rows against the row above; EOFB at the end
};

// The fax encoder of one strip after another: rows in, coded bytes appended
// to the strip buffer it owns (no allocation per row once the buffer has
// grown).  Its state (reference line, pending bits, first row of the strip)
// lives here and nowhere else.
class TCcittEncoder {
 public:
  // FillOrder 2 stores the first coded bit in the least significant bit of
  // each byte; every other value in the most significant.
  TCcittEncoder(TCcittScheme Scheme, int32_t Width, int32_t FillOrder);

  // Codes one row (encoder values: 1 = black); whole coded bytes go to the
  // strip buffer, the rest stays pending.
  void EncodeRow(const uint8_t* Row);
  // Ends the strip: the scheme's closing codes (an EOL for two-dimensional
  // Group 3, EOFB for Group 4) and the pending bits padded with 0 bits to a
  // byte.  The next row starts a new strip (white reference line).
  void FinishStrip();

  // The coded bytes not yet taken.
  const uint8_t* Data() const { return FStrip.data(); }
  int64_t Size() const { return int64_t(FLength); }
  // Drops the first Count coded bytes (the caller has written them).
  void Consume(int64_t Count);
  void Clear() { FLength = 0; }

  // Appends Length bits of Code, most significant first (the coders' sink).
  inline void Put(uint32_t Code, int32_t Length);

 private:
  void Reserve();
  void FlushWholeBytes(bool Pad);
  void FindChanges(const uint8_t* Row);
  void Encode2DRow();

  TCcittScheme FScheme;
  int32_t FWidth;
  bool FReverse;
  bool FFirstRow = true;
  // Changing elements of the reference row and of the row being coded.
  std::vector<int32_t> FRefChanges;
  std::vector<int32_t> FChanges;
  std::vector<uint8_t> FStrip;
  size_t FLength = 0;
  uint64_t FAcc = 0;
  int32_t FAccBits = 0;
};
