// TFolio: a view whose I/O and processing components exist from the start.
#include "dialogs/folio.h"

#include <gtest/gtest.h>

#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "platform/vcl/form_reader.h"
#include "processing/folio_proc.h"
#include "support/test_support.h"

TEST(Folio, CreatesItsComponentsAtOnceAndLoadsThroughThem) {
  TFolioView Plain(nullptr);
  EXPECT_FALSE(Plain.HasIO());
  EXPECT_FALSE(Plain.HasProc());
  TFolio View(nullptr);
  ASSERT_TRUE(View.HasIO());
  ASSERT_TRUE(View.HasProc());
  EXPECT_EQ(View.GetIO()->GetAttachedFolio(), &View);
  // Saved and loaded through its own component.
  testsupport::TempDir Dir;
  TIEBitmap B;
  B.Allocate(9, 7, ie24RGB);
  B.Fill(static_cast<double>(0x112233));
  auto Writer = TFolioIO::CreateFromBitmap(&B);
  Writer->SaveToFile(Dir.file("p.png"));
  View.GetIO()->LoadFromFile(Dir.file("p.png"));
  EXPECT_FALSE(View.GetIO()->GetAborting());
  EXPECT_EQ(View.GetIEBitmap()->GetWidth(), 9);
  // Form resources create it by its class name.
  TComponent Root(nullptr);
  ReadComponentResource(&Root, "object Root: TComponent\n  object IEn: TFolio\n  end\nend\n", nullptr, "t");
  auto* IEn = dynamic_cast<TFolio*>(Root.FindComponent("IEn"));
  ASSERT_NE(IEn, nullptr);
  EXPECT_TRUE(IEn->HasIO());
}
