#include "app/resource_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool HoldsResources(const fs::path& Folder) {
  std::error_code Ec;
  return fs::is_regular_file(Folder / "forms" / "main_window.dfm", Ec);
}

std::string Clean(const fs::path& P) { return P.lexically_normal().string(); }

}  // namespace

TResourceSearch FindResourceFolder(const std::string& ExecutableFolder, const std::string& InstalledFolder) {
  TResourceSearch Search;
  std::vector<fs::path> Candidates;
  if (const char* E = std::getenv("FOLIVRA_RESOURCE_DIR"); E && *E) {
    Candidates.push_back(E);
  } else {
    if (!ExecutableFolder.empty()) {
      Candidates.push_back(fs::path(ExecutableFolder) / "resources");
      Candidates.push_back(fs::path(ExecutableFolder) / ".." / "share" / "folivra" / "resources");
    }
    if (!InstalledFolder.empty()) Candidates.push_back(InstalledFolder);
  }
  for (const fs::path& C : Candidates) {
    const std::string Name = Clean(C);
    bool Seen = false;
    for (const std::string& T : Search.Tried) Seen = Seen || T == Name;
    if (Seen) continue;
    Search.Tried.push_back(Name);
    if (HoldsResources(C)) {
      Search.Found = Name;
      break;
    }
  }
  return Search;
}

std::string ExecutableFolder() {
  std::error_code Ec;
  const fs::path Exe = fs::read_symlink("/proc/self/exe", Ec);
  return Ec ? std::string() : Exe.parent_path().string();
}

std::string MissingResourcesText(const TResourceSearch& Search) {
  std::string Text = "The program's resources (window forms and pictures) were not found. Looked in:";
  for (const std::string& T : Search.Tried) Text += "\r\n" + T;
  if (Search.Tried.empty()) Text += "\r\n(no folder: the program's own folder is unknown)";
  Text += "\r\nInstall the program again, or name the resources folder in FOLIVRA_RESOURCE_DIR.";
  return Text;
}
