#pragma once
// Property tables of form resources. Every class that form resources describe
// keeps one table of its published properties: the name, how a value read
// from a resource is applied, how the current value is written, and for
// enumerations and sets the one list of names they are written with. The
// form reader applies values through the table and the form writer writes
// through it, so the two cannot disagree.
//
// A table links to the table of its base class; an entry of a derived table
// replaces the base's entry of the same name. Retired names are read (mapped
// to the property that replaced them, or left alone) and never written.
//
// A class builds its table once, in its FormProperties override:
//
//   const TFormPropertyTable& TLabel::FormProperties() const {
//     static const TFormPropertyTable Table =
//         TFormProperties<TLabel>("TLabel", &TGraphicControl::FormProperties())
//             .Bool("AutoSize", &TLabel::GetAutoSize, &TLabel::SetAutoSize)
//             .Enum("Alignment", AlignmentNames(), &TLabel::GetAlignment, &TLabel::SetAlignment)
//             .Build();
//     return Table;
//   }
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/rtl/components.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_reader.h"

class TBitmap;
class TFont;
class TPicture;

// The names of one enumeration (or of the elements of one set) in value
// order, as resources write them. Each enumeration has exactly one such list.
using TFormEnumNames = std::vector<std::string>;

struct TFormProperty {
  std::string Name;
  // Applies a value read from a resource to the instance.
  std::function<void(TObject& Instance, const TFormValue& Value, TFormReadContext& Context)> Read;
  // The value to write; false when the instance does not store it. Empty for
  // names that are only read (retired names, looks the platform decides).
  std::function<bool(const TObject& Instance, TFormValue& Value)> Write;
  // Written before every other property (one that sets others: a button's
  // kind), so that what follows it in the resource wins.
  bool Early = false;
};

class TFormPropertyTable {
 public:
  TFormPropertyTable() = default;
  // ClassName names a class the form reader can create for this table ("" when
  // none, as for sub-objects and abstract bases).
  TFormPropertyTable(std::string ClassName, const TFormPropertyTable* Parent, std::vector<TFormProperty> Own);

  const std::string& ClassName() const { return FClassName; }
  const TFormPropertyTable* Parent() const { return FParent; }
  // The entry of Name (case ignored) here or in a base table; nullptr when none.
  const TFormProperty* Find(const std::string& Name) const;
  // Every entry the class has, the early ones first, then base classes'
  // before derived ones, each name once (the most derived entry of the name).
  std::vector<const TFormProperty*> All() const;
  // Those of All that are written.
  std::vector<const TFormProperty*> Written() const;

 private:
  std::string FClassName;
  const TFormPropertyTable* FParent = nullptr;
  std::vector<TFormProperty> FOwn;
  std::map<std::string, size_t> FIndex;  // lower-case name -> position in FOwn
};

// ------------------------------------------------------------ value kinds
// How one kind of value is read from and written to a resource.
struct TFormBoolKind {
  using T = bool;
  static T Read(const TFormValue& V) { return V.AsBoolean(); }
  static TFormValue Write(T V) { return TFormValue::OfBoolean(V); }
};
struct TFormIntegerKind {
  using T = int32_t;
  static T Read(const TFormValue& V) { return V.AsInteger(); }
  static TFormValue Write(T V) { return TFormValue::OfInteger(V); }
};
// Positions, sizes and widths: 16-bit integers (see TFormValue::AsCoordinate).
struct TFormCoordinateKind {
  using T = int32_t;
  static T Read(const TFormValue& V) { return V.AsCoordinate(); }
  static TFormValue Write(T V) { return TFormValue::OfInteger(V); }
};
// A byte: 0 .. 255, else "Invalid property value".
struct TFormByteKind {
  using T = uint8_t;
  static T Read(const TFormValue& V) {
    const int32_t I = V.AsInteger();
    if (I < 0 || I > 255) throw EReadError("Invalid property value");
    return static_cast<T>(I);
  }
  static TFormValue Write(T V) { return TFormValue::OfInteger(V); }
};
struct TFormInt64Kind {
  using T = int64_t;
  static T Read(const TFormValue& V) { return V.AsInt64(); }
  static TFormValue Write(T V) { return TFormValue::OfInteger(V); }
};
struct TFormFloatKind {
  using T = long double;
  static T Read(const TFormValue& V) { return V.AsFloat(); }
  static TFormValue Write(T V) { return TFormValue::OfFloat(V); }
};
struct TFormStringKind {
  using T = std::string;
  static T Read(const TFormValue& V) { return V.AsString(); }
  static TFormValue Write(const T& V) { return TFormValue::OfString(V); }
};
// Colours: a colour name where one exists, else the number.
struct TFormColorKind {
  using T = TColor;
  static T Read(const TFormValue& V) { return V.AsColor(); }
  static TFormValue Write(T V);
};

// ------------------------------------------------------------ accessors
namespace FormPropertyDetail {
template <typename S>
struct MemberArg;
template <typename K, typename R, typename A>
struct MemberArg<R (K::*)(A)> {
  using type = std::decay_t<A>;
};
template <typename K, typename R, typename A>
struct MemberArg<R (K::*)(A) noexcept> {
  using type = std::decay_t<A>;
};

// Reads through a getter: a member function, a data member or a callable
// taking the instance.
template <typename C, typename G>
decltype(auto) Get(const C& Obj, const G& Getter) {
  return std::invoke(Getter, Obj);
}

// Stores through a setter: a member function, a data member or a callable
// taking the instance and the value; the value is converted to what the
// setter takes (an enumeration, a narrower integer).
template <typename C, typename S, typename V>
void Put(C& Obj, const S& Setter, V&& Value) {
  if constexpr (std::is_member_object_pointer_v<S>) {
    using M = std::remove_reference_t<decltype(Obj.*Setter)>;
    Obj.*Setter = static_cast<M>(std::forward<V>(Value));
  } else if constexpr (std::is_member_function_pointer_v<S>) {
    using A = typename MemberArg<S>::type;
    (Obj.*Setter)(static_cast<A>(std::forward<V>(Value)));
  } else {
    Setter(Obj, std::forward<V>(Value));
  }
}

void InvalidValue [[noreturn]] ();
// A string list as a list of strings (false for none or an empty list).
bool WriteStrings(const TStrings* Strings, TFormValue& Value);
// Bitmaps and pictures as binary data of a resource ("Glyph.Data",
// "Picture.Data"): Read raises EReadError for a value that is not binary.
void ReadBitmap(TBitmap& Bitmap, const TFormValue& Value);
bool WriteBitmap(const TBitmap* Bitmap, TFormValue& Value);
void ReadPicture(TPicture& Picture, const TFormValue& Value);
bool WritePicture(const TPicture* Picture, TFormValue& Value);
struct TBitmapDeleter {
  void operator()(TBitmap* B) const;
};
std::unique_ptr<TBitmap, TBitmapDeleter> NewBitmap();
IFormPropertyTarget* TargetOf(TObject& Obj);
const IFormPropertyTarget* TargetOf(const TObject& Obj);
}  // namespace FormPropertyDetail

// ------------------------------------------------------------ builder
template <typename C>
class TFormProperties {
 public:
  using TReadFn = std::function<void(C& Obj, const TFormValue& Value, TFormReadContext& Context)>;
  using TWriteFn = std::function<bool(const C& Obj, TFormValue& Value)>;

  TFormProperties(std::string ClassName, const TFormPropertyTable* Parent)
      : FClassName(std::move(ClassName)), FParent(Parent) {}

  // A property of a value kind (TFormBoolKind ...) through a getter and a setter.
  template <typename Kind, typename G, typename S>
  TFormProperties& Value(const char* Name, G Getter, S Setter) {
    return Custom(
        Name, [Setter](C& Obj, const TFormValue& V, TFormReadContext&) { FormPropertyDetail::Put(Obj, Setter, Kind::Read(V)); },
        [Getter](const C& Obj, TFormValue& V) {
          V = Kind::Write(static_cast<typename Kind::T>(FormPropertyDetail::Get(Obj, Getter)));
          return true;
        });
  }
  template <typename G, typename S>
  TFormProperties& Bool(const char* Name, G Getter, S Setter) {
    return Value<TFormBoolKind>(Name, Getter, Setter);
  }
  template <typename G, typename S>
  TFormProperties& Integer(const char* Name, G Getter, S Setter) {
    return Value<TFormIntegerKind>(Name, Getter, Setter);
  }
  template <typename G, typename S>
  TFormProperties& Coordinate(const char* Name, G Getter, S Setter) {
    return Value<TFormCoordinateKind>(Name, Getter, Setter);
  }
  template <typename G, typename S>
  TFormProperties& Float(const char* Name, G Getter, S Setter) {
    return Value<TFormFloatKind>(Name, Getter, Setter);
  }
  template <typename G, typename S>
  TFormProperties& String(const char* Name, G Getter, S Setter) {
    return Value<TFormStringKind>(Name, Getter, Setter);
  }
  template <typename G, typename S>
  TFormProperties& Color(const char* Name, G Getter, S Setter) {
    return Value<TFormColorKind>(Name, Getter, Setter);
  }
  // The same data member read and written.
  template <typename Kind, typename K, typename M>
  TFormProperties& Field(const char* Name, M K::*Member) {
    return Value<Kind>(Name, Member, Member);
  }

  // An enumeration written by its names.
  template <typename G, typename S>
  TFormProperties& Enum(const char* Name, const TFormEnumNames& Names, G Getter, S Setter) {
    const TFormEnumNames* N = &Names;
    return Custom(
        Name, [N, Setter](C& Obj, const TFormValue& V, TFormReadContext&) { FormPropertyDetail::Put(Obj, Setter, V.AsEnum(*N)); },
        [N, Getter](const C& Obj, TFormValue& V) {
          V = TFormValue::OfEnum(static_cast<int64_t>(FormPropertyDetail::Get(Obj, Getter)), *N);
          return true;
        });
  }
  // The names are kept by reference: a temporary list would not outlive the
  // table.
  template <typename G, typename S>
  TFormProperties& Enum(const char* Name, TFormEnumNames&& Names, G Getter, S Setter) = delete;
  template <typename G, typename S>
  TFormProperties& Set(const char* Name, TFormEnumNames&& Names, G Getter, S Setter) = delete;
  // A set written as the names of its bits.
  template <typename G, typename S>
  TFormProperties& Set(const char* Name, const TFormEnumNames& Names, G Getter, S Setter) {
    const TFormEnumNames* N = &Names;
    return Custom(
        Name, [N, Setter](C& Obj, const TFormValue& V, TFormReadContext&) { FormPropertyDetail::Put(Obj, Setter, V.AsSet(*N)); },
        [N, Getter](const C& Obj, TFormValue& V) {
          V = TFormValue::OfSet(static_cast<uint64_t>(FormPropertyDetail::Get(Obj, Getter)), *N);
          return true;
        });
  }
  // A reference to another component of the form (of class T), resolved
  // once the whole resource is read; written by name, not stored when nil.
  template <typename T, typename G, typename S>
  TFormProperties& Reference(const char* Name, G Getter, S Setter) {
    return Custom(
        Name,
        [Setter](C& Obj, const TFormValue& V, TFormReadContext& Context) {
          C* Self = &Obj;
          Context.AddFixup(V, [Self, Setter](TComponent* Comp) {
            T* Typed = dynamic_cast<T*>(Comp);
            if (Comp && !Typed) FormPropertyDetail::InvalidValue();
            FormPropertyDetail::Put(*Self, Setter, Typed);
          });
        },
        [Getter](const C& Obj, TFormValue& V) {
          const TComponent* Comp = dynamic_cast<const TComponent*>(FormPropertyDetail::Get(Obj, Getter));
          if (!Comp || Comp->GetName().empty()) return false;
          V = TFormValue::OfIdent(Comp->GetName());
          return true;
        });
  }
  // An event: a std::function member bound to a handler of the form by name;
  // written with the handler's name when bound from a resource.
  template <typename F, typename K>
  TFormProperties& Event(const char* Name, F K::*Member) {
    return Event<F>(Name, Member, Member);
  }
  // An event through a getter and a setter of the std::function.
  template <typename F, typename G, typename S>
  TFormProperties& Event(const char* Name, G Getter, S Setter) {
    const std::string Key = Name;
    return Custom(
        Name,
        [Key, Setter](C& Obj, const TFormValue& V, TFormReadContext& Context) {
          FormPropertyDetail::Put(Obj, Setter, Context.Handler<F>(V));
          if (IFormPropertyTarget* T = FormPropertyDetail::TargetOf(Obj)) T->SetFormHandlerName(Key, V.AsIdent());
        },
        [Key, Getter](const C& Obj, TFormValue& V) {
          const IFormPropertyTarget* T = FormPropertyDetail::TargetOf(Obj);
          if (!T || !static_cast<bool>(FormPropertyDetail::Get(Obj, Getter))) return false;
          const std::string Handler = T->GetFormHandlerName(Key);
          if (Handler.empty()) return false;
          V = TFormValue::OfIdent(Handler);
          return true;
        });
  }
  // A string list ("Items.Strings = ( ... )") through a getter of a TStrings.
  template <typename G>
  TFormProperties& Strings(const char* Name, G Getter) {
    return Custom(
        Name,
        [Getter](C& Obj, const TFormValue& V, TFormReadContext&) {
          if (V.Kind != TFormValue::vkList) FormPropertyDetail::InvalidValue();
          TStrings* L = FormPropertyDetail::Get(static_cast<const C&>(Obj), Getter);
          L->BeginUpdate();
          L->Clear();
          for (const TFormValue& Item : V.List) L->Add(Item.AsString());
          L->EndUpdate();
        },
        [Getter](const C& Obj, TFormValue& V) { return FormPropertyDetail::WriteStrings(FormPropertyDetail::Get(Obj, Getter), V); });
  }
  // A collection ("Panels = < item ... end >") whose items are objects with
  // the properties of ItemTable: Clear empties it, Add appends a new item and
  // answers it, Count and Item give the items in order. Every stored property
  // of every item is written; an item property the table does not know is
  // read and left alone.
  template <typename ClearFn, typename AddFn, typename CountFn, typename ItemFn>
  TFormProperties& Collection(const char* Name, const TFormPropertyTable& ItemTable, ClearFn Clear, AddFn Add,
                              CountFn Count, ItemFn Item) {
    const TFormPropertyTable* Items = &ItemTable;
    return Custom(
        Name,
        [Items, Clear, Add](C& Obj, const TFormValue& V, TFormReadContext& Context) {
          if (V.Kind != TFormValue::vkCollection) FormPropertyDetail::InvalidValue();
          Clear(Obj);
          for (const TFormValue::TItem& I : V.Items) {
            TObject* New = Add(Obj);
            for (const TFormItemProperty& P : I.Properties)
              if (const TFormProperty* E = Items->Find(P.Name)) E->Read(*New, P.Value, Context);
          }
        },
        [Items, Count, Item](const C& Obj, TFormValue& V) {
          V = TFormValue();
          V.Kind = TFormValue::vkCollection;
          const int32_t N = Count(Obj);
          for (int32_t I = 0; I < N; ++I) {
            const TObject* Each = Item(Obj, I);
            TFormValue::TItem Out;
            for (const TFormProperty* E : Items->Written()) {
              TFormValue PV;
              if (E->Write(*Each, PV)) Out.Properties.emplace_back(E->Name, std::move(PV));
            }
            V.Items.push_back(std::move(Out));
          }
          return N > 0;
        });
  }
  // A bitmap stored as binary data (a glyph): Getter gives the bitmap (nullptr
  // or empty: not stored); Setter takes the bitmap read, which it copies.
  template <typename G, typename S>
  TFormProperties& Bitmap(const char* Name, G Getter, S Setter) {
    return Custom(
        Name,
        [Setter](C& Obj, const TFormValue& V, TFormReadContext&) {
          auto B = FormPropertyDetail::NewBitmap();
          FormPropertyDetail::ReadBitmap(*B, V);
          FormPropertyDetail::Put(Obj, Setter, B.get());
        },
        [Getter](const C& Obj, TFormValue& V) {
          return FormPropertyDetail::WriteBitmap(FormPropertyDetail::Get(Obj, Getter), V);
        });
  }
  // A picture stored as binary data (its class name, then its data).
  template <typename G>
  TFormProperties& Picture(const char* Name, G Getter) {
    return Custom(
        Name,
        [Getter](C& Obj, const TFormValue& V, TFormReadContext&) {
          FormPropertyDetail::ReadPicture(*FormPropertyDetail::Get(static_cast<const C&>(Obj), Getter), V);
        },
        [Getter](const C& Obj, TFormValue& V) {
          return FormPropertyDetail::WritePicture(FormPropertyDetail::Get(Obj, Getter), V);
        });
  }
  // A string list read into a new list handed to Setter (which copies it).
  template <typename G, typename S>
  TFormProperties& Strings(const char* Name, G Getter, S Setter) {
    return Custom(
        Name,
        [Setter](C& Obj, const TFormValue& V, TFormReadContext&) {
          if (V.Kind != TFormValue::vkList) FormPropertyDetail::InvalidValue();
          TStringList L;
          for (const TFormValue& Item : V.List) L.Add(Item.AsString());
          FormPropertyDetail::Put(Obj, Setter, static_cast<TStrings*>(&L));
        },
        [Getter](const C& Obj, TFormValue& V) { return FormPropertyDetail::WriteStrings(FormPropertyDetail::Get(Obj, Getter), V); });
  }
  // A property with its own read and write steps (Write may be empty: the
  // property is then read only).
  TFormProperties& Custom(const char* Name, TReadFn Read, TWriteFn Write = nullptr) {
    TFormProperty P;
    P.Name = Name;
    P.Read = [Read = std::move(Read)](TObject& Obj, const TFormValue& V, TFormReadContext& Context) {
      Read(static_cast<C&>(Obj), V, Context);
    };
    if (Write)
      P.Write = [Write = std::move(Write)](const TObject& Obj, TFormValue& V) {
        return Write(static_cast<const C&>(Obj), V);
      };
    FOwn.push_back(std::move(P));
    return *this;
  }
  // Names read and left alone (looks the platform decides itself, settings of
  // features this platform has no use for); never written. A name ending in
  // "*" takes every name that starts alike ("HorzScrollBar.*").
  TFormProperties& Ignored(std::initializer_list<const char*> Names) {
    for (const char* N : Names) Custom(N, [](C&, const TFormValue&, TFormReadContext&) {});
    return *this;
  }
  // A retired name, read as the property Target; never written.
  TFormProperties& Retired(const char* Name, const char* Target) {
    FRetired.emplace_back(FOwn.size(), Target);
    return Custom(Name, [](C&, const TFormValue&, TFormReadContext&) {});
  }
  // The properties of a persistent sub-object (a font, an options object)
  // under Prefix ("Font" gives "Font.Name" ...); Access gives the sub-object
  // of an instance. With Stored, they are written only when it holds.
  template <typename A>
  TFormProperties& Nested(const char* Prefix, A Access, const TFormPropertyTable& Sub,
                          std::function<bool(const C&)> Stored = nullptr) {
    for (const TFormProperty* E : Sub.All()) {
      TFormProperty P;
      P.Name = std::string(Prefix) + "." + E->Name;
      P.Read = [Access, E](TObject& Obj, const TFormValue& V, TFormReadContext& Context) {
        if (TObject* S = std::invoke(Access, static_cast<const C&>(Obj))) E->Read(*S, V, Context);
      };
      if (E->Write)
        P.Write = [Access, E, Stored](const TObject& Obj, TFormValue& V) {
          if (Stored && !Stored(static_cast<const C&>(Obj))) return false;
          const TObject* S = std::invoke(Access, static_cast<const C&>(Obj));
          return S && E->Write(*S, V);
        };
      FOwn.push_back(std::move(P));
    }
    return *this;
  }
  // The font properties under Prefix (see FontFormProperties).
  template <typename A>
  TFormProperties& Font(const char* Prefix, A Access, std::function<bool(const C&)> Stored = nullptr);
  // The last property added is written first (see TFormProperty::Early).
  TFormProperties& Early() {
    FOwn.back().Early = true;
    return *this;
  }
  // The last property added is written only when Stored holds.
  TFormProperties& StoredWhen(std::function<bool(const C&)> Stored) {
    auto& W = FOwn.back().Write;
    if (W)
      W = [Inner = std::move(W), Stored = std::move(Stored)](const TObject& Obj, TFormValue& V) {
        return Stored(static_cast<const C&>(Obj)) && Inner(Obj, V);
      };
    return *this;
  }

  TFormPropertyTable Build() {
    for (auto& [Index, Target] : FRetired) {
      const TFormProperty* T = nullptr;
      for (const TFormProperty& P : FOwn)
        if (SameText(P.Name, Target)) T = &P;
      if (!T && FParent) T = FParent->Find(Target);
      if (T) FOwn[Index].Read = T->Read;
    }
    return TFormPropertyTable(FClassName, FParent, std::move(FOwn));
  }

 private:
  std::string FClassName;
  const TFormPropertyTable* FParent;
  std::vector<TFormProperty> FOwn;
  std::vector<std::pair<size_t, std::string>> FRetired;
};

// ------------------------------------------------------------ shared tables and names
// The properties of a font: Name, Height, Color, Style, Charset (a charset
// name or number); "Size" (points) and "Pitch" are read, not written.
const TFormPropertyTable& FontFormProperties();
// The properties of a pen (Color, Mode, Style, Width) and of a brush (Color,
// Style).
const TFormPropertyTable& PenFormProperties();
const TFormPropertyTable& BrushFormProperties();

template <typename C>
template <typename A>
TFormProperties<C>& TFormProperties<C>::Font(const char* Prefix, A Access, std::function<bool(const C&)> Stored) {
  return Nested(Prefix, Access, FontFormProperties(), std::move(Stored));
}

// The base of non-visual components' tables: "Tag", and "Left" and "Top"
// (where the component sat in a designer), which are read and left alone.
const TFormPropertyTable& ComponentFormProperties();

// Names of the enumerations of the control layer, one list each.
const TFormEnumNames& AlignNames();           // TAlign
const TFormEnumNames& AnchorNames();          // TAnchors
const TFormEnumNames& AlignmentNames();       // TAlignment
const TFormEnumNames& TextLayoutNames();      // TTextLayout
const TFormEnumNames& BevelCutNames();        // TBevelCut
const TFormEnumNames& BorderStyleNames();     // TBorderStyle
const TFormEnumNames& ScrollStyleNames();     // TScrollStyle
const TFormEnumNames& ModalResultNames();     // TModalResult (mrNone .. mrYesToAll)
const TFormEnumNames& FontStyleNames();       // TFontStyles
const TFormEnumNames& CheckBoxStateNames();   // TCheckBoxState
const TFormEnumNames& ButtonLayoutNames();    // TButtonLayout
const TFormEnumNames& TrackBarOrientationNames();  // TTrackBarOrientation
const TFormEnumNames& PenStyleNames();        // TPenStyle
const TFormEnumNames& BrushStyleNames();      // TBrushStyle
const TFormEnumNames& FontPitchNames();       // TFontPitch
const TFormEnumNames& PenModeNames();         // TPenMode

// A modal result: a name of ModalResultNames or a number.
int32_t ReadModalResult(const TFormValue& Value);

// Applies one property to Target through its class's table; false when the
// class has none of that name.
bool ApplyFormProperty(IFormPropertyTarget& Target, TObject& Instance, const std::string& Name,
                       const TFormValue& Value, TFormReadContext& Context);
