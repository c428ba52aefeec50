#include "platform/vcl/form_reader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/vcl/forms.h"

namespace {

// A non-visual component that keeps every value the reader gives it.
class TValueSink : public TComponent, public IFormPropertyTarget {
 public:
  explicit TValueSink(TComponent* Owner) : TComponent(Owner) {}
  std::map<std::string, TFormValue> Values;
  std::vector<std::string> Order;
  bool LoadingWhileRead = true;
  int LoadedCalls = 0;
  bool SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext&) override {
    LoadingWhileRead = LoadingWhileRead && (GetComponentState() & csLoading);
    Values[Name] = Value;
    Order.push_back(Name);
    return true;
  }
  void Loaded() override {
    TComponent::Loaded();
    ++LoadedCalls;
  }
};

TEST(FormReaderTest, ValueSyntax) {
  RegisterComponentClass<TValueSink>("TValueSink");
  const char* Text =
      "object F: TForm\n"
      "  object S: TValueSink\n"
      "    Int = -42\n"
      "    Hex = $FF00000F\n"
      "    Float = 1.5E2\n"
      "    Str = 'It''s'#13#10'ok' +\n"
      "      ' more'#8364\n"
      "    Ident = alClient\n"
      "    Set = [fsBold, fsItalic]\n"
      "    Empty = []\n"
      "    List = (\n"
      "      'one'\n"
      "      2\n"
      "      three)\n"
      "    Coll = <\n"
      "      item\n"
      "        Width = 50\n"
      "        Text = 'a'\n"
      "      end\n"
      "      item\n"
      "      end>\n"
      "    Bin = {\n"
      "      0A0b FF\n"
      "      00}\n"
      "    // a comment line\n"
      "  end\n"
      "end\n";
  TForm F(nullptr);
  F.ReadFormResourceText(Text, "syntax");
  auto* S = F.Find<TValueSink>("S");
  ASSERT_NE(S, nullptr);
  EXPECT_TRUE(S->LoadingWhileRead);
  EXPECT_EQ(S->LoadedCalls, 1);
  EXPECT_EQ(S->Order, (std::vector<std::string>{"Int", "Hex", "Float", "Str", "Ident", "Set", "Empty", "List",
                                                "Coll", "Bin"}));
  auto& V = S->Values;
  EXPECT_EQ(V["Int"].AsInteger(), -42);
  EXPECT_EQ(V["Hex"].AsInteger(), static_cast<int32_t>(0xFF00000F));
  EXPECT_EQ(V["Hex"].AsColor(), static_cast<int32_t>(0xFF00000F));
  EXPECT_EQ(V["Float"].AsFloat(), 150.0L);
  EXPECT_EQ(V["Str"].AsString(), "It's\r\nok more\xE2\x82\xAC");
  EXPECT_EQ(V["Ident"].AsEnum({"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}), 5);
  EXPECT_EQ(V["Set"].AsSet({"fsBold", "fsItalic", "fsUnderline"}), 3u);
  EXPECT_EQ(V["Empty"].AsSet({"fsBold"}), 0u);
  ASSERT_EQ(V["List"].List.size(), 3u);
  EXPECT_EQ(V["List"].List[0].AsString(), "one");
  EXPECT_EQ(V["List"].List[1].AsInteger(), 2);
  EXPECT_EQ(V["List"].List[2].AsIdent(), "three");
  ASSERT_EQ(V["Coll"].Items.size(), 2u);
  ASSERT_EQ(V["Coll"].Items[0].Properties.size(), 2u);
  EXPECT_EQ(V["Coll"].Items[0].Properties[0].Name, "Width");
  EXPECT_EQ(V["Coll"].Items[0].Properties[0].Value.AsInteger(), 50);
  EXPECT_TRUE(V["Coll"].Items[1].Properties.empty());
  EXPECT_EQ(V["Bin"].Binary, (std::vector<uint8_t>{0x0A, 0x0B, 0xFF, 0x00}));
  // Converters refuse other kinds.
  EXPECT_THROW(V["Str"].AsInteger(), EReadError);
  EXPECT_THROW(V["Int"].AsBoolean(), EReadError);
  EXPECT_THROW(V["Ident"].AsEnum({"alNone"}), EReadError);
  EXPECT_THROW(V["Set"].AsSet({"fsBold"}), EReadError);
}

TEST(FormReaderTest, ClassRegistry) {
  EXPECT_TRUE(IsClassRegistered("TPanel"));
  EXPECT_TRUE(IsClassRegistered("tbutton"));
  EXPECT_FALSE(IsClassRegistered("TNoSuchThing"));
  try {
    CreateComponentByClassName("TNoSuchThing", nullptr);
    FAIL();
  } catch (EClassNotFound& E) {
    EXPECT_EQ(E.Message, "Class TNoSuchThing not found");
  }
  std::unique_ptr<TComponent> P(CreateComponentByClassName("TPanel", nullptr));
  EXPECT_EQ(P->ClassName(), "TPanel");
}

}  // namespace
