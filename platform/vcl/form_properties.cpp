#include "platform/vcl/form_properties.h"

#include <algorithm>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/streams.h"

// ------------------------------------------------------------ the table
TFormPropertyTable::TFormPropertyTable(std::string ClassName, const TFormPropertyTable* Parent,
                                       std::vector<TFormProperty> Own)
    : FClassName(std::move(ClassName)), FParent(Parent), FOwn(std::move(Own)) {
  for (size_t I = 0; I < FOwn.size(); ++I) FIndex[LowerCase(FOwn[I].Name)] = I;
}

const TFormProperty* TFormPropertyTable::Find(const std::string& Name) const {
  const std::string Key = LowerCase(Name);
  for (const TFormPropertyTable* T = this; T; T = T->FParent) {
    auto It = T->FIndex.find(Key);
    if (It != T->FIndex.end()) return &T->FOwn[It->second];
  }
  // Entries whose name ends in "*" take every name that starts alike.
  for (const TFormPropertyTable* T = this; T; T = T->FParent)
    for (const TFormProperty& P : T->FOwn)
      if (!P.Name.empty() && P.Name.back() == '*' && Key.size() >= P.Name.size() - 1 &&
          Key.compare(0, P.Name.size() - 1, LowerCase(P.Name.substr(0, P.Name.size() - 1))) == 0)
        return &P;
  return nullptr;
}

std::vector<const TFormProperty*> TFormPropertyTable::All() const {
  std::vector<const TFormPropertyTable*> Chain;
  for (const TFormPropertyTable* T = this; T; T = T->FParent) Chain.insert(Chain.begin(), T);
  std::vector<const TFormProperty*> R;
  std::map<std::string, size_t> Seen;
  for (const TFormPropertyTable* T : Chain) {
    for (const TFormProperty& P : T->FOwn) {
      const std::string Key = LowerCase(P.Name);
      auto It = Seen.find(Key);
      if (It != Seen.end()) {
        R[It->second] = &P;  // the derived entry, at the base's place
      } else {
        Seen[Key] = R.size();
        R.push_back(&P);
      }
    }
  }
  std::stable_partition(R.begin(), R.end(), [](const TFormProperty* P) { return P->Early; });
  return R;
}

std::vector<const TFormProperty*> TFormPropertyTable::Written() const {
  std::vector<const TFormProperty*> R;
  for (const TFormProperty* P : All())
    if (P->Write) R.push_back(P);
  return R;
}

// ------------------------------------------------------------ targets
const TFormPropertyTable& IFormPropertyTarget::FormProperties() const {
  static const TFormPropertyTable Empty;
  return Empty;
}

bool IFormPropertyTarget::SetFormProperty(const std::string& Name, const TFormValue& Value,
                                          TFormReadContext& Context) {
  const TFormProperty* P = FormProperties().Find(Name);
  if (!P) return false;
  TObject* Self = dynamic_cast<TObject*>(this);
  if (!Self) return false;
  P->Read(*Self, Value, Context);
  return true;
}

std::string IFormPropertyTarget::GetFormHandlerName(const std::string& Event) const {
  auto It = FFormHandlerNames.find(LowerCase(Event));
  return It == FFormHandlerNames.end() ? std::string() : It->second;
}

void IFormPropertyTarget::SetFormHandlerName(const std::string& Event, const std::string& Handler) {
  FFormHandlerNames[LowerCase(Event)] = Handler;
}

namespace FormPropertyDetail {
void InvalidValue() { throw EReadError("Invalid property value"); }
IFormPropertyTarget* TargetOf(TObject& Obj) { return dynamic_cast<IFormPropertyTarget*>(&Obj); }
const IFormPropertyTarget* TargetOf(const TObject& Obj) { return dynamic_cast<const IFormPropertyTarget*>(&Obj); }

bool WriteStrings(const TStrings* Strings, TFormValue& Value) {
  if (!Strings || Strings->GetCount() == 0) return false;
  std::vector<TFormValue> Items;
  for (int32_t I = 0; I < Strings->GetCount(); ++I) Items.push_back(TFormValue::OfString(Strings->Get(I)));
  Value = TFormValue::OfList(std::move(Items));
  return true;
}

void TBitmapDeleter::operator()(TBitmap* B) const { delete B; }
std::unique_ptr<TBitmap, TBitmapDeleter> NewBitmap() { return std::unique_ptr<TBitmap, TBitmapDeleter>(new TBitmap); }

void ReadBitmap(TBitmap& Bitmap, const TFormValue& Value) {
  if (Value.Kind != TFormValue::vkBinary) InvalidValue();
  if (Value.Binary.empty()) {
    Bitmap.SetSize(0, 0);
    return;
  }
  TCustomMemoryStream S(const_cast<uint8_t*>(Value.Binary.data()), static_cast<int64_t>(Value.Binary.size()));
  Bitmap.ReadData(&S);
}

bool WriteBitmap(const TBitmap* Bitmap, TFormValue& Value) {
  if (!Bitmap || Bitmap->GetEmpty()) return false;
  TMemoryStream S;
  const_cast<TBitmap*>(Bitmap)->WriteData(&S);
  const auto* P = static_cast<const uint8_t*>(S.GetMemory());
  Value = TFormValue::OfBinary(std::vector<uint8_t>(P, P + S.GetSize()));
  return true;
}

void ReadPicture(TPicture& Picture, const TFormValue& Value) {
  if (Value.Kind != TFormValue::vkBinary) InvalidValue();
  Picture.LoadFromFormData(Value.Binary);
}

bool WritePicture(const TPicture* Picture, TFormValue& Value) {
  if (!Picture || !Picture->GetGraphic() || Picture->GetGraphic()->GetEmpty()) return false;
  Value = TFormValue::OfBinary(Picture->SaveToFormData());
  return true;
}
}  // namespace FormPropertyDetail

TFormValue TFormColorKind::Write(TColor V) {
  std::string Ident;
  if (ColorToIdent(V, Ident)) return TFormValue::OfIdent(Ident);
  return TFormValue::OfInteger(V);
}

// ------------------------------------------------------------ enumeration names
#define FOLIO_FORM_NAMES(Fn, ...)                    \
  const TFormEnumNames& Fn() {                       \
    static const TFormEnumNames Names = {__VA_ARGS__}; \
    return Names;                                    \
  }

FOLIO_FORM_NAMES(AlignNames, "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom")
FOLIO_FORM_NAMES(AnchorNames, "akLeft", "akTop", "akRight", "akBottom")
FOLIO_FORM_NAMES(AlignmentNames, "taLeftJustify", "taRightJustify", "taCenter")
FOLIO_FORM_NAMES(TextLayoutNames, "tlTop", "tlCenter", "tlBottom")
FOLIO_FORM_NAMES(BevelCutNames, "bvNone", "bvLowered", "bvRaised", "bvSpace")
FOLIO_FORM_NAMES(BorderStyleNames, "bsNone", "bsSingle")
FOLIO_FORM_NAMES(ScrollStyleNames, "ssNone", "ssHorizontal", "ssVertical", "ssBoth")
FOLIO_FORM_NAMES(ModalResultNames, "mrNone", "mrOk", "mrCancel", "mrAbort", "mrRetry", "mrIgnore", "mrYes", "mrNo",
                 "mrAll", "mrNoToAll", "mrYesToAll")
FOLIO_FORM_NAMES(FontStyleNames, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
FOLIO_FORM_NAMES(CheckBoxStateNames, "cbUnchecked", "cbChecked", "cbGrayed")
FOLIO_FORM_NAMES(ButtonLayoutNames, "blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom")
FOLIO_FORM_NAMES(TrackBarOrientationNames, "trHorizontal", "trVertical")
FOLIO_FORM_NAMES(PenStyleNames, "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
                 "psInsideFrame", "psUserStyle", "psAlternate")
FOLIO_FORM_NAMES(BrushStyleNames, "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal",
                 "bsCross", "bsDiagCross")
FOLIO_FORM_NAMES(FontPitchNames, "fpDefault", "fpVariable", "fpFixed")
FOLIO_FORM_NAMES(PenModeNames, "pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot",
                 "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask", "pmNotMask",
                 "pmXor", "pmNotXor")

#undef FOLIO_FORM_NAMES

int32_t ReadModalResult(const TFormValue& Value) {
  return Value.Kind == TFormValue::vkInteger ? Value.AsInteger() : Value.AsEnum(ModalResultNames());
}

bool ApplyFormProperty(IFormPropertyTarget& Target, TObject& Instance, const std::string& Name,
                       const TFormValue& Value, TFormReadContext& Context) {
  const TFormProperty* P = Target.FormProperties().Find(Name);
  if (!P) return false;
  P->Read(Instance, Value, Context);
  return true;
}

const TFormPropertyTable& ComponentFormProperties() {
  static const TFormPropertyTable Table = TFormProperties<TComponent>("", nullptr)
                                              .Value<TFormInt64Kind>("Tag", &TComponent::GetTag, &TComponent::SetTag)
                                              .Custom("Left", [](TComponent&, const TFormValue& V,
                                                                 TFormReadContext&) { V.AsInteger(); })
                                              .Custom("Top", [](TComponent&, const TFormValue& V,
                                                                TFormReadContext&) { V.AsInteger(); })
                                              .Build();
  return Table;
}

// ------------------------------------------------------------ fonts
namespace {
struct TCharsetName {
  const char* Name;
  int32_t Code;
};
constexpr TCharsetName kCharsets[] = {
    {"ANSI_CHARSET", 0},         {"DEFAULT_CHARSET", 1},     {"SYMBOL_CHARSET", 2},      {"MAC_CHARSET", 77},
    {"SHIFTJIS_CHARSET", 128},   {"HANGEUL_CHARSET", 129},   {"JOHAB_CHARSET", 130},     {"GB2312_CHARSET", 134},
    {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161},    {"TURKISH_CHARSET", 162},   {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},     {"ARABIC_CHARSET", 178},    {"BALTIC_CHARSET", 186},    {"RUSSIAN_CHARSET", 204},
    {"THAI_CHARSET", 222},       {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255}};
}  // namespace

const TFormPropertyTable& FontFormProperties() {
  static const TFormPropertyTable Table =
      TFormProperties<TFont>("", nullptr)
          .Custom(
              "Charset",
              [](TFont& F, const TFormValue& V, TFormReadContext&) {
                int32_t Code = -1;
                if (V.Kind == TFormValue::vkInteger) {
                  Code = V.AsInteger();
                } else {
                  for (const TCharsetName& C : kCharsets)
                    if (SameText(V.AsIdent(), C.Name)) Code = C.Code;
                }
                if (Code < 0 || Code > 255) FormPropertyDetail::InvalidValue();
                F.SetCharset(static_cast<TFontCharset>(Code));
              },
              [](const TFont& F, TFormValue& V) {
                V = TFormValue::OfInteger(F.GetCharset());
                for (const TCharsetName& C : kCharsets)
                  if (C.Code == F.GetCharset()) V = TFormValue::OfIdent(C.Name);
                return true;
              })
          .Color("Color", &TFont::GetColor, &TFont::SetColor)
          .Coordinate("Height", &TFont::GetHeight, &TFont::SetHeight)
          .String("Name", &TFont::GetName, &TFont::SetName)
          .Enum("Pitch", FontPitchNames(), &TFont::GetPitch, &TFont::SetPitch)
          .Set("Style", FontStyleNames(), &TFont::GetStyle, &TFont::SetStyle)
          .Custom("Size", [](TFont& F, const TFormValue& V, TFormReadContext&) { F.SetSize(V.AsCoordinate()); })
          .Build();
  return Table;
}

const TFormPropertyTable& PenFormProperties() {
  static const TFormPropertyTable Table = TFormProperties<TPen>("", nullptr)
                                              .Color("Color", &TPen::GetColor, &TPen::SetColor)
                                              .Enum("Mode", PenModeNames(), &TPen::GetMode, &TPen::SetMode)
                                              .Enum("Style", PenStyleNames(), &TPen::GetStyle, &TPen::SetStyle)
                                              .Coordinate("Width", &TPen::GetWidth, &TPen::SetWidth)
                                              .Build();
  return Table;
}

const TFormPropertyTable& BrushFormProperties() {
  // The style after the colour: setting a colour makes a clear brush solid.
  static const TFormPropertyTable Table = TFormProperties<TBrush>("", nullptr)
                                              .Color("Color", &TBrush::GetColor, &TBrush::SetColor)
                                              .Enum("Style", BrushStyleNames(), &TBrush::GetStyle, &TBrush::SetStyle)
                                              .Build();
  return Table;
}
