#include "sql/query/strata_dataset.h"

#include <string_view>

#include "storage/best_effort.h"
#include "storage/cursor/data_cursor.h"
#include "storage/engine_names.h"

namespace strata {
namespace {

// The first hidden counter column of a grouped result starts with this.
constexpr std::string_view kHiddenColumnPrefix = "Sys__Avg__Count";

bool IsHidden(const TFieldDescriptor& field) {
  return field.Name.size() >= kHiddenColumnPrefix.size() &&
         SameName(std::string_view(field.Name).substr(0, kHiddenColumnPrefix.size()),
                  kHiddenColumnPrefix);
}

std::unique_ptr<TField> FieldFor(TStrataDataSet& dataset, const TFieldDescriptor& field) {
  const uint16_t number = field.FieldNumber;
  switch (field.TypeCode) {
    case fldINT16:
    case fldUINT16:
    case fldINT32:
    case fldUINT32:
    case fldINT64:
      if (field.IsAutoInc()) return std::make_unique<TAutoIncField>(dataset, number, field.Name);
      return std::make_unique<TIntegerField>(dataset, number, field.Name);
    case fldZSTRING:
      return std::make_unique<TStringField>(dataset, number, field.Name);
    case fldBOOL:
      return std::make_unique<TBooleanField>(dataset, number, field.Name);
    case fldBLOB:
      if (field.SubType == fldstMEMO || field.SubType == fldstFMTMEMO) {
        return std::make_unique<TMemoField>(dataset, number, field.Name);
      }
      if (field.SubType == fldstGRAPHIC) {
        return std::make_unique<TGraphicField>(dataset, number, field.Name);
      }
      return std::make_unique<TBlobField>(dataset, number, field.Name);
    default:
      return std::make_unique<TField>(dataset, number, field.Name);
  }
}

}  // namespace

TStrataDataSet::TStrataDataSet() = default;

TStrataDataSet::~TStrataDataSet() { ReleaseCursor(); }

void TStrataDataSet::SetCursor(std::unique_ptr<TDataCursor> cursor) {
  ReleaseCursor();
  cursor_ = std::move(cursor);
}

void TStrataDataSet::DoOpen() {
  if (!cursor_) throw std::logic_error("dataset opened without a cursor");
  CreateFields();
}

void TStrataDataSet::CreateFields() {
  for (const TFieldDescriptor& field : cursor_->Fields()) {
    if (IsHidden(field)) break;
    AddField(FieldFor(*this, field));
  }
}

void TStrataDataSet::DoClose() noexcept { ReleaseCursor(); }

void ReleaseResultCursor(std::unique_ptr<TDataCursor> cursor) noexcept {
  if (!cursor) return;
  // A result table was opened as a temporary table: its last cursor
  // closing deletes its files. A live result or a SELECT INTO table stays.
  BestEffort([&] { cursor->Close(); });
}

void TStrataDataSet::ReleaseCursor() noexcept { ReleaseResultCursor(std::move(cursor_)); }

bool TStrataDataSet::OnRow() const { return cursor_ && cursor_->OnRecord(); }

bool TStrataDataSet::DoFirst() {
  cursor_->First();
  return cursor_->MoveNext();
}

bool TStrataDataSet::DoLast() {
  cursor_->Last();
  return cursor_->MovePrior();
}

bool TStrataDataSet::DoNext() {
  if (cursor_->MoveNext()) return true;
  // Past the end: the last row stays current.
  cursor_->MovePrior();
  return false;
}

bool TStrataDataSet::DoPrior() {
  if (cursor_->MovePrior()) return true;
  cursor_->MoveNext();
  return false;
}

int32_t TStrataDataSet::DoRecordCount() { return static_cast<int32_t>(cursor_->RecordCount()); }

bool TStrataDataSet::FieldIsNull(uint16_t field_number) const {
  CheckActive();
  return !OnRow() || cursor_->IsFieldBlank(field_number);
}

std::optional<int64_t> TStrataDataSet::FieldInteger(uint16_t field_number) const {
  if (FieldIsNull(field_number)) return std::nullopt;
  return cursor_->GetFieldInt64(field_number);
}

std::optional<std::string> TStrataDataSet::FieldText(uint16_t field_number) const {
  if (FieldIsNull(field_number)) return std::nullopt;
  return cursor_->GetFieldText(field_number);
}

std::string TStrataDataSet::FieldBlob(uint16_t field_number) const {
  if (FieldIsNull(field_number)) return {};
  const std::vector<uint8_t> bytes = cursor_->ReadBlob(field_number);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace strata
