#pragma once
// The directory chains of files read before, so that reading a document page
// by page does not walk its chain again for every page.  A file is known by
// its device, inode, size and modification time: a file changed since its
// chain was walked walks again.  A chain is remembered only when the file was
// last modified well before the walk (a change within the file system's
// timestamp granularity cannot hide behind an equal time).
#include <cstdint>
#include <vector>

class TStream;

// Where the bytes of a stream come from: a file descriptor and the file
// offset of the stream's position 0 (through a read buffer in front of a file
// stream too).  False for streams that are not files.
bool TiffStreamFile(TStream* Stream, int& Handle, int64_t& FileOffset);

// The walked chain of the file behind Stream with the header at Base: the
// offsets of its directories (the first equal to First) and whether the
// chain pointed past the end.  False when the file is not known unchanged.
bool TiffRecalledChain(TStream* Stream, int64_t Base, int64_t First, std::vector<int64_t>& Offsets, bool& Cut);
// Remembers the chain walked from the file behind Stream.
void TiffRememberChain(TStream* Stream, int64_t Base, const std::vector<int64_t>& Offsets, bool Cut);
// Forgets every chain of the file behind Stream (its writer changes it).
void TiffForgetChainsOf(TStream* Stream);
// Forgets every chain.
void TiffForgetChains();
