// The visitor step (which visit a request belongs to) and the visitor purge
// (visits idle for 90 minutes end).
#include "app/mk_html.h"
#include "app/statement_texts.h"
#include "app/web_module1.h"
#include "sql/query/fields.h"
#include "sql/query/strata_query.h"

namespace banner {

// Finds the current visit of the visitor key and extends it, or opens a new
// one and reads its id back. The lookup keeps visits later than 90 minutes
// ago; a new visit is found again among the key's rows of the last 2
// minutes, the last of them taken (another process may have added one too).
void TWebModule1::VisitorStep() {
  OpenStatement(VisitorLookupText(visitor_key_, PastTimeString(90)));
  visitor_found_ = query_->RecordCount() > 0;
  if (visitor_found_) visitor_id_ = query_->Fields(0).AsInteger();
  ResetQuery();
  const std::string site = fields_->Values("Site");
  if (visitor_found_) {
    ExecuteStatement(VisitorUpdateText(PastTimeString(0), site, visitor_id_));
  } else {
    ExecuteStatement(VisitorInsertText(PastTimeString(0), visitor_key_, site));
    OpenStatement(VisitorRereadText(visitor_key_, PastTimeString(2)));
    query_->Last();
    visitor_id_ = query_->Fields(0).AsInteger();
  }
  ResetQuery();
}

// Deletes the visits whose latest request lies more than 90 minutes back.
// The statement is prepared explicitly, then executed.
void TWebModule1::VisitorPurge() {
  query_->SQL().Clear();
  query_->SQL().Add(VisitorPurgeText(PastTimeString(90)));
  query_->Prepare();
  query_->ExecSQL();
}

}  // namespace banner
