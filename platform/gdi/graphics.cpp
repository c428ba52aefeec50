#include "platform/gdi/graphics.h"

#include <algorithm>
#include <mutex>

#include "platform/gdi/bitmap.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include <typeinfo>

namespace {

struct FormatEntry {
  std::string Extension;  // lower case, no dot
  std::string Description;
  TGraphicFactory Factory;
};

std::mutex gRegistryMutex;

std::vector<FormatEntry>& Registry() {
  static std::vector<FormatEntry> registry = {
      {"bmp", "Bitmaps", [] { return std::unique_ptr<TGraphic>(new TBitmap()); }}};
  return registry;
}

std::string Normalize(const std::string& ext) {
  return LowerCase(!ext.empty() && ext[0] == '.' ? ext.substr(1) : ext);
}

}  // namespace

TGraphic::~TGraphic() = default;

void TGraphic::Changed() {
  FModified = true;
  if (OnChange) OnChange(this);
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> Value) {
  FGraphic = std::move(Value);
  // Changes of the graphic's pixels are changes of the picture.
  if (FGraphic)
    FGraphic->OnChange = [this](TGraphic*) {
      if (OnChange) OnChange(this);
    };
  if (OnChange) OnChange(this);
}

TBitmap* TPicture::GetBitmap() {
  auto* b = dynamic_cast<TBitmap*>(FGraphic.get());
  if (!b) {
    SetGraphic(std::make_unique<TBitmap>());
    b = static_cast<TBitmap*>(FGraphic.get());
  }
  return b;
}

int32_t TPicture::GetWidth() const { return FGraphic ? FGraphic->GetWidth() : 0; }
int32_t TPicture::GetHeight() const { return FGraphic ? FGraphic->GetHeight() : 0; }

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  TGraphicFactory Factory) {
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  const std::string ext = Normalize(Extension);
  auto& reg = Registry();
  for (auto& e : reg)
    if (e.Extension == ext) {
      e.Description = Description;
      e.Factory = std::move(Factory);
      return;
    }
  reg.push_back({ext, Description, std::move(Factory)});
}

void TPicture::UnregisterFileFormat(const std::string& Extension) {
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  const std::string ext = Normalize(Extension);
  auto& reg = Registry();
  reg.erase(std::remove_if(reg.begin(), reg.end(),
                           [&](const FormatEntry& e) { return e.Extension == ext; }),
            reg.end());
}

std::unique_ptr<TGraphic> TPicture::CreateGraphicForExtension(const std::string& Extension) {
  TGraphicFactory factory;
  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    const std::string ext = Normalize(Extension);
    for (auto& e : Registry())
      if (e.Extension == ext) factory = e.Factory;
  }
  return factory ? factory() : nullptr;
}

std::vector<std::pair<std::string, std::string>> TPicture::RegisteredFormats() {
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  std::vector<std::pair<std::string, std::string>> out;
  for (auto& e : Registry()) out.emplace_back(e.Extension, e.Description);
  return out;
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream s(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&s);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream s(FileName, fmCreate);
  SaveToStream(&s);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string ext = ExtractFileExt(FileName);
  std::unique_ptr<TGraphic> g = CreateGraphicForExtension(ext);
  if (!g) throw EInvalidGraphic(Format("Unknown picture file extension (%s)", ext.c_str()));
  g->LoadFromFile(FileName);
  FGraphic = std::move(g);
  if (OnChange) OnChange(this);
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

void TPicture::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    SetGraphic(nullptr);
    return;
  }
  const TGraphic* from = nullptr;
  if (auto* p = dynamic_cast<TPicture*>(Source)) {
    if (p == this) return;
    from = p->GetGraphic();
    if (!from) {
      SetGraphic(nullptr);
      return;
    }
  } else if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    from = g;
  }
  if (!from) {
    TPersistent::Assign(Source);
    return;
  }
  // A copy of the same class, through its own stream format.
  const TGraphic& fromRef = *from;
  std::unique_ptr<TGraphic> copy;
  for (const auto& [ext, desc] : RegisteredFormats()) {
    std::unique_ptr<TGraphic> candidate = CreateGraphicForExtension(ext);
    // Compared through references: typeid of a dereferenced pointer is an
    // evaluated expression (Clang warns).
    if (!candidate) continue;
    const TGraphic& candidateRef = *candidate;
    if (typeid(candidateRef) == typeid(fromRef)) {
      copy = std::move(candidate);
      break;
    }
  }
  if (!copy) {
    TPersistent::Assign(Source);
    return;
  }
  TMemoryStream m;
  const_cast<TGraphic*>(from)->SaveToStream(&m);
  m.SetPosition(0);
  if (m.GetSize() > 0) copy->LoadFromStream(&m);
  SetGraphic(std::move(copy));
}

std::unique_ptr<TGraphic> TPicture::CreateGraphicForClassName(const std::string& ClassName) {
  for (const auto& [ext, desc] : RegisteredFormats()) {
    std::unique_ptr<TGraphic> candidate = CreateGraphicForExtension(ext);
    if (candidate && SameText(candidate->ClassName(), ClassName)) return candidate;
  }
  return nullptr;
}

std::vector<uint8_t> TPicture::SaveToFormData() const {
  std::vector<uint8_t> R;
  if (!FGraphic) return R;
  const std::string Name = FGraphic->ClassName();
  R.push_back(static_cast<uint8_t>(Name.size()));
  R.insert(R.end(), Name.begin(), Name.begin() + std::min<size_t>(Name.size(), 255));
  TMemoryStream S;
  FGraphic->WriteData(&S);
  const auto* P = static_cast<const uint8_t*>(S.GetMemory());
  R.insert(R.end(), P, P + S.GetSize());
  return R;
}

void TPicture::LoadFromFormData(const std::vector<uint8_t>& Data) {
  if (Data.empty()) {
    SetGraphic(nullptr);
    return;
  }
  const size_t nameLength = Data[0];
  if (1 + nameLength > Data.size()) throw EInvalidGraphic("Invalid picture data");
  const std::string className(reinterpret_cast<const char*>(Data.data()) + 1, nameLength);
  std::unique_ptr<TGraphic> g = CreateGraphicForClassName(className);
  if (!g) throw EInvalidGraphic(Format("Unknown picture class (%s)", className.c_str()));
  TCustomMemoryStream s(const_cast<uint8_t*>(Data.data()) + 1 + nameLength,
                        int64_t(Data.size() - 1 - nameLength));
  g->ReadData(&s);
  SetGraphic(std::move(g));
}
