// Form resources: the text read into a plain component root; the reader
// creates the components it names from the class registry.
#include <QApplication>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "platform/rtl/components.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_reader.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzsupport::UseOffscreenPlatform();
  static QApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > (1 << 16)) return 0;
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  auto root = std::make_unique<TComponent>(nullptr);
  try {
    ReadComponentResource(root.get(), text, nullptr, "fuzz");
  } catch (const Exception&) {
    // A damaged resource raises the reader's own exception: a clean failure.
  }
  return 0;
}
