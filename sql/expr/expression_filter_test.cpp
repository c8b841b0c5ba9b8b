#include "sql/expr/expression_filter.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <set>

#include "sql/expr/exp_eval.h"
#include "sql/expr/exp_grammar.h"
#include "sql/expr/operand_types.h"
#include "storage/cursor/test_cursor_table.h"

namespace strata::testing {
namespace {

// A table of a few thousand records with an index on every field that a
// filter compares, and blank values among them.
class FilterTest : public ::testing::Test {
 protected:
  static constexpr int kRecords = 3000;

  void SetUp() override {
    TTableBuilder table("Stock");
    table.Add("ID", fldINT32).Add("Score", fldINT16).Add("Price", fldFLOAT);
    table.Add("Amount", fldBCD).Last().Decimals = 2;
    table.Add("Day", fldDATE).Add("Name", fldZSTRING, 12).Add("Flag", fldBOOL);
    table.Add("Big", fldINT64).Add("Stamp", fldTIMESTAMP).Add("W", fldUINT16);
    table.Primary({1});
    table.Secondary("ByScore", {2}).Secondary("ByPrice", {3}).Secondary("ByAmount", {4});
    table.Secondary("ByDay", {5}).Secondary("ByName", {6}).Secondary("ByFlag", {7});
    table.Secondary("ByBig", {8}).Secondary("ByStamp", {9}).Secondary("ByW", {10});
    table.Secondary("ByScoreDesc", {2}, false, false, true);
    table.Secondary("ByNameNoCase", {6}, false, true);
    cursor_ = std::make_unique<TDataCursor>(env_.directory);
    cursor_->CreateTable(table.Definition());
    cursor_->Open("Stock");
    std::mt19937 random(42);
    const char* names[] = {"apple", "Apple", "APPLE", "caf\xE9",   "cafe", "Cafe", "b",   "B",
                           "a",     "A",     "zeta",  "\xE9t\xE9", "etc",  "x y",  "a-b", "ab"};
    for (int id = 1; id <= kRecords; ++id) {
      cursor_->InitRecord();
      cursor_->PutFieldInt64(1, id);
      auto maybe = [&](int field, auto put) {
        if (random() % 10 != 0) put(field);  // one in ten blank
      };
      maybe(2, [&](int f) { cursor_->PutFieldInt64(f, static_cast<int>(random() % 200) - 100); });
      maybe(3, [&](int f) {
        cursor_->PutFieldDouble(f, (static_cast<int>(random() % 2001) - 1000) / 8.0);
      });
      maybe(3, [&](int f) {
        if (random() % 50 == 0) cursor_->PutFieldDouble(f, -0.0);
      });
      maybe(4, [&](int f) {
        cursor_->PutFieldText(f, std::to_string(static_cast<int>(random() % 20000) - 10000) + "." +
                                     std::to_string(random() % 100));
      });
      maybe(5, [&](int f) {
        cursor_->PutFieldText(
            f, "2024-0" + std::to_string(1 + random() % 9) + "-1" + std::to_string(random() % 10));
      });
      maybe(6, [&](int f) { cursor_->PutFieldString(f, names[random() % 16]); });
      maybe(7, [&](int f) { cursor_->PutFieldText(f, random() % 2 ? "TRUE" : "FALSE"); });
      maybe(8, [&](int f) {
        cursor_->PutFieldInt64(f, static_cast<int64_t>(random()) * 1000003 - (int64_t{1} << 40));
      });
      maybe(9, [&](int f) {
        cursor_->PutFieldText(f, "2024-01-0" + std::to_string(1 + random() % 9) + " 1" +
                                     std::to_string(random() % 10) + ":00:00");
      });
      maybe(10, [&](int f) { cursor_->PutFieldInt64(f, random() % 65536); });
      cursor_->InsertRecord();
    }
  }

  // The record numbers for which `text` is true, each record evaluated on
  // its own (no filter machinery).
  std::set<uint32_t> OneByOne(const std::string& text) {
    TDataCursor plain(env_.directory);
    plain.Open("Stock");
    TFilterExpression expression = ParseFilterExpression(text, "Stock");
    TTableColumns columns("Stock", plain.Fields());
    TResolveOptions options;
    options.Context = "filter expression";
    ResolveExpression(*expression.Root, columns, options);
    TRecordRows rows(plain.Fields(), plain.Table().DataFile().Context());
    TEvalContext context;
    context.Rows = &rows;
    std::set<uint32_t> out;
    plain.First();
    while (plain.MoveNext()) {
      rows.Bind(plain.RecordBuffer());
      if (Evaluate(*expression.Root, context).IsTrue()) out.insert(plain.CurrentRecordNumber());
    }
    return out;
  }

  // The stored name of a record ("" when blank).
  std::string NameOf(uint32_t record) {
    if (names_.empty()) {
      TDataCursor plain(env_.directory);
      plain.Open("Stock");
      plain.First();
      while (plain.MoveNext()) {
        names_[plain.CurrentRecordNumber()] = plain.GetFieldString(6).value_or("");
      }
    }
    return names_[record];
  }

  // The records the cursor's view holds, walked forwards.
  static std::set<uint32_t> View(TDataCursor& cursor) {
    std::set<uint32_t> out;
    cursor.First();
    while (cursor.MoveNext()) out.insert(cursor.CurrentRecordNumber());
    return out;
  }

  TTempDir dir_;
  TCursorEnvironment env_{dir_.Dir()};
  std::unique_ptr<TDataCursor> cursor_;
  std::map<uint32_t, std::string> names_;
};

struct TFilterCase {
  const char* Text;
  bool FromIndex;  // whether an index range should be read
};

TEST_F(FilterTest, IndexAnsweredFiltersGiveTheRecordsOfRecordByRecordEvaluation) {
  const TFilterCase cases[] = {
      {"Score = 5", true},
      {"Score < -50", true},
      {"Score <= -50", true},
      {"-50 > Score", true},
      {"Score >= 90", true},
      {"Score > 99", true},
      {"Score > 40000", true},
      {"Score < -40000", true},
      {"Score < 40000", true},
      {"Score = 2.5", true},
      {"Score > 2.5", true},
      {"Score BETWEEN -3 AND 3", true},
      {"Score BETWEEN 3 AND -3", true},
      {"Score = 5 AND Price > 0", true},
      {"Price > 10 AND Score < 0 AND Flag", true},
      {"Price = 0", true},
      {"Price <= 0", true},
      {"Price > 12.375", true},
      {"Price BETWEEN -1.5 AND 1.5", true},
      {"Amount = 12.5", true},
      {"Amount > 9999.99", true},
      {"Amount < -9000", true},
      {"Amount BETWEEN 0 AND 0.5", true},
      {"Day = '2024-03-15'", true},
      {"Day > '2024-08-01'", true},
      {"Day <= '2024-02-10'", true},
      {"Day BETWEEN '2024-02-01' AND '2024-02-28'", true},
      {"Stamp >= '2024-01-05 15:00:00'", true},
      {"Stamp = '2024-01-03  12:00:00'", true},
      {"Stamp < '2024-01-02'", true},
      {"Flag = TRUE", true},
      {"Flag = FALSE", true},
      {"Big > 0", true},
      {"Big < -1000000000000", true},
      {"W >= 60000", true},
      {"W < 10", true},
      {"W < -1", true},
      {"ID = 77", true},
      {"ID > 2990", true},
      {"Score IN (1, 2, 3)", true},
      {"Score IN (7, -40, 3)", true},
      // Not from an index: other operators, OR, NOT, NULL, texts.
      {"Score <> 5", false},
      {"Score = 5 OR Score = 6", false},
      {"NOT Score = 5", false},
      {"Score = NULL", false},
      {"Score IS NULL", false},
      {"Score NOT BETWEEN -3 AND 3", false},
      {"Score + 1 = 6", false},
      {"Name <> 'cafe'", false},
      {"Name NOT LIKE 'a%'", false},
      {"Name LIKE '%e'", false},
      {"Name LIKE 'a_%'", false},
      {"Name LIKE 'a%%'", false},
      {"Name = ''", false},
      {"LOWER(Name) = 'apple'", false},
  };
  for (const TFilterCase& c : cases) {
    SCOPED_TRACE(c.Text);
    TFilter* filter = AddFilter(*cursor_, c.Text);
    ActivateFilter(*cursor_, filter);
    const std::set<uint32_t> expected = OneByOne(c.Text);
    EXPECT_EQ(View(*cursor_), expected);
    EXPECT_EQ(cursor_->RecordCount(), expected.size());
    EXPECT_EQ(FilterSetOf(*cursor_)->LastIndexUsed().has_value(), c.FromIndex);
    // The same through another index as the current one, and backwards.
    cursor_->SetIndex("ByName");
    EXPECT_EQ(View(*cursor_), expected);
    std::set<uint32_t> backwards;
    cursor_->Last();
    while (cursor_->MovePrior()) backwards.insert(cursor_->CurrentRecordNumber());
    EXPECT_EQ(backwards, expected);
    cursor_->SetIndex(TDataCursor::kRowOrderIndex);
    DropFilter(*cursor_, filter);
  }
  EXPECT_EQ(cursor_->RecordCount(), static_cast<uint32_t>(kRecords));
}

// Whether a stored name (blank: "") lies where the byte-ordered index puts a
// text condition's records.
struct TTextCase {
  const char* Text;
  std::function<bool(const std::string&)> InIndexRange;
};

TEST_F(FilterTest, TextConditionsFindTheRecordsTheirIndexRangeHolds) {
  // ByName orders by bytes; the comparison ignores accents and puts lower
  // case first. The view is what both admit; where the two orders agree it
  // is the record-by-record result.
  const TTextCase cases[] = {
      {"Name = 'apple'", [](const std::string& n) { return n == "apple"; }},
      {"Name = 'cafe'", [](const std::string& n) { return n == "cafe"; }},
      {"'zeta' = Name", [](const std::string& n) { return n == "zeta"; }},
      {"Name < 'b'", [](const std::string& n) { return n < "b"; }},
      {"'b' > Name", [](const std::string& n) { return n < "b"; }},
      {"Name >= 'B'", [](const std::string& n) { return n >= "B"; }},
      {"Name > 'zzzz'", [](const std::string&) { return false; }},
      {"Name BETWEEN 'a' AND 'b'", [](const std::string& n) { return n >= "a" && n <= "b"; }},
      {"Name BETWEEN 'b' AND 'a'", [](const std::string&) { return false; }},
      {"Name IN ('zeta', 'ab', 'cafe')",
       [](const std::string& n) { return n >= "ab" && n <= "zeta"; }},
      {"Name LIKE 'a%'", [](const std::string& n) { return n.starts_with("a"); }},
      {"Name LIKE 'caf%'", [](const std::string& n) { return n.starts_with("caf"); }},
      {"Name = 'apple' AND Score > 0", [](const std::string& n) { return n == "apple"; }},
      {"UPPER(Name) = 'APPLE'", [](const std::string&) { return true; }},
      {"UPPER(Name) LIKE 'CA%'", [](const std::string&) { return true; }},
  };
  for (const TTextCase& c : cases) {
    SCOPED_TRACE(c.Text);
    std::set<uint32_t> expected;
    for (uint32_t record : OneByOne(c.Text)) {
      if (c.InIndexRange(NameOf(record))) expected.insert(record);
    }
    TFilter* filter = AddFilter(*cursor_, c.Text);
    ActivateFilter(*cursor_, filter);
    EXPECT_EQ(View(*cursor_), expected);
    EXPECT_EQ(cursor_->RecordCount(), expected.size());
    const std::string index = std::string(c.Text).starts_with("UPPER") ? "ByNameNoCase" : "ByName";
    ASSERT_TRUE(FilterSetOf(*cursor_)->LastIndexUsed().has_value());
    EXPECT_EQ(cursor_->IndexDescriptor(*FilterSetOf(*cursor_)->LastIndexUsed()).Name, index);
    DropFilter(*cursor_, filter);
  }
  // Record by record nothing changed: accents are ignored, lower case first.
  EXPECT_EQ(OneByOne("Name = 'cafe'"), OneByOne("Name = 'caf\xE9'"));
  const std::set<uint32_t> below_b = OneByOne("Name < 'b'");
  EXPECT_TRUE(below_b.count(*OneByOne("Name = 'a'").begin()));
  EXPECT_FALSE(below_b.count(*OneByOne("Name = 'B'").begin()));
}

TEST_F(FilterTest, SeveralActiveFiltersAllHold) {
  TFilter* a = AddFilter(*cursor_, "Score > 0");
  TFilter* b = AddFilter(*cursor_, "Price < 0");
  TFilter* c = AddFilter(*cursor_, "Name LIKE 'a%'");
  EXPECT_EQ(FilterSetOf(*cursor_)->Count(), 3u);
  EXPECT_EQ(cursor_->RecordCount(), static_cast<uint32_t>(kRecords));  // none active yet
  ActivateFilter(*cursor_, a);
  ActivateFilter(*cursor_, b);
  EXPECT_EQ(View(*cursor_), OneByOne("Score > 0 AND Price < 0"));
  ActivateFilter(*cursor_, c);
  EXPECT_EQ(View(*cursor_), OneByOne("Score > 0 AND Price < 0 AND Name LIKE 'a%'"));
  DeactivateFilter(*cursor_, a);
  EXPECT_EQ(View(*cursor_), OneByOne("Price < 0 AND Name LIKE 'a%'"));
  DropFilter(*cursor_, b);
  EXPECT_EQ(View(*cursor_), OneByOne("Name LIKE 'a%'"));
  // Record numbers count within the view.
  cursor_->SetRecordNumber(3);
  EXPECT_EQ(cursor_->RecordNumber(), 3u);
  DeactivateFilter(*cursor_, c);
  EXPECT_EQ(cursor_->RecordCount(), static_cast<uint32_t>(kRecords));
}

TEST_F(FilterTest, FiltersActivatedAndDroppedTogetherGiveTheViewOfOneByOne) {
  TFilter* a = AddFilter(*cursor_, "Score > 0");
  TFilter* b = AddFilter(*cursor_, "Price < 0");
  TFilter* c = AddFilter(*cursor_, "Name LIKE 'a%'");
  const std::vector<TFilter*> ab = {a, b};
  ActivateFilters(*cursor_, ab);
  EXPECT_TRUE(a->Active() && b->Active() && !c->Active());
  EXPECT_EQ(View(*cursor_), OneByOne("Score > 0 AND Price < 0"));
  // The view is settled anew: the cursor stands before its first record.
  cursor_->First();
  ASSERT_TRUE(cursor_->MoveNext());
  ActivateFilters(*cursor_, std::vector<TFilter*>{c});
  EXPECT_TRUE(cursor_->Bof());
  EXPECT_EQ(View(*cursor_), OneByOne("Score > 0 AND Price < 0 AND Name LIKE 'a%'"));

  // A filter of another cursor makes the whole call fail before anything
  // changes.
  TDataCursor other(env_.directory);
  other.Open("Stock");
  TFilter* foreign = AddFilter(other, "Score < 0");
  const std::vector<TFilter*> mixed = {a, foreign};
  EXPECT_EQ(ErrorCodeOf([&] { DropFilters(*cursor_, mixed); }), STRATA_NOSUCHFILTER);
  EXPECT_EQ(ErrorCodeOf([&] { ActivateFilters(*cursor_, mixed); }), STRATA_NOSUCHFILTER);
  EXPECT_EQ(FilterSetOf(*cursor_)->Count(), 3u);
  EXPECT_FALSE(foreign->Active());

  // Dropping two of the three active ones leaves the view of the third.
  const std::vector<TFilter*> ca = {c, a};
  DropFilters(*cursor_, ca);
  EXPECT_EQ(FilterSetOf(*cursor_)->Count(), 1u);
  EXPECT_EQ(View(*cursor_), OneByOne("Price < 0"));
  DropFilters(*cursor_, std::vector<TFilter*>{b});
  EXPECT_EQ(cursor_->RecordCount(), static_cast<uint32_t>(kRecords));
}

TEST_F(FilterTest, FiltersCheckedRecordByRecordGiveTheSameViewAndFollowChanges) {
  TFilter* score = AddFilter(*cursor_, "Score > 50");
  TFilter* name = AddFilter(*cursor_, "Name = 'apple'");
  const std::vector<TFilter*> both = {score, name};
  ActivateFilters(*cursor_, both, TFilterView::kChecked);
  EXPECT_FALSE(FilterSetOf(*cursor_)->LastIndexUsed());  // nothing was read
  const std::set<uint32_t> expected = OneByOne("Score > 50 AND Name = 'apple'");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(View(*cursor_), expected);
  EXPECT_EQ(cursor_->RecordCount(), expected.size());
  // Within a range too.
  cursor_->SetIndex("ByScore");
  const int16_t from = 60;
  const int16_t to = 80;
  cursor_->SetRange(std::vector<TKeyFieldValue>{{&from, 2}}, std::vector<TKeyFieldValue>{{&to, 2}});
  EXPECT_EQ(View(*cursor_), OneByOne("Score >= 60 AND Score <= 80 AND Name = 'apple'"));

  // A record changed to fail the filter leaves the view; one changed to pass
  // it joins.
  cursor_->First();
  ASSERT_TRUE(cursor_->MoveNext());
  const uint32_t leaving = cursor_->CurrentRecordNumber();
  cursor_->PutFieldString(6, "pear");
  cursor_->ModifyRecord();
  cursor_->CancelRange();
  std::set<uint32_t> now = OneByOne("Score > 50 AND Name = 'apple'");
  EXPECT_EQ(now.count(leaving), 0u);
  EXPECT_EQ(View(*cursor_), now);

  // Deactivating builds the view of the rest from an index again.
  DeactivateFilter(*cursor_, name);
  EXPECT_TRUE(FilterSetOf(*cursor_)->LastIndexUsed());
  EXPECT_EQ(View(*cursor_), OneByOne("Score > 50"));
}

TEST_F(FilterTest, ChangesKeepTheViewExact) {
  TFilter* filter = AddFilter(*cursor_, "Score = 7");
  ActivateFilter(*cursor_, filter);
  const size_t before = cursor_->RecordCount();
  // An insert by this cursor that qualifies joins the view ...
  cursor_->InitRecord();
  cursor_->PutFieldInt64(1, kRecords + 1);
  cursor_->PutFieldInt64(2, 7);
  cursor_->InsertRecord();
  EXPECT_EQ(cursor_->RecordCount(), before + 1);
  // ... a change that stops it qualifying leaves it ...
  cursor_->First();
  ASSERT_TRUE(cursor_->MoveNext());
  cursor_->GetCurrentRecord(true);
  cursor_->PutFieldInt64(2, 8);
  cursor_->ModifyRecord();
  EXPECT_EQ(cursor_->RecordCount(), before);
  EXPECT_EQ(View(*cursor_), OneByOne("Score = 7"));
  // ... and changes by another cursor are seen too.
  TDataCursor other(env_.directory);
  other.Open("Stock");
  other.SetIndex("ByScore");
  const TKeyFieldValue seven[] = {{"\x07\x00", 2}};
  ASSERT_TRUE(other.FindKey(seven));
  other.DeleteRecord();
  other.InitRecord();
  other.PutFieldInt64(1, kRecords + 2);
  other.PutFieldInt64(2, 7);
  other.InsertRecord();
  EXPECT_EQ(View(*cursor_), OneByOne("Score = 7"));
  EXPECT_EQ(cursor_->RecordCount(), OneByOne("Score = 7").size());
}

TEST_F(FilterTest, FilterErrors) {
  EXPECT_EQ(ErrorCodeOf([&] { AddFilter(*cursor_, "Score + 1"); }), STRATA_INVALIDFILTER);
  try {
    AddFilter(*cursor_, "Score + 1");
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Strata Engine Error # 10051 Filter error for the table 'Stock' - filter expression "
              "must be a boolean expression");
  }
  try {
    AddFilter(*cursor_, "Nope = 1");
    FAIL();
  } catch (const EStrataEngineError& error) {
    EXPECT_EQ(error.Code, STRATA_INVALIDFILTER);
    EXPECT_EQ(error.ContextDetail,
              "Invalid column name 'Nope' or table correlation name '' specified in filter "
              "expression");
  }
  EXPECT_EQ(ErrorCodeOf([&] { AddFilter(*cursor_, "Score = 'x"); }), STRATA_INVALIDFILTER);
  EXPECT_EQ(ErrorCodeOf([&] { AddFilter(*cursor_, "Score = 1 )"); }), STRATA_INVALIDFILTER);
  EXPECT_EQ(ErrorCodeOf([&] { AddFilter(*cursor_, ""); }), STRATA_INVALIDFILTER);
  TFilter* first = AddFilter(*cursor_, "Score = 1");
  EXPECT_EQ(ErrorCodeOf([&] { ActivateFilter(*cursor_, nullptr); }), STRATA_NOSUCHFILTER);
  DropFilter(*cursor_, first);
  EXPECT_EQ(ErrorCodeOf([&] { DropFilter(*cursor_, first); }), STRATA_NOSUCHFILTER);
  TDataCursor fresh(env_.directory);
  fresh.Open("Stock");
  EXPECT_EQ(ErrorCodeOf([&] { DeactivateFilter(fresh, first); }), STRATA_NOSUCHFILTER);
  for (size_t i = 0; i < kMaxFilters; ++i) AddFilter(*cursor_, "Score = " + std::to_string(i));
  EXPECT_EQ(ErrorCodeOf([&] { AddFilter(*cursor_, "Score = 99"); }), STRATA_INTERNALLIMIT);
}

TEST_F(FilterTest, AnExclusiveTableIsFilteredRecordByRecord) {
  cursor_->Close();
  cursor_->Open("Stock", {.Exclusive = true});
  TFilter* filter = AddFilter(*cursor_, "Score BETWEEN 1 AND 9 AND Name LIKE '%e'");
  ActivateFilter(*cursor_, filter);
  std::set<uint32_t> view = View(*cursor_);
  const uint32_t count = cursor_->RecordCount();
  cursor_->Close();
  EXPECT_EQ(view, OneByOne("Score BETWEEN 1 AND 9 AND Name LIKE '%e'"));
  EXPECT_EQ(count, view.size());
}

}  // namespace
}  // namespace strata::testing
