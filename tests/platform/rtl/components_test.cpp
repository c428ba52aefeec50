// Components: ownership, names, free notification, state and Assign.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/rtl/components.h"
#include "platform/rtl/sysutils.h"

namespace {
std::vector<std::string>* gLog = nullptr;

// Logs its end and every notification it hears, and forgets a watched
// component that goes away (as real components do with their references).
class TProbe : public TComponent {
 public:
  explicit TProbe(TComponent* AOwner, std::string Label = "") : TComponent(AOwner), FLabel(std::move(Label)) {
    SetName(FLabel);
  }
  ~TProbe() override {
    if (gLog) gLog->push_back("free " + FLabel);
  }
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == Watched) Watched = nullptr;
    if (gLog && Operation == opRemove && AComponent != this)
      gLog->push_back(FLabel + " hears " + AComponent->GetName());  // its own part may be gone
  }
  void Loaded() override {
    TComponent::Loaded();
    LoadedCalls++;
    StateInLoaded = GetComponentState();
  }
  void Watch(TComponent* C) {
    Watched = C;
    if (C) C->FreeNotification(this);
  }
  TComponent* Watched = nullptr;
  int LoadedCalls = 0;
  TComponentState StateInLoaded = 0;
  std::string FLabel;
};

struct LogScope {
  std::vector<std::string> Log;
  LogScope() { gLog = &Log; }
  ~LogScope() { gLog = nullptr; }
};
}  // namespace

TEST(Components, OwnerFreesOwnedComponentsNewestFirst) {
  LogScope L;
  auto* Owner = new TProbe(nullptr, "owner");
  auto* A = new TProbe(Owner, "a");
  auto* B = new TProbe(Owner, "b");
  new TProbe(B, "b1");
  EXPECT_EQ(Owner->GetComponentCount(), 2);
  EXPECT_EQ(Owner->GetComponent(1), B);
  EXPECT_EQ(A->GetOwner(), Owner);
  EXPECT_EQ(B->GetComponentIndex(), 1);
  try {
    Owner->GetComponent(2);
    FAIL();
  } catch (const EListError& E) {
    EXPECT_EQ(E.Message, "List index out of bounds (2)");
  }
  delete Owner;
  const std::vector<std::string> Want = {"free owner", "free b", "free b1", "free a"};
  EXPECT_EQ(L.Log, Want);
}

TEST(Components, DeletingAnOwnedComponentLeavesItsOwner) {
  LogScope L;
  TProbe Owner(nullptr, "owner");
  auto* A = new TProbe(&Owner, "a");
  auto* B = new TProbe(&Owner, "b");
  delete A;
  ASSERT_EQ(Owner.GetComponentCount(), 1);
  EXPECT_EQ(Owner.GetComponent(0), B);
  // The owner and its other components hear of it.
  EXPECT_NE(std::find(L.Log.begin(), L.Log.end(), "owner hears a"), L.Log.end());
  EXPECT_NE(std::find(L.Log.begin(), L.Log.end(), "b hears a"), L.Log.end());
  // Moving a component to another owner takes it out of the first.
  TProbe Other(nullptr, "other");
  Other.InsertComponent(B);
  EXPECT_EQ(Owner.GetComponentCount(), 0);
  EXPECT_EQ(B->GetOwner(), &Other);
  Other.RemoveComponent(B);
  EXPECT_EQ(B->GetOwner(), nullptr);
  delete B;
}

TEST(Components, FreeNotificationWorksBothWaysAndLeavesNoDanglingLinks) {
  LogScope L;
  // Across owners.
  auto* FormA = new TProbe(nullptr, "formA");
  auto* FormB = new TProbe(nullptr, "formB");
  auto* View = new TProbe(FormA, "view");
  auto* Io = new TProbe(FormB, "io");
  Io->Watch(View);
  View->Watch(Io);
  delete FormA;  // takes the view with it
  EXPECT_EQ(Io->Watched, nullptr);
  Io->Watch(nullptr);
  delete FormB;

  // Between components of one owner while the owner destroys them all: each
  // still hears of the other.
  auto* Form = new TProbe(nullptr, "form");
  auto* P1 = new TProbe(Form, "p1");
  auto* P2 = new TProbe(Form, "p2");
  P1->Watch(P2);
  P2->Watch(P1);
  L.Log.clear();
  delete Form;  // p2 goes first; p1 must drop its pointer before its own end
  EXPECT_NE(std::find(L.Log.begin(), L.Log.end(), "p1 hears p2"), L.Log.end());

  // A subscriber that goes first unlinks itself.
  TProbe Target(nullptr, "target");
  auto* Sub = new TProbe(nullptr, "sub");
  Sub->Watch(&Target);
  delete Sub;
  // Target's end must not reach the deleted subscriber (ASan would tell).
  TProbe Sub2(nullptr, "sub2");
  Sub2.Watch(&Target);
  Sub2.RemoveFreeNotification(&Target);
}

TEST(Components, NamesAreUniqueAmongSiblingsAndFoundWithoutCase) {
  TComponent Owner(nullptr);
  auto* A = new TComponent(&Owner);
  A->SetName("btnOpen");
  auto* B = new TComponent(&Owner);
  EXPECT_EQ(Owner.FindComponent("BTNOPEN"), A);
  EXPECT_EQ(Owner.FindComponent(""), nullptr);
  EXPECT_EQ(Owner.FindComponent("nothing"), nullptr);
  try {
    B->SetName("BtnOpen");
    FAIL();
  } catch (const EComponentError& E) {
    EXPECT_EQ(E.Message, "A component named BtnOpen already exists");
  }
  const char* Bad[] = {"1abc", "a b", "a-b", "é"};
  for (const char* N : Bad) EXPECT_THROW(B->SetName(N), EComponentError) << N;
  B->SetName("_ok2");
  EXPECT_EQ(B->GetName(), "_ok2");
  B->SetName("");  // unnamed is fine
  A->SetTag(-7);
  EXPECT_EQ(A->GetTag(), -7);
  // A named component cannot join an owner that already has the name.
  TComponent Other(nullptr);
  auto* C = new TComponent(&Other);
  C->SetName("btnOpen");
  EXPECT_THROW(Owner.InsertComponent(C), EComponentError);
  EXPECT_EQ(C->GetOwner(), &Other);
  EXPECT_THROW(A->InsertComponent(&Owner), EComponentError);  // no ownership cycle
}

TEST(Components, LoadingStateAndDestroyingFlag) {
  TProbe Owner(nullptr, "o");
  auto* C = new TProbe(&Owner, "c");
  C->SetLoading(true);
  EXPECT_EQ(C->GetComponentState() & (csLoading | csReading), csLoading | csReading);
  C->SetLoading(false);
  EXPECT_EQ(C->LoadedCalls, 1);
  EXPECT_EQ(C->StateInLoaded & csReading, 0u);
  EXPECT_EQ(C->GetComponentState() & (csLoading | csReading), 0u);
  Owner.Destroying();
  EXPECT_TRUE(C->GetComponentState() & csDestroying);
}

TEST(Components, AssignWithoutSupportRaisesWithClassNames) {
  TComponent A(nullptr), B(nullptr);
  try {
    A.Assign(&B);
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message, "Cannot assign a TComponent to a TComponent");
  }
  try {
    A.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message, "Cannot assign a nil to a TComponent");
  }
  TProbe P(nullptr);
  EXPECT_EQ(P.ClassName(), "TProbe");
  EXPECT_TRUE(P.ClassNameIs("tprobe"));
}
