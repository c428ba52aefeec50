// URL downloads through libcurl.
#include "io/url_loading.h"

#include <atomic>
#include <curl/curl.h>

#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>

#include "foundations/file_utils.h"
#include "platform/rtl/streams.h"

namespace {

const char* const AgentName = "Mozilla/4.*";
constexpr long TransferBufferSize = 65536;
constexpr long MaxRedirects = 10;
// A transfer that stalls (below one byte per second for this long) fails
// instead of blocking its thread forever; the abort flag ends it sooner.
constexpr long StallSeconds = 300;
constexpr long ConnectSeconds = 60;
constexpr size_t MaxFtpExtLength = 10;

// Library state: set up once, torn down only when no download runs.
std::mutex GLock;
std::condition_variable GIdle;
bool GInitialised = false;
int32_t GActive = 0;

bool InitLocked() {
  if (!GInitialised) GInitialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return GInitialised;
}

// Counts one running download for the whole of its life, so that
// IEFreeWinInet never tears the library down under it.
class TActiveDownload {
 public:
  TActiveDownload() {
    std::lock_guard<std::mutex> L(GLock);
    FOk = InitLocked();
    if (FOk) ++GActive;
  }
  ~TActiveDownload() {
    if (!FOk) return;
    std::lock_guard<std::mutex> L(GLock);
    if (--GActive == 0) GIdle.notify_all();
  }
  TActiveDownload(const TActiveDownload&) = delete;
  TActiveDownload& operator=(const TActiveDownload&) = delete;
  bool Ok() const { return FOk; }

 private:
  bool FOk = false;
};

// 1..65535 written in decimal digits only; anything else gives 80.
int32_t ParsePort(const std::string& Text) {
  if (Text.empty() || Text.size() > 5) return 80;
  int32_t V = 0;
  for (char C : Text) {
    if (C < '0' || C > '9') return 80;
    V = V * 10 + (C - '0');
  }
  return V >= 1 && V <= 65535 ? V : 80;
}

bool ValidHost(const std::string& Host) {
  if (Host.empty()) return false;
  for (unsigned char C : Host)
    if (C <= 0x20 || C == 0x7F || std::strchr("?#/\\@", C)) return false;
  return true;
}

// Bytes the URL syntax cannot carry raw (spaces, controls, 8-bit text) are
// percent-encoded; everything else goes as written.
std::string EncodePath(const std::string& Path) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string R;
  R.reserve(Path.size());
  for (unsigned char C : Path) {
    if (C <= 0x20 || C >= 0x7F) {
      R += '%';
      R += Hex[C >> 4];
      R += Hex[C & 15];
    } else {
      R += char(C);
    }
  }
  return R;
}

std::string ContentSubtype(const char* ContentType) {
  if (!ContentType) return "";
  std::string T = ContentType;
  const size_t Slash = T.find('/');
  if (Slash == std::string::npos) return "";
  T.erase(0, Slash + 1);
  // parameters ("; charset=...") are not part of the type
  const size_t Semi = T.find(';');
  if (Semi != std::string::npos) T.erase(Semi);
  while (!T.empty() && (T.back() == ' ' || T.back() == '\t')) T.pop_back();
  size_t Lead = 0;
  while (Lead < T.size() && (T[Lead] == ' ' || T[Lead] == '\t')) ++Lead;
  T.erase(0, Lead);
  for (char& C : T)
    if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
  return T;
}

struct TTransfer {
  CURL* Handle = nullptr;
  TStream* Stream = nullptr;
  const TIEProgressEvent* Progress = nullptr;
  TObject* Sender = nullptr;
  std::atomic<bool>* Aborting = nullptr;
  bool ReportProgress = false;  // HTTP: a percentage when the length is known
  int64_t Received = 0;
  bool Aborted = false;
  std::exception_ptr Error;  // raised by Stream or Progress, rethrown later

  bool AbortRequested() const { return Aborting && *Aborting; }
};

size_t WriteBlock(char* Data, size_t Size, size_t Count, void* User) {
  auto* T = static_cast<TTransfer*>(User);
  const size_t Bytes = Size * Count;
  try {
    if (Bytes > 0) {
      T->Stream->WriteBuffer(Data, int64_t(Bytes));
      T->Received += int64_t(Bytes);
    }
    if (T->ReportProgress && T->Progress && *T->Progress) {
      curl_off_t Total = -1;
      if (curl_easy_getinfo(T->Handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &Total) == CURLE_OK && Total > 0) {
        // 64-bit arithmetic: the percentage stays right beyond 4 GB
        const int64_t Per = T->Received / Total * 100 + T->Received % Total * 100 / Total;
        (*T->Progress)(T->Sender, int32_t(Per > INT32_MAX ? INT32_MAX : Per));
      }
    }
  } catch (...) {
    T->Error = std::current_exception();
    return 0;
  }
  if (T->AbortRequested()) {
    T->Aborted = true;
    return 0;
  }
  return Bytes;
}

// Called by libcurl regularly, also while no data arrives: the abort flag
// stops a stalled transfer too.
int TransferInfo(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* T = static_cast<TTransfer*>(User);
  if (T->AbortRequested()) {
    T->Aborted = true;
    return 1;
  }
  return 0;
}

class TEasyHandle {
 public:
  TEasyHandle() : FHandle(curl_easy_init()) {}
  ~TEasyHandle() {
    if (FHandle) curl_easy_cleanup(FHandle);
  }
  TEasyHandle(const TEasyHandle&) = delete;
  TEasyHandle& operator=(const TEasyHandle&) = delete;
  CURL* Get() const { return FHandle; }

 private:
  CURL* FHandle;
};

}  // namespace

void IEInitWinInet() {
  std::lock_guard<std::mutex> L(GLock);
  InitLocked();
}

void IEFreeWinInet() {
  std::unique_lock<std::mutex> L(GLock);
  GIdle.wait(L, [] { return GActive == 0; });
  if (!GInitialised) return;
  curl_global_cleanup();
  GInitialised = false;
}

bool IESplitURL(const std::string& URL, TIEURLParts& Parts) {
  Parts = TIEURLParts();
  const int32_t Scheme = IEGetURLTypeW(URL);
  size_t Skip;
  switch (Scheme) {
    case 1: Skip = 7; break;
    case 2: Skip = 8; break;
    case 3: Skip = 6; break;
    default: return false;
  }
  std::string Rest = URL.substr(Skip);
  const size_t Slash = Rest.find('/');
  // a URL that ends right after the host asks for the root
  std::string HostPart = Slash == std::string::npos ? Rest : Rest.substr(0, Slash);
  Parts.Path = Slash == std::string::npos ? std::string("/") : Rest.substr(Slash);
  const size_t At = HostPart.find('@');
  if (At != std::string::npos) {
    const std::string Credentials = HostPart.substr(0, At);
    const size_t Colon = Credentials.find(':');
    if (Colon == std::string::npos) return false;
    Parts.User = Credentials.substr(0, Colon);
    Parts.Password = Credentials.substr(Colon + 1);
    HostPart.erase(0, At + 1);
  }
  size_t PortColon = std::string::npos;
  if (!HostPart.empty() && HostPart[0] == '[') {
    const size_t Close = HostPart.find(']');
    if (Close == std::string::npos) return false;
    if (Close + 1 < HostPart.size()) {
      if (HostPart[Close + 1] != ':') return false;
      PortColon = Close + 1;
    }
  } else {
    PortColon = HostPart.find(':');
  }
  if (PortColon != std::string::npos) {
    Parts.Port = ParsePort(HostPart.substr(PortColon + 1));
    Parts.Host = HostPart.substr(0, PortColon);
  } else {
    Parts.Port = Scheme == 1 ? 80 : Scheme == 2 ? 443 : 21;
    Parts.Host = HostPart;
  }
  if (!ValidHost(Parts.Host)) return false;
  Parts.Scheme = Scheme;
  return true;
}

bool IEGetFromURL(const std::string& URL, TStream* Stream, const std::string& ProxyAddress,
                  const std::string& ProxyUser, const std::string& ProxyPassword, const TIEProgressEvent& Progress,
                  TObject* Sender, std::atomic<bool>* Aborting, std::string& Ext) {
  Ext.clear();
  TIEURLParts Parts;
  if (!Stream || !IESplitURL(URL, Parts)) return false;
  const bool Http = Parts.Scheme != 3;
  if (!Http) {
    Ext = IEExtractFileExt(Parts.Path, false);
    if (Ext.size() > MaxFtpExtLength) Ext.resize(MaxFtpExtLength);
  }

  TActiveDownload Active;
  if (!Active.Ok()) return false;
  TEasyHandle Easy;
  CURL* H = Easy.Get();
  if (!H) return false;

  static const char* const SchemeText[] = {"", "http", "https", "ftp"};
  const std::string Target = std::string(SchemeText[Parts.Scheme]) + "://" + Parts.Host + ":" +
                             std::to_string(Parts.Port) + EncodePath(Parts.Path);

  TTransfer T;
  T.Handle = H;
  T.Stream = Stream;
  T.Progress = &Progress;
  T.Sender = Sender;
  T.Aborting = Aborting;
  T.ReportProgress = Http;

  bool SetupOk = curl_easy_setopt(H, CURLOPT_URL, Target.c_str()) == CURLE_OK;
  SetupOk = SetupOk && curl_easy_setopt(H, CURLOPT_PROTOCOLS_STR, "http,https,ftp") == CURLE_OK;
  SetupOk = SetupOk && curl_easy_setopt(H, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp") == CURLE_OK;
  if (!SetupOk) return false;
  curl_easy_setopt(H, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(H, CURLOPT_USERAGENT, AgentName);
  curl_easy_setopt(H, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(H, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(H, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(H, CURLOPT_MAXREDIRS, MaxRedirects);
  // an error page is not the resource
  curl_easy_setopt(H, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(H, CURLOPT_BUFFERSIZE, TransferBufferSize);
  curl_easy_setopt(H, CURLOPT_CONNECTTIMEOUT, ConnectSeconds);
  curl_easy_setopt(H, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(H, CURLOPT_LOW_SPEED_TIME, StallSeconds);
  curl_easy_setopt(H, CURLOPT_WRITEFUNCTION, WriteBlock);
  curl_easy_setopt(H, CURLOPT_WRITEDATA, &T);
  curl_easy_setopt(H, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(H, CURLOPT_XFERINFOFUNCTION, TransferInfo);
  curl_easy_setopt(H, CURLOPT_XFERINFODATA, &T);
  if (ProxyAddress.empty()) {
    // "" rather than unset: no proxy taken from the environment either
    curl_easy_setopt(H, CURLOPT_PROXY, "");
    if (!Parts.User.empty() || !Parts.Password.empty()) {
      curl_easy_setopt(H, CURLOPT_USERNAME, Parts.User.c_str());
      curl_easy_setopt(H, CURLOPT_PASSWORD, Parts.Password.c_str());
    }
  } else {
    curl_easy_setopt(H, CURLOPT_PROXY, ProxyAddress.c_str());
    if (!ProxyUser.empty() || !ProxyPassword.empty()) {
      curl_easy_setopt(H, CURLOPT_PROXYUSERNAME, ProxyUser.c_str());
      curl_easy_setopt(H, CURLOPT_PROXYPASSWORD, ProxyPassword.c_str());
    }
  }

  const CURLcode Code = curl_easy_perform(H);
  if (Http && Code == CURLE_OK) {
    const char* Type = nullptr;
    if (curl_easy_getinfo(H, CURLINFO_CONTENT_TYPE, &Type) == CURLE_OK) Ext = ContentSubtype(Type);
  }
  if (T.Error) std::rethrow_exception(T.Error);  // Easy and Active clean up on the way out
  return Code == CURLE_OK && !T.Aborted;
}
