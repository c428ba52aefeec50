#include "platform/vcl/clipboard.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <thread>

#include "platform/rtl/threads.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& S) { return std::vector<uint8_t>(S.begin(), S.end()); }

// Opens the clipboard in another thread and keeps it open until released.
class THolder {
 public:
  THolder() {
    FThread = std::thread([this] {
      FOpened = OpenClipboard(0);
      FIn.SetEvent();
      FRelease.WaitFor();
      FClosed = CloseClipboard();
    });
    FIn.WaitFor();
  }
  ~THolder() { Release(); }
  void Release() {
    if (FThread.joinable()) {
      FRelease.SetEvent();
      FThread.join();
    }
  }
  bool FOpened = false, FClosed = false;

 private:
  TEvent FIn, FRelease;
  std::thread FThread;
};

TEST(Clipboard, OneThreadAtATimeHasItOpen) {
  ASSERT_FALSE(VclClipboardIsOpen());
  EXPECT_FALSE(CloseClipboard()) << "closing what is not open";
  EXPECT_FALSE(EmptyClipboard()) << "emptying needs the clipboard open";
  {
    THolder Other;
    ASSERT_TRUE(Other.FOpened);
    EXPECT_TRUE(VclClipboardIsOpen());
    EXPECT_FALSE(OpenClipboard(0));
    EXPECT_FALSE(CloseClipboard()) << "another thread's clipboard cannot be closed here";
    Other.Release();
    EXPECT_TRUE(Other.FClosed);
  }
  // The owner may open again; one close closes.
  ASSERT_TRUE(OpenClipboard(42));
  EXPECT_EQ(GetOpenClipboardWindow(), 42u);
  EXPECT_TRUE(OpenClipboard(0));
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(VclClipboardIsOpen());
  EXPECT_EQ(GetOpenClipboardWindow(), 0u);
  EXPECT_FALSE(CloseClipboard());
}

TEST(Clipboard, BusyRefusesTheGivenNumberOfOpens) {
  VclSetClipboardBusy(2);
  EXPECT_FALSE(OpenClipboard(0));
  EXPECT_FALSE(OpenClipboard(0));
  EXPECT_EQ(VclClipboardBusyLeft(), 0);
  EXPECT_TRUE(OpenClipboard(0));
  EXPECT_TRUE(CloseClipboard());
  VclSetClipboardBusy(-3);
  EXPECT_EQ(VclClipboardBusyLeft(), 0);
}

TEST(Clipboard, RegisteredFormatsAndTextReachQtWhenClosed) {
  const uint32_t Vect = RegisterClipboardFormat("FOLIO VECT");
  const uint32_t Raw = RegisterClipboardFormat("FOLIO RAW FORMAT");
  EXPECT_GE(Vect, 0xC000u);
  EXPECT_NE(Vect, Raw);
  EXPECT_EQ(RegisterClipboardFormat("folio vect"), Vect) << "names are case-insensitive";
  EXPECT_EQ(RegisterClipboardFormat(""), 0u);
  EXPECT_EQ(GetClipboardFormatName(Vect), "FOLIO VECT");
  EXPECT_EQ(GetClipboardFormatName(0xBFFF), "");
  EXPECT_EQ(VclClipboardMimeType(Vect), "application/x-folivra-folio%20vect");
  EXPECT_EQ(VclClipboardMimeType(0xFFFF), "");

  std::vector<uint8_t> Out;
  EXPECT_FALSE(SetClipboardData(Vect, Bytes("x"))) << "setting needs the clipboard open";
  ASSERT_TRUE(OpenClipboard(0));
  ASSERT_TRUE(EmptyClipboard());
  const std::vector<uint8_t> Block = {0, 1, 2, 255, 0};
  ASSERT_TRUE(SetClipboardData(Vect, Block));
  ASSERT_TRUE(SetClipboardData(CF_TEXT, Bytes(std::string("fax page\0", 9))));
  // Visible to the owner at once, to Qt only after closing.
  EXPECT_TRUE(IsClipboardFormatAvailable(Vect));
  const QMimeData* Before = QApplication::clipboard()->mimeData();
  EXPECT_FALSE(Before && Before->hasFormat("application/x-folivra-folio%20vect"));
  ASSERT_TRUE(CloseClipboard());

  const QMimeData* M = QApplication::clipboard()->mimeData();
  ASSERT_NE(M, nullptr);
  EXPECT_EQ(M->text().toStdString(), "fax page");
  EXPECT_TRUE(IsClipboardFormatAvailable(Vect));
  EXPECT_FALSE(IsClipboardFormatAvailable(Raw));
  ASSERT_TRUE(GetClipboardData(Vect, Out));
  EXPECT_EQ(Out, Block);
  ASSERT_TRUE(GetClipboardData(CF_UNICODETEXT, Out));
  EXPECT_EQ(Out, Bytes("fax page"));
  EXPECT_FALSE(GetClipboardData(Raw, Out));
  EXPECT_TRUE(Out.empty());

  // Adding a format without emptying keeps the others.
  ASSERT_TRUE(OpenClipboard(0));
  ASSERT_TRUE(SetClipboardData(Raw, Bytes("TIEBITMAPRAW")));
  ASSERT_TRUE(CloseClipboard());
  EXPECT_TRUE(GetClipboardData(Vect, Out));
  EXPECT_TRUE(GetClipboardData(Raw, Out));
  EXPECT_EQ(Out, Bytes("TIEBITMAPRAW"));

  // Emptying drops everything.
  ASSERT_TRUE(OpenClipboard(0));
  ASSERT_TRUE(EmptyClipboard());
  ASSERT_TRUE(CloseClipboard());
  EXPECT_FALSE(IsClipboardFormatAvailable(Vect));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
}

}  // namespace
