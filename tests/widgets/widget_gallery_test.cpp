// Builds one form with every control of the library in its states and
// writes a picture of it (artefacts/widget_gallery.png under the test's
// working folder, or under FOLIVRA_ARTEFACT_DIR) for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>
#include <string>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/color_swatch.h"
#include "widgets/office_color_button.h"
#include "widgets/office_color_panel.h"
#include "widgets/panels.h"
#include "widgets/speed_button.h"
#include "widgets/spin_button.h"
#include "widgets/spin_edit.h"
#include "widgets/text_list_box.h"
#include "widgets/theming.h"
#include "widgets/tracker.h"
#include "widgets/xp_check_box.h"

namespace {

// A 16 x 16 pencil-like glyph on fuchsia: a red body and a black tip.
std::unique_ptr<TBitmap> GalleryGlyph() {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(16, 16);
  TCanvas* C = B->GetCanvas();
  C->GetBrush()->SetColor(clFuchsia);
  C->FillRect(Rect(0, 0, 16, 16));
  for (int32_t I = 0; I < 10; ++I) {
    C->GetBrush()->SetColor(clRed);
    C->FillRect(Rect(4 + I, 10 - I, 7 + I, 13 - I));
  }
  C->GetBrush()->SetColor(clBlack);
  C->FillRect(Rect(2, 12, 5, 15));
  return B;
}

struct Gallery {
  Gallery() {
    F.SetBounds(0, 0, 1100, 440);
    F.SetColor(clBtnFace);
    F.SetCaption("Widget gallery");
  }
  TLabel* Label(int32_t X, int32_t Y, const std::string& Text) {
    auto* L = new TLabel(&F);
    L->SetParent(&F);
    L->SetBounds(X, Y, 110, 16);
    L->SetCaption(Text);
    return L;
  }
  template <typename T>
  T* Add(TWinControl* Parent, int32_t X, int32_t Y, int32_t W, int32_t H) {
    auto* C = new T(&F);
    C->SetParent(Parent);
    C->SetBounds(X, Y, W, H);
    return C;
  }
  TForm F{nullptr};
};

TEST(WidgetGallery, EveryControlInEveryStateIsPaintedAndSaved) {
  SetThemesEnabled(false);
  Gallery G;
  TForm& F = G.F;
  auto Glyph = GalleryGlyph();

  // Speed buttons: up, latched, flat inactive, flat hot, disabled, pressed,
  // glyph left with caption, drop-down mark.
  G.Label(8, 8, "Speed buttons");
  const char* Names[] = {"up", "down", "flat", "hot", "disabled", "pressed", "caption", "menu"};
  TOxSpeedButton* Speed[8];
  for (int32_t I = 0; I < 8; ++I) {
    Speed[I] = G.Add<TOxSpeedButton>(&F, 120 + I * 34, 4, 28, 28);
    Speed[I]->SetGlyph(Glyph.get());
    Speed[I]->SetHint(Names[I]);
  }
  Speed[1]->SetGroupIndex(1);
  Speed[1]->SetDown(true);
  Speed[2]->SetFlat(true);
  Speed[3]->SetFlat(true);
  Speed[3]->Perform(CM_MOUSEENTER, 0, LPARAM(0));
  Speed[4]->SetEnabled(false);
  Speed[6]->SetBounds(120 + 6 * 34, 4, 70, 28);
  Speed[6]->SetLayout(blGlyphLeft);
  Speed[6]->SetCaption("Open");
  Speed[7]->SetBounds(120 + 6 * 34 + 76, 4, 40, 28);
  auto* Menu = new TPopupMenu(&F);
  Speed[7]->SetDropDownMenu(Menu);

  // Panels: raised with caption, flat border, hot-tracked, sizeable grip,
  // arranging buttons.
  G.Label(8, 48, "Panels");
  auto* P1 = G.Add<TOxPanel>(&F, 120, 40, 90, 40);
  P1->SetCaption("Raised");
  auto* P2 = G.Add<TOxPanel>(&F, 216, 40, 90, 40);
  P2->SetCaption("Flat");
  P2->SetBevelOuter(bvNone);
  P2->SetBorderWidth(1);
  P2->SetFlatBorder(true);
  auto* P3 = G.Add<TOxPanel>(&F, 312, 40, 90, 40);
  P3->SetCaption("Hot");
  P3->SetHotTrack(true);
  P3->GetHotTrackOptions()->SetEnabled(true);
  P3->GetHotTrackOptions()->SetFrameVisible(true);
  P3->GetHotTrackOptions()->SetColor(static_cast<TColor>(0xD2BDB6));
  P3->Perform(CM_MOUSEENTER, 0, LPARAM(0));
  auto* P4 = G.Add<TOxPanel>(&F, 408, 40, 90, 40);
  P4->SetCaption("Sizeable");
  P4->SetBevelOuter(bvLowered);
  P4->SetSizeable(true);
  auto* P5 = G.Add<TOxPanel>(&F, 504, 40, 240, 40);
  P5->GetArrangeSettings()->SetBorderLeft(4);
  P5->GetArrangeSettings()->SetBorderTop(4);
  P5->GetArrangeSettings()->SetDistanceHorizontal(4);
  for (int32_t I = 0; I < 3; ++I) {
    auto* E = G.Add<TOxSpinEdit>(P5, 0, 0, 70, 21);
    E->SetTabOrder(I);
    E->SetValue(I + 1);
  }
  P5->GetArrangeSettings()->SetAutoArrange(true);

  // Check boxes: unchecked, checked, grayed, hot, disabled, OfficeXP.
  G.Label(8, 96, "Check boxes");
  TOxXPCheckbox* Boxes[6];
  const char* BoxCaptions[] = {"Unchecked", "Checked", "Grayed", "Hot", "Disabled", "Office"};
  for (int32_t I = 0; I < 6; ++I) {
    Boxes[I] = G.Add<TOxXPCheckbox>(&F, 120 + (I % 3) * 110, 92 + (I / 3) * 22, 105, 17);
    Boxes[I]->SetCaption(BoxCaptions[I]);
    Boxes[I]->SetColor(clBtnFace);
  }
  Boxes[1]->SetChecked(true);
  Boxes[2]->SetAllowGrayed(true);
  Boxes[2]->SetState(cbGrayed);
  Boxes[3]->SetChecked(true);
  Boxes[3]->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(Boxes[3]));
  Boxes[4]->SetChecked(true);
  Boxes[4]->SetEnabled(false);
  Boxes[5]->GetStyle()->SetUseStyleManager(false);
  Boxes[5]->GetStyle()->SetTheme(OfficeXP);
  Boxes[5]->SetChecked(true);

  // Spin buttons: diagonal, classic, upper pressed, lower pressed, disabled,
  // large.
  G.Label(8, 148, "Spin buttons");
  TOxSpinButton* Spins[6];
  for (int32_t I = 0; I < 6; ++I) Spins[I] = G.Add<TOxSpinButton>(&F, 120 + I * 30, 144, 22, 22);
  Spins[1]->SetButtonStyle(sbsClassic);
  Spins[4]->SetEnabled(false);
  Spins[5]->SetBounds(300, 136, 34, 34);

  // Spin edits: integer, float, hexadecimal, thousands, classic buttons,
  // disabled.
  G.Label(8, 188, "Spin edits");
  TOxSpinEdit* Edits[6];
  for (int32_t I = 0; I < 6; ++I) Edits[I] = G.Add<TOxSpinEdit>(&F, 120 + (I % 3) * 110, 184 + (I / 3) * 28, 100, 21);
  Edits[0]->SetValue(300);
  Edits[1]->SetValueType(vtFloat);
  Edits[1]->SetValue(12.5L);
  Edits[2]->SetValueType(vtHex);
  Edits[2]->SetValue(255);
  Edits[3]->SetThousands(true);
  Edits[3]->SetValue(1234567);
  Edits[4]->SetButtonKind(bkClassic);
  Edits[4]->SetValue(-42);
  Edits[5]->SetValue(7);
  Edits[5]->SetEnabled(false);

  // Trackers: quality, wide range, coloured track, vertical, bold caption.
  G.Label(8, 256, "Trackers");
  auto* T1 = G.Add<TOxTracker>(&F, 120, 252, 169, 18);
  T1->SetThumbWidth(26);
  T1->SetBackColor(clBtnFace);
  T1->SetThumbColor(clWhite);
  T1->SetValue(50);
  auto* T2 = G.Add<TOxTracker>(&F, 300, 252, 265, 18);
  T2->SetMaximum(1000);
  T2->SetValue(500);
  T2->SetThumbWidth(28);
  T2->SetBackColor(clBtnFace);
  T2->SetThumbColor(clWhite);
  auto* T3 = G.Add<TOxTracker>(&F, 120, 280, 169, 24);
  T3->SetTrackColor(static_cast<TColor>(0x00C000));
  T3->SetTrackPositionColored(true);
  T3->SetValue(75);
  T3->SetCaptionBold(true);
  T3->SetBackBorder(true);
  auto* T4 = G.Add<TOxTracker>(&F, 600, 240, 24, 150);
  T4->SetOrientation(jtbVertical);
  T4->SetThumbWidth(16);
  T4->SetThumbHeight(20);
  T4->SetValue(30);

  // Colour swatch buttons: the whole face, a square beside a caption,
  // disabled (vanishing into the face), a bar under a glyph.
  G.Label(8, 330, "Colour swatches");
  const TColor Colours[] = {clRed, static_cast<TColor>(0x00CC99), clBlue, clBlack, clYellow};
  for (int32_t I = 0; I < 5; ++I) {
    auto* C = G.Add<TOxOfficeColorDrawer>(&F, 120 + I * 26, 326, 25, 25);
    C->SetFlat(true);
    C->SetDrawColor(Colours[I]);
  }
  auto* Auto = G.Add<TOxDefaultColorSpeendButton>(&F, 260, 326, 144, 25);
  Auto->SetFlat(true);
  Auto->SetSwatchPlacement(1);
  Auto->SetDrawColor(clBlack);
  Auto->SetCaption("Automatic");
  auto* Off = G.Add<TOxColorSpeedButton>(&F, 410, 326, 25, 25);
  Off->SetFlat(true);
  Off->SetDrawColor(clRed);
  Off->SetDisabledDrawColor(clBtnFace);
  Off->SetEnabled(false);
  auto* Bar = G.Add<TOxColorSpeedButton>(&F, 440, 326, 28, 28);
  Bar->SetGlyph(Glyph.get());
  Bar->SetDrawColor(clBlue);

  // The office colour panel with a chosen colour and the none button.
  auto* Office = G.Add<TOxOfficeColorPanel>(&F, 770, 8, 152, 162);
  Office->GetProperties()->SetShowNoneColor(true);
  Office->SetSelectedColor(static_cast<TColor>(0x003399));
  Office->AdjustColorButtons();
  auto* Office2 = G.Add<TOxOfficeColorPanel>(&F, 770 + 160, 8, 152, 162);
  Office2->GetProperties()->SetShowSystemColors(true);
  Office2->SetEnabled(false);
  Office2->AdjustColorButtons();

  // Office colour buttons: a chosen colour, a wide one, a disabled one.
  G.Label(8, 372, "Colour buttons");
  auto* CB1 = G.Add<TOxOfficeColorButton>(&F, 120, 368, 53, 22);
  CB1->SetSelectedColor(clWhite);
  auto* CB2 = G.Add<TOxOfficeColorButton>(&F, 180, 368, 137, 22);
  CB2->SetSelectedColor(static_cast<TColor>(0x0000CCFF));
  auto* CB3 = G.Add<TOxOfficeColorButton>(&F, 324, 368, 53, 22);
  CB3->SetSelectedColor(clRed);
  CB3->SetEnabled(false);

  // A text list box with lines wider than itself, scrolled to the right end.
  G.Label(770, 272, "Text list box");
  auto* Files = G.Add<TOxTextListBox>(&F, 770, 290, 160, 100);
  for (const char* Line : {"/home/user/scans/incoming/fax-0001-from-the-tax-office.tif", "letter.pdf",
                           "/home/user/scans/incoming/fax-0002.tif", "receipt.png"})
    Files->GetItems()->Add(Line);
  Files->SetItemIndex(2);
  auto* Short = G.Add<TOxTextListBox>(&F, 940, 290, 150, 100);
  Short->GetItems()->Add("short.tif");
  Short->SetEnabled(false);

  F.Show();
  QApplication::processEvents();
  // Pressed states need a held mouse button.
  SendMouse(Speed[5]->GetWidget(), QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  SendMouse(Spins[2]->GetWidget(), QEvent::MouseButtonPress, QPoint(3, 3), Qt::LeftButton, Qt::LeftButton);
  SendMouse(Spins[3]->GetWidget(), QEvent::MouseButtonPress, QPoint(18, 18), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(Speed[5]->GetButtonState(), sbsDown);
  EXPECT_EQ(Spins[2]->GetPressedPart(), spUpper);
  EXPECT_EQ(Spins[3]->GetPressedPart(), spLower);
  QApplication::processEvents();
  Files->SetHorizontalPosition(Files->GetHorizontalRange() / 2);
  EXPECT_GT(Files->GetHorizontalPosition(), 0);
  QApplication::processEvents();

  const QImage Shot = F.GetWidget()->grab().toImage();
  ASSERT_FALSE(Shot.isNull());
  const char* Env = std::getenv("FOLIVRA_ARTEFACT_DIR");
  const QString Dir = Env && *Env ? QString::fromUtf8(Env) : QDir::current().filePath("artefacts");
  QDir().mkpath(Dir);
  const QString Path = QDir(Dir).filePath("widget_gallery.png");
  ASSERT_TRUE(Shot.save(Path, "PNG")) << Path.toStdString();

  // The picture shows what the controls painted: the latched button's
  // dither and the checked box's green mark are there.
  const QPoint Box = Boxes[1]->GetWidget()->mapTo(F.GetWidget(), QPoint(11, 5));
  EXPECT_EQ(Shot.pixelColor(Box).rgb() & 0xFFFFFF, 0x21A621u);
  SendMouse(Speed[5]->GetWidget(), QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton, Qt::NoButton);
  SendMouse(Spins[2]->GetWidget(), QEvent::MouseButtonRelease, QPoint(3, 3), Qt::LeftButton, Qt::NoButton);
  SendMouse(Spins[3]->GetWidget(), QEvent::MouseButtonRelease, QPoint(18, 18), Qt::LeftButton, Qt::NoButton);
  SetThemesEnabled(true);
}

}  // namespace
