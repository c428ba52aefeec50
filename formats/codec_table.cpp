#include "formats/codec_table.h"

#include <map>
#include <mutex>

namespace {

struct TCodecTable {
  std::mutex Lock;
  // Rows stay where they are while others come and go.
  std::map<TIEFileFormat, std::unique_ptr<TIECodec>> Rows;
};

// Built on first use, so registrations that run while the program starts find
// it whatever the order of start-up.
TCodecTable& Table() {
  static TCodecTable T;
  return T;
}

}  // namespace

bool IERegisterCodec(TIECodec Codec) {
  TCodecTable& T = Table();
  std::lock_guard<std::mutex> Guard(T.Lock);
  const TIEFileFormat Format = Codec.Format;
  T.Rows[Format] = std::make_unique<TIECodec>(std::move(Codec));
  return true;
}

void IEUnregisterCodec(TIEFileFormat Format) {
  TCodecTable& T = Table();
  std::lock_guard<std::mutex> Guard(T.Lock);
  T.Rows.erase(Format);
}

const TIECodec* IEFindCodec(TIEFileFormat Format) {
  TCodecTable& T = Table();
  std::lock_guard<std::mutex> Guard(T.Lock);
  auto It = T.Rows.find(Format);
  return It == T.Rows.end() ? nullptr : It->second.get();
}
