#pragma once
// Pillow as a peer that runs beside us in the same benchmark run: one Python
// process, started once (its start-up is never timed), holds the pages and
// times one operation whenever it is asked, so our runs and Pillow's can be
// interleaved.  Pillow works in one thread.
//
// Pages reach Python as PPM files written from our pixels; Python answers
// the CRC-32 of each page's RGB bytes, which the caller compares with ours
// before anything is timed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "foundations/image_buffer.h"

extern char** environ;

namespace benchsupport {

// CRC-32 of a 24-bit page's pixels in red, green, blue order (ours are blue,
// green, red).
inline uint32_t RgbCrc(TIEBitmap* B) {
  uLong Crc = crc32(0, nullptr, 0);
  std::string Row(size_t(B->GetWidth()) * 3, '\0');
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* S = B->GetScanline(y);
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      Row[3 * size_t(x)] = char(S[3 * x + 2]);
      Row[3 * size_t(x) + 1] = char(S[3 * x + 1]);
      Row[3 * size_t(x) + 2] = char(S[3 * x]);
    }
    Crc = crc32(Crc, reinterpret_cast<const Bytef*>(Row.data()), uInt(Row.size()));
  }
  return uint32_t(Crc);
}

// CRC-32 of a 1-bit page's packed rows (1 = white, as Pillow's mode "1"
// holds them), the bits past the width cleared.
inline uint32_t BitsCrc(TIEBitmap* B) {
  uLong Crc = crc32(0, nullptr, 0);
  const size_t Len = size_t(B->GetWidth() + 7) / 8;
  std::string Row(Len, '\0');
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    std::memcpy(Row.data(), B->GetScanline(y), Len);
    if (B->GetWidth() % 8) Row[Len - 1] = char(Row[Len - 1] & (0xFF00 >> (B->GetWidth() % 8)));
    Crc = crc32(Crc, reinterpret_cast<const Bytef*>(Row.data()), uInt(Len));
  }
  return uint32_t(Crc);
}

// PBM stores 1 for black, the buffer 1 for white.
inline bool WritePBM(TIEBitmap* B, const std::string& Name) {
  FILE* F = std::fopen(Name.c_str(), "wb");
  if (!F) return false;
  std::fprintf(F, "P4\n%d %d\n", B->GetWidth(), B->GetHeight());
  std::string Row(size_t(B->GetWidth() + 7) / 8, '\0');
  bool Ok = true;
  for (int32_t y = 0; y < B->GetHeight() && Ok; ++y) {
    const uint8_t* S = B->GetScanline(y);
    for (size_t i = 0; i < Row.size(); ++i) Row[i] = char(~S[i]);
    Ok = std::fwrite(Row.data(), 1, Row.size(), F) == Row.size();
  }
  return std::fclose(F) == 0 && Ok;
}

inline bool WritePPM(TIEBitmap* B, const std::string& Name) {
  FILE* F = std::fopen(Name.c_str(), "wb");
  if (!F) return false;
  std::fprintf(F, "P6\n%d %d\n255\n", B->GetWidth(), B->GetHeight());
  std::string Row(size_t(B->GetWidth()) * 3, '\0');
  bool Ok = true;
  for (int32_t y = 0; y < B->GetHeight() && Ok; ++y) {
    const uint8_t* S = B->GetScanline(y);
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      Row[3 * size_t(x)] = char(S[3 * x + 2]);
      Row[3 * size_t(x) + 1] = char(S[3 * x + 1]);
      Row[3 * size_t(x) + 2] = char(S[3 * x]);
    }
    Ok = std::fwrite(Row.data(), 1, Row.size(), F) == Row.size();
  }
  return std::fclose(F) == 0 && Ok;
}

class TPillowPeer {
 public:
  TPillowPeer() {
    Dir = (std::filesystem::temp_directory_path() / ("folio-pillow-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(Dir);
    int ToPeer[2], FromPeer[2];
    if (pipe(ToPeer) != 0) return;
    if (pipe(FromPeer) != 0) {
      close(ToPeer[0]);
      close(ToPeer[1]);
      return;
    }
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, ToPeer[0], 0);
    posix_spawn_file_actions_adddup2(&Actions, FromPeer[1], 1);
    posix_spawn_file_actions_addclose(&Actions, ToPeer[1]);
    posix_spawn_file_actions_addclose(&Actions, FromPeer[0]);
    posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
    char Python[] = "/usr/bin/python3", Dash[] = "-c";
    std::string Code = kScript;
    char* Argv[] = {Python, Dash, Code.data(), nullptr};
    Started = posix_spawn(&Pid, Python, &Actions, nullptr, Argv, environ) == 0;
    posix_spawn_file_actions_destroy(&Actions);
    close(ToPeer[0]);
    close(FromPeer[1]);
    In = fdopen(ToPeer[1], "w");
    Out = fdopen(FromPeer[0], "r");
    Started = Started && In && Out && Ask("ping") == "pong";
  }
  ~TPillowPeer() {
    if (In) std::fclose(In);
    if (Out) std::fclose(Out);
    if (Started) waitpid(Pid, nullptr, 0);
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
  }
  TPillowPeer(const TPillowPeer&) = delete;
  TPillowPeer& operator=(const TPillowPeer&) = delete;

  bool Ready() const { return Started; }

  // Hands a 24-bit or 1-bit page to Python under Name (an RGB or a "1"
  // image); true when Python's pixels are ours (same CRC-32).
  bool Load(const std::string& Name, TIEBitmap* Page) {
    const bool Bits = Page->GetPixelFormat() == ie1g;
    const std::string Path = Dir + "/" + Name + (Bits ? ".pbm" : ".ppm");
    if (!Started || !(Bits ? WritePBM(Page, Path) : WritePPM(Page, Path))) return false;
    const std::string Reply = Ask("load " + Name + " " + Path);
    std::filesystem::remove(Path);
    unsigned long Crc = 0;
    return std::sscanf(Reply.c_str(), "%lu", &Crc) == 1 &&
           uint32_t(Crc) == (Bits ? BitsCrc(Page) : RgbCrc(Page));
  }

  // Runs the Python expression Expr once (the loaded pages are variables of
  // their names) and answers its time in milliseconds, -1 on failure.
  double Time(const std::string& Expr) {
    if (!Started) return -1;
    double Ms = -1;
    if (std::sscanf(Ask("time " + Expr).c_str(), "%lf", &Ms) != 1) return -1;
    return Ms;
  }

 private:
  std::string Ask(const std::string& Line) {
    if (std::fprintf(In, "%s\n", Line.c_str()) < 0 || std::fflush(In) != 0) return {};
    char Buf[256];
    if (!std::fgets(Buf, sizeof Buf, Out)) return {};
    std::string R(Buf);
    while (!R.empty() && (R.back() == '\n' || R.back() == '\r')) R.pop_back();
    return R;
  }

  static constexpr const char* kScript = R"(
import sys, time, zlib
from PIL import Image
R = Image.Resampling
pages = {}
for line in sys.stdin:
    cmd, _, rest = line.strip().partition(' ')
    try:
        if cmd == 'ping':
            out = 'pong'
        elif cmd == 'load':
            name, path = rest.split(' ', 1)
            img = Image.open(path); img.load()
            pages[name] = img
            out = str(zlib.crc32(img.tobytes()))
        elif cmd == 'time':
            f = eval('lambda: ' + rest, dict(pages, R=R, Image=Image))
            t = time.perf_counter()
            f()
            out = repr((time.perf_counter() - t) * 1000.0)
        else:
            out = 'error'
    except Exception as e:
        out = 'error'
    sys.stdout.write(out + '\n')
    sys.stdout.flush()
)";

  std::string Dir;
  pid_t Pid = 0;
  bool Started = false;
  FILE* In = nullptr;
  FILE* Out = nullptr;
};

}  // namespace benchsupport
