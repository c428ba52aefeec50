#pragma once
// TGraphic, the base of every picture class (bitmaps, PNG and GIF pictures),
// and TPicture, which holds one graphic and picks its class from a registry
// of file extensions.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/components.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

class TCanvas;
class TStream;

// Raised for pictures that cannot be read or stored, and for misuse of a
// graphic ("Scan line index out of range").
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EInvalidGraphic"; }
};
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EInvalidGraphicOperation"; }
};

class TGraphic : public TPersistent {
 public:
  TGraphic() = default;
  ~TGraphic() override;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
  virtual void SetWidth(int32_t Value) = 0;
  virtual void SetHeight(int32_t Value) = 0;
  virtual bool GetEmpty() const = 0;
  virtual bool GetTransparent() const { return FTransparentFlag; }
  virtual void SetTransparent(bool Value) { FTransparentFlag = Value; }
  bool GetModified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }

  virtual void LoadFromStream(TStream* Stream) = 0;
  // Reads the graphic's data as a form resource stores it after the class
  // name; by default the graphic's own stream format.
  virtual void ReadData(TStream* Stream) { LoadFromStream(Stream); }
  // Writes what ReadData reads.
  virtual void WriteData(TStream* Stream) { SaveToStream(Stream); }
  virtual void SaveToStream(TStream* Stream) = 0;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

  // Marks the graphic modified and calls OnChange.
  virtual void Changed();

  std::function<void(TGraphic* Sender)> OnChange;

 protected:
  friend class TCanvas;
  // Draws the whole graphic stretched into Rect of ACanvas.
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;

 private:
  bool FModified = false;
  bool FTransparentFlag = false;
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

class TBitmap;

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // The graphic held (nullptr when empty).
  TGraphic* GetGraphic() const { return FGraphic.get(); }
  // Takes ownership of Value; nullptr clears. The picture's OnChange follows
  // the graphic's changes (the picture sets the graphic's OnChange).
  void SetGraphic(std::unique_ptr<TGraphic> Value);
  // The graphic as a bitmap, replacing a graphic of another class by an
  // empty bitmap.
  TBitmap* GetBitmap();
  int32_t GetWidth() const;
  int32_t GetHeight() const;

  // Picks the graphic class by the file's extension; raises EInvalidGraphic
  // ("Unknown picture file extension (.xyz)") for an extension nobody
  // registered.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  // Copies another picture or graphic (through the graphic's stream format);
  // nullptr clears.
  void Assign(TPersistent* Source) override;

  // Reads picture data of a form resource ("Picture.Data = {...}"): the
  // graphic's class name as a length-prefixed string, then the graphic's own
  // data (ReadData). An empty block clears the picture; a class name no
  // registered graphic has raises EInvalidGraphic ("Unknown picture class
  // (%s)").
  void LoadFromFormData(const std::vector<uint8_t>& Data);
  // The picture data as LoadFromFormData reads it (empty for no picture).
  std::vector<uint8_t> SaveToFormData() const;

  // Registers a graphic class for an extension (without the dot, any case).
  // A later registration of the same extension replaces the earlier one.
  static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                 TGraphicFactory Factory);
  static void UnregisterFileFormat(const std::string& Extension);
  // Creates the graphic registered for Extension, or nullptr.
  static std::unique_ptr<TGraphic> CreateGraphicForExtension(const std::string& Extension);
  // Creates the registered graphic whose class is named ClassName (case
  // ignored), or nullptr.
  static std::unique_ptr<TGraphic> CreateGraphicForClassName(const std::string& ClassName);
  // "Description (*.ext)" entries for file dialogs, in registration order.
  static std::vector<std::pair<std::string, std::string>> RegisteredFormats();

  TNotifyEvent OnChange;

 private:
  std::unique_ptr<TGraphic> FGraphic;
};
