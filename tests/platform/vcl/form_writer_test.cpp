#include "platform/vcl/form_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/vcl/form_properties.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"

namespace {

// Keeps the last value read of each property.
class TValueKeeper : public TComponent, public IFormPropertyTarget {
 public:
  explicit TValueKeeper(TComponent* Owner) : TComponent(Owner) {}
  std::map<std::string, TFormValue> Values;
  bool SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext&) override {
    Values[Name] = Value;
    return true;
  }
};

TFormValue Item(std::vector<std::pair<std::string, TFormValue>> Props) {
  TFormValue::TItem I;
  for (auto& [N, V] : Props) I.Properties.emplace_back(N, V);
  TFormValue C;
  C.Kind = TFormValue::vkCollection;
  C.Items.push_back(I);
  return C;
}

// Every kind of value, written and read back, is the same value again.
TEST(FormWriter, ValuesReadBackAsWritten) {
  RegisterComponentClass<TValueKeeper>("TValueKeeper");
  std::vector<uint8_t> Bytes(70);
  for (size_t I = 0; I < Bytes.size(); ++I) Bytes[I] = static_cast<uint8_t>(I * 37);
  const std::vector<TFormValue> Cases = {
      TFormValue::OfInteger(0),
      TFormValue::OfInteger(-2147483648LL),
      TFormValue::OfInteger(9000000000LL),
      TFormValue::OfFloat(0.5L),
      TFormValue::OfFloat(-1e-7L),
      TFormValue::OfFloat(1.0L / 3),
      TFormValue::OfFloat(2.0L),
      TFormValue::OfFloat(1e20L),
      TFormValue::OfString(""),
      TFormValue::OfString("It's"),
      TFormValue::OfString("tab\there\r\nline"),
      TFormValue::OfString("caf\xC3\xA9 \xE2\x80\x93 ok"),
      TFormValue::OfIdent("alClient"),
      TFormValue::OfBoolean(true),
      TFormValue::OfSet(0, {"fsBold"}),
      TFormValue::OfSet(5, {"fsBold", "fsItalic", "fsUnderline"}),
      TFormValue::OfList({}),
      TFormValue::OfList({TFormValue::OfString("one"), TFormValue::OfInteger(2)}),
      Item({{"Width", TFormValue::OfInteger(50)}, {"Text", TFormValue::OfString("a")}}),
      TFormValue::OfBinary({}),
      TFormValue::OfBinary(Bytes),
  };
  std::string Text = "object F: TForm\n  object K: TValueKeeper\n";
  for (size_t I = 0; I < Cases.size(); ++I) Text += "    V" + std::to_string(I) + " = " + Cases[I].ToText(4) + "\n";
  Text += "  end\nend\n";
  TForm F(nullptr);
  ReadComponentResource(&F, Text, nullptr, "values");
  auto* K = dynamic_cast<TValueKeeper*>(F.FindComponent("K"));
  ASSERT_NE(K, nullptr);
  for (size_t I = 0; I < Cases.size(); ++I) {
    const TFormValue& Read = K->Values["V" + std::to_string(I)];
    EXPECT_EQ(Read.Kind, Cases[I].Kind) << I;
    EXPECT_EQ(Read.ToText(), Cases[I].ToText()) << I;
    EXPECT_EQ(Read.Float, Cases[I].Float) << I;
    EXPECT_EQ(Read.Text, Cases[I].Text) << I;
    EXPECT_EQ(Read.Binary, Cases[I].Binary) << I;
  }
}

// Defaults stay out, retired names are read but the current ones written,
// events keep their handlers' names.
TEST(FormWriter, WritesWhatDiffersUnderTheCurrentNames) {
  TForm F(nullptr);
  F.Handlers().Add("EditChange", TNotifyEvent([](TObject*) {}));
  ReadComponentResource(&F,
                        "object F: TForm\n"
                        "  object P: TPanel\n"
                        "  end\n"
                        "  object E: TEdit\n"
                        "    Caption = 'typed'\n"
                        "    OnChange = EditChange\n"
                        "  end\n"
                        "end\n",
                        &F.Handlers(), "retired");
  EXPECT_EQ(F.Find<TEdit>("E")->GetText(), "typed");
  const std::string Text = WriteComponentResource(&F);
  EXPECT_NE(Text.find("  object P: TPanel\n  end\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    Text = 'typed'\n"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("Caption = 'typed'"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    OnChange = EditChange\n"), std::string::npos) << Text;
}

// Broken picture, glyph and image-list data fail the read with a message.
TEST(FormWriter, BrokenBinaryDataFailsTheReadCleanly) {
  const char* Cases[] = {
      "object G: TSpeedButton\n Glyph.Data = {0400000042}\nend",
      "object G: TSpeedButton\n Glyph.Data = 'text'\nend",
      "object I: TImage\n Picture.Data = {07544269746D6170FFFFFFFF424D}\nend",
      "object I: TImage\n Picture.Data = {05544E6F6E65}\nend",
      "object L: TImageList\n Bitmap = {0100}\nend",
      "object L: TImageList\n Bitmap = {FFFFFFFF0400000000000000}\nend",
  };
  for (const char* Body : Cases) {
    TForm F(nullptr);
    const std::string Text = std::string("object F: TForm\n") + Body + "\nend\n";
    EXPECT_THROW(ReadComponentResource(&F, Text, nullptr, "broken"), EReadError) << Body;
  }
}

}  // namespace
