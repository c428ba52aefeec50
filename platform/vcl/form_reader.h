#pragma once
// The form-resource reader. A form resource is a text file in the class
// library's textual form format:
//
//   object Form1: TForm1
//     Left = 10
//     Caption = 'Main window'
//     OnCreate = FormCreate
//     object Panel1: TPanel
//       Align = alTop
//       Font.Style = [fsBold]
//       object Button1: TButton
//         OnClick = Button1Click
//       end
//     end
//   end
//
// Values are integers (decimal or $hex), floats, strings ('text' with ''
// for a quote and #nnn for a character, pieces joined by +), identifiers
// (True, alClient, clBtnFace, handler names, component names), sets [a, b],
// lists ( ... ), collections < item ... end > and binary data { hex }.
//
// The reader creates each component by class name from the class registry,
// owned by the form, puts controls on their enclosing control, applies the
// properties in the order the resource lists them while the component is in
// its loading state, and afterwards calls Loaded on every component it
// created and on the form. Event properties name a handler of the form's
// handler table; component references are resolved once everything is read.
// Failures raise EReadError with the resource's line.
#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/rtl/components.h"
#include "platform/rtl/sysutils.h"

struct TFormItemProperty;

class TFormValue {
 public:
  enum TKind : uint8_t { vkInteger, vkFloat, vkString, vkIdent, vkSet, vkList, vkCollection, vkBinary };
  // A collection item: its properties in the order written.
  struct TItem {
    std::vector<TFormItemProperty> Properties;
  };

  TKind Kind = vkInteger;
  int64_t Int = 0;
  long double Float = 0;
  std::string Text;                  // string (UTF-8) or identifier
  std::vector<std::string> SetItems; // set elements
  std::vector<TFormValue> List;      // list elements
  std::vector<TItem> Items;          // collection items
  std::vector<uint8_t> Binary;
  int32_t Line = 0;

  // Converters raising EReadError "Invalid property value" on a wrong kind.
  int32_t AsInteger() const;
  // A position, size or border width of a window: an integer within 16 bits
  // (-32768..32767), so a broken resource cannot ask for a huge window.
  int32_t AsCoordinate() const;
  int64_t AsInt64() const;
  long double AsFloat() const;
  bool AsBoolean() const;
  std::string AsString() const;
  const std::string& AsIdent() const;
  // A colour: a number or a colour name.
  int32_t AsColor() const;
  // One of Names (case-insensitive) as its index.
  int32_t AsEnum(const std::vector<std::string>& Names) const;
  // A set over Names: bit i for Names[i].
  uint32_t AsSet(const std::vector<std::string>& Names) const;

  // Values as the form writer makes them.
  static TFormValue OfInteger(int64_t Value);
  static TFormValue OfFloat(long double Value);
  static TFormValue OfString(std::string Value);
  static TFormValue OfIdent(std::string Value);
  static TFormValue OfBoolean(bool Value);
  // The enumeration's name of Index; an integer when Names has none.
  static TFormValue OfEnum(int64_t Index, const std::vector<std::string>& Names);
  // The set of the bits of Bits named by Names.
  static TFormValue OfSet(uint64_t Bits, const std::vector<std::string>& Names);
  static TFormValue OfList(std::vector<TFormValue> Values);
  static TFormValue OfBinary(std::vector<uint8_t> Bytes);
  // The text of the value as a resource writes it (the same for equal values).
  // Lines after the first are indented by Indent + 2 spaces.
  std::string ToText(int32_t Indent = 0) const;
  bool operator==(const TFormValue& Other) const { return ToText() == Other.ToText(); }
};

// One property of a collection item. A plain struct rather than a pair: the
// pair's conditional constructors would ask whether TFormValue can be built
// while TFormValue is still being defined.
struct TFormItemProperty {
  TFormItemProperty(std::string AName, TFormValue AValue) : Name(std::move(AName)), Value(std::move(AValue)) {}
  std::string Name;
  TFormValue Value;
};

class TFormReadContext;

// The handlers a form offers to its resource, by name.
class TFormHandlerTable {
 public:
  // Stores Fn (a std::function of an event type) under Name.
  template <typename F>
  void Add(const std::string& Name, F Fn) {
    FHandlers[Key(Name)] = std::any(std::move(Fn));
  }
  // The handler of event type F named Name; raises EReadError when there is
  // none or it has another type.
  template <typename F>
  F Get(const std::string& Name) const {
    auto It = FHandlers.find(Key(Name));
    if (It == FHandlers.end()) Missing(Name);
    const F* Fn = std::any_cast<F>(&It->second);
    if (!Fn) WrongType(Name);
    return *Fn;
  }
  bool Has(const std::string& Name) const { return FHandlers.count(Key(Name)) != 0; }

 private:
  static std::string Key(const std::string& Name);
  [[noreturn]] static void Missing(const std::string& Name);
  [[noreturn]] static void WrongType(const std::string& Name);
  std::map<std::string, std::any> FHandlers;
};

// Turns a member function of a form into an event of the matching type:
// VclBind(this, &TMyForm::Button1Click) gives a std::function<void(TObject*)>.
template <typename C, typename R, typename... A>
std::function<R(A...)> VclBind(C* Obj, R (C::*Method)(A...)) {
  return [Obj, Method](A... Args) -> R { return (Obj->*Method)(std::forward<A>(Args)...); };
}

// What a property setter may need while a resource is read.
class TFormReadContext {
 public:
  TFormReadContext(TComponent* Root, const TFormHandlerTable* Handlers, std::string Source)
      : FRoot(Root), FHandlers(Handlers), FSource(std::move(Source)) {}

  TComponent* Root() const { return FRoot; }
  // The handler named by an identifier value.
  template <typename F>
  F Handler(const TFormValue& Value) const {
    static const TFormHandlerTable Empty;
    return (FHandlers ? *FHandlers : Empty).Get<F>(Value.AsIdent());
  }
  // Resolves a component reference once all components exist: Apply gets the
  // component named by Value (nullptr for "nil") or the reader raises
  // EReadError when it does not exist.
  void AddFixup(const TFormValue& Value, std::function<void(TComponent*)> Apply);
  void ResolveFixups();
  const std::string& Source() const { return FSource; }

 private:
  TComponent* FRoot;
  const TFormHandlerTable* FHandlers;
  std::string FSource;
  struct Fixup {
    std::string Name;
    int32_t Line;
    std::function<void(TComponent*)> Apply;
  };
  std::vector<Fixup> FFixups;
};

class TFormPropertyTable;

// A component (or persistent sub-object) that form resources describe: its
// class's property table serves both the form reader and the form writer.
// Controls derive from it through TControl; non-visual classes of the library
// derive from it alongside TComponent.
class IFormPropertyTarget {
 public:
  virtual ~IFormPropertyTarget() = default;
  // The property table of the object's class (an empty one by default).
  virtual const TFormPropertyTable& FormProperties() const;
  // Applies one property read from a resource through the table; false when
  // the class has no property of that name.
  virtual bool SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context);
  // A component read inside this one's object block (menu items in a menu);
  // answers false when this class holds no such children.
  virtual bool AddFormChild(TComponent* Child) { return false; }
  // The components written inside this one's object block besides child
  // controls (a menu's items), in order.
  virtual std::vector<TComponent*> FormChildren() const { return {}; }
  // The handler a resource bound to an event of this object, by event name
  // ("" when none was bound by name).
  std::string GetFormHandlerName(const std::string& Event) const;
  void SetFormHandlerName(const std::string& Event, const std::string& Handler);

 private:
  std::map<std::string, std::string> FFormHandlerNames;
};

// ------------------------------------------------------------ class registry
using TComponentFactory = std::function<TComponent*(TComponent* Owner)>;
// Registers (or replaces) a component class under its name.
void RegisterClass(const std::string& ClassName, TComponentFactory Factory);
template <typename T>
void RegisterComponentClass(const std::string& ClassName) {
  RegisterClass(ClassName, [](TComponent* Owner) -> TComponent* { return new T(Owner); });
}
bool IsClassRegistered(const std::string& ClassName);
// Creates a component of a registered class; EClassNotFound "Class %s not
// found" when the name is unknown.
TComponent* CreateComponentByClassName(const std::string& ClassName, TComponent* Owner);

// ------------------------------------------------------------ reading
// Reads the resource text into Root (the resource's outer object) and the
// components it creates. SourceName names the resource in messages.
void ReadComponentResource(TComponent* Root, const std::string& Text, const TFormHandlerTable* Handlers,
                           const std::string& SourceName);
// The folder of the program's form resources: FOLIVRA_RESOURCE_DIR/forms
// when set, else the first "resources/forms" found beside the program or in
// a folder above it; SetFormResourceFolder overrides the search.
std::string FormResourceFolder();
void SetFormResourceFolder(const std::string& Folder);
// The text of the form resource Name (with or without ".dfm") from the
// resource folder; EResNotFound "Resource %s not found" when missing.
std::string LoadFormResourceText(const std::string& Name);

class EResNotFound : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EResNotFound"; }
};
