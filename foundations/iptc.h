#pragma once
// IPTC records kept with an image: read from a JPEG APP13 block, the TIFF IPTC
// tag (33723) or a Photoshop image resource, and written back in the IPTC
// Information Interchange Model encoding, optionally inside a Photoshop
// image-resource header.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/rtl/object.h"

// One record's header as the list keeps it.
struct TIEIPTCRecord {
  int32_t RecordNumber = 0;
  int32_t DataSet = 0;
  int32_t DataLength = 0;
};

// Records in list order, each with its own copy of its data.  Index errors
// raise EListError "List index out of bounds (%d)".
class TIEIPTCInfoList : public TObject {
 public:
  TIEIPTCInfoList();
  ~TIEIPTCInfoList() override;
  TIEIPTCInfoList(const TIEIPTCInfoList&) = delete;
  TIEIPTCInfoList& operator=(const TIEIPTCInfoList&) = delete;

  int32_t GetCount() const { return static_cast<int32_t>(FRecords.size()); }
  int32_t GetRecordNumber(int32_t Index) const;
  int32_t GetDataSet(int32_t Index) const;
  // The record's bytes (null when it has none) and their number.
  const uint8_t* GetData(int32_t Index) const;
  int32_t GetDataLength(int32_t Index) const;

  // Appends a record with a copy of Length bytes of Data (a negative Length
  // counts as 0); answers its index.  Marks the list as changed by the user.
  int32_t AddData(int32_t RecordNumber, int32_t DataSet, int32_t Length, const void* Data);
  // Frees every record.  Marks the list as changed by the user.
  void Clear();
  // Nothing when Source is null; else a copy of Source's records.  Marks the
  // list as changed by the user.
  void Assign(const TIEIPTCInfoList* Source);

  // Encodes the records into a new block: Buffer empty and Size 0 when the list
  // is empty.  With PhotoshopHeader the block is a Photoshop IPTC image
  // resource ("Photoshop 3.0" ... "8BIM" 1028); without it starts with the
  // record-version dataset 2:0.  Record 2:0 and records without data are never
  // written; the block is padded to an even size.
  void SaveToBuffer(std::unique_ptr<uint8_t[]>& Buffer, int32_t& Size, bool PhotoshopHeader) const;
  // Replaces the records by those of an encoded block (with or without the
  // Photoshop header).  Reading stops at the first damaged or truncated dataset;
  // the ones before it stay.  True when at least one record was read.  Clears
  // the user-changed mark.
  bool LoadFromBuffer(const void* Buffer, int32_t Size);

  // True after any change made by other means than LoadFromBuffer; the writers
  // rebuild the file's IPTC block only then.
  bool GetUserChanged() const { return FUserChanged; }
  void SetUserChanged(bool Value) { FUserChanged = Value; }

 private:
  void CheckIndex(int32_t Index) const;

  std::vector<TIEIPTCRecord> FRecords;
  std::vector<std::unique_ptr<uint8_t[]>> FData;
  bool FUserChanged = false;
};
