#include "platform/vcl/form_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

#include "platform/vcl/controls.h"
#include "platform/vcl/form_properties.h"

// ------------------------------------------------------------ values
TFormValue TFormValue::OfInteger(int64_t Value) {
  TFormValue V;
  V.Kind = vkInteger;
  V.Int = Value;
  return V;
}

TFormValue TFormValue::OfFloat(long double Value) {
  TFormValue V;
  V.Kind = vkFloat;
  V.Float = std::isfinite(Value) ? Value : 0;
  return V;
}

TFormValue TFormValue::OfString(std::string Value) {
  TFormValue V;
  V.Kind = vkString;
  V.Text = std::move(Value);
  return V;
}

TFormValue TFormValue::OfIdent(std::string Value) {
  TFormValue V;
  V.Kind = vkIdent;
  V.Text = std::move(Value);
  return V;
}

TFormValue TFormValue::OfBoolean(bool Value) { return OfIdent(Value ? "True" : "False"); }

TFormValue TFormValue::OfEnum(int64_t Index, const std::vector<std::string>& Names) {
  if (Index >= 0 && static_cast<size_t>(Index) < Names.size()) return OfIdent(Names[static_cast<size_t>(Index)]);
  return OfInteger(Index);
}

TFormValue TFormValue::OfSet(uint64_t Bits, const std::vector<std::string>& Names) {
  TFormValue V;
  V.Kind = vkSet;
  for (size_t I = 0; I < Names.size() && I < 64; ++I)
    if (Bits & (uint64_t{1} << I)) V.SetItems.push_back(Names[I]);
  return V;
}

TFormValue TFormValue::OfList(std::vector<TFormValue> Values) {
  TFormValue V;
  V.Kind = vkList;
  V.List = std::move(Values);
  return V;
}

TFormValue TFormValue::OfBinary(std::vector<uint8_t> Bytes) {
  TFormValue V;
  V.Kind = vkBinary;
  V.Binary = std::move(Bytes);
  return V;
}

namespace {
// The shortest text that reads back as the same number, always with a point
// or an exponent so that it reads as a float again.
std::string FloatText(long double X) {
  char Buf[64];
  for (int Precision = 1; Precision <= 21; ++Precision) {
    std::snprintf(Buf, sizeof Buf, "%.*Lg", Precision, X);
    if (std::strtold(Buf, nullptr) == X) break;
  }
  std::string S = Buf;
  if (S.find_first_of(".eE") == std::string::npos) S += ".0";
  return S;
}

std::string QuotedText(const std::string& S) {
  if (S.empty()) return "''";
  std::string R;
  bool InQuote = false;
  for (unsigned char C : S) {
    if (C < 32 || C == 127) {
      if (InQuote) R += '\'';
      InQuote = false;
      R += '#' + std::to_string(C);
    } else {
      if (!InQuote) R += '\'';
      InQuote = true;
      if (C == '\'') R += '\'';
      R += static_cast<char>(C);
    }
  }
  if (InQuote) R += '\'';
  return R;
}
}  // namespace

std::string TFormValue::ToText(int32_t Indent) const {
  const std::string Inner(static_cast<size_t>(Indent) + 2, ' ');
  switch (Kind) {
    case vkInteger:
      return std::to_string(Int);
    case vkFloat:
      return FloatText(Float);
    case vkString:
      return QuotedText(Text);
    case vkIdent:
      return Text;
    case vkSet: {
      std::string R = "[";
      for (size_t I = 0; I < SetItems.size(); ++I) R += (I ? ", " : "") + SetItems[I];
      return R + "]";
    }
    case vkList: {
      if (List.empty()) return "()";
      std::string R = "(";
      for (const TFormValue& V : List) R += "\n" + Inner + V.ToText(Indent + 2);
      return R + ")";
    }
    case vkCollection: {
      if (Items.empty()) return "<>";
      std::string R = "<";
      for (const TItem& Item : Items) {
        R += "\n" + Inner + "item";
        for (const TFormItemProperty& P : Item.Properties)
          R += "\n" + Inner + "  " + P.Name + " = " + P.Value.ToText(Indent + 4);
        R += "\n" + Inner + "end";
      }
      return R + ">";
    }
    case vkBinary: {
      if (Binary.empty()) return "{}";
      static const char kHex[] = "0123456789ABCDEF";
      std::string R = "{";
      for (size_t I = 0; I < Binary.size(); ++I) {
        if (I % 32 == 0) R += "\n" + Inner;
        R += kHex[Binary[I] >> 4];
        R += kHex[Binary[I] & 15];
      }
      return R + "}";
    }
  }
  return std::string();
}

// ------------------------------------------------------------ writer
namespace {

const IFormPropertyTarget* TargetOf(const TComponent* C) { return dynamic_cast<const IFormPropertyTarget*>(C); }

class TWriter {
 public:
  explicit TWriter(TComponent* Root) : FRoot(Root) {
    // Components another component writes inside its own block.
    for (int32_t I = 0; I < Root->GetComponentCount(); ++I)
      if (const IFormPropertyTarget* T = TargetOf(Root->GetComponent(I)))
        for (TComponent* Child : T->FormChildren()) FClaimed.insert(Child);
  }

  std::string Write() {
    WriteObject(FRoot, 0);
    return FOut;
  }

 private:
  // A new component of the class, whose values count as the defaults: the
  // component's own class when the reader can create it, else the nearest
  // base class that the reader can create.
  const TComponent* Reference(const TComponent* C) {
    std::vector<std::string> Names = {C->ClassName()};
    if (const IFormPropertyTarget* T = TargetOf(C))
      for (const TFormPropertyTable* Table = &T->FormProperties(); Table; Table = Table->Parent())
        if (!Table->ClassName().empty()) Names.push_back(Table->ClassName());
    for (const std::string& Name : Names) {
      if (!IsClassRegistered(Name)) continue;
      auto It = FReferences.find(LowerCase(Name));
      if (It == FReferences.end())
        It = FReferences.emplace(LowerCase(Name), std::unique_ptr<TComponent>(CreateComponentByClassName(Name, nullptr)))
                 .first;
      return It->second.get();
    }
    return nullptr;
  }

  std::vector<TComponent*> Children(const TComponent* C) const {
    std::vector<TComponent*> R;
    if (auto* W = dynamic_cast<const TWinControl*>(C)) {
      for (int32_t I = 0; I < FRoot->GetComponentCount(); ++I) {
        auto* Control = dynamic_cast<TControl*>(FRoot->GetComponent(I));
        if (Control && Control->GetParent() == W && Control != FRoot) R.push_back(Control);
      }
    }
    if (const IFormPropertyTarget* T = TargetOf(C))
      for (TComponent* Child : T->FormChildren())
        if (Child->GetOwner() == FRoot) R.push_back(Child);
    if (C == FRoot) {
      for (int32_t I = 0; I < FRoot->GetComponentCount(); ++I) {
        TComponent* K = FRoot->GetComponent(I);
        if (!dynamic_cast<TControl*>(K) && !FClaimed.count(K)) R.push_back(K);
      }
    }
    return R;
  }

  void WriteObject(const TComponent* C, int32_t Indent) {
    const std::string Pad(static_cast<size_t>(Indent), ' ');
    FOut += Pad + "object " + C->GetName() + ": " + C->ClassName() + "\n";
    if (const IFormPropertyTarget* T = TargetOf(C)) {
      const TComponent* Ref = Reference(C);
      for (const TFormProperty* P : T->FormProperties().Written()) {
        TFormValue V;
        if (!P->Write(*C, V)) continue;
        TFormValue D;
        if (Ref && P->Write(*Ref, D) && D == V) continue;
        FOut += Pad + "  " + P->Name + " = " + V.ToText(Indent + 2) + "\n";
      }
    }
    for (TComponent* Child : Children(C)) WriteObject(Child, Indent + 2);
    FOut += Pad + "end\n";
  }

  TComponent* FRoot;
  std::string FOut;
  std::set<const TComponent*> FClaimed;
  std::map<std::string, std::unique_ptr<TComponent>> FReferences;
};

}  // namespace

std::string WriteComponentResource(TComponent* Root) { return TWriter(Root).Write(); }

std::vector<std::pair<std::string, TFormValue>> StoredFormProperties(const TComponent* Instance) {
  std::vector<std::pair<std::string, TFormValue>> R;
  if (const IFormPropertyTarget* T = TargetOf(Instance)) {
    for (const TFormProperty* P : T->FormProperties().Written()) {
      TFormValue V;
      if (P->Write(*Instance, V)) R.emplace_back(P->Name, std::move(V));
    }
  }
  return R;
}
