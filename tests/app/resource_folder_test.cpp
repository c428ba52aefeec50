// The program finds its resources beside the executable or in the installed
// data folder, wherever it is started from; when they are missing it says
// which folders it looked in.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <sstream>
#include <thread>
#include <fcntl.h>

#include "app/app_fixture.h"
#include "app/resource_folder.h"

extern char** environ;

using namespace apptest;
namespace fs = std::filesystem;

namespace {

// Unsets FOLIVRA_RESOURCE_DIR for the test's duration.
class TNoResourceVariable {
 public:
  TNoResourceVariable() {
    if (const char* E = std::getenv("FOLIVRA_RESOURCE_DIR")) FSaved = E, FHad = true;
    unsetenv("FOLIVRA_RESOURCE_DIR");
  }
  ~TNoResourceVariable() {
    if (FHad) setenv("FOLIVRA_RESOURCE_DIR", FSaved.c_str(), 1);
    else unsetenv("FOLIVRA_RESOURCE_DIR");
  }

 private:
  std::string FSaved;
  bool FHad = false;
};

void MakeResources(const fs::path& Folder) {
  fs::create_directories(Folder / "forms");
  std::ofstream(Folder / "forms" / "main_window.dfm") << "object form_multipage: Tform_multipage\nend\n";
}

TEST(ResourceFolder, BesideTheExecutableThenTheInstalledDataFolder) {
  TNoResourceVariable NoVariable;
  testsupport::TempDir Dir;
  const fs::path Root(Dir.path());
  const std::string Bin = (Root / "bin").string(), Installed = (Root / "usr" / "share" / "folivra" / "resources").string();
  fs::create_directories(Bin);
  // Nothing anywhere: every folder looked in is named.
  TResourceSearch S = FindResourceFolder(Bin, Installed);
  EXPECT_EQ(S.Found, "");
  ASSERT_EQ(S.Tried.size(), 3u);
  EXPECT_EQ(S.Tried[0], Bin + "/resources");
  EXPECT_EQ(S.Tried[1], (Root / "share" / "folivra" / "resources").string());
  EXPECT_EQ(S.Tried[2], Installed);
  const std::string Text = MissingResourcesText(S);
  for (const std::string& T : S.Tried) EXPECT_NE(Text.find(T), std::string::npos) << Text;
  // The configured data folder, then the one beside bin/, then the
  // executable's own folder win in turn.
  MakeResources(Installed);
  EXPECT_EQ(FindResourceFolder(Bin, Installed).Found, Installed);
  MakeResources(Root / "share" / "folivra" / "resources");
  EXPECT_EQ(FindResourceFolder(Bin, Installed).Found, S.Tried[1]);
  MakeResources(Root / "bin" / "resources");
  EXPECT_EQ(FindResourceFolder(Bin, Installed).Found, S.Tried[0]);
  // The variable names the one folder to use.
  setenv("FOLIVRA_RESOURCE_DIR", (Root / "elsewhere").c_str(), 1);
  S = FindResourceFolder(Bin, Installed);
  EXPECT_EQ(S.Found, "");
  EXPECT_EQ(S.Tried, std::vector<std::string>{(Root / "elsewhere").string()});
}

// Starts the program copied to Folder/bin with no resource variable; answers
// what it wrote on its error stream within Wait, and whether it still ran.
std::string RunCopiedProgram(const fs::path& Folder, std::chrono::milliseconds Wait, bool& Running) {
  fs::create_directories(Folder / "bin");
  const fs::path Exe = Folder / "bin" / "folivra";
  fs::copy_file(FOLIVRA_BINARY, Exe, fs::copy_options::overwrite_existing);
  const std::string Err = (Folder / "stderr.txt").string();
  std::vector<std::string> Env = {"QT_QPA_PLATFORM=offscreen", "HOME=" + Folder.string(),
                                  "FOLIVRA_CONFIG_DIR=" + (Folder / "config").string(),
                                  "XDG_RUNTIME_DIR=" + Folder.string(), "PATH=/usr/bin:/bin"};
  std::vector<char*> Envp;
  for (auto& E : Env) Envp.push_back(E.data());
  Envp.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 2, Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
  std::string Path = Exe.string();
  char* Argv[] = {Path.data(), nullptr};
  pid_t Pid = -1;
  const int Spawned = posix_spawn(&Pid, Path.c_str(), &Actions, nullptr, Argv, Envp.data());
  posix_spawn_file_actions_destroy(&Actions);
  if (Spawned != 0) return "spawn failed";
  auto Said = [&] {
    std::ifstream In(Err);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  };
  const auto End = std::chrono::steady_clock::now() + Wait;
  int Status = 0;
  Running = true;
  while (std::chrono::steady_clock::now() < End) {
    if (waitpid(Pid, &Status, WNOHANG) == Pid) {
      Running = false;
      break;
    }
    if (Said().find("Looked in:") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (Running) {
    kill(Pid, SIGKILL);
    waitpid(Pid, &Status, 0);
  }
  return Said();
}

TEST(ResourceFolder, TheProgramStartedFromAnotherFolderFindsItsInstalledResourcesOrSaysWhereItLooked) {
  TNoResourceVariable NoVariable;
  testsupport::TempDir Dir;
  const fs::path Root(Dir.path());
  bool Running = false;
  const std::string Said = RunCopiedProgram(Root / "bare", std::chrono::seconds(20), Running);
  EXPECT_NE(Said.find("Looked in:"), std::string::npos) << Said;
  EXPECT_NE(Said.find((Root / "bare" / "bin" / "resources").string()), std::string::npos) << Said;
  EXPECT_NE(Said.find((Root / "bare" / "share" / "folivra" / "resources").string()), std::string::npos) << Said;

  // Installed beside bin/ as share/folivra/resources: the window comes up.
  fs::create_directories(Root / "installed" / "share" / "folivra");
  fs::create_directory_symlink(fs::path(FOLIVRA_RESOURCES), Root / "installed" / "share" / "folivra" / "resources");
  const std::string Quiet = RunCopiedProgram(Root / "installed", std::chrono::seconds(2), Running);
  EXPECT_TRUE(Running) << Quiet;
  EXPECT_EQ(Quiet.find("Looked in:"), std::string::npos) << Quiet;
}

}  // namespace
