#include "sql/query/dataset.h"

#include <string>

#include "platform/windows1252.h"
#include "storage/session/database_error.h"

namespace strata {

using namespace platform::literals;

const std::string_view kDataSetClosed =
    "Operation bei geschlossener Datenmenge nicht ausführbar"_w1252;
const std::string_view kDataSetOpen = "Operation bei geöffneter Datenmenge nicht ausführbar"_w1252;
const std::string_view kListIndexError = "Der Index der Liste überschreitet das Maximum (%d)"_w1252;

TDataSet::TDataSet() = default;
TDataSet::~TDataSet() = default;

void TDataSet::SetActive(bool active) {
  if (active) {
    Open();
  } else {
    Close();
  }
}

void TDataSet::Open() {
  if (active_) return;
  try {
    DoOpen();
    active_ = true;
    First();
  } catch (...) {
    active_ = false;
    fields_.clear();
    DoClose();
    bof_ = eof_ = true;
    throw;
  }
}

void TDataSet::Close() {
  if (!active_) return;
  active_ = false;
  fields_.clear();
  DoClose();
  bof_ = eof_ = true;
}

void TDataSet::CheckActive() const {
  if (!active_) throw EDatabaseError(std::string(kDataSetClosed));
}

void TDataSet::CheckInactive() const {
  if (active_) throw EDatabaseError(std::string(kDataSetOpen));
}

int32_t TDataSet::RecordCount() {
  CheckActive();
  return DoRecordCount();
}

void TDataSet::First() {
  CheckActive();
  const bool on_row = DoFirst();
  bof_ = true;
  eof_ = !on_row;
}

void TDataSet::Last() {
  CheckActive();
  const bool on_row = DoLast();
  eof_ = true;
  bof_ = !on_row;
}

int32_t TDataSet::MoveBy(int32_t distance) {
  CheckActive();
  int32_t moved = 0;
  if (distance > 0) {
    bof_ = false;
    while (moved < distance && !eof_) {
      if (DoNext()) {
        ++moved;
      } else {
        eof_ = true;
      }
    }
  } else if (distance < 0) {
    eof_ = false;
    while (moved > distance && !bof_) {
      if (DoPrior()) {
        --moved;
      } else {
        bof_ = true;
      }
    }
  }
  return moved;
}

TField& TDataSet::Fields(int index) {
  CheckActive();
  if (index < 0 || index >= FieldCount()) {
    std::string message(kListIndexError);
    message.replace(message.find("%d"), 2, std::to_string(index));
    throw EDatabaseError(message);
  }
  return *fields_[static_cast<size_t>(index)];
}

}  // namespace strata
