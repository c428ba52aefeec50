#pragma once
// Lists of pointers and of strings.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/components.h"

class TStream;

enum TListNotification : uint8_t { lnAdded, lnExtracted, lnDeleted };
using TListSortCompare = int (*)(void* Item1, void* Item2);

// A list of untyped pointers. Indexes outside the list raise EListError
// "List index out of bounds (%d)"; bad capacities and counts
// "List capacity out of bounds (%d)" and "List count out of bounds (%d)".
class TList : public TObject {
 public:
  TList() = default;
  ~TList() override;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int32_t Add(void* Item);
  void Insert(int32_t Index, void* Item);
  void Delete(int32_t Index);
  // Deletes the first occurrence; answers its former index or -1.
  int32_t Remove(void* Item);
  // Takes the item out without the lnDeleted notice; answers it or nullptr.
  void* Extract(void* Item);
  int32_t IndexOf(void* Item) const;
  void Exchange(int32_t Index1, int32_t Index2);
  void Move(int32_t CurIndex, int32_t NewIndex);
  virtual void Clear();
  // Removes every nullptr item.
  void Pack();
  // Order by Compare (<0, 0, >0); equal items may change places. A
  // comparison that is not a consistent order gives some order, never a
  // fault.
  // (A plain TListSortCompare function converts to this.)
  void Sort(const std::function<int(void*, void*)>& Compare);
  void* First() const;  // raises on an empty list
  void* Last() const;
  TList* Expand();
  void Assign(TList* Source);

  int32_t GetCount() const { return static_cast<int32_t>(FList.size()); }
  // Growing adds nullptr items; shrinking deletes.
  void SetCount(int32_t NewCount);
  int32_t GetCapacity() const { return FCapacity; }
  void SetCapacity(int32_t NewCapacity);
  void* Get(int32_t Index) const;
  void Put(int32_t Index, void* Item);
  void* operator[](int32_t Index) const { return Get(Index); }
  // Direct access to the items (valid until the list changes).
  void** GetList() { return FList.data(); }

 protected:
  // Called after an item is added and before one is removed.
  virtual void Notify(void* Ptr, TListNotification Action) {}
  [[noreturn]] static void Error(const char* Msg, int32_t Data);

 private:
  std::vector<void*> FList;
  int32_t FCapacity = 0;
};

// A list of objects which by default deletes an object when it leaves the
// list (Delete, Remove, Clear, Put, destruction; not Extract).
class TObjectList : public TList {
 public:
  explicit TObjectList(bool AOwnsObjects = true) : FOwnsObjects(AOwnsObjects) {}
  ~TObjectList() override;
  int32_t Add(TObject* Obj) { return TList::Add(Obj); }
  void Insert(int32_t Index, TObject* Obj) { TList::Insert(Index, Obj); }
  int32_t Remove(TObject* Obj) { return TList::Remove(Obj); }
  int32_t IndexOf(TObject* Obj) const { return TList::IndexOf(Obj); }
  TObject* Extract(TObject* Obj) { return static_cast<TObject*>(TList::Extract(Obj)); }
  TObject* GetItem(int32_t Index) const { return static_cast<TObject*>(Get(Index)); }
  void SetItem(int32_t Index, TObject* Obj) { Put(Index, Obj); }
  TObject* operator[](int32_t Index) const { return GetItem(Index); }
  bool GetOwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool Value) { FOwnsObjects = Value; }

 protected:
  void Notify(void* Ptr, TListNotification Action) override;

 private:
  bool FOwnsObjects = true;
};

enum TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

// A list of strings each with an attached object. Text is the lines joined
// with "\n" (a final "\n" after the last line); reading Text splits at "\n",
// "\r\n" and "\r". Names and values are "Name=Value" lines, names compared
// without case.
class TStrings : public TPersistent {
 public:
  ~TStrings() override;

  // Core, provided by the concrete list.
  virtual int32_t GetCount() const = 0;
  virtual std::string Get(int32_t Index) const = 0;
  virtual void Put(int32_t Index, const std::string& S);
  virtual TObject* GetObject(int32_t Index) const;
  virtual void PutObject(int32_t Index, TObject* AObject);
  virtual void Insert(int32_t Index, const std::string& S) = 0;
  virtual void Delete(int32_t Index) = 0;
  virtual void Clear() = 0;

  virtual int32_t Add(const std::string& S);
  virtual int32_t AddObject(const std::string& S, TObject* AObject);
  void InsertObject(int32_t Index, const std::string& S, TObject* AObject);
  void Append(const std::string& S) { Add(S); }
  virtual void AddStrings(TStrings* Strings);
  void Assign(TPersistent* Source) override;
  virtual void Exchange(int32_t Index1, int32_t Index2);
  void Move(int32_t CurIndex, int32_t NewIndex);
  // First index of S (case-insensitive in TStrings; TStringList follows its
  // CaseSensitive setting), -1 when absent.
  virtual int32_t IndexOf(const std::string& S) const;
  int32_t IndexOfName(const std::string& Name) const;
  int32_t IndexOfObject(TObject* AObject) const;
  bool Equals(TStrings* Strings) const;

  // Aliases named after the properties.
  std::string GetString(int32_t Index) const { return Get(Index); }
  std::string operator[](int32_t Index) const { return Get(Index); }
  std::string GetName(int32_t Index) const;   // text before the first "="
  std::string GetValueFromIndex(int32_t Index) const;
  std::string GetValue(const std::string& Name) const;  // "" when absent
  // Sets Name=Value; an empty Value deletes the line.
  void SetValue(const std::string& Name, const std::string& Value);

  virtual std::string GetText() const;
  virtual void SetText(const std::string& Text);
  // Items separated by ","; items holding blanks, commas or quotes are quoted
  // with "\"" (inner quotes doubled).
  std::string GetCommaText() const;
  void SetCommaText(const std::string& Value);
  char GetDelimiter() const { return FDelimiter; }
  void SetDelimiter(char Value) { FDelimiter = Value; }
  char GetQuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(char Value) { FQuoteChar = Value; }
  std::string GetDelimitedText() const;
  void SetDelimitedText(const std::string& Value);

  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  // Reads the rest of the stream as text.
  virtual void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream) const;

  void BeginUpdate();
  void EndUpdate();
  int32_t GetUpdateCount() const { return FUpdateCount; }

 protected:
  [[noreturn]] static void Error(const char* Msg, int32_t Data);
  virtual void SetUpdateState(bool Updating) {}
  // <0, 0, >0; without case here.
  virtual int32_t CompareStrings(const std::string& S1, const std::string& S2) const;

 private:
  int32_t FUpdateCount = 0;
  char FDelimiter = ',';
  char FQuoteChar = '"';
};

class TStringList;
using TStringListSortCompare = int (*)(TStringList* List, int32_t Index1, int32_t Index2);

// The concrete string list. Case-insensitive unless CaseSensitive is set.
// Sorted lists insert in order, refuse Insert (EStringListError
// "Operation not allowed on sorted list") and apply Duplicates
// (dupError: "String list does not allow duplicates"). Index errors raise
// EStringListError "List index out of bounds (%d)".
class TStringList : public TStrings {
 public:
  TStringList() = default;
  explicit TStringList(bool AOwnsObjects) : FOwnsObjects(AOwnsObjects) {}
  ~TStringList() override;

  int32_t GetCount() const override { return static_cast<int32_t>(FList.size()); }
  std::string Get(int32_t Index) const override;
  void Put(int32_t Index, const std::string& S) override;
  TObject* GetObject(int32_t Index) const override;
  void PutObject(int32_t Index, TObject* AObject) override;
  void Insert(int32_t Index, const std::string& S) override;
  void Delete(int32_t Index) override;
  void Clear() override;
  int32_t Add(const std::string& S) override;
  int32_t AddObject(const std::string& S, TObject* AObject) override;
  int32_t IndexOf(const std::string& S) const override;
  void Exchange(int32_t Index1, int32_t Index2) override;

  // Binary search of a sorted list: True when found; Index is where S is or
  // would be inserted.
  virtual bool Find(const std::string& S, int32_t& Index) const;
  virtual void Sort();
  virtual void CustomSort(TStringListSortCompare Compare);

  bool GetSorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates GetDuplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool GetCaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);
  // When set, objects are deleted as their lines leave the list.
  bool GetOwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool Value) { FOwnsObjects = Value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  // Follows CaseSensitive.
  int32_t CompareStrings(const std::string& S1, const std::string& S2) const override;
  void SetUpdateState(bool Updating) override;
  virtual void Changed();
  virtual void Changing();

 private:
  struct TStringItem {
    std::string FString;
    TObject* FObject = nullptr;
  };
  void InsertItem(int32_t Index, const std::string& S, TObject* AObject);
  void CheckIndex(int32_t Index) const;

  std::vector<TStringItem> FList;
  bool FSorted = false;
  bool FCaseSensitive = false;
  bool FOwnsObjects = false;
  TDuplicates FDuplicates = dupIgnore;
};
