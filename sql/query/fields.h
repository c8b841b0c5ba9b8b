// Field objects of a dataset: one per result column, reading the column of
// the dataset's current row. TField holds the column's name, number and
// type; the descendants say how the value reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace strata {

class TStrataDataSet;

class TField {
 public:
  TField(TStrataDataSet& dataset, uint16_t field_number, std::string name);
  virtual ~TField();
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const std::string& FieldName() const { return name_; }
  uint16_t FieldNo() const { return field_number_; }  // in the result, from 1
  // NULL, or the dataset has no current row.
  bool IsNull() const;
  // 0 for NULL or no row; "Ungültige Typumwandlung"-style conversion errors
  // for text that is not a number.
  virtual int32_t AsInteger() const;
  // "" for NULL or no row.
  virtual std::string AsString() const;

 protected:
  TStrataDataSet& dataset_;
  uint16_t field_number_;
  std::string name_;
};

class TIntegerField : public TField {
 public:
  using TField::TField;
  int32_t AsInteger() const override;
  std::string AsString() const override;
};
class TAutoIncField : public TIntegerField {
 public:
  using TIntegerField::TIntegerField;
};
class TStringField : public TField {
 public:
  using TField::TField;
};
class TBooleanField : public TField {
 public:
  using TField::TField;
};

class TBlobField : public TField {
 public:
  using TField::TField;
  // Appends the whole value of the current row's blob to `stream`; nothing
  // when there is no row or the value is empty.
  void SaveToStream(std::string& stream) const;
};
class TMemoField : public TBlobField {
 public:
  using TBlobField::TBlobField;
};
class TGraphicField : public TBlobField {
 public:
  using TBlobField::TBlobField;
};

}  // namespace strata
