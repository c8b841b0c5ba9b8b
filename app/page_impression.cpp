// WebActionVisitor: the banner of a page slot. A visit sees the same banner
// again on a label where it has seen one; otherwise SetBanner chooses one.
// A served banner is counted (CountImpression) and so is the page view
// (CountPageView); without a banner the not-found image goes out and the
// label is marked as served without one.
#include <exception>

#include "app/image_response.h"
#include "app/mk_html.h"
#include "app/statement_texts.h"
#include "app/web_module1.h"
#include "platform/letter_case.h"
#include "sql/query/fields.h"
#include "sql/query/strata_query.h"

namespace banner {
namespace {

// A banner image shorter than this is taken as missing.
constexpr int64_t kLeastBannerSize = 10;

}  // namespace

void TWebModule1::WebModule1WebActionVisitorAction(cgi::TObject*, cgi::TWebRequest&,
                                                   cgi::TWebResponse&, bool&) {
  try {
    const std::string site = fields_->Values("Site");
    OpenStatement(PageImpressionLookupText(site, visitor_id_));
    page_impression_found_ = query_->RecordCount() > 0;
    if (page_impression_found_) banner_id_ = query_->Fields(0).AsInteger();
    ResetQuery();
    if (page_impression_found_) {
      OpenStatement(BannerFetchText(banner_id_));
      query_->First();
      if (query_->RecordCount() > 0) AppendBlob(query_->Fields(0));
      owner_id_ = query_->Fields(2).AsInteger();
      query_->SQL().Clear();
      query_->SQL().Add(PageImpressionTouchText(PastTimeString(0), site, visitor_id_));
      query_->ExecSQL();
    } else {
      SetBanner();
      ExecuteStatement(PageImpressionInsertText(visitor_id_, site, PastTimeString(0), banner_id_));
    }
    ResetQuery();
    if (image_->Size() >= kLeastBannerSize) {
      CountImpression();
      CountPageView();
    } else {
      LoadImageFile(*image_, NotFoundImagePath());
      ExecuteStatement(PageImpressionResetText(site, visitor_id_));
    }
  } catch (const std::exception& error) {
    LogError(std::string("VisitorAction ") + error.what());
  }
}

// Counts a view of the referring page on the site key (the label
// lower-cased): a new Pages row, or one more count, and one more valid view
// when the previous counted view lies less than 90 minutes back. The update
// is one text of two statements, executed together.
void TWebModule1::CountPageView() {
  const std::string site_key = platform::AsciiLowerCase(fields_->Values("site"));
  OpenStatement(PageLookupText(referer_, site_key));
  if (query_->RecordCount() == 0) {
    SetStatement(PageInsertText(PastTimeString(0), site_key, referer_));
  } else {
    const std::string page_id = query_->Fields(0).AsString();
    SetStatement(PageUpdateLine1(page_id, PastTimeString(90)));
    query_->SQL().Add(PageUpdateLine2(PastTimeString(0), page_id));
  }
  query_->ExecSQL();
}

}  // namespace banner
