#include "widgets/type_info_list.h"

namespace {
std::recursive_mutex& ListLock() {
  static std::recursive_mutex M;
  return M;
}
std::vector<TTypeInfoEntry>& List() {
  static std::vector<TTypeInfoEntry> L;
  return L;
}
}  // namespace

void AddTypeInfo(TRuntimeTypeInfo* TypeInfo) {
  if (!TypeInfo) return;
  std::lock_guard<std::recursive_mutex> Hold(ListLock());
  for (auto& E : List())
    if (E.TypeInfo == TypeInfo) {
      ++E.RefCount;
      return;
    }
  List().push_back(TTypeInfoEntry{TypeInfo, 1});
}

void ReleaseTypeInfo(TRuntimeTypeInfo* TypeInfo) {
  std::lock_guard<std::recursive_mutex> Hold(ListLock());
  auto& L = List();
  for (size_t I = L.size(); I-- > 0;) {
    if (L[I].TypeInfo != TypeInfo) continue;
    if (--L[I].RefCount > 0) return;
    L.erase(L.begin() + static_cast<std::ptrdiff_t>(I));
    if (TypeInfo->BaseCell) {
      TRuntimeTypeInfo* Base = *TypeInfo->BaseCell;
      if (Base && Base != TypeInfo && TypeInfo->Kind != rtkOther) ReleaseTypeInfo(Base);
      delete TypeInfo->BaseCell;
    }
    delete TypeInfo;
    return;
  }
}

void ClearTypeInfoList() {
  std::lock_guard<std::recursive_mutex> Hold(ListLock());
  while (!List().empty()) {
    TTypeInfoEntry& Last = List().back();
    Last.RefCount = 1;  // the list's own reference
    ReleaseTypeInfo(Last.TypeInfo);
  }
}

int32_t TypeInfoListCount() {
  std::lock_guard<std::recursive_mutex> Hold(ListLock());
  return static_cast<int32_t>(List().size());
}
