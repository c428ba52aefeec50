#include "platform/vcl/clipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/rtl/sysutils.h"

namespace {

struct TClipboardState {
  std::mutex Lock;
  bool Open = false;
  std::thread::id Owner;
  HWND OwnerWindow = 0;
  int32_t Busy = 0;
  // Data set since the clipboard was opened; null when nothing changed.
  std::unique_ptr<QMimeData> Pending;
  std::vector<std::string> Names;  // registered names; id = 0xC000 + index
};

TClipboardState& State() {
  static TClipboardState S;
  return S;
}

constexpr uint32_t FirstRegisteredFormat = 0xC000;

bool OpenedByCaller(TClipboardState& S) { return S.Open && S.Owner == std::this_thread::get_id(); }

QClipboard* QtClipboard() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
  if (!IsGuiThread()) return nullptr;
  return QGuiApplication::clipboard();
}

bool IsTextFormat(uint32_t Format) { return Format == CF_TEXT || Format == CF_UNICODETEXT; }

uint32_t Le32(const uint8_t* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24; }

// A packed DIB as a BMP file: the 14-byte file header says where the rows
// start (after the info header, the colour table and any bit-field masks).
QByteArray DibToBmpFile(const std::vector<uint8_t>& Dib) {
  uint64_t Offset = 14;
  if (Dib.size() >= 40) {
    const uint32_t HeaderSize = Le32(&Dib[0]);
    const uint32_t Bits = uint32_t(Dib[14]) | uint32_t(Dib[15]) << 8;
    const uint32_t Compression = Le32(&Dib[16]);
    uint64_t Colours = Le32(&Dib[32]);
    if (Colours == 0 && Bits <= 8) Colours = uint64_t(1) << Bits;
    const uint64_t Masks = (HeaderSize == 40 && Compression == 3) ? 12 : 0;
    Offset += std::min<uint64_t>(uint64_t(HeaderSize) + Colours * 4 + Masks, Dib.size());
  }
  QByteArray File(14, '\0');
  const uint64_t Size = 14 + uint64_t(Dib.size());
  const auto Put32 = [&File](int At, uint64_t V) {
    const uint32_t W = V > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(V);
    for (int i = 0; i < 4; ++i) File[At + i] = char((W >> (8 * i)) & 0xFF);
  };
  File[0] = 'B';
  File[1] = 'M';
  Put32(2, Size);
  Put32(10, Offset);
  File.append(reinterpret_cast<const char*>(Dib.data()), static_cast<qsizetype>(Dib.size()));
  return File;
}

// A copy of what Qt's clipboard holds now, to which new formats are added.
std::unique_ptr<QMimeData> CopyOfCurrent() {
  auto M = std::make_unique<QMimeData>();
  QClipboard* C = QtClipboard();
  const QMimeData* Current = C ? C->mimeData() : nullptr;
  if (Current) {
    const QStringList Formats = Current->formats();
    for (const QString& F : Formats) M->setData(F, Current->data(F));
  }
  return M;
}

// The data the caller sees: what it set since opening, else Qt's clipboard.
const QMimeData* VisibleData(TClipboardState& S) {
  if (OpenedByCaller(S) && S.Pending) return S.Pending.get();
  QClipboard* C = QtClipboard();
  return C ? C->mimeData() : nullptr;
}

// Looks a format up in what the caller sees and, when Bytes is given, copies
// it out (text as UTF-8).
bool ReadFormat(uint32_t Format, QByteArray* Bytes) {
  const std::string Mime = VclClipboardMimeType(Format);
  if (Mime.empty()) return false;
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  const QMimeData* M = VisibleData(S);
  if (!M) return false;
  if (IsTextFormat(Format)) {
    if (!M->hasText()) return false;
    if (Bytes) *Bytes = M->text().toUtf8();
  } else {
    const QString F = QString::fromStdString(Mime);
    if (!M->hasFormat(F)) return false;
    if (Bytes) *Bytes = M->data(F);
  }
  return true;
}

}  // namespace

bool OpenClipboard(HWND NewOwner) {
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  if (S.Busy > 0) {
    --S.Busy;
    return false;
  }
  if (S.Open) {
    if (S.Owner != std::this_thread::get_id()) return false;
    S.OwnerWindow = NewOwner;
    return true;
  }
  S.Open = true;
  S.Owner = std::this_thread::get_id();
  S.OwnerWindow = NewOwner;
  S.Pending.reset();
  return true;
}

bool CloseClipboard() {
  TClipboardState& S = State();
  std::unique_ptr<QMimeData> Publish;
  {
    std::lock_guard<std::mutex> G(S.Lock);
    if (!OpenedByCaller(S)) return false;
    S.Open = false;
    S.Owner = std::thread::id();
    S.OwnerWindow = 0;
    Publish = std::move(S.Pending);
  }
  if (Publish) {
    if (QClipboard* C = QtClipboard()) C->setMimeData(Publish.release());
  }
  return true;
}

HWND GetOpenClipboardWindow() {
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  return S.Open ? S.OwnerWindow : 0;
}

bool VclClipboardIsOpen() {
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  return S.Open;
}

bool EmptyClipboard() {
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  if (!OpenedByCaller(S)) return false;
  S.Pending = std::make_unique<QMimeData>();
  return true;
}

uint32_t RegisterClipboardFormat(const std::string& Name) {
  if (Name.empty()) return 0;
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  for (size_t i = 0; i < S.Names.size(); ++i)
    if (SameText(S.Names[i], Name)) return FirstRegisteredFormat + static_cast<uint32_t>(i);
  if (S.Names.size() >= 0x3FFF) return 0;
  S.Names.push_back(Name);
  return FirstRegisteredFormat + static_cast<uint32_t>(S.Names.size() - 1);
}

std::string GetClipboardFormatName(uint32_t Format) {
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  if (Format < FirstRegisteredFormat || Format - FirstRegisteredFormat >= S.Names.size()) return "";
  return S.Names[Format - FirstRegisteredFormat];
}

std::string VclClipboardMimeType(uint32_t Format) {
  if (IsTextFormat(Format)) return "text/plain";
  if (Format == CF_DIB) return "image/bmp";
  const std::string Name = GetClipboardFormatName(Format);
  if (Name.empty()) return "";
  if (SameText(Name, "PNG")) return "image/png";
  // Letters and digits stay; everything else becomes %XX, so any name makes a
  // valid MIME subtype.
  std::string Mime = "application/x-folivra-";
  static const char Hex[] = "0123456789ABCDEF";
  for (unsigned char C : LowerCase(Name)) {
    if (std::isalnum(C)) {
      Mime += static_cast<char>(C);
    } else {
      Mime += '%';
      Mime += Hex[C >> 4];
      Mime += Hex[C & 15];
    }
  }
  return Mime;
}

bool IsClipboardFormatAvailable(uint32_t Format) { return ReadFormat(Format, nullptr); }

bool SetClipboardData(uint32_t Format, const std::vector<uint8_t>& Data) {
  const std::string Mime = VclClipboardMimeType(Format);
  if (Mime.empty() || !QtClipboard()) return false;
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  if (!OpenedByCaller(S)) return false;
  if (!S.Pending) S.Pending = CopyOfCurrent();
  if (IsTextFormat(Format)) {
    size_t N = Data.size();
    if (N > 0 && Data[N - 1] == 0) --N;
    S.Pending->setText(QString::fromUtf8(reinterpret_cast<const char*>(Data.data()), static_cast<qsizetype>(N)));
  } else if (Format == CF_DIB) {
    S.Pending->setData(QString::fromStdString(Mime), DibToBmpFile(Data));
  } else {
    S.Pending->setData(QString::fromStdString(Mime),
                       QByteArray(reinterpret_cast<const char*>(Data.data()), static_cast<qsizetype>(Data.size())));
  }
  return true;
}

bool GetClipboardData(uint32_t Format, std::vector<uint8_t>& Data) {
  Data.clear();
  QByteArray Bytes;
  if (!ReadFormat(Format, &Bytes)) return false;
  // A BMP file without its file header is the packed DIB.
  qsizetype Skip = 0;
  if (Format == CF_DIB) {
    if (Bytes.size() < 14 || Bytes[0] != 'B' || Bytes[1] != 'M') return false;
    Skip = 14;
  }
  Data.assign(Bytes.begin() + Skip, Bytes.end());
  return true;
}

void VclSetClipboardBusy(int32_t Attempts) {
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  S.Busy = std::max(0, Attempts);
}

int32_t VclClipboardBusyLeft() {
  TClipboardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  return S.Busy;
}
