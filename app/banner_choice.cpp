// Which banners may be shown and what a shown one costs: the blocking sweep,
// the random choice among a page's candidates (SetBanner) and the counting of
// an impression against its owner's credit (CountImpression).
#include <exception>

#include "app/mk_html.h"
#include "app/random_choice.h"
#include "app/statement_texts.h"
#include "app/web_module1.h"
#include "platform/clock.h"
#include "sql/query/fields.h"
#include "sql/query/strata_query.h"

namespace banner {

// Blocks the banners of every owner whose credit lies between -69 and 0.
void TWebModule1::BlockingSweep() { ExecuteStatement(BlockingSweepText()); }

// Chooses among the unblocked banners not linked to the referring page,
// fewest impressions first, and appends the chosen one's GIF to the image.
// Without a candidate nothing is appended and banner and owner stay 0. A
// failure is logged here; the caller goes on with what was reached.
void TWebModule1::SetBanner() {
  try {
    query_->SQL().Clear();
    query_->SQL().Add(LinkLookupText(referer_));
    query_->Open();
    query_->First();
    const int32_t link_id = query_->RecordCount() > 0 ? query_->Fields(0).AsInteger() : 0;

    OpenStatement(CandidateQueryText(link_id));
    query_->First();
    TRandomSource random = TRandomSource::FromTimeOfDay(platform::UtcNow());
    query_->MoveBy(ChooseCandidate(random, query_->RecordCount()));
    AppendBlob(query_->Fields(1));
    banner_id_ = query_->Fields(0).AsInteger();
    owner_id_ = query_->Fields(3).AsInteger();
  } catch (const std::exception& error) {
    LogError(std::string("SetBanner ") + error.what());
  }
}

// One more impression of the served banner; its owner's credit falls by one
// while it is above 0 (the condition keeps concurrent debits from going
// below it).
void TWebModule1::CountImpression() {
  ExecuteStatement(ImpressionCountText(banner_id_));
  query_->SQL().Clear();
  query_->SQL().Add(CreditDebitText(owner_id_));
  query_->ExecSQL();
}

}  // namespace banner
