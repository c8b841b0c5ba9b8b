#include "bench/strata_engine.h"

#include <cstdio>
#include <stdexcept>

#include "storage/cursor/data_cursor.h"
#include "storage/session/data_session.h"

namespace bench {
namespace {

constexpr uint16_t kKey = 1;
constexpr uint16_t kName = 2;
constexpr uint16_t kCounter = 3;

strata::TFieldDescriptor Field(uint16_t number, const char* name, uint8_t type, uint8_t size) {
  strata::TFieldDescriptor field;
  field.FieldNumber = number;
  field.Name = name;
  field.TypeCode = type;
  field.DeclaredSize = size;
  return field;
}

}  // namespace

StrataEngine::StrataEngine(std::string folder)
    : folder_(std::move(folder)),
      session_(strata::TDataSession::Create()),
      directory_(session_->OpenDirectory("bench", folder_ + "/")) {
  strata::TTableDefinition definition;
  definition.Name = "T";
  definition.Fields = {Field(kKey, "K", strata::fldINT32, 0),
                       Field(kName, "Name", strata::fldZSTRING, 40),
                       Field(kCounter, "Counter", strata::fldINT32, 0)};
  strata::TIndexDef primary;
  primary.Primary = true;
  primary.Unique = true;
  primary.FieldNumbers = {kKey};
  definition.Indexes = {primary};
  {
    strata::TDataCursor creator(directory_);
    creator.CreateTable(definition, {.Exclusive = true}, /*overwrite=*/true);
  }
  cursor_ = std::make_unique<strata::TDataCursor>(directory_);
  cursor_->Open("T");
  cursor_->SetIndex(0);
}

StrataEngine::~StrataEngine() = default;

void StrataEngine::InsertAll(const Workload& work) {
  directory_->StartTransaction();
  try {
    for (int i = 0; i < work.records; ++i) {
      cursor_->InitRecord();
      cursor_->PutFieldInt64(kKey, work.keys[i]);
      cursor_->PutFieldString(kName, work.names[i]);
      cursor_->PutFieldInt64(kCounter, i);
      cursor_->InsertRecord();
    }
  } catch (...) {
    directory_->Rollback();
    throw;
  }
  directory_->Commit();
}

long StrataEngine::LookupAll(const Workload& work) {
  long found = 0;
  for (int32_t key : work.lookup_keys) {
    strata::TKeyFieldValue value{&key, sizeof key};
    if (cursor_->FindKey({&value, 1})) {
      if (cursor_->GetFieldInt64(kCounter)) ++found;
    }
  }
  return found;
}

long StrataEngine::CountOdd() {
  long odd = 0;
  cursor_->SetIndex(strata::TDataCursor::kRowOrderIndex);
  cursor_->First();
  cursor_->ScanNext(UINT32_MAX, [&](strata::TDataCursor& cursor) {
    if (cursor.GetFieldInt64(kCounter).value_or(0) % 2 != 0) ++odd;
    return true;
  });
  cursor_->SetIndex(0);
  return odd;
}

void StrataEngine::UpdateEach(const Workload& work) {
  for (int32_t key : work.update_keys) {
    strata::TKeyFieldValue value{&key, sizeof key};
    if (!cursor_->FindKey({&value, 1})) throw std::runtime_error("update: key not found");
    cursor_->GetCurrentRecord(/*lock=*/true);
    cursor_->PutFieldInt64(kCounter, cursor_->GetFieldInt64(kCounter).value_or(0) + 1);
    cursor_->ModifyRecord();
  }
}

}  // namespace bench
