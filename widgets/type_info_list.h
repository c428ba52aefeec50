#pragma once
// Type information created at run time, reference-counted in one
// thread-safe list and released at shutdown. An enumeration or set refers to
// its base or element type through a separately allocated cell; releasing
// it releases that type first.
#include <cstdint>
#include <mutex>
#include <vector>

enum TRuntimeTypeKind : uint8_t { rtkOther, rtkEnumeration, rtkSet };

struct TRuntimeTypeInfo {
  TRuntimeTypeKind Kind = rtkOther;
  // The base type (enumeration) or element type (set); nullptr for none.
  TRuntimeTypeInfo** BaseCell = nullptr;
};

struct TTypeInfoEntry {
  TRuntimeTypeInfo* TypeInfo = nullptr;
  int32_t RefCount = 0;
};

// Takes a type made with new (and its cell made with new) into the list
// with one reference, or adds a reference when it is there.
void AddTypeInfo(TRuntimeTypeInfo* TypeInfo);
// Drops one reference; the last frees the type (its base first). A type not
// in the list is ignored.
void ReleaseTypeInfo(TRuntimeTypeInfo* TypeInfo);
// Releases every entry, last first.
void ClearTypeInfoList();
int32_t TypeInfoListCount();
