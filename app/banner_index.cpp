// WebActionIndex: one banner by its number, read only. Without the field
// nocount a blocked banner is refused; with it any banner is served.
#include <exception>

#include "app/image_response.h"
#include "app/mk_html.h"
#include "app/request_fields.h"
#include "app/statement_texts.h"
#include "app/web_module1.h"
#include "cgi/errors.h"
#include "platform/windows1252.h"
#include "sql/query/fields.h"
#include "sql/query/strata_query.h"

using namespace platform::literals;

namespace banner {

void TWebModule1::WebModule1WebActionItemIndex(cgi::TObject*, cgi::TWebRequest&, cgi::TWebResponse&,
                                               bool&) {
  try {
    ResetQuery();
    // The number goes into the statement bare: anything but a decimal
    // integer is refused before a statement is built.
    const std::string index = fields_->Values("Index");
    if (!IsIndexValue(index)) {
      throw cgi::EConvertError("'" + index + "' ist kein gültiger Integerwert"_w1252);
    }
    query_->SQL().Add(FieldPresent(*fields_, "nocount") ? BannerByIndexAnyStateText(index)
                                                        : BannerByIndexText(index));
    query_->Open();
    if (query_->RecordCount() == 0) {
      LoadImageFile(*image_, NotFoundImagePath());
      banner_id_ = 0;
    } else {
      AppendBlob(query_->Fields(0));
      banner_id_ = query_->Fields(1).AsInteger();
    }
  } catch (const std::exception& error) {
    LogError(std::string("Itemindex  ") + error.what());
  }
}

}  // namespace banner
