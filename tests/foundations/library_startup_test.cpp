// The library's one-time start-up: counted, guarded, its steps in their order
// once, and its shutdown steps in the reverse order when the count falls to 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundations/library_startup.h"

namespace {

TEST(LibraryStartup, RunsStepsOnceInOrderAndTearsDownInReverse) {
  std::vector<std::string> Log;
  IEAddStartupStep(iessFaxCodec, [&] { Log.push_back("fax+"); }, [&] { Log.push_back("fax-"); });
  IEAddStartupStep(iessDefaults, [&] { Log.push_back("defs+"); }, [&] { Log.push_back("defs-"); });
  IEAddStartupStep(iessSingleImageIO, [&] { Log.push_back("io+"); }, [&] { Log.push_back("io-"); });
  ASSERT_EQ(IEStaticInitCount(), 0);
  EXPECT_EQ(IEStaticInitTag(), "");
  IEStaticFinalize();  // never started: harmless
  IEStaticInitialize();
  IEStaticInitialize();
  EXPECT_EQ(IEStaticInitTag(), "STATICINIT");
  EXPECT_EQ(IEStaticInitCount(), 2);
  EXPECT_EQ(Log, (std::vector<std::string>{"defs+", "io+", "fax+"}));
  IEStaticFinalize();
  EXPECT_EQ(Log.size(), 3u) << "the inner finalize tears nothing down";
  IEStaticFinalize();
  EXPECT_EQ(Log, (std::vector<std::string>{"defs+", "io+", "fax+", "fax-", "io-", "defs-"}));
  EXPECT_EQ(IEStaticInitTag(), "");
  IEStaticFinalize();  // one too many: harmless
  EXPECT_EQ(IEStaticInitCount(), 0);
}

}  // namespace
