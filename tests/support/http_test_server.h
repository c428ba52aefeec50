#pragma once
// A tiny HTTP/1.1 server for tests: it listens on 127.0.0.1 on a port the
// system picks, serves canned answers from a table in a thread of its own and
// records every request it receives.
//
//   testsupport::HttpTestServer Server({{"/a.tif", {200, "image/tiff", Bytes}}});
//   Load(Server.Url("/a.tif"));
//   EXPECT_EQ(Server.Requests()[0].Target, "/a.tif");
//
// One connection at a time, one request per connection ("Connection: close").
// Requests are matched by their target; a proxy request (an absolute URI in
// the request line) is matched by the URI's path when the full URI is not in
// the table.  An unknown target answers 404 with a small HTML page.
// Every wait is bounded (the stop flag is polled every 50 ms, a silent client
// is dropped after a few seconds), and the destructor stops and joins the
// thread, so a failing test never hangs on the server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

struct HttpReply {
  enum TFraming { Length, Close, Chunked };
  HttpReply(int AStatus = 200, std::string AContentType = "", std::string ABody = "", TFraming AFraming = Length,
            std::string ALocation = "")
      : Status(AStatus),
        ContentType(std::move(AContentType)),
        Body(std::move(ABody)),
        Framing(AFraming),
        Location(std::move(ALocation)) {}

  int Status = 200;
  std::string ContentType;  // empty: no Content-Type header
  std::string Body;
  // How the body's end is shown: a Content-Length header, the closing of the
  // connection (no length), or chunked transfer coding (chunks of 1000 bytes).
  TFraming Framing = Length;
  std::string Location;  // sent as a Location header when not empty
  // Sends only this many body bytes (the full length is still announced),
  // then holds the connection open until the client closes it: a slow body.
  size_t StallAfter = SIZE_MAX;
};

struct HttpRequestRecord {
  std::string Method, Target, Version;
  std::map<std::string, std::string> Headers;  // names in lower case

  std::string Header(const std::string& LowerName) const {
    auto It = Headers.find(LowerName);
    return It == Headers.end() ? std::string() : It->second;
  }
};

class HttpTestServer {
 public:
  explicit HttpTestServer(std::map<std::string, HttpReply> Routes) : FRoutes(std::move(Routes)) {
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FListen < 0) throw std::runtime_error("socket");
    sockaddr_in A = Loopback(0);
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 || ::listen(FListen, 8) != 0) {
      ::close(FListen);
      throw std::runtime_error("bind/listen");
    }
    FPort = BoundPort(FListen);
    FThread = std::thread([this] { Serve(); });
  }

  ~HttpTestServer() {
    FStop = true;
    FThread.join();
    ::close(FListen);
  }

  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  uint16_t Port() const { return FPort; }
  std::string Authority() const { return "127.0.0.1:" + std::to_string(FPort); }
  // "http://127.0.0.1:PORT" + Path.
  std::string Url(const std::string& Path) const { return "http://" + Authority() + Path; }

  std::vector<HttpRequestRecord> Requests() const {
    std::lock_guard<std::mutex> L(FLock);
    return FRequests;
  }

  // A loopback port nobody listens on (bound for a moment, then released):
  // connecting to it is refused at once.
  static uint16_t UnusedPort() {
    const int S = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A = Loopback(0);
    uint16_t P = 0;
    if (S >= 0 && ::bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0) P = BoundPort(S);
    if (S >= 0) ::close(S);
    return P;
  }

 private:
  static constexpr int PollMs = 50;
  static constexpr int SilentClientPolls = 100;  // about 5 s
  static constexpr int StallPolls = 200;         // about 10 s at most
  static constexpr size_t MaxHeaderBytes = 65536;

  static sockaddr_in Loopback(uint16_t Port) {
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_port = htons(Port);
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return A;
  }

  static uint16_t BoundPort(int S) {
    sockaddr_in A{};
    socklen_t L = sizeof A;
    ::getsockname(S, reinterpret_cast<sockaddr*>(&A), &L);
    return ntohs(A.sin_port);
  }

  // Polls S for reading in steps of PollMs; false on stop or after Polls steps.
  bool WaitReadable(int S, int Polls) const {
    for (int I = 0; I < Polls && !FStop; ++I) {
      pollfd P{S, POLLIN, 0};
      if (::poll(&P, 1, PollMs) > 0) return true;
    }
    return false;
  }

  static bool SendAll(int S, const char* Data, size_t Size) {
    while (Size > 0) {
      const ssize_t N = ::send(S, Data, Size, MSG_NOSIGNAL);
      if (N <= 0) return false;
      Data += N;
      Size -= size_t(N);
    }
    return true;
  }
  static bool SendAll(int S, const std::string& Text) { return SendAll(S, Text.data(), Text.size()); }

  void Serve() {
    while (!FStop) {
      if (!WaitReadable(FListen, 1)) continue;
      const int C = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
      if (C < 0) continue;
      timeval Tv{5, 0};
      ::setsockopt(C, SOL_SOCKET, SO_SNDTIMEO, &Tv, sizeof Tv);
      HandleConnection(C);
      ::close(C);
    }
  }

  void HandleConnection(int C) {
    std::string Head;
    while (Head.find("\r\n\r\n") == std::string::npos) {
      if (Head.size() > MaxHeaderBytes || !WaitReadable(C, SilentClientPolls)) return;
      char Buf[4096];
      const ssize_t N = ::recv(C, Buf, sizeof Buf, 0);
      if (N <= 0) return;
      Head.append(Buf, size_t(N));
    }
    HttpRequestRecord R = Parse(Head.substr(0, Head.find("\r\n\r\n")));
    {
      std::lock_guard<std::mutex> L(FLock);
      FRequests.push_back(R);
    }
    Answer(C, Lookup(R.Target));
  }

  static HttpRequestRecord Parse(const std::string& Head) {
    HttpRequestRecord R;
    size_t Pos = 0;
    bool First = true;
    while (Pos <= Head.size()) {
      size_t End = Head.find("\r\n", Pos);
      if (End == std::string::npos) End = Head.size();
      const std::string Line = Head.substr(Pos, End - Pos);
      Pos = End + 2;
      if (First) {
        First = false;
        const size_t S1 = Line.find(' '), S2 = Line.rfind(' ');
        if (S1 == std::string::npos || S2 == S1) continue;
        R.Method = Line.substr(0, S1);
        R.Target = Line.substr(S1 + 1, S2 - S1 - 1);
        R.Version = Line.substr(S2 + 1);
        continue;
      }
      const size_t Colon = Line.find(':');
      if (Colon == std::string::npos) continue;
      std::string Name = Line.substr(0, Colon);
      std::transform(Name.begin(), Name.end(), Name.begin(), [](unsigned char Ch) { return char(std::tolower(Ch)); });
      size_t V = Colon + 1;
      while (V < Line.size() && Line[V] == ' ') ++V;
      R.Headers[Name] = Line.substr(V);
    }
    return R;
  }

  HttpReply Lookup(const std::string& Target) const {
    auto It = FRoutes.find(Target);
    if (It == FRoutes.end() && Target.rfind("http://", 0) == 0) {
      const size_t Slash = Target.find('/', 7);
      It = FRoutes.find(Slash == std::string::npos ? std::string("/") : Target.substr(Slash));
    }
    if (It != FRoutes.end()) return It->second;
    HttpReply NotFound;
    NotFound.Status = 404;
    NotFound.ContentType = "text/html";
    NotFound.Body = "<html><body>not found</body></html>";
    return NotFound;
  }

  static const char* Reason(int Status) {
    switch (Status) {
      case 200: return "OK";
      case 301: return "Moved Permanently";
      case 302: return "Found";
      case 403: return "Forbidden";
      case 404: return "Not Found";
      case 407: return "Proxy Authentication Required";
      case 500: return "Internal Server Error";
      default: return "Status";
    }
  }

  void Answer(int C, const HttpReply& A) const {
    std::string H = "HTTP/1.1 " + std::to_string(A.Status) + " " + Reason(A.Status) + "\r\nConnection: close\r\n";
    if (!A.ContentType.empty()) H += "Content-Type: " + A.ContentType + "\r\n";
    if (!A.Location.empty()) H += "Location: " + A.Location + "\r\n";
    if (A.Framing == HttpReply::Length) H += "Content-Length: " + std::to_string(A.Body.size()) + "\r\n";
    if (A.Framing == HttpReply::Chunked) H += "Transfer-Encoding: chunked\r\n";
    H += "\r\n";
    if (!SendAll(C, H)) return;
    const size_t Sent = std::min(A.StallAfter, A.Body.size());
    if (A.Framing == HttpReply::Chunked) {
      for (size_t P = 0; P < Sent; P += 1000) {
        const size_t N = std::min<size_t>(1000, Sent - P);
        char Size[32];
        std::snprintf(Size, sizeof Size, "%zx\r\n", N);
        if (!SendAll(C, Size) || !SendAll(C, A.Body.data() + P, N) || !SendAll(C, "\r\n", 2)) return;
      }
      if (Sent == A.Body.size() && !SendAll(C, "0\r\n\r\n")) return;
    } else if (!SendAll(C, A.Body.data(), Sent)) {
      return;
    }
    if (Sent < A.Body.size()) {
      // slow body: hold on until the client gives up (or the server stops)
      char Buf[256];
      while (WaitReadable(C, StallPolls) && ::recv(C, Buf, sizeof Buf, 0) > 0) {
      }
    }
  }

  std::map<std::string, HttpReply> FRoutes;
  int FListen = -1;
  uint16_t FPort = 0;
  std::atomic<bool> FStop{false};
  mutable std::mutex FLock;
  std::vector<HttpRequestRecord> FRequests;
  std::thread FThread;
};

}  // namespace testsupport
