#pragma once
// Persistent objects and components: ownership, names, free notification and
// component state.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/object.h"

class TPersistent : public TObject {
 public:
  // Copies Source into this object. The base asks Source to assign itself
  // (AssignTo); when nothing knows how, raises EConvertError
  // "Cannot assign a %s to a %s" (source class, or "nil", then this class).
  virtual void Assign(TPersistent* Source);
  // The path of names used in messages; the class name by default.
  virtual std::string GetNamePath() const;

 protected:
  virtual void AssignTo(TPersistent* Dest);
  virtual TPersistent* GetOwner() const { return nullptr; }
};

// Component state, a set of flags.
using TComponentState = uint32_t;
constexpr TComponentState csLoading = 0x1;
constexpr TComponentState csReading = 0x2;
constexpr TComponentState csWriting = 0x4;
constexpr TComponentState csDestroying = 0x8;
constexpr TComponentState csDesigning = 0x10;
constexpr TComponentState csAncestor = 0x20;
constexpr TComponentState csUpdating = 0x40;
constexpr TComponentState csFixups = 0x80;
constexpr TComponentState csFreeNotification = 0x100;
constexpr TComponentState csInline = 0x200;
constexpr TComponentState csDesignInstance = 0x400;

enum TOperation : uint8_t { opInsert, opRemove };

// A component is created with new and belongs to its owner, which deletes it
// when it is deleted itself. Deleting an owned component removes it from its
// owner (the owner and its other components hear opRemove). After
// A->FreeNotification(B), B hears Notification(A, opRemove) when A goes away
// and A hears it when B goes away; the link is dropped whichever goes first.
// Destruction order: the derived destructors run first, then ~TComponent
// sets csDestroying, tells its subscribers, deletes the owned components
// (newest first) and leaves its owner.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* GetOwner() const override { return FOwner; }
  int32_t GetComponentCount() const { return static_cast<int32_t>(FComponents.size()); }
  // Raises EListError "List index out of bounds (%d)" outside 0..Count-1.
  TComponent* GetComponent(int32_t Index) const;
  // Position in the owner's list, -1 without owner.
  int32_t GetComponentIndex() const;
  // Owned component by name, case-insensitive; nullptr when none (or Name is empty).
  TComponent* FindComponent(const std::string& AName) const;

  const std::string& GetName() const { return FName; }
  // Raises EComponentError "A component named %s already exists" when a
  // sibling has the name, and "'%s' is not a valid component name" when it
  // is not an identifier (letters, digits, "_", not starting with a digit).
  virtual void SetName(const std::string& NewName);
  std::string GetNamePath() const override;
  intptr_t GetTag() const { return FTag; }
  void SetTag(intptr_t Value) { FTag = Value; }

  TComponentState GetComponentState() const { return FComponentState; }
  // For readers of form resources: Loading sets csLoading and csReading;
  // Loaded clears them and calls Loaded().
  void SetLoading(bool Value);
  void SetDesigning(bool Value);
  void SetComponentStateFlags(TComponentState Flags, bool On);
  // Called once after the component's properties were read.
  virtual void Loaded();

  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);
  // Tells every owned component about AComponent. On opRemove the base also
  // drops a free-notification link with AComponent: overrides call it.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

  // Takes AComponent into this owner's list (taking it out of its previous
  // owner); this component and every owned one hear
  // Notification(AComponent, opInsert). A name already used among the owned
  // components raises EComponentError.
  void InsertComponent(TComponent* AComponent);
  // Lets go of AComponent without deleting it; owned components hear opRemove.
  void RemoveComponent(TComponent* AComponent);
  // Deletes every owned component.
  void DestroyComponents();
  // Sets csDestroying here and on every owned component. ~TComponent does it
  // too, but only after the derived destructors ran: a class whose owned
  // components must go while its own members still exist calls Destroying()
  // and DestroyComponents() in its destructor.
  void Destroying();

 private:
  void InsertFree(TComponent* AComponent);  // adds to the list without notifying
  void RemoveFree(TComponent* AComponent);
  void RemoveFreeNotificationLink(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  intptr_t FTag = 0;
  TComponentState FComponentState = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
};
