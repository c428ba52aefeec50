#pragma once
// Downloads of http, https and ftp URLs for the I/O components.
//
// Both components accept a URL wherever they accept a file name: the whole
// resource is downloaded into a stream (through libcurl) and then loaded like
// any other stream.  IEGetFromURL does the download for both.
#include <atomic>
#include <cstdint>
#include <string>

#include "foundations/progress.h"

class TStream;
class TObject;

// Global set-up and clean-up of the download library.  Both are idempotent and
// thread-safe; IEGetFromURL sets the library up on first use when nobody called
// IEInitWinInet, and IEFreeWinInet waits for running downloads to end.
void IEInitWinInet();
void IEFreeWinInet();

// A URL taken apart the way IEGetFromURL connects.
struct TIEURLParts {
  int32_t Scheme = 0;  // IEGetURLTypeW: 1 http, 2 https, 3 ftp
  std::string Host;    // as written (an IPv6 address keeps its brackets)
  int32_t Port = 0;
  std::string User;
  std::string Password;
  std::string Path;  // from the "/" after the host, "/" included
};

// Splits URL: the scheme (http, https or ftp; else false); the host part runs
// to the first "/" (none: the path is "/"); "user:password@" before the host
// (an "@" whose credentials lack ":" answers false); ":port" after the host
// (a port that is not a number from 1 to 65535 gives 80 for every scheme;
// none gives 80, 443 or 21 by scheme).  An empty host answers false.
bool IESplitURL(const std::string& URL, TIEURLParts& Parts);

// Downloads URL and appends its bytes to Stream at Stream's position.
//
// ProxyAddress empty: a direct connection with the URL's credentials (never a
// proxy from the environment).  ProxyAddress set: the request goes through
// that proxy, ProxyUser/ProxyPassword authenticate with the proxy and the
// URL's credentials are not used.
//
// HTTP(S): a GET with agent "Mozilla/4.*"; redirects are followed (at most 10);
// TLS certificates are verified; a status of 400 or more answers false and
// writes nothing.  Ext = the subtype of the answer's content type, lower case,
// without parameters ("image/jpeg; charset=x" gives "jpeg"), "" without one.
// When the length is announced, Progress(Sender, percent) follows every block
// received.  FTP: a binary read of the path (relative to the login folder);
// Ext = the path's extension, lower case, no dot, at most 10 characters; no
// progress.
//
// Aborting (may be null) is watched during the whole transfer: once set, the
// transfer stops and the answer is false (the bytes received so far stay in
// Stream).  Answers true only when the whole resource arrived.  Exceptions of
// Stream or of Progress pass to the caller after every handle is released.
bool IEGetFromURL(const std::string& URL, TStream* Stream, const std::string& ProxyAddress,
                  const std::string& ProxyUser, const std::string& ProxyPassword, const TIEProgressEvent& Progress,
                  TObject* Sender, std::atomic<bool>* Aborting, std::string& Ext);
