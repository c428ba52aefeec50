#pragma once
// Where the program finds its resources (window forms, button pictures,
// cursors): a folder that holds forms/main_window.dfm, looked for in order
//   1. FOLIVRA_RESOURCE_DIR, when it is set (then nowhere else);
//   2. beside the executable: <its folder>/resources;
//   3. the installed data folder: <its folder>/../share/folivra/resources,
//      then InstalledFolder (the data folder the build installs into).
#include <string>
#include <vector>

struct TResourceSearch {
  std::string Found;               // "" when no folder holds the resources
  std::vector<std::string> Tried;  // every folder looked in, in order
};

TResourceSearch FindResourceFolder(const std::string& ExecutableFolder, const std::string& InstalledFolder);
// The folder of the running executable ("" when it cannot be told).
std::string ExecutableFolder();
// The message for resources that were not found, naming every folder
// looked in.
std::string MissingResourcesText(const TResourceSearch& Search);
