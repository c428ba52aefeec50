#include "formats/tiff/tiff_chain_cache.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <list>
#include <mutex>

#include "foundations/ie_streams.h"
#include "platform/rtl/streams.h"

namespace {

struct TFileId {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t ModifiedNs = 0;
  int64_t ChangedNs = 0;
  bool operator==(const TFileId& O) const {
    return Device == O.Device && Inode == O.Inode && Size == O.Size && ModifiedNs == O.ModifiedNs &&
           ChangedNs == O.ChangedNs;
  }
};

struct TRecalled {
  TFileId Id;
  int64_t Base = 0;
  std::vector<int64_t> Offsets;
  bool Cut = false;
};

// A few files: a viewer pages through one document at a time.
constexpr size_t kMaxChains = 8;
// A file modified less than this before the walk may still change within
// the same timestamp.
constexpr int64_t kRacyNs = 200'000'000;

std::mutex GLock;
std::list<TRecalled> GChains;  // most recently used first

int64_t Ns(const struct timespec& T) { return int64_t(T.tv_sec) * 1'000'000'000 + T.tv_nsec; }

bool Identify(TStream* Stream, int64_t Base, TFileId& Id, int64_t& FileBase) {
  int handle = -1;
  int64_t offset = 0;
  if (!TiffStreamFile(Stream, handle, offset)) return false;
  struct stat st;
  if (fstat(handle, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  Id.Device = uint64_t(st.st_dev);
  Id.Inode = uint64_t(st.st_ino);
  Id.Size = int64_t(st.st_size);
  Id.ModifiedNs = Ns(st.st_mtim);
  Id.ChangedNs = Ns(st.st_ctim);
  FileBase = offset + Base;
  return true;
}

}  // namespace

bool TiffStreamFile(TStream* Stream, int& Handle, int64_t& FileOffset) {
  FileOffset = 0;
  if (auto* buffered = dynamic_cast<TIEBufferedReadStream*>(Stream)) {
    FileOffset = buffered->GetOrigin();
    Stream = buffered->GetSource();
  }
  auto* file = dynamic_cast<THandleStream*>(Stream);
  if (!file || file->GetHandle() < 0) return false;
  Handle = file->GetHandle();
  return true;
}

bool TiffRecalledChain(TStream* Stream, int64_t Base, int64_t First, std::vector<int64_t>& Offsets, bool& Cut) {
  TFileId id;
  int64_t fileBase = 0;
  if (!Identify(Stream, Base, id, fileBase)) return false;
  std::lock_guard<std::mutex> lock(GLock);
  for (auto it = GChains.begin(); it != GChains.end(); ++it) {
    if (!(it->Id == id) || it->Base != fileBase) continue;
    if (it->Offsets.empty() || it->Offsets.front() != First) {
      GChains.erase(it);
      return false;
    }
    GChains.splice(GChains.begin(), GChains, it);
    Offsets = GChains.front().Offsets;
    Cut = GChains.front().Cut;
    return true;
  }
  return false;
}

void TiffRememberChain(TStream* Stream, int64_t Base, const std::vector<int64_t>& Offsets, bool Cut) {
  TFileId id;
  int64_t fileBase = 0;
  if (Offsets.empty() || !Identify(Stream, Base, id, fileBase)) return;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  if (Ns(now) - id.ModifiedNs < kRacyNs) return;
  std::lock_guard<std::mutex> lock(GLock);
  for (auto it = GChains.begin(); it != GChains.end();) {
    if (it->Id.Device == id.Device && it->Id.Inode == id.Inode && it->Base == fileBase)
      it = GChains.erase(it);
    else
      ++it;
  }
  GChains.push_front(TRecalled{id, fileBase, Offsets, Cut});
  if (GChains.size() > kMaxChains) GChains.pop_back();
}

void TiffForgetChainsOf(TStream* Stream) {
  TFileId id;
  int64_t fileBase = 0;
  if (!Identify(Stream, 0, id, fileBase)) return;
  std::lock_guard<std::mutex> lock(GLock);
  GChains.remove_if([&](const TRecalled& R) { return R.Id.Device == id.Device && R.Id.Inode == id.Inode; });
}

void TiffForgetChains() {
  std::lock_guard<std::mutex> lock(GLock);
  GChains.clear();
}
