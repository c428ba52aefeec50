// PDF object model: how values are written, and the document skeleton.
#include "foundations/pdf_objects.h"

#include <gtest/gtest.h>

#include <clocale>

#include "platform/rtl/streams.h"

namespace {

std::string Text(TIEPDFObject& O) {
  TMemoryStream m;
  O.WriteToStream(&m);
  return std::string(static_cast<const char*>(m.GetMemory()), size_t(m.GetSize()));
}

TEST(PdfObjectsTest, ValuesAreWrittenAsPdfText) {
  TIEPDFDictionaryObject emptyDict;
  TIEPDFArrayObject emptyArray, two;
  two.Add(new TIEPDFNumericObject(1));
  two.Add(new TIEPDFNumericObject(2));
  TIEPDFStringObject parens("a(b)c\\d\n\xE9");
  TIEPDFNameObject spaced("lm 1#(x)/");
  TIEPDFRefObject ref(5, 0);
  EXPECT_EQ(Text(emptyDict), "<< >>");
  EXPECT_EQ(Text(emptyArray), "[]");
  EXPECT_EQ(Text(two), "[1 2 ]");
  EXPECT_EQ(Text(parens), "(a\\(b\\)c\\\\d\\n\xE9)");
  EXPECT_EQ(Text(spaced), "/lm#201#23#28x#29#2F");
  EXPECT_EQ(Text(ref), "5 0 R");
  // Numbers: never an exponent, "." whatever the locale.
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  const std::pair<double, const char*> numbers[] = {{595.0, "595"},   {0.5, "0.5"},
                                                    {-2.25, "-2.25"}, {1e20, "100000000000000000000"},
                                                    {1e-9, "0"},      {123456789012.0, "123456789012"}};
  for (const auto& n : numbers) {
    TIEPDFNumericObject o(n.first);
    EXPECT_EQ(Text(o), n.second);
  }
  std::setlocale(LC_NUMERIC, "C");
  // Non-ASCII text becomes UTF-16 with its byte-order mark.
  EXPECT_EQ(TIEPDFStringObject::FromText("\xC3\xA9")->Value, std::string("\xFE\xFF\x00\xE9", 4));
  EXPECT_EQ(TIEPDFStringObject::FromText("plain")->Value, "plain");
}

TEST(PdfObjectsTest, DocumentSkeletonAndCrossReference) {
  TIEPDFObjectList objects;
  std::vector<TIEPDFDictionaryObject*> pages;
  IEPDFCreateCatalog(objects);
  auto content = TIEPDFStreamObject::CreateFromBuffer("q Q", 3);
  TIEPDFObject* c = IEPDFAddObject(objects, std::move(content));
  IEPDFCreatePage(objects, pages, nullptr, new TIEPDFArrayObject(), c->ObjectNumber);
  IEPDFCreatePages(objects, pages);
  ASSERT_EQ(objects.size(), 4u);
  TMemoryStream m;
  IEPDFWriteHeader(&m);
  IEPDFWriteObjects(&m, objects);
  IEPDFWriteXRefTrailer(&m, objects, objects[3].get());
  const std::string s(static_cast<const char*>(m.GetMemory()), size_t(m.GetSize()));
  EXPECT_EQ(s.substr(0, 15), "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n");
  EXPECT_NE(s.find("/Length 3\n>>\nstream\nq Q\nendstream"), std::string::npos);
  EXPECT_NE(s.find("/Pages 4 0 R"), std::string::npos);
  EXPECT_NE(s.find("/Parent 4 0 R"), std::string::npos);
  const size_t xref = s.find("xref\n0 5\n");
  ASSERT_NE(xref, std::string::npos);
  size_t line = xref + 9;
  EXPECT_EQ(s.substr(line, 20), "0000000000 65535 f \n");
  for (int32_t i = 1; i <= 4; ++i) {
    line += 20;
    const std::string entry = s.substr(line, 20);
    EXPECT_EQ(entry.substr(10), " 00000 n \n");
    const size_t offset = std::stoul(entry.substr(0, 10));
    EXPECT_EQ(s.substr(offset, std::to_string(i).size() + 6), std::to_string(i) + " 0 obj");
  }
  EXPECT_NE(s.find("trailer\n<< /Size 5\n/Root 1 0 R\n/Info 4 0 R\n>>\nstartxref\n" + std::to_string(xref) +
                   "\n%%EOF\n"),
            std::string::npos);
  // A released object keeps its place in the table.
  const int64_t offset = objects[1]->Offset;
  IEPDFReleaseObject(objects, 2);
  EXPECT_EQ(objects[1]->Offset, offset);
  EXPECT_EQ(objects[1]->ObjectNumber, 2);
}

}  // namespace
