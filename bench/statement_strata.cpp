#include "bench/statement_strata.h"

#include <filesystem>
#include <span>

#include "app/statement_texts.h"
#include "sql/exec/query_statement.h"
#include "sql/exec/strata_executor.h"
#include "storage/cursor/data_cursor.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"

namespace bench {
namespace {

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

const std::string kNowText(kNow);
const std::string kPast90Text(kPast90);
const std::string kPast2Text(kPast2);

}  // namespace

TStrataStatements::TStrataStatements(const std::string& folder, const std::string& schema,
                                     const TStatementWorkload& work)
    : work_(work) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder + "/temp");
  session_ = strata::TDataSession::Create();
  session_->SetPrivateDirectory(folder + "/temp");
  directory_ = session_->OpenDirectory("BannerDB", folder);
  executor_ = strata::MakeStatementExecutor(directory_);
  query_ = std::make_unique<strata::TQueryStatement>(*executor_);
  query_->PrepareStatement(schema);
  query_->ExecuteStatements();
  Fill();
}

TStrataStatements::~TStrataStatements() = default;

void TStrataStatements::Fill() {
  // One transaction per table: the rows arrive as an import would bring them.
  auto fill = [&](const char* table, int rows, auto&& put) {
    strata::TDataCursor cursor(directory_);
    cursor.Open(table);
    directory_->StartTransaction();
    try {
      for (int row = 1; row <= rows; ++row) {
        cursor.InitRecord();
        put(cursor, row);
        cursor.InsertRecord();
      }
    } catch (...) {
      directory_->Rollback();
      throw;
    }
    directory_->Commit();
  };
  const TStatementWorkload& w = work_;
  fill("User", kUsers, [](strata::TDataCursor& c, int row) {
    c.PutFieldText("ID", std::to_string(row));
    c.PutFieldText("Name", "Advertiser " + std::to_string(row));
    c.PutFieldText("Impresskto", "100000000");
  });
  fill("Links", kBanners, [](strata::TDataCursor& c, int row) {
    c.PutFieldText("id", std::to_string(row));
    c.PutFieldText("Link", TStatementWorkload::LinkAddress(row));
  });
  fill("Banner", kBanners, [](strata::TDataCursor& c, int row) {
    c.PutFieldText("ID", std::to_string(row));
    c.SetBlob(c.FieldNumber("Banner"), Bytes(TStatementWorkload::BannerGif(row)));
    c.PutFieldText("Link", std::to_string(TStatementWorkload::BannerLink(row)));
    c.PutFieldText("User", std::to_string(TStatementWorkload::BannerOwner(row)));
    c.PutFieldText("Blocked", "FALSE");
    c.PutFieldText("impress", "0");
  });
  fill("Visitor", w.Visitors, [&](strata::TDataCursor& c, int row) {
    c.PutFieldText("request", w.VisitorKey(row));
    c.PutFieldText("LastReq", w.VisitorTime(row));
    c.PutFieldText("SiteNo", "1");
    c.PutFieldText("LastKenn", TStatementWorkload::Label(row));
  });
  fill("PageImpress", w.Visitors, [&](strata::TDataCursor& c, int row) {
    c.PutFieldText("Visitor", std::to_string(row));
    c.PutFieldText("Label", TStatementWorkload::Label(row));
    c.PutFieldText("Time", w.VisitorTime(row));
    c.PutFieldText("BannerID", std::to_string(TStatementWorkload::Banner(row)));
  });
  fill("Pages", w.Visitors, [&](strata::TDataCursor& c, int row) {
    c.PutFieldText("Page", w.PageAddress(row));
    c.PutFieldText("Nr", TStatementWorkload::Label(row));
    c.PutFieldText("Time", w.VisitorTime(row));
    c.PutFieldText("valid", "1");
    c.PutFieldText("count", "1");
  });
}

int64_t TStrataStatements::Open(const std::string& text, bool last) {
  query_->PrepareStatement(text);
  std::unique_ptr<strata::TDataCursor> result = query_->ExecuteStatements();
  const int64_t rows = result->RecordCount();
  if (last) {
    result->Last();
    if (result->MovePrior()) last_value_ = result->GetFieldInt64(1).value_or(0);
  } else {
    result->First();
    if (result->MoveNext()) last_value_ = result->GetFieldInt64(1).value_or(0);
  }
  return rows;
}

int64_t TStrataStatements::CandidateQuery(int i) {
  // As the banner choice reads it: the count, then one row's number, GIF
  // and owner.
  query_->PrepareStatement(
      banner::CandidateQueryText(TStatementWorkload::BannerLink(i % kBanners + 1)));
  std::unique_ptr<strata::TDataCursor> result = query_->ExecuteStatements();
  const uint32_t rows = result->RecordCount();
  if (rows > 0) {
    result->SetRecordNumber(static_cast<uint32_t>(i) % rows + 1);
    last_value_ = result->GetFieldInt64(1).value_or(0);
    if (result->ReadBlob(2).empty()) throw std::runtime_error("candidate without its GIF");
    result->GetFieldInt64(4);
  }
  return rows;
}

int64_t TStrataStatements::Execute(const std::string& text) {
  query_->PrepareStatement(text);
  query_->ExecuteStatements();
  return query_->RowsAffected();
}

int64_t TStrataStatements::Run(TStatementCase statement, int i) {
  const TStatementWorkload& w = work_;
  const int visitor = w.ExistingVisitor(i);
  const int page = w.ExistingPage(i);
  switch (statement) {
    case TStatementCase::kVisitorLookup:
      return Open(banner::VisitorLookupText(w.VisitorKey(visitor), kPast90Text));
    case TStatementCase::kVisitorUpdate:
      return Execute(banner::VisitorUpdateText(kNowText, "top", visitor));
    case TStatementCase::kVisitorInsert:
      return Execute(banner::VisitorInsertText(kNowText, w.NewVisitorKey(i), "top"));
    case TStatementCase::kVisitorReread:
      return Open(banner::VisitorRereadText(w.NewVisitorKey(i), kPast2Text), /*last=*/true);
    case TStatementCase::kPageImpressionLookup:
      return Open(banner::PageImpressionLookupText(TStatementWorkload::Label(visitor), visitor));
    case TStatementCase::kPageImpressionTouch:
      return Execute(
          banner::PageImpressionTouchText(kNowText, TStatementWorkload::Label(visitor), visitor));
    case TStatementCase::kPageImpressionInsert:
      return Execute(banner::PageImpressionInsertText(w.NewVisitor(i), "top", kNowText,
                                                      TStatementWorkload::Banner(i)));
    case TStatementCase::kPageLookup:
      return Open(banner::PageLookupText(w.PageAddress(page), TStatementWorkload::Label(page)));
    case TStatementCase::kPageUpdatePair: {
      const std::string id = std::to_string(page);
      return Execute(banner::PageUpdateLine1(id, kPast90Text) + "\r\n" +
                     banner::PageUpdateLine2(kNowText, id));
    }
    case TStatementCase::kBlockingSweep:
      return Execute(banner::BlockingSweepText());
    case TStatementCase::kCandidateQuery:
      return CandidateQuery(i);
    case TStatementCase::kImpressionCount:
      return Execute(banner::ImpressionCountText(TStatementWorkload::Banner(i)));
    case TStatementCase::kCreditDebit:
      return Execute(
          banner::CreditDebitText(TStatementWorkload::BannerOwner(TStatementWorkload::Banner(i))));
  }
  return 0;
}

}  // namespace bench
