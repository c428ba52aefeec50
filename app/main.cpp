// The program's main block.
#include <clocale>
#include <exception>
#include <iostream>

#include "app/app_settings.h"
#include "app/library_steps.h"
#include "app/main_form.h"
#include "app/resource_folder.h"
#include "foundations/library_startup.h"
#include "platform/vcl/application.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/form_reader.h"

#ifndef FOLIVRA_DATA_DIR
#define FOLIVRA_DATA_DIR ""
#endif

int ProgramMain(int argc, char** argv) {
  ProgramArguments().assign(argv, argv + argc);
  Application->Initialize(argc, argv);
  // The window forms and pictures beside the executable or in the installed
  // data folder, wherever the program is started from.
  const TResourceSearch Resources = FindResourceFolder(ExecutableFolder(), FOLIVRA_DATA_DIR);
  if (Resources.Found.empty()) {
    const std::string Text = MissingResourcesText(Resources);
    std::cerr << "folivra: " << Text << "\n";
    MessageDlg(Text, mtError, mbOK, 0);
    return 1;
  }
  SetFormResourceFolder(Resources.Found + "/forms");
  // The library's one-time start-up, in its order, before any window exists.
  FolivraInstallLibrarySteps();
  IEStaticInitialize();
  int Result = 0;
  try {
    Application->SetTitle(KAppTitle);
    Tform_multipage* MainForm = nullptr;
    Application->CreateForm(MainForm);
    Application->Run();
    // The window goes before the library it uses is torn down.
    delete MainForm;
  } catch (const std::exception& E) {
    std::cerr << "folivra: " << E.what() << "\n";
    Result = 1;
  }
  IEStaticFinalize();
  return Result;
}

int main(int argc, char** argv) { return ProgramMain(argc, argv); }
