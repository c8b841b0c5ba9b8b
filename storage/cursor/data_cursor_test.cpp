#include "storage/cursor/data_cursor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "storage/cursor/test_cursor_table.h"

namespace strata {
namespace {

using testing::CheckTableFiles;
using testing::ErrorCodeOf;
using testing::TCursorEnvironment;
using testing::TTableBuilder;
using testing::TTempDir;

// People: Id (primary), Name (non-unique, case-insensitive "ByName"), Age,
// City with Age ("ByCityAge"), Code (unique "ByCode"), Photo (blob).
constexpr uint16_t kId = 1;
constexpr uint16_t kName = 2;
constexpr uint16_t kAge = 3;
constexpr uint16_t kCity = 4;
constexpr uint16_t kCode = 5;
constexpr uint16_t kPhoto = 6;

TTableDefinition PeopleTable() {
  TTableBuilder table("People");
  table.Add("Id", fldINT32)
      .Add("Name", fldZSTRING, 20)
      .Add("Age", fldINT16)
      .Add("City", fldZSTRING, 20)
      .Add("Code", fldZSTRING, 8)
      .Add("Photo", fldBLOB)
      .Primary({kId})
      .Secondary("ByName", {kName}, false, true)
      .Secondary("ByCityAge", {kCity, kAge})
      .Secondary("ByCode", {kCode}, true)
      .BlobBlockSize(128);
  return table.Definition();
}

class DataCursorTest : public ::testing::Test {
 protected:
  DataCursorTest() : env(dir.Dir()) {
    TDataCursor creator(env.directory);
    creator.CreateTable(PeopleTable());
    cursor = std::make_unique<TDataCursor>(env.directory);
    cursor->Open("People");
  }

  void Insert(int id, const std::string& name, int age, const std::string& city,
              const std::string& code = "") {
    cursor->InitRecord();
    cursor->PutFieldInt64(kId, id);
    cursor->PutFieldText(kName, name);
    cursor->PutFieldInt64(kAge, age);
    cursor->PutFieldText(kCity, city);
    cursor->PutFieldText(kCode, code.empty() ? "C" + std::to_string(id) : code);
    cursor->InsertRecord();
  }

  // The ids of the view in order, from the first record.
  std::vector<int> Ids(TDataCursor& c) {
    std::vector<int> ids;
    c.First();
    while (c.MoveNext()) ids.push_back(static_cast<int>(*c.GetFieldInt64(kId)));
    return ids;
  }
  std::vector<int> Ids() { return Ids(*cursor); }

  void InsertSample() {
    Insert(3, "carol", 41, "Bern");
    Insert(1, "alice", 30, "Zurich");
    Insert(5, "Eve", 25, "Bern");
    Insert(2, "bob", 35, "Basel");
    Insert(4, "dave", 30, "Bern");
  }

  TTempDir dir;
  TCursorEnvironment env;
  std::unique_ptr<TDataCursor> cursor;
};

// Positioning ------------------------------------------------------------------

TEST_F(DataCursorTest, EmptyTableEndsAndHasNoCurrentRecord) {
  cursor->First();
  EXPECT_TRUE(cursor->Bof());
  EXPECT_TRUE(cursor->Eof());
  EXPECT_EQ(ErrorCodeOf([&] { cursor->Next(); }), STRATA_EOF);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(); }), STRATA_NOCURRREC);
  cursor->Last();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->Prior(); }), STRATA_BOF);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(); }), STRATA_NOCURRREC);
  EXPECT_EQ(cursor->RecordCount(), 0u);
  EXPECT_EQ(cursor->RecordNumber(), 0u);
}

TEST_F(DataCursorTest, MovesThroughEveryIndexInItsOrderAndStopsAtTheEnds) {
  InsertSample();
  EXPECT_EQ(Ids(), (std::vector<int>{3, 1, 5, 2, 4}));  // row order
  cursor->SetIndex(0);
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
  cursor->SetIndex("byname");  // names ignore letter case; the index ignores it too
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
  cursor->SetIndex("ByCityAge");
  EXPECT_EQ(Ids(), (std::vector<int>{2, 5, 4, 3, 1}));

  // At the end: STRATA_EOF (8706), and the cursor stays after the last
  // record ...
  EXPECT_EQ(ErrorCodeOf([&] { cursor->Next(); }), STRATA_EOF);
  EXPECT_TRUE(cursor->Eof());
  EXPECT_FALSE(cursor->Bof());
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(); }), STRATA_EOF);
  cursor->Prior();  // ... so Prior gives the last one.
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 1);
  cursor->First();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(); }), STRATA_BOF);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->Prior(); }), STRATA_BOF);
  cursor->Next();
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 2);
  EXPECT_EQ(cursor->RecordCount(), 5u);
}

TEST_F(DataCursorTest, SwitchingTheIndexKeepsTheCurrentRecord) {
  InsertSample();
  cursor->SetIndex(0);
  ASSERT_TRUE(cursor->FindKey(std::vector<TKeyFieldValue>{TKeyFieldValue{"\x04\x00\x00\x00", 4}}));
  EXPECT_EQ(cursor->GetFieldText(kName), "dave");
  cursor->SetIndex("ByCityAge");
  EXPECT_EQ(cursor->GetFieldText(kName), "dave");
  EXPECT_EQ(cursor->RecordNumber(), 3u);  // Basel 35, Bern 25, Bern 30
  cursor->Next();
  EXPECT_EQ(cursor->GetFieldText(kName), "carol");
  cursor->SetIndex(TDataCursor::kRowOrderIndex);
  EXPECT_EQ(cursor->GetFieldText(kName), "carol");
  EXPECT_EQ(cursor->RecordNumber(), 1u);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->SetIndex("NoSuchIndex"); }), STRATA_INVALIDINDEXNAME);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->SetIndex(7); }), STRATA_INVALIDINDEXNAME);
}

TEST_F(DataCursorTest, RecordNumbersAreOrdinalsOfTheView) {
  InsertSample();
  cursor->SetIndex(0);
  cursor->SetRecordNumber(4);
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 4);
  EXPECT_EQ(cursor->RecordNumber(), 4u);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->SetRecordNumber(6); }), STRATA_EOF);
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 4);  // stays where it was
  EXPECT_EQ(ErrorCodeOf([&] { cursor->SetRecordNumber(0); }), STRATA_BOF);
}

TEST_F(DataCursorTest, FindKeyWholePartialAndNearest) {
  InsertSample();
  Insert(6, "frank", 30, "Bern");
  cursor->SetIndex("ByCityAge");
  const std::vector<std::string> bern30 = {"Bern", "30"};
  ASSERT_TRUE(cursor->FindKeyText(bern30));
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 4);  // the first of the two
  cursor->Next();
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 6);

  const std::vector<std::string> bern = {"Bern"};  // the first key field only
  ASSERT_TRUE(cursor->FindKeyText(bern));
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 5);  // Bern 25

  // Not found without nearest: the cursor stays.
  const std::vector<std::string> geneva = {"Geneva"};
  EXPECT_FALSE(cursor->FindKeyText(geneva));
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 5);
  // With nearest: the first key not below.
  EXPECT_FALSE(cursor->FindKeyText(geneva, true));
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 1);  // Zurich
  // More values than the index has key fields.
  EXPECT_EQ(ErrorCodeOf([&] {
              cursor->FindKeyText(std::vector<std::string>{"Bern", "1", "x"});
            }),
            STRATA_INVALIDKEY);
  cursor->SetIndex(TDataCursor::kRowOrderIndex);
  EXPECT_EQ(ErrorCodeOf([&] {
              cursor->FindKey(std::vector<TKeyFieldValue>{{"x", 1}});
            }),
            STRATA_INVALIDKEY);
  cursor->SetIndex("ByCityAge");
  const std::vector<std::string> zz = {"Zz"};
  EXPECT_FALSE(cursor->FindKeyText(zz, true));
  EXPECT_TRUE(cursor->Eof());

  // A case-insensitive index finds any spelling.
  cursor->SetIndex("ByName");
  const std::vector<std::string> eve = {"EVE"};
  ASSERT_TRUE(cursor->FindKeyText(eve));
  EXPECT_EQ(cursor->GetFieldText(kName), "Eve");
}

TEST_F(DataCursorTest, RangesRestrictTheViewAndAnInvertedRangeIsEmpty) {
  InsertSample();
  cursor->SetIndex(0);
  const int32_t two = 2;
  const int32_t four = 4;
  const std::vector<TKeyFieldValue> from = {{&two, 4}};
  const std::vector<TKeyFieldValue> to = {{&four, 4}};
  cursor->SetRange(from, to);
  EXPECT_EQ(Ids(), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(cursor->RecordCount(), 3u);
  cursor->Last();
  cursor->Prior();
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 4);
  EXPECT_EQ(cursor->RecordNumber(), 3u);
  cursor->SetRecordNumber(1);
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 2);
  // Record 5 lies outside: FindKey does not find it.
  const int32_t five = 5;
  EXPECT_FALSE(cursor->FindKey(std::vector<TKeyFieldValue>{{&five, 4}}));

  cursor->SetRange(to, from);  // start above end
  EXPECT_EQ(cursor->RecordCount(), 0u);
  cursor->First();
  EXPECT_TRUE(cursor->Bof() && cursor->Eof());
  EXPECT_EQ(ErrorCodeOf([&] { cursor->Next(); }), STRATA_EOF);

  // A partial range on the composite index: every Bern record.
  cursor->SetIndex("ByCityAge");
  const std::vector<TKeyFieldValue> bern = {TKeyFieldValue::Text("Bern")};
  cursor->SetRange(bern, bern);
  EXPECT_EQ(Ids(), (std::vector<int>{5, 4, 3}));
  cursor->CancelRange();
  EXPECT_EQ(cursor->RecordCount(), 5u);
}

TEST_F(DataCursorTest, BookmarksAndOtherCursors) {
  InsertSample();
  cursor->SetIndex(0);
  cursor->SetRecordNumber(2);
  const TBookmark bob = cursor->GetBookmark();
  cursor->SetRecordNumber(5);
  const TBookmark eve = cursor->GetBookmark();
  EXPECT_LT(cursor->CompareBookmarks(bob, eve), 0);
  EXPECT_EQ(cursor->CompareBookmarks(eve, eve), 0);
  cursor->GotoBookmark(bob);
  EXPECT_EQ(cursor->GetFieldText(kName), "bob");

  TDataCursor other(env.directory);
  other.Open("People");
  other.SetIndex("ByCityAge");
  other.GotoCursor(*cursor);
  EXPECT_EQ(other.GetFieldText(kName), "bob");
  EXPECT_EQ(other.RecordNumber(), 1u);
  // Outside the other cursor's view: STRATA_RECNOTFOUND (8710).
  const std::vector<TKeyFieldValue> bern = {TKeyFieldValue::Text("Bern")};
  other.SetRange(bern, bern);
  EXPECT_EQ(ErrorCodeOf([&] { other.GotoCursor(*cursor); }), STRATA_RECNOTFOUND);

  cursor->DeleteRecord();
  EXPECT_FALSE(cursor->BookmarkValid(bob));
  EXPECT_TRUE(cursor->BookmarkValid(eve));
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GotoBookmark(bob); }), STRATA_RECNOTFOUND);
}

TEST_F(DataCursorTest, ABitmapFilterNarrowsNavigationCountAndOrdinals) {
  InsertSample();
  cursor->SetIndex(0);
  // Ids 2 and 4 (their record slots: 4 and 5).
  auto filter = std::make_shared<TBitmapFilter>();
  filter->Bitmap().Add(4);
  filter->Bitmap().Add(5);
  cursor->SetFilter(filter);
  EXPECT_EQ(Ids(), (std::vector<int>{2, 4}));
  EXPECT_EQ(cursor->RecordCount(), 2u);
  cursor->SetRecordNumber(2);
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 4);
  EXPECT_EQ(cursor->RecordNumber(), 2u);
  cursor->DeleteRecord();  // the filter is told
  EXPECT_EQ(cursor->RecordCount(), 1u);
  cursor->SetFilter(nullptr);
  EXPECT_EQ(cursor->RecordCount(), 4u);
}

// Moving to an end leaves the question whether the view is empty open until
// Bof/Eof or a failed record fetch asks it: each change of the view must
// still be seen then.
TEST_F(DataCursorTest, EndsFollowEveryChangeOfTheView) {
  InsertSample();
  cursor->SetIndex(0);
  cursor->First();
  EXPECT_TRUE(cursor->Bof());
  EXPECT_FALSE(cursor->Eof());
  cursor->Last();
  EXPECT_FALSE(cursor->Bof());
  EXPECT_TRUE(cursor->Eof());

  // An empty range, set while at an end: both ends, and no current record.
  const int32_t six = 6;
  const int32_t nine = 9;
  const std::vector<TKeyFieldValue> from = {{&six, 4}};
  const std::vector<TKeyFieldValue> to = {{&nine, 4}};
  cursor->SetRange(from, to);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(); }), STRATA_NOCURRREC);
  EXPECT_TRUE(cursor->Bof());
  EXPECT_TRUE(cursor->Eof());
  cursor->CancelRange();
  cursor->Last();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(); }), STRATA_EOF);
  EXPECT_FALSE(cursor->Bof());

  // Another index at an end: its view is not empty.
  cursor->SetIndex("ByName");
  EXPECT_FALSE(cursor->Bof());
  EXPECT_TRUE(cursor->Eof());

  // A filter that lets nothing through empties the view, taking it away
  // fills it again.
  auto filter = std::make_shared<TBitmapFilter>();
  cursor->SetFilter(filter);
  EXPECT_TRUE(cursor->Bof() && cursor->Eof());
  cursor->SetFilter(nullptr);
  EXPECT_TRUE(cursor->Bof());
  EXPECT_FALSE(cursor->Eof());

  // Stepping past the last record ends at the end only.
  cursor->First();
  while (cursor->MoveNext()) {
  }
  EXPECT_FALSE(cursor->Bof());
  EXPECT_TRUE(cursor->Eof());
  cursor->SetIndex(0);
  cursor->SetRange(to, from);
  cursor->First();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->Next(); }), STRATA_EOF);
  EXPECT_TRUE(cursor->Bof() && cursor->Eof());
}

TEST_F(DataCursorTest, CountUpToStopsAtTheLimitAndLeavesTheCursorInPlace) {
  InsertSample();
  cursor->SetIndex(0);
  EXPECT_EQ(cursor->CountUpTo(100), 5u);
  EXPECT_EQ(cursor->CountUpTo(3), 3u);
  EXPECT_EQ(cursor->CountUpTo(0), 0u);
  cursor->First();
  cursor->Next();
  cursor->Next();
  const int32_t two = 2;
  const int32_t four = 4;
  const std::vector<TKeyFieldValue> from = {{&two, 4}};
  const std::vector<TKeyFieldValue> to = {{&four, 4}};
  cursor->SetRange(from, to);
  EXPECT_EQ(cursor->CountUpTo(100), 3u);
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 2);  // still on its record
  // A filter counts too: ids 2 and 4 stand in slots 4 and 5.
  auto filter = std::make_shared<TBitmapFilter>();
  filter->Bitmap().Add(5);
  cursor->SetFilter(filter);
  EXPECT_EQ(cursor->CountUpTo(100), 1u);
  cursor->CancelRange();
  filter->Bitmap().Add(4);
  filter->Bitmap().Add(1);
  EXPECT_EQ(cursor->CountUpTo(100), 3u);
  EXPECT_EQ(cursor->CountUpTo(2), 2u);
}

// Changing records ---------------------------------------------------------------

TEST_F(DataCursorTest, InsertModifyDeleteKeepEveryIndex) {
  InsertSample();
  EXPECT_TRUE(CheckTableFiles(*cursor).empty());
  cursor->SetIndex(0);
  ASSERT_TRUE(cursor->FindKeyText(std::vector<std::string>{"3"}));
  cursor->PutFieldText(kName, "Caroline");
  cursor->PutFieldText(kCity, "Aarau");
  cursor->ModifyRecord();
  EXPECT_EQ(cursor->GetFieldText(kName), "Caroline");

  cursor->SetIndex("ByCityAge");
  cursor->First();
  cursor->Next();
  EXPECT_EQ(cursor->GetFieldText(kName), "Caroline");  // Aarau sorts first now
  cursor->SetIndex("ByName");
  ASSERT_TRUE(cursor->FindKeyText(std::vector<std::string>{"caroline"}));
  EXPECT_FALSE(cursor->FindKeyText(std::vector<std::string>{"carol"}));

  cursor->SetIndex(0);
  ASSERT_TRUE(cursor->FindKeyText(std::vector<std::string>{"2"}));
  cursor->DeleteRecord();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(); }), STRATA_NOCURRREC);
  cursor->Next();  // the record after the deleted one
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 3);
  EXPECT_EQ(Ids(), (std::vector<int>{1, 3, 4, 5}));
  EXPECT_TRUE(CheckTableFiles(*cursor).empty());

  // The freed slot is reused by the next insert.
  TDataFile& data = cursor->Table().DataFile();
  const uint32_t slots = data.SlotCount();
  Insert(7, "gina", 50, "Chur");
  EXPECT_EQ(data.SlotCount(), slots);
  EXPECT_EQ(cursor->CurrentRecordNumber(), 4u);
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 7);  // the new record is current
  EXPECT_TRUE(CheckTableFiles(*cursor).empty());
}

TEST_F(DataCursorTest, DuplicateKeysAreRefusedBeforeAnythingChanges) {
  InsertSample();
  TDataFile& data = cursor->Table().DataFile();
  TIndexFile& index = cursor->Table().IndexFile();
  cursor->First();
  ASSERT_TRUE(cursor->MoveNext());
  cursor->DeleteRecord();  // Id 3: a free slot on the chain
  const uint32_t slots = data.SlotCount();
  const uint32_t free_head = data.FreeChainHead();
  const int32_t last_row = data.LastAutoIncrement();
  const uint32_t counter = data.ChangeCounter();

  const uint16_t primary = ErrorCodeOf([&] { Insert(1, "again", 1, "X"); });
  EXPECT_EQ(primary, STRATA_KEYVIOL);
  const uint16_t code = ErrorCodeOf([&] { Insert(9, "again", 1, "X", "C2"); });
  EXPECT_EQ(code, STRATA_KEYVIOL);
  EXPECT_EQ(LastErrorContext().index, "ByCode");
  EXPECT_EQ(data.SlotCount(), slots);
  EXPECT_EQ(data.FreeChainHead(), free_head);
  EXPECT_EQ(data.LastAutoIncrement(), last_row);
  EXPECT_EQ(data.ChangeCounter(), counter);
  EXPECT_EQ(index.EntryCount(0), 4u);
  EXPECT_FALSE(cursor->Table().IsRecordLocked(free_head));

  // A change to a key another record has: refused, the record unchanged.
  cursor->SetIndex(0);
  ASSERT_TRUE(cursor->FindKeyText(std::vector<std::string>{"4"}));
  cursor->PutFieldInt64(kId, 5);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->ModifyRecord(); }), STRATA_KEYVIOL);
  EXPECT_FALSE(cursor->Table().IsRecordLocked(cursor->CurrentRecordNumber()));
  cursor->Cancel();
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 4);
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 4, 5}));
  EXPECT_TRUE(CheckTableFiles(*cursor).empty());
}

TEST_F(DataCursorTest, RecordChecksRunBeforeTheWriteLock) {
  TTableBuilder table("Checked");
  table.Add("Id", fldINT32).Add("Name", fldZSTRING, 10);
  table.Last().Required = true;
  table.Add("Score", fldINT16);
  table.Last().MinValue = "0";
  table.Last().MaxValue = "100";
  table.Last().DefaultValue = "50";
  TDataCursor checked(env.directory);
  checked.CreateTable(table.Definition());
  checked.Open("Checked");
  checked.InitRecord();
  EXPECT_EQ(checked.GetFieldInt64(3), 50);  // the default
  EXPECT_EQ(ErrorCodeOf([&] { checked.InsertRecord(); }), STRATA_REQDERR);
  checked.PutFieldText(2, "x");
  checked.PutFieldInt64(3, 101);
  EXPECT_EQ(ErrorCodeOf([&] { checked.InsertRecord(); }), STRATA_MAXVALERR);
  checked.PutFieldInt64(3, -1);
  EXPECT_EQ(ErrorCodeOf([&] { checked.InsertRecord(); }), STRATA_MINVALERR);
  checked.PutFieldInt64(3, 100);
  checked.InsertRecord();
  EXPECT_EQ(checked.RecordCount(), 1u);
  EXPECT_FALSE(checked.Table().WriteLocked());
}

TEST_F(DataCursorTest, EveryChangeAdvancesTheChangeCounters) {
  TDataFile& data = cursor->Table().DataFile();
  TIndexFile& index = cursor->Table().IndexFile();
  TBlobFile& blob = *cursor->Table().BlobFile();
  auto counters = [&] {
    return std::vector<uint32_t>{data.ChangeCounter(), index.ChangeCounter(), blob.ChangeCounter()};
  };
  std::vector<uint32_t> before = counters();
  Insert(1, "a", 1, "X");
  std::vector<uint32_t> after = counters();
  EXPECT_EQ(after[0], before[0] + 1);
  EXPECT_EQ(after[1], before[1] + 1);
  EXPECT_EQ(after[2], before[2]);  // no blob changed
  cursor->PutFieldText(kName, "b");
  cursor->SetBlob(kPhoto, std::vector<uint8_t>(300, 7));
  cursor->ModifyRecord();
  before = after;
  after = counters();
  EXPECT_EQ(after, (std::vector<uint32_t>{before[0] + 1, before[1] + 1, before[2] + 1}));
  cursor->DeleteRecord();
  before = after;
  after = counters();
  EXPECT_EQ(after, (std::vector<uint32_t>{before[0] + 1, before[1] + 1, before[2] + 1}));
}

TEST_F(DataCursorTest, ChangedByAnotherCursorGives8708AndLeavesNoLock) {
  InsertSample();
  TDataCursor other(env.directory);
  other.Open("People");
  cursor->SetIndex(0);
  other.SetIndex(0);
  ASSERT_TRUE(cursor->FindKeyText(std::vector<std::string>{"2"}));
  ASSERT_TRUE(other.FindKeyText(std::vector<std::string>{"2"}));
  cursor->PutFieldText(kName, "first");
  other.PutFieldText(kName, "second");
  other.ModifyRecord();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->ModifyRecord(); }), STRATA_KEYORRECDELETED);
  EXPECT_TRUE(cursor->RecordChangedMark());
  EXPECT_FALSE(cursor->Table().IsRecordLocked(cursor->CurrentRecordNumber()));
  EXPECT_FALSE(cursor->Table().WriteLocked());
  // The cursor now holds the stored record: a second attempt succeeds.
  EXPECT_EQ(cursor->GetFieldText(kName), "second");
  cursor->PutFieldText(kName, "third");
  cursor->ModifyRecord();
  other.Refresh();
  EXPECT_EQ(other.GetFieldText(kName), "third");

  // Deleted under the other cursor: its place remains, STRATA_KEYORRECDELETED
  // (8708) for the record.
  other.DeleteRecord();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(); }), STRATA_KEYORRECDELETED);
  cursor->Next();
  EXPECT_EQ(*cursor->GetFieldInt64(kId), 3);
}

TEST_F(DataCursorTest, PessimisticFetchLocksTheRecordUntilPostedOrCancelled) {
  InsertSample();
  TDataCursor other(env.directory);
  other.Open("People");
  cursor->First();
  ASSERT_TRUE(cursor->MoveNext());
  ASSERT_TRUE(other.MoveNext());
  const uint32_t record = cursor->CurrentRecordNumber();
  cursor->GetCurrentRecord(true);
  EXPECT_TRUE(cursor->Table().IsRecordLockedBy(record, cursor->CursorId()));
  EXPECT_EQ(ErrorCodeOf([&] { other.GetCurrentRecord(true); }), STRATA_RECLOCKFAILED);
  other.PutFieldText(kName, "x");
  EXPECT_EQ(ErrorCodeOf([&] { other.ModifyRecord(); }), STRATA_RECLOCKFAILED);
  cursor->Cancel();
  EXPECT_FALSE(cursor->Table().IsRecordLocked(record));
  other.GetCurrentRecord(true);
  other.PutFieldText(kName, "y");
  other.ModifyRecord();
  EXPECT_FALSE(cursor->Table().IsRecordLocked(record));
  cursor->GetCurrentRecord(true);
  EXPECT_EQ(cursor->GetFieldText(kName), "y");
  cursor->MoveNext();  // leaving the record gives its lock back
  EXPECT_FALSE(cursor->Table().IsRecordLocked(record));
}

TEST_F(DataCursorTest, ExplicitRowNumbersAndAutoIncrement) {
  TTableBuilder table("Numbered");
  table.Add("Row", fldINT32, 0, fldstAUTOINC).Add("Text", fldZSTRING, 10).Primary({1});
  TDataCursor numbered(env.directory);
  numbered.CreateTable(table.Definition());
  numbered.Open("Numbered");
  numbered.InitRecord();
  numbered.PutFieldText(2, "a");
  numbered.InsertRecord();
  EXPECT_EQ(numbered.GetFieldInt64(1), 1);
  numbered.InitRecord();
  numbered.PutFieldInt64(1, 40);
  numbered.InsertRecord();
  EXPECT_EQ(numbered.GetFieldInt64(1), 40);
  numbered.InitRecord();
  numbered.InsertRecord();
  EXPECT_EQ(numbered.GetFieldInt64(1), 41);  // a given number is not handed out again
  // Inserting a copy of the current record gives it a new row number.
  numbered.SetRecordBuffer(numbered.GetCurrentRecord());
  numbered.InsertRecord();
  EXPECT_EQ(numbered.GetFieldInt64(1), 42);
  numbered.InitRecord();
  numbered.PutFieldInt64(1, 40);
  EXPECT_EQ(ErrorCodeOf([&] { numbered.InsertRecord(); }), STRATA_KEYVIOL);
}

TEST_F(DataCursorTest, FieldTextsRoundTrip) {
  TTableBuilder table("Types");
  table.Add("S", fldZSTRING, 10)
      .Add("D", fldDATE)
      .Add("B", fldBOOL)
      .Add("I", fldINT32)
      .Add("F", fldFLOAT)
      .Add("N", fldBCD)
      .Add("T", fldTIME)
      .Add("TS", fldTIMESTAMP)
      .Add("X", fldBYTES, 3)
      .Add("L", fldINT64);
  TTableDefinition definition = table.Definition();
  definition.Fields[5].Decimals = 2;
  TDataCursor types(env.directory);
  types.CreateTable(definition);
  types.Open("Types");
  types.InitRecord();
  const std::vector<std::pair<std::string, std::string>> values = {
      {"S", "hello"},  {"D", "2024-05-31"}, {"B", "TRUE"},         {"I", "-42"},
      {"F", "0.1"},    {"N", "12.50"},      {"T", "13:05:00.250"}, {"TS", "2024-05-31 13:05:07"},
      {"X", "0A0BFF"}, {"L", "-9000000000"}};
  for (const auto& [name, text] : values) types.PutFieldText(name, text);
  types.InsertRecord();
  types.First();
  types.Next();
  for (const auto& [name, text] : values) EXPECT_EQ(types.GetFieldText(name), text) << name;
  types.PutFieldText("S", "");
  EXPECT_EQ(types.GetFieldText("S"), std::nullopt);
  EXPECT_EQ(ErrorCodeOf([&] { types.GetFieldText("Nope"); }), STRATA_OUTOFRANGE);
}

TEST_F(DataCursorTest, OptimisticFetchComparesWithoutLocking) {
  InsertSample();
  env.session->Settings().LockProtocol = lpOptimistic;
  TDataCursor other(env.directory);
  other.Open("People");
  cursor->First();
  cursor->Next();
  other.GotoCursor(*cursor);
  cursor->GetCurrentRecord(true);
  EXPECT_FALSE(cursor->Table().IsRecordLocked(cursor->CurrentRecordNumber()));
  cursor->PutFieldText(kName, "mine");
  other.GetCurrentRecord(true);
  other.PutFieldText(kName, "theirs");
  other.ModifyRecord();  // the lock is taken inside the change only
  EXPECT_FALSE(cursor->Table().IsRecordLocked(cursor->CurrentRecordNumber()));
  EXPECT_EQ(ErrorCodeOf([&] { cursor->GetCurrentRecord(true); }), STRATA_KEYORRECDELETED);
  EXPECT_EQ(cursor->GetFieldText(kName), "theirs");
}

TEST_F(DataCursorTest, ReadOnlyCursorsReadButDoNotChange) {
  InsertSample();
  TDataCursor reader(env.directory);
  reader.Open("People", {.ReadOnly = true});
  ASSERT_TRUE(reader.MoveNext());
  reader.PutFieldText(kName, "x");  // the buffer may change ...
  EXPECT_EQ(ErrorCodeOf([&] { reader.ModifyRecord(); }), STRATA_OSEACCES);  // ... the table not
  EXPECT_EQ(ErrorCodeOf([&] { reader.DeleteRecord(); }), STRATA_OSEACCES);
  EXPECT_EQ(ErrorCodeOf([&] { reader.InsertRecord(); }), STRATA_OSEACCES);
  EXPECT_EQ(ErrorCodeOf([&] { reader.SetBlob(kPhoto, std::vector<uint8_t>(3)); }), STRATA_OSEACCES);
  EXPECT_EQ(reader.RecordCount(), 5u);
}

TEST_F(DataCursorTest, ScanVisitsRecordsUnderOneReadLock) {
  InsertSample();
  cursor->SetIndex(0);
  cursor->First();
  std::vector<int> ids;
  auto visit = [&](TDataCursor& c) {
    EXPECT_TRUE(c.Table().ReadLocked());
    ids.push_back(static_cast<int>(*c.GetFieldInt64(kId)));
    return ids.size() != 4;
  };
  EXPECT_EQ(cursor->ScanNext(2, visit), 2u);
  EXPECT_EQ(cursor->ScanNext(10, visit), 2u);  // stopped by the visitor
  EXPECT_EQ(cursor->ScanNext(10, visit), 1u);  // the rest
  EXPECT_TRUE(cursor->Eof());
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(cursor->Table().ReadLocked());
}

TEST(DataCursorMemoryTest, TablesOfTheMemoryDatabaseWorkAlike) {
  auto session = TDataSession::Create();
  auto memory = session->OpenDirectory("Memory", "");
  TDataCursor cursor(memory);
  cursor.CreateTable(PeopleTable());
  cursor.Open("People");
  for (int id = 1; id <= 300; ++id) {
    cursor.InitRecord();
    cursor.PutFieldInt64(kId, id);
    cursor.PutFieldText(kName, "n" + std::to_string(id));
    cursor.PutFieldText(kCode, std::to_string(id));
    cursor.SetBlob(kPhoto, std::vector<uint8_t>(static_cast<size_t>(id), 9));
    cursor.InsertRecord();
  }
  cursor.SetIndex(0);
  cursor.SetRecordNumber(150);
  EXPECT_EQ(cursor.GetFieldInt64(kId), 150);
  EXPECT_EQ(cursor.BlobSize(kPhoto), 150u);
  cursor.DeleteRecord();
  EXPECT_EQ(cursor.RecordCount(), 299u);
  EXPECT_TRUE(CheckTableFiles(cursor).empty());
}

// Blobs ----------------------------------------------------------------------------

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 31 + i / 7);
  return bytes;
}

TEST_F(DataCursorTest, BlobsSpanManyBlocksShrinkGrowAndAreFreed) {
  TBlobFile& blob = *cursor->Table().BlobFile();
  const std::vector<uint8_t> big = Pattern(50000, 1);  // 110 bytes a block: 455 blocks
  Insert(1, "a", 1, "X");
  cursor->SetBlob(kPhoto, big);
  cursor->ModifyRecord();
  Insert(2, "b", 2, "Y");
  cursor->WriteBlob(kPhoto, 0, Pattern(1000, 2));
  cursor->ModifyRecord();
  EXPECT_EQ(blob.BlockCount(), 455u + 10u);

  TDataCursor reader(env.directory);
  reader.Open("People");
  reader.SetIndex(0);
  ASSERT_TRUE(reader.FindKeyText(std::vector<std::string>{"1"}));
  EXPECT_EQ(reader.BlobSize(kPhoto), big.size());
  EXPECT_EQ(reader.ReadBlob(kPhoto), big);
  EXPECT_EQ(reader.ReadBlob(kPhoto, 49990, 100), std::vector<uint8_t>(big.end() - 10, big.end()));
  EXPECT_EQ(ErrorCodeOf([&] { reader.ReadBlob(kPhoto, 50001, 1); }), STRATA_INVALIDBLOBOFFSET);

  // Shrink: the blocks no longer used go to the free chain ...
  reader.TruncateBlob(kPhoto, 200);
  reader.ModifyRecord();
  EXPECT_EQ(blob.FreeChain().size(), 453u);
  EXPECT_TRUE(CheckTableFiles(reader).empty());
  // ... and growing the other value takes them again.
  ASSERT_TRUE(reader.FindKeyText(std::vector<std::string>{"2"}));
  reader.WriteBlob(kPhoto, 1000, Pattern(20000, 3));
  reader.ModifyRecord();
  EXPECT_EQ(blob.BlockCount(), 465u);
  std::vector<uint8_t> expected = Pattern(1000, 2);
  const std::vector<uint8_t> tail = Pattern(20000, 3);
  expected.insert(expected.end(), tail.begin(), tail.end());
  cursor->Refresh();
  cursor->GotoCursor(reader);
  EXPECT_EQ(cursor->ReadBlob(kPhoto), expected);
  EXPECT_TRUE(CheckTableFiles(reader).empty());

  // An insert of a copy copies the value; deleting frees every block.
  cursor->SetRecordBuffer(cursor->GetCurrentRecord());
  cursor->PutFieldInt64(kId, 3);
  cursor->PutFieldText(kCode, "C3");
  cursor->InsertRecord();
  EXPECT_EQ(cursor->ReadBlob(kPhoto), expected);
  EXPECT_TRUE(CheckTableFiles(*cursor).empty());
  cursor->First();
  while (cursor->MoveNext()) cursor->DeleteRecord();
  EXPECT_EQ(blob.FreeChain().size(), blob.BlockCount());
  EXPECT_TRUE(CheckTableFiles(*cursor).empty());

  // A blank blob field and a field that is not a blob.
  Insert(4, "d", 4, "Z");
  EXPECT_EQ(cursor->BlobSize(kPhoto), 0u);
  EXPECT_EQ(cursor->GetFieldText(kPhoto), std::nullopt);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->OpenBlob(kName); }), STRATA_NOTABLOB);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->ReadBlob(kAge); }), STRATA_NOTABLOB);
}

TEST_F(DataCursorTest, SortingRecordsHandsEachBlobToItsRecordsNewRow) {
  Insert(1, "a", 40, "X");
  cursor->SetBlob(kPhoto, Pattern(300, 1));  // three blocks
  cursor->ModifyRecord();
  Insert(2, "b", 30, "Y");
  cursor->SetBlob(kPhoto, Pattern(20, 2));
  cursor->ModifyRecord();
  Insert(3, "c", 20, "Z");  // no value
  cursor.reset();

  TDataCursor sorter(env.directory);
  sorter.Open("People", {.Exclusive = true});
  const TSortColumn by_age[] = {{kAge, false}};
  sorter.SortRecords(by_age, false, {});
  std::vector<std::pair<int, std::vector<uint8_t>>> rows;
  sorter.First();
  while (sorter.MoveNext()) {
    rows.emplace_back(static_cast<int>(*sorter.GetFieldInt64(kId)), sorter.ReadBlob(kPhoto));
  }
  EXPECT_EQ(rows, (std::vector<std::pair<int, std::vector<uint8_t>>>{
                      {3, {}}, {2, Pattern(20, 2)}, {1, Pattern(300, 1)}}));
  EXPECT_TRUE(CheckTableFiles(sorter).empty());
}

TEST_F(DataCursorTest, CancelDropsBlobEditsAndTextPutsABlob) {
  Insert(1, "a", 1, "X");
  cursor->PutFieldText(kPhoto, "GIF89a");
  cursor->ModifyRecord();
  cursor->PutFieldText(kPhoto, "other");
  cursor->Cancel();
  EXPECT_EQ(cursor->GetFieldText(kPhoto), "GIF89a");
  cursor->PutFieldBlank(kPhoto);
  cursor->ModifyRecord();
  EXPECT_EQ(cursor->BlobSize(kPhoto), 0u);
  EXPECT_EQ(cursor->Table().BlobFile()->FreeChain().size(), 1u);
}

// Structure --------------------------------------------------------------------------

TEST_F(DataCursorTest, CreateTableNeedsExclusiveUseAndANewName) {
  TDataCursor creator(env.directory);
  EXPECT_EQ(ErrorCodeOf([&] { creator.CreateTable(PeopleTable(), {}); }), STRATA_NEEDEXCLACCESS);
  // Open in this directory: in use; else it exists already.
  EXPECT_EQ(ErrorCodeOf([&] { creator.CreateTable(PeopleTable()); }), STRATA_TABLEOPEN);
  cursor->Close();
  EXPECT_EQ(ErrorCodeOf([&] { creator.CreateTable(PeopleTable()); }), STRATA_TABLEEXISTS);
  TTableDefinition bad = PeopleTable();
  bad.Name = "Bad";
  bad.Fields[1].Name = "1st";
  EXPECT_EQ(ErrorCodeOf([&] { creator.CreateTable(bad); }), STRATA_INVALIDFIELDNAME);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Bad.DAT")));

  TDataCursor own(env.directory);
  TTableDefinition fresh = PeopleTable();
  fresh.Name = "Fresh";
  own.CreateTable(fresh);
  own.Open("Fresh", {.Exclusive = true});
  EXPECT_EQ(ErrorCodeOf([&] { own.CreateTable(fresh, {.Exclusive = true}, true); }),
            STRATA_TABLEOPEN);
  own.DeleteTable();
  EXPECT_FALSE(own.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(dir.File("Fresh.DAT")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("Fresh.IDX")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("Fresh.BLB")));
}

TEST_F(DataCursorTest, EmptyAndDeleteNeedExclusiveUse) {
  InsertSample();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->EmptyTable(); }), STRATA_NEEDEXCLACCESS);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->DeleteTable(); }), STRATA_NEEDEXCLACCESS);
  cursor->Close();
  TDataCursor exclusive(env.directory);
  exclusive.Open("People", {.Exclusive = true});
  exclusive.EmptyTable();
  EXPECT_EQ(exclusive.RecordCount(), 0u);
  EXPECT_EQ(exclusive.Table().DataFile().SlotCount(), 0u);
  EXPECT_EQ(ErrorCodeOf([&] { Insert(1, "x", 1, "y"); }), STRATA_OSEBADF);  // a closed cursor
}

TEST_F(DataCursorTest, IndexesNameThePrimaryEverySecondaryAndTheRowOrder) {
  EXPECT_EQ(cursor->Indexes(), (std::vector<int>{0, 1, 2, 3, TDataCursor::kRowOrderIndex}));
  cursor->Close();
  TDataCursor exclusive(env.directory);
  exclusive.Open("People", {.Exclusive = true});
  TIndexDef by_age;
  by_age.Name = "ByAge";
  by_age.FieldNumbers = {kAge};
  const int slot = exclusive.AddIndex(by_age);
  EXPECT_EQ(exclusive.Indexes(), (std::vector<int>{0, 1, 2, 3, slot, TDataCursor::kRowOrderIndex}));
  // A table without a primary index keeps its secondaries and the row order.
  TDataCursor plain(env.directory);
  plain.CreateTable(TTableBuilder("Plain")
                        .Add("A", fldINT32)
                        .Add("B", fldINT32)
                        .Secondary("ByB", {2})
                        .Definition());
  plain.Open("Plain");
  EXPECT_EQ(plain.Indexes(), (std::vector<int>{1, TDataCursor::kRowOrderIndex}));
}

TEST_F(DataCursorTest, AddIndexChecksTheKeySizeAndFillsTheIndex) {
  InsertSample();
  TIndexDef by_age;
  by_age.Name = "ByAge";
  by_age.FieldNumbers = {kAge};
  EXPECT_EQ(ErrorCodeOf([&] { cursor->AddIndex(by_age); }), STRATA_NEEDEXCLACCESS);
  cursor->Close();
  TDataCursor exclusive(env.directory);
  exclusive.Open("People", {.Exclusive = true});
  TIndexDef combined;
  combined.Name = "Combined";
  combined.FieldNumbers = {kName, kCity, kCode};
  exclusive.AddIndex(combined);
  TTableDefinition wide_table = TTableBuilder("Wide")
                                    .Add("A", fldZSTRING, 250)
                                    .Add("B", fldZSTRING, 250)
                                    .Add("C", fldZSTRING, 20)
                                    .Definition();
  TDataCursor wide(env.directory);
  wide.CreateTable(wide_table);
  wide.Open("Wide", {.Exclusive = true});
  TIndexDef over;
  over.Name = "Over";
  over.FieldNumbers = {1, 2, 3};  // 252 + 252 + 22 = 526 > 522
  EXPECT_EQ(ErrorCodeOf([&] { wide.AddIndex(over); }), STRATA_INVALIDKEY);
  over.FieldNumbers = {1, 2};  // 504
  wide.AddIndex(over);

  const int slot = exclusive.AddIndex(by_age);
  exclusive.SetIndex(slot);
  std::vector<int> ages;
  exclusive.First();
  while (exclusive.MoveNext()) ages.push_back(static_cast<int>(*exclusive.GetFieldInt64(kAge)));
  EXPECT_EQ(ages, (std::vector<int>{25, 30, 30, 35, 41}));
  EXPECT_TRUE(CheckTableFiles(exclusive).empty());

  TIndexDef unique_age = by_age;
  unique_age.Name = "UniqueAge";
  unique_age.Unique = true;
  EXPECT_EQ(ErrorCodeOf([&] { exclusive.AddIndex(unique_age); }), STRATA_KEYVIOL);
  EXPECT_EQ(exclusive.Table().IndexFile().FindIndex("UniqueAge"), -1);
  EXPECT_TRUE(CheckTableFiles(exclusive).empty());
}

TEST_F(DataCursorTest, RenameTableMovesTheFilesAndKeepsTheRecords) {
  InsertSample();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->RenameTable("Folk"); }), STRATA_NEEDEXCLACCESS);
  cursor->Close();
  TDataCursor other(env.directory);
  other.CreateTable(TTableBuilder("Other").Add("X", fldINT32).Definition());
  TDataCursor exclusive(env.directory);
  exclusive.Open("People", {.Exclusive = true});
  EXPECT_EQ(ErrorCodeOf([&] { exclusive.RenameTable("Other"); }), STRATA_TABLEEXISTS);
  EXPECT_TRUE(exclusive.IsOpen());
  exclusive.RenameTable("Folk");
  EXPECT_FALSE(exclusive.IsOpen());
  EXPECT_FALSE(env.directory->TableExists("People"));
  exclusive.Open("Folk");
  exclusive.SetIndex(0);
  EXPECT_EQ(Ids(exclusive), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(CheckTableFiles(exclusive).empty());
}

TEST_F(DataCursorTest, LastAutoIncrementCanBeCarriedToAnotherTable) {
  InsertSample();
  const int32_t last = cursor->LastAutoIncrement();
  EXPECT_EQ(last, 5);
  EXPECT_EQ(ErrorCodeOf([&] { cursor->SetLastAutoIncrement(40); }), STRATA_NEEDEXCLACCESS);
  cursor->Close();
  TDataCursor exclusive(env.directory);
  exclusive.Open("People", {.Exclusive = true});
  exclusive.SetLastAutoIncrement(40);
  exclusive.Close();
  TDataCursor reopened(env.directory);
  reopened.Open("People");
  EXPECT_EQ(reopened.LastAutoIncrement(), 40);
  reopened.InitRecord();
  reopened.PutFieldInt64(kId, 9);
  reopened.PutFieldText(kCode, "C9");
  reopened.InsertRecord();
  EXPECT_EQ(reopened.LastAutoIncrement(), 41);
}

TEST_F(DataCursorTest, RebuildIndexesRefillsEveryTree) {
  InsertSample();
  EXPECT_EQ(ErrorCodeOf([&] { cursor->RebuildIndexes(); }), STRATA_NEEDEXCLACCESS);
  cursor->Close();
  TDataCursor exclusive(env.directory);
  exclusive.Open("People", {.Exclusive = true});
  exclusive.SetIndex("ByCityAge");
  ASSERT_TRUE(exclusive.FindKeyText(std::vector<std::string>{"Bern", "30"}));
  exclusive.RebuildIndexes();
  EXPECT_EQ(exclusive.GetFieldText(kName), "dave");
  exclusive.Next();
  EXPECT_EQ(exclusive.GetFieldText(kName), "carol");
  EXPECT_EQ(Ids(exclusive), (std::vector<int>{2, 5, 4, 3, 1}));
  exclusive.SetIndex(0);
  EXPECT_EQ(Ids(exclusive), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(CheckTableFiles(exclusive).empty());
}

TEST_F(DataCursorTest, AMissingIndexFileIsRebuiltFromTheRecords) {
  InsertSample();
  cursor->DeleteRecord();  // the last one inserted, Id 4: its slot must not come back
  cursor->Close();
  std::filesystem::remove(dir.File("People.IDX"));

  cursor->Open("People");
  EXPECT_FALSE(cursor->Table().NeedsIndexRebuild());
  EXPECT_EQ(cursor->RecordCount(), 4u);
  EXPECT_EQ(Ids(), (std::vector<int>{3, 1, 5, 2}));
  EXPECT_TRUE(CheckTableFiles(*cursor).empty());
  Insert(9, "ivy", 9, "Sion");
  EXPECT_EQ(cursor->RecordCount(), 5u);
}

// A damaged index header: a unique slot without key fields whose key size
// exceeds the largest key. Keys are built into buffers of the largest key's
// size; such a file must be refused when it is opened.
TEST_F(DataCursorTest, AKeySizeBeyondTheLargestKeyIsADamagedIndexHeader) {
  InsertSample();
  cursor->Close();
  env.directory->CloseUnusedTables();
  const std::streamoff by_code = 14 + 120 * 3;  // descriptor of slot 3, "ByCode"
  {
    std::fstream index(dir.File("People.IDX"), std::ios::in | std::ios::out | std::ios::binary);
    index.seekp(by_code + 31);
    const char key_size[2] = {static_cast<char>(0xD0), 0x07};  // 2000
    index.write(key_size, 2);
    index.seekp(by_code + 37);
    index.put(0);  // no key fields
  }
  const uint16_t code = ErrorCodeOf([&] {
    cursor->Open("People");
    Insert(7, "gil", 50, "Chur");
  });
  EXPECT_EQ(code, STRATA_HEADERCORRUPT);
}

}  // namespace
}  // namespace strata
