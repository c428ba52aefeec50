#include "platform/rtl/components.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"

// ---------------------------------------------------------------- TPersistent

void TPersistent::Assign(TPersistent* Source) {
  if (Source != nullptr) {
    Source->AssignTo(this);
    return;
  }
  throw EConvertError(Format("Cannot assign a %s to a %s", "nil", ClassName().c_str()));
}

void TPersistent::AssignTo(TPersistent* Dest) {
  throw EConvertError(Format("Cannot assign a %s to a %s", ClassName().c_str(),
                             Dest != nullptr ? Dest->ClassName().c_str() : "nil"));
}

std::string TPersistent::GetNamePath() const { return ClassName(); }

// ---------------------------------------------------------------- TComponent

namespace {
bool IsValidIdent(const std::string& S) {
  if (S.empty()) return false;
  auto Alpha = [](char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_'; };
  if (!Alpha(S[0])) return false;
  for (char C : S)
    if (!Alpha(C) && !(C >= '0' && C <= '9')) return false;
  return true;
}

void EraseOne(std::vector<TComponent*>& List, TComponent* C) {
  auto It = std::find(List.begin(), List.end(), C);
  if (It != List.end()) List.erase(It);
}
}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Everyone who asked to hear of our end hears it now. A subscriber's
  // Notification normally drops the link itself; one that does not is
  // unlinked here so that no pointer to us is left behind.
  while (!FFreeNotifies.empty()) {
    TComponent* Other = FFreeNotifies.back();
    Other->Notification(this, opRemove);
    if (!FFreeNotifies.empty() && FFreeNotifies.back() == Other) RemoveFreeNotification(Other);
  }
  DestroyComponents();
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

TComponent* TComponent::GetComponent(int32_t Index) const {
  if (Index < 0 || Index >= GetComponentCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FComponents[static_cast<size_t>(Index)];
}

int32_t TComponent::GetComponentIndex() const {
  if (FOwner == nullptr) return -1;
  auto It = std::find(FOwner->FComponents.begin(), FOwner->FComponents.end(), this);
  return It == FOwner->FComponents.end() ? -1 : static_cast<int32_t>(It - FOwner->FComponents.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* C : FComponents)
    if (SameText(C->FName, AName)) return C;
  return nullptr;
}

void TComponent::SetName(const std::string& NewName) {
  if (FName == NewName) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError(Format("'%s' is not a valid component name", NewName.c_str()));
  if (FOwner != nullptr && !NewName.empty()) {
    TComponent* Other = FOwner->FindComponent(NewName);
    if (Other != nullptr && Other != this)
      throw EComponentError(Format("A component named %s already exists", NewName.c_str()));
  }
  FName = NewName;
}

std::string TComponent::GetNamePath() const { return FName; }

void TComponent::SetComponentStateFlags(TComponentState Flags, bool On) {
  if (On) FComponentState |= Flags;
  else FComponentState &= ~Flags;
}

void TComponent::SetLoading(bool Value) {
  if (Value) {
    FComponentState |= csLoading | csReading;
    return;
  }
  FComponentState &= ~csReading;
  Loaded();
  FComponentState &= ~csLoading;
}

void TComponent::SetDesigning(bool Value) {
  SetComponentStateFlags(csDesigning, Value);
  for (TComponent* C : FComponents) C->SetDesigning(Value);
}

void TComponent::Loaded() { FComponentState &= ~csLoading; }

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  // Links are kept both ways (so either side going away is heard), also
  // between components of one owner: the owner does not tell its components
  // about each other while it destroys them all.
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(AComponent);
    AComponent->FreeNotification(this);
  }
  FComponentState |= csFreeNotification;
}

void TComponent::RemoveFreeNotificationLink(TComponent* AComponent) { EraseOne(FFreeNotifies, AComponent); }

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  RemoveFreeNotificationLink(AComponent);
  AComponent->RemoveFreeNotificationLink(this);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
  // Owned components may go away while they hear this: walk from the end and
  // stay inside the list as it shrinks.
  for (size_t I = FComponents.size(); I > 0;) {
    --I;
    if (I >= FComponents.size()) {
      I = FComponents.size();
      continue;
    }
    FComponents[I]->Notification(AComponent, Operation);
  }
}

void TComponent::InsertFree(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::RemoveFree(TComponent* AComponent) {
  EraseOne(FComponents, AComponent);
  AComponent->FOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner == this) return;
  for (TComponent* O = this; O != nullptr; O = O->FOwner)
    if (O == AComponent) throw EComponentError("A component cannot own itself");
  if (!AComponent->FName.empty() && FindComponent(AComponent->FName) != nullptr)
    throw EComponentError(Format("A component named %s already exists", AComponent->FName.c_str()));
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  InsertFree(AComponent);
  if (FComponentState & csDesigning) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  RemoveFree(AComponent);
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* Instance = FComponents.back();
    RemoveFree(Instance);
    delete Instance;
  }
}

void TComponent::Destroying() {
  if (FComponentState & csDestroying) return;
  FComponentState |= csDestroying;
  for (TComponent* C : FComponents) C->Destroying();
}
