// Pointer lists, object lists and string lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "support/test_support.h"

namespace {
void* P(intptr_t V) { return reinterpret_cast<void*>(V); }

template <typename E, typename F>
std::string MessageOf(F&& Fn) {
  try {
    Fn();
  } catch (const E& Ex) {
    return Ex.Message;
  }
  return "(no exception)";
}

int gAlive = 0;
struct TCounted : TObject {
  TCounted() { ++gAlive; }
  ~TCounted() override { --gAlive; }
};
}  // namespace

TEST(Lists, PointerListEditsAndBoundsErrors) {
  TList L;
  for (intptr_t I = 1; I <= 5; ++I) L.Add(P(I));
  L.Insert(0, P(9));
  L.Insert(L.GetCount(), P(8));
  L.Delete(1);               // 9 2 3 4 5 8
  EXPECT_EQ(L.Remove(P(4)), 3);
  EXPECT_EQ(L.Remove(P(42)), -1);
  L.Exchange(0, 1);          // 2 9 3 5 8
  L.Move(4, 0);              // 8 2 9 3 5
  std::vector<void*> Got(L.GetList(), L.GetList() + L.GetCount());
  EXPECT_EQ(Got, (std::vector<void*>{P(8), P(2), P(9), P(3), P(5)}));
  EXPECT_EQ(L.First(), P(8));
  EXPECT_EQ(L.Last(), P(5));
  EXPECT_EQ(L.Extract(P(9)), P(9));
  EXPECT_EQ(L.Extract(P(9)), nullptr);
  L.SetCount(6);             // grows with null items
  EXPECT_EQ(L.Get(5), nullptr);
  L.Pack();
  EXPECT_EQ(L.GetCount(), 4);
  L.Sort([](void* A, void* B) { return static_cast<int>(reinterpret_cast<intptr_t>(A) - reinterpret_cast<intptr_t>(B)); });
  EXPECT_EQ(L[0], P(2));
  EXPECT_EQ(L[3], P(8));
  EXPECT_GE(L.GetCapacity(), L.GetCount());

  struct Case { std::string Want; std::function<void()> Do; };
  const Case Cases[] = {
      {"List index out of bounds (4)", [&] { L.Get(4); }},
      {"List index out of bounds (-1)", [&] { L.Delete(-1); }},
      {"List index out of bounds (6)", [&] { L.Insert(6, nullptr); }},
      {"List index out of bounds (9)", [&] { L.Exchange(0, 9); }},
      {"List index out of bounds (7)", [&] { L.Move(0, 7); }},
      {"List capacity out of bounds (2)", [&] { L.SetCapacity(2); }},
      {"List count out of bounds (-3)", [&] { L.SetCount(-3); }},
      {"List count out of bounds (2147483647)", [&] { L.SetCount(INT32_MAX); }},
  };
  for (const auto& C : Cases) EXPECT_EQ(MessageOf<EListError>(C.Do), C.Want);
  TList Empty;
  EXPECT_EQ(MessageOf<EListError>([&] { Empty.First(); }), "List index out of bounds (0)");
  EXPECT_EQ(MessageOf<EListError>([&] { Empty.Last(); }), "List index out of bounds (-1)");
}

TEST(Lists, InconsistentComparisonSortsWithoutFault) {
  TList L;
  for (intptr_t I = 0; I < 500; ++I) L.Add(P(I * 7919 % 1000));
  int Calls = 0;
  L.Sort([&Calls](void*, void*) { return (++Calls % 3) - 1; });
  EXPECT_EQ(L.GetCount(), 500);
}

TEST(Lists, ObjectListOwnsItsObjectsUnlessExtracted) {
  {
    TObjectList L;
    L.Add(new TCounted);
    L.Add(new TCounted);
    auto* Kept = new TCounted;
    L.Add(Kept);
    L.Delete(0);
    EXPECT_EQ(gAlive, 2);
    EXPECT_EQ(L.Extract(Kept), Kept);
    EXPECT_EQ(gAlive, 2);
    delete Kept;
    L.SetItem(0, new TCounted);  // the replaced object goes
    EXPECT_EQ(gAlive, 1);
  }
  EXPECT_EQ(gAlive, 0);
  TObjectList NotOwning(false);
  TCounted Local;
  NotOwning.Add(&Local);
  NotOwning.Clear();
  EXPECT_EQ(gAlive, 1);
}

TEST(Lists, StringListIsCaseInsensitiveByDefault) {
  TStringList L;
  L.Add("Alpha");
  L.Add("beta");
  EXPECT_EQ(L.IndexOf("ALPHA"), 0);
  L.SetCaseSensitive(true);
  EXPECT_EQ(L.IndexOf("ALPHA"), -1);
  L.SetCaseSensitive(false);

  L.SetSorted(true);
  L.Add("aardvark");
  L.Add("Charlie");
  EXPECT_EQ(L.GetText(), "aardvark\nAlpha\nbeta\nCharlie\n");
  int32_t Index = -1;
  EXPECT_TRUE(L.Find("CHARLIE", Index));
  EXPECT_EQ(Index, 3);
  EXPECT_FALSE(L.Find("b", Index));
  EXPECT_EQ(Index, 2);
  EXPECT_EQ(L.Add("ALPHA"), 1);  // dupIgnore answers the existing line
  EXPECT_EQ(L.GetCount(), 4);
  L.SetDuplicates(dupError);
  EXPECT_EQ(MessageOf<EStringListError>([&] { L.Add("alpha"); }), "String list does not allow duplicates");
  L.SetDuplicates(dupAccept);
  L.Add("alpha");
  EXPECT_EQ(L.GetCount(), 5);
  EXPECT_EQ(MessageOf<EStringListError>([&] { L.Insert(0, "x"); }), "Operation not allowed on sorted list");
  EXPECT_EQ(MessageOf<EStringListError>([&] { L.Get(5); }), "List index out of bounds (5)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { L.Delete(-1); }), "List index out of bounds (-1)");

  // Sorting by a custom order, then by the case-sensitive one.
  TStringList U;
  U.SetText("b\nB\na\nA\n");
  U.CustomSort([](TStringList* List, int32_t I1, int32_t I2) {
    return CompareStr(List->Get(I2), List->Get(I1));  // descending
  });
  EXPECT_EQ(U.GetCommaText(), "b,a,B,A");
  U.SetCaseSensitive(true);
  U.Sort();
  EXPECT_EQ(U.GetCommaText(), "A,B,a,b");
}

TEST(Lists, StringListNamesValuesAndObjects) {
  TStringList L;
  L.Add("Width=640");
  L.Add("Height=480");
  L.Add("NoValue");
  L.AddObject("Obj=x", reinterpret_cast<TObject*>(P(0x1234)));
  EXPECT_EQ(L.GetValue("WIDTH"), "640");
  EXPECT_EQ(L.GetValue("NoValue"), "");
  EXPECT_EQ(L.GetName(1), "Height");
  EXPECT_EQ(L.GetName(2), "");
  EXPECT_EQ(L.GetValueFromIndex(2), "");
  EXPECT_EQ(L.IndexOfName("height"), 1);
  L.SetValue("height", "600");
  EXPECT_EQ(L.Get(1), "height=600");
  L.SetValue("Depth", "8");
  EXPECT_EQ(L.Get(4), "Depth=8");
  L.SetValue("Width", "");  // an empty value deletes the line
  EXPECT_EQ(L.IndexOfName("Width"), -1);
  EXPECT_EQ(L.GetObject(2), reinterpret_cast<TObject*>(P(0x1234)));
  EXPECT_EQ(L.IndexOfObject(reinterpret_cast<TObject*>(P(0x1234))), 2);
  L.Exchange(0, 2);
  EXPECT_EQ(L.GetObject(0), reinterpret_cast<TObject*>(P(0x1234)));
  L.Move(0, 3);
  EXPECT_EQ(L.Get(3), "Obj=x");
  EXPECT_EQ(L.GetObject(3), reinterpret_cast<TObject*>(P(0x1234)));

  // Owned objects go with their lines.
  {
    TStringList Owning(true);
    Owning.AddObject("a", new TCounted);
    Owning.AddObject("b", new TCounted);
    Owning.Delete(0);
    EXPECT_EQ(gAlive, 1);
  }
  EXPECT_EQ(gAlive, 0);
}

TEST(Lists, StringListTextRoundTrips) {
  TStringList L;
  L.SetText("one\r\ntwo\rthree\n\nfive");
  EXPECT_EQ(L.GetCount(), 5);
  EXPECT_EQ(L.Get(3), "");
  EXPECT_EQ(L.GetText(), "one\ntwo\nthree\n\nfive\n");
  L.SetText("");
  EXPECT_EQ(L.GetCount(), 0);

  struct Case { std::vector<std::string> Items; std::string Comma; };
  const Case Cases[] = {
      {{"a", "b c", "d,e", "say \"hi\""}, "a,\"b c\",\"d,e\",\"say \"\"hi\"\"\""},
      {{""}, "\"\""},
      {{"a", "", "b"}, "a,,b"},
      {{}, ""},
  };
  for (const auto& C : Cases) {
    TStringList W;
    for (const auto& S : C.Items) W.Add(S);
    EXPECT_EQ(W.GetCommaText(), C.Comma);
    TStringList R;
    R.SetCommaText(C.Comma);
    std::vector<std::string> Back;
    for (int32_t I = 0; I < R.GetCount(); ++I) Back.push_back(R.Get(I));
    EXPECT_EQ(Back, C.Items) << C.Comma;
  }
  // Unquoted blanks separate too; a trailing comma gives an empty last item;
  // an unclosed quote takes the rest.
  TStringList R;
  R.SetCommaText(" x y ,z,");
  EXPECT_EQ(R.GetText(), "x\ny\nz\n\n");
  R.SetCommaText("\"open, end");
  EXPECT_EQ(R.Get(0), "open, end");
  R.SetDelimiter(';');
  R.SetDelimitedText("1;2;\"3;4\"");
  EXPECT_EQ(R.GetCount(), 3);
  EXPECT_EQ(R.GetDelimitedText(), "1;2;\"3;4\"");

  testsupport::TempDir Dir;
  TStringList F;
  F.Add("line 1");
  F.Add("zeile 2 ü");
  F.SaveToFile(Dir.file("t.txt"));
  TStringList G;
  G.LoadFromFile(Dir.file("t.txt"));
  EXPECT_TRUE(G.Equals(&F));
  TStringStream S("x\r\ny");
  S.SetPosition(3);
  G.LoadFromStream(&S);  // from the position on
  EXPECT_EQ(G.GetText(), "y\n");
  EXPECT_THROW(G.LoadFromFile(Dir.file("missing")), EFOpenError);
}

TEST(Lists, AssignCopiesAndChangeEventsWaitForEndUpdate) {
  TStringList A;
  A.AddObject("x", reinterpret_cast<TObject*>(P(1)));
  A.Add("y");
  TStringList B;
  int Changes = 0, Changings = 0;
  B.OnChange = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &B);
    ++Changes;
  };
  B.OnChanging = [&](TObject*) { ++Changings; };
  B.Assign(&A);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(Changings, 1);
  EXPECT_TRUE(B.Equals(&A));
  EXPECT_EQ(B.GetObject(0), reinterpret_cast<TObject*>(P(1)));
  B.Add("z");
  EXPECT_EQ(Changes, 2);
  B.AddStrings(&B);  // onto itself: each original line once
  EXPECT_EQ(B.GetCount(), 6);
  TComponent NotStrings(nullptr);
  EXPECT_THROW(B.Assign(&NotStrings), EConvertError);
}
