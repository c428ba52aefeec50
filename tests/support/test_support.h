#pragma once
// Small helpers shared by the test programs: scratch folders and running the
// peer tools (libtiff's tools, ImageMagick, Ghostscript, netpbm, Pillow).
#include <string>
#include <vector>
#include <cstdint>

namespace testsupport {

// A fresh folder under the system temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return FPath; }
  std::string file(const std::string& name) const { return FPath + "/" + name; }
 private:
  std::string FPath;
};

// Runs a shell command; answers its exit status and fills Output with what it
// printed on standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);

// True when the named program is on the PATH.
bool HaveTool(const std::string& name);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data);

}  // namespace testsupport
