#pragma once
// The file names the commands ask the user for: an open or save dialog with
// the command's filter, proposed name and default extension. Tests answer
// through a hook instead of a person.
#include <functional>
#include <string>

class TComponent;

struct TFileChoiceRequest {
  bool Save = false;
  std::string Title;
  // "Description|*.a;*.b|Other|*.c" pairs.
  std::string Filter;
  int32_t FilterIndex = 1;  // 1-based
  std::string FileName;     // proposed name (may hold a folder)
  std::string DefaultExt;   // with or without the dot
  // The I/O component whose parameters the save dialog's advanced button
  // edits (nullptr: none).
  TComponent* AttachedIO = nullptr;
};

// Answers the chosen name, or "" when the user cancelled.
using TFileChoiceHook = std::function<std::string(const TFileChoiceRequest& Request)>;
// Installs the hook; answers the previous one.
TFileChoiceHook SetFileChoiceHook(TFileChoiceHook Hook);
// Shows the dialog (or asks the hook); "" on cancel.
std::string ChooseFile(const TFileChoiceRequest& Request);
