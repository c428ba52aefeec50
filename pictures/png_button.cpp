#include "pictures/png_button.h"

#include "pictures/png_picture.h"
#include "widgets/hot_track.h"
#include "platform/gdi/canvas.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/messages.h"

namespace {

const char* const kAlignmentNames[] = {"tp_Left_Top",      "tp_Left_Middle",   "tp_Left_Bottom",
                                       "tp_Center_Top",    "tp_Center_Middle", "tp_Center_Bottom",
                                       "tp_Right_Top",     "tp_Right_Middle",  "tp_Right_Bottom"};

// Offset of an extent inside the button along one axis: 0 for the first
// word, centred for the middle one, flush for the last one (truncating
// toward zero, so an extent larger than the button starts before 0).
int32_t Place(int32_t Word, int32_t Room, int32_t Extent) {
  if (Word == 0) return 0;
  if (Word == 1) return (Room - Extent) / 2;
  return Room - Extent;
}

TGraphic* GraphicOf(const TPicture* P) { return P ? P->GetGraphic() : nullptr; }

}  // namespace

TPNGButton::TPNGButton(TComponent* AOwner)
    : TGraphicControl(AOwner),
      FPictureDefault(std::make_unique<TPicture>()),
      FPictureHot(std::make_unique<TPicture>()),
      FPicturePress(std::make_unique<TPicture>()),
      FFontDefault(std::make_unique<TFont>()),
      FFontHot(std::make_unique<TFont>()),
      FFontPress(std::make_unique<TFont>()) {
  RegisterPNGPicture();
  SetBounds(GetLeft(), GetTop(), 75, 25);
  FFontDefault->OnChange = [this](TObject*) { Invalidate(); };
  if (Designing()) FCaptionDefault = "PNGButton";
  FInfo = "Three-state picture button of Folivra";
}

TPNGButton::~TPNGButton() { FFontDefault->OnChange = nullptr; }

void TPNGButton::SizeToPicture() {
  TGraphic* g = GraphicOf(FPictureDefault.get());
  if (!g) return;
  SetHeight(g->GetHeight());
  SetWidth(g->GetWidth());
}

void TPNGButton::SetPictureDefault(TPersistent* Value) {
  FPictureDefault->Assign(Value);
  if (FAutoSize) SizeToPicture();
  Invalidate();
}

void TPNGButton::SetPictureHot(TPersistent* Value) { FPictureHot->Assign(Value); }
void TPNGButton::SetPicturePress(TPersistent* Value) { FPicturePress->Assign(Value); }

void TPNGButton::SetCaptionDefault(const std::string& Value) {
  FCaptionDefault = Value;
  Invalidate();
}

void TPNGButton::SetAutoSize(bool Value) {
  FAutoSize = Value;
  if (Value && GraphicOf(FPictureDefault.get())) {
    SizeToPicture();
    Invalidate();
  }
}

void TPNGButton::SetTransparent(bool Value) {
  FTransparent = Value;
  Invalidate();
}

void TPNGButton::SetStretch(bool Value) {
  FStretch = Value;
  Invalidate();
}

void TPNGButton::SetCaptionAlignment(TObjectAlignment Value) {
  FCaptionAlignment = Value;
  Invalidate();
}

void TPNGButton::SetPictureAlignment(TObjectAlignment Value) {
  FPictureAlignment = Value;
  Invalidate();
}

void TPNGButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_MOUSEENTER:
      CMMouseEnter(Message);
      return;
    case CM_MOUSELEAVE:
      CMMouseLeave(Message);
      return;
    default:
      TGraphicControl::Dispatch(Message);
  }
}

void TPNGButton::CMMouseEnter(TMessage& Message) {
  TGraphicControl::Dispatch(Message);
  if (Designing()) return;
  FButtonState = pbsHot;
  Invalidate();
  if (OnMouseEnter) OnMouseEnter(this);
}

void TPNGButton::CMMouseLeave(TMessage& Message) {
  TGraphicControl::Dispatch(Message);
  if (Designing()) return;
  FButtonState = pbsNormal;
  if (OnMouseLeave) OnMouseLeave(this);
  Invalidate();
}

void TPNGButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Designing()) return;
  FButtonState = pbsPressed;
  Invalidate();
}

void TPNGButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (Designing()) return;
  FButtonState = pbsHot;
  Invalidate();
}

void TPNGButton::Paint() {
  TGraphicControl::Paint();
  TCanvas* canvas = GetCanvas();
  canvas->Refresh();
  canvas->GetBrush()->SetStyle(bsClear);
  for (TPicture* p : {FPictureDefault.get(), FPictureHot.get(), FPicturePress.get()})
    if (TGraphic* g = p->GetGraphic()) g->SetTransparent(FTransparent);
  if (Designing()) {
    canvas->GetPen()->SetColor(TColor(0xF0C9A6));
    canvas->GetPen()->SetStyle(psDashDot);
    canvas->Rectangle(0, 0, GetWidth(), GetHeight());
  } else {
    canvas->GetPen()->SetStyle(psClear);
  }
  TFont* font = FFontDefault.get();
  std::string caption = FCaptionDefault;
  TGraphic* graphic = GraphicOf(FPictureDefault.get());
  auto firstCaption = [](std::initializer_list<const std::string*> texts) {
    for (const std::string* t : texts)
      if (!t->empty()) return *t;
    return std::string();
  };
  auto firstGraphic = [](std::initializer_list<const TPicture*> pictures) -> TGraphic* {
    for (const TPicture* p : pictures)
      if (TGraphic* g = GraphicOf(p)) return g;
    return nullptr;
  };
  if (FButtonState == pbsHot) {
    font = FFontHot.get();
    caption = firstCaption({&FCaptionHot, &FCaptionDefault});
    graphic = firstGraphic({FPictureHot.get(), FPictureDefault.get()});
  } else if (FButtonState == pbsPressed) {
    font = FFontPress.get();
    caption = firstCaption({&FCaptionPress, &FCaptionHot, &FCaptionDefault});
    graphic = firstGraphic({FPicturePress.get(), FPictureHot.get(), FPictureDefault.get()});
  }
  canvas->SetFont(font);
  if (!GetEnabled()) canvas->GetFont()->SetColor(TColor(0xC0C0C0));
  const TSize text = canvas->TextExtent(caption);
  const int32_t w = GetWidth(), h = GetHeight();
  const int32_t cx = Place(FCaptionAlignment / 3, w, text.cx), cy = Place(FCaptionAlignment % 3, h, text.cy);
  if (graphic) {
    if (FStretch) {
      canvas->StretchDraw(GetClientRect(), graphic);
    } else {
      const int32_t px = Place(FPictureAlignment / 3, w, graphic->GetWidth());
      const int32_t py = Place(FPictureAlignment % 3, h, graphic->GetHeight());
      canvas->Draw(px, py, graphic);
    }
  }
  canvas->TextOut(cx, cy, caption);
}

const TFormPropertyTable& TPNGButton::FormProperties() const {
  static const TFormEnumNames AlignmentNames(std::begin(kAlignmentNames), std::end(kAlignmentNames));
  using B = TPNGButton;
  static const TFormPropertyTable Table =
      TFormProperties<B>("TPNGButton", &TGraphicControl::FormProperties())
          .Bool("AutoSize", &B::GetAutoSize, &B::SetAutoSize)
          .Enum("CaptionAlignment", AlignmentNames, &B::GetCaptionAlignment, &B::SetCaptionAlignment)
          .String("CaptionDefault", &B::GetCaptionDefault, &B::SetCaptionDefault)
          .String("CaptionHot", &B::GetCaptionHot, &B::SetCaptionHot)
          .String("CaptionPress", &B::GetCaptionPress, &B::SetCaptionPress)
          .Font("FontDefault", [](const B& Button) { return Button.GetFontDefault(); })
          .Font("FontHot", [](const B& Button) { return Button.GetFontHot(); })
          .Font("FontPress", [](const B& Button) { return Button.GetFontPress(); })
          .Enum("PictureAlignment", AlignmentNames, &B::GetPictureAlignment, &B::SetPictureAlignment)
          .Custom("PictureDefault.Data",
                  [](B& Button, const TFormValue& V, TFormReadContext&) {
                    FormPropertyDetail::ReadPicture(*Button.GetPictureDefault(), V);
                    if (Button.GetAutoSize()) Button.SizeToPicture();
                    Button.Invalidate();
                  },
                  [](const B& Button, TFormValue& V) {
                    return FormPropertyDetail::WritePicture(Button.GetPictureDefault(), V);
                  })
          .Picture("PictureHot.Data", &B::GetPictureHot)
          .Picture("PicturePress.Data", &B::GetPicturePress)
          .Bool("Stretch", &B::GetStretch, &B::SetStretch)
          .Bool("Transparent", &B::GetTransparent, &B::SetTransparent)
          // The about text: read and left alone.
          .Custom("_Info_", [](B&, const TFormValue& V, TFormReadContext&) { V.AsString(); })
          .Event("OnMouseEnter", &B::OnMouseEnter)
          .Event("OnMouseLeave", &B::OnMouseLeave)
          .Build();
  return Table;
}

void RegisterPNGButton() {
  RegisterPNGPicture();
  RegisterComponentClass<TPNGButton>("TPNGButton");
}
