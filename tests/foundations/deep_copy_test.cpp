// The owning pointer with value semantics: copies own copies, assignment
// keeps the target's object where both sides have one, null frees.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundations/deep_copy.h"
#include "foundations/jpeg_markers.h"
#include "platform/rtl/lists.h"

namespace {

// Copies only through Assign, as the library's objects do; counts the objects
// made so a test can tell an in-place copy from a new one.
struct TAssignOnly {
  static inline int Made = 0;
  std::string Text;
  TAssignOnly() { ++Made; }
  TAssignOnly(const TAssignOnly&) = delete;
  TAssignOnly& operator=(const TAssignOnly&) = delete;
  void Assign(const TAssignOnly* Source) { Text = Source ? Source->Text : std::string(); }
};

struct TRecord {
  TDeepCopy<TAssignOnly, dcMade> Always;
  TDeepCopy<std::string> Sometimes;
  int32_t Value = 0;
};

}  // namespace

TEST(DeepCopy, RecordsWithDefaultedCopiesOwnTheirObjects) {
  TAssignOnly::Made = 0;
  TRecord a;
  ASSERT_TRUE(a.Always);
  EXPECT_FALSE(a.Sometimes);
  EXPECT_EQ(TAssignOnly::Made, 1);
  a.Always->Text = "kept";
  a.Sometimes = std::make_unique<std::string>("text");
  a.Value = 7;

  // Copy construction: new objects with the same contents.
  TRecord b = a;
  ASSERT_TRUE(b.Always && b.Sometimes);
  EXPECT_NE(b.Always.get(), a.Always.get());
  EXPECT_NE(b.Sometimes.get(), a.Sometimes.get());
  EXPECT_EQ(b.Always->Text, "kept");
  EXPECT_EQ(*b.Sometimes, "text");
  EXPECT_EQ(b.Value, 7);

  // Copy assignment into objects that exist: in place, same addresses.
  TRecord c;
  c.Sometimes = std::make_unique<std::string>("old");
  const void* always = c.Always.get();
  const void* sometimes = c.Sometimes.get();
  const int made = TAssignOnly::Made;
  c = a;
  EXPECT_EQ(c.Always.get(), always);
  EXPECT_EQ(c.Sometimes.get(), sometimes);
  EXPECT_EQ(TAssignOnly::Made, made);
  EXPECT_EQ(c.Always->Text, "kept");
  EXPECT_EQ(*c.Sometimes, "text");

  // A null source frees the target's object; a null target gets a copy.
  TRecord empty;
  empty.Always = nullptr;
  c = empty;
  EXPECT_EQ(c.Always, nullptr);
  EXPECT_EQ(c.Sometimes, nullptr);
  c = a;
  ASSERT_TRUE(c.Always);
  EXPECT_EQ(c.Always->Text, "kept");
  a.Always->Text = "changed";
  EXPECT_EQ(c.Always->Text, "kept");

  // Self-assignment changes nothing.
  const TRecord& self = c;
  c = self;
  EXPECT_EQ(c.Always->Text, "kept");
}

TEST(DeepCopy, LibraryObjectsCopyThroughTheirAssign) {
  // TStringList::Assign takes a non-const source; TIEMarkerList's a const one.
  TDeepCopy<TStringList, dcMade> a;
  a->Add("one");
  a->Add("two");
  TDeepCopy<TStringList, dcMade> b(a);
  EXPECT_NE(b.get(), a.get());
  ASSERT_TRUE(b);
  EXPECT_EQ(b->GetCount(), 2);
  EXPECT_EQ(b->Get(1), "two");

  TDeepCopy<TIEMarkerList, dcMade> m;
  m->AddMarker(0xFE, "c", 1);
  TDeepCopy<TIEMarkerList, dcMade> n;
  TIEMarkerList* held = n.get();
  n = m;
  EXPECT_EQ(n.get(), held);
  EXPECT_EQ(n->GetCount(), 1);
  EXPECT_EQ(n->GetMarkerType(0), 0xFE);
}
