#include "app/web_module1.h"

#include <exception>

#include "app/exe_files.h"
#include "app/image_response.h"
#include "app/mk_html.h"
#include "app/request_fields.h"
#include "app/statement_texts.h"
#include "app/visitor_key.h"
#include "cgi/errors.h"
#include "cgi/post_content.h"
#include "cgi/web_response.h"
#include "platform/letter_case.h"
#include "platform/process.h"
#include "sql/query/fields.h"
#include "sql/query/strata_query.h"
#include "storage/session/strata_database.h"
#include "storage/session/strata_session.h"

namespace banner {

TWebModule1::TWebModule1(cgi::TComponent* owner) : cgi::TWebModule(owner) {}

TWebModule1::~TWebModule1() = default;

// The stored form: the components with their settings, the action items in
// their order (all disabled, no path, any method; the last is the default)
// and the handlers bound to them. The components are created inactive: the
// database step connects them to the folder beside the executable.
void TWebModule1::DefineComponents() {
  session_ = std::make_unique<strata::TStrataSession>();
  session_->SetSessionName("BannerSession");
  session_->SetSessionType(strata::stLocal);
  session_->SetLockRetryCount(15);
  session_->SetLockWaitTime(100);
  session_->SetLockProtocol(strata::lpPessimistic);
  session_->SetProgressSteps(20);
  // A request lives milliseconds and closes its database at the end: the
  // tables it reuses between statements may stay in use meanwhile.
  session_->SetHoldIdleTables(true);

  database_ = std::make_unique<strata::TStrataDatabase>();
  database_->SetDatabaseName("BannerDB");
  database_->SetSessionName("BannerSession");

  query_ = std::make_unique<strata::TStrataQuery>();
  query_->SetDatabaseName("BannerDB");
  query_->SetSessionName("BannerSession");
  query_->SetMaxRowCount(-1);

  struct Item {
    const char* name;
    void (TWebModule1::*handler)(cgi::TObject*, cgi::TWebRequest&, cgi::TWebResponse&, bool&);
    bool is_default;
  };
  // clang-format off
  static constexpr Item kItems[] = {
      {"WebActionIndex",     &TWebModule1::WebModule1WebActionItemIndex,       false},
      {"WebActionSessionID", &TWebModule1::WebModule1WebActionSessionIDAction, false},
      {"WebActionVisitor",   &TWebModule1::WebModule1WebActionVisitorAction,   true},
  };
  // clang-format on
  for (const Item& stored : kItems) {
    cgi::TWebActionItem& item = Actions().Add();
    item.SetName(stored.name);
    item.SetEnabled(false);
    item.SetMethodType(cgi::mtAny);
    item.SetDefault(stored.is_default);
    item.SetOnAction([this, handler = stored.handler](cgi::TObject* sender,
                                                      cgi::TWebRequest& request,
                                                      cgi::TWebResponse& response, bool& handled) {
      (this->*handler)(sender, request, response, handled);
    });
  }
  SetBeforeDispatch(
      [this](cgi::TObject* sender, cgi::TWebRequest& request, cgi::TWebResponse& response,
             bool& handled) { WebModuleBeforeDispatch(sender, request, response, handled); });
  SetAfterDispatch(
      [this](cgi::TObject* sender, cgi::TWebRequest& request, cgi::TWebResponse& response,
             bool& handled) { WebModuleAfterDispatch(sender, request, response, handled); });
}

// ----- the query ------------------------------------------------------------

void TWebModule1::ResetQuery() {
  query_->Close();
  query_->SQL().Clear();
}

void TWebModule1::SetStatement(const std::string& text) {
  ResetQuery();
  query_->SQL().Add(text);
}

void TWebModule1::OpenStatement(const std::string& text) {
  SetStatement(text);
  query_->Open();
}

void TWebModule1::ExecuteStatement(const std::string& text) {
  SetStatement(text);
  query_->ExecSQL();
}

void TWebModule1::AppendBlob(strata::TField& field) {
  auto* blob = dynamic_cast<strata::TBlobField*>(&field);
  if (blob == nullptr) {
    throw cgi::EConvertError("Feld '" + field.FieldName() + "' ist kein BLOB-Feld");
  }
  std::string bytes;
  blob->SaveToStream(bytes);
  image_->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// Closes both components and opens them again on the folders beside the
// executable, so that the data always follows the program's location.
void TWebModule1::ReconnectDatabase() {
  if (database_->Connected()) database_->Close();
  session_->SetActive(false);
  database_->SetDirectory(BesideExecutable("Bannerdata/"));
  session_->SetPrivateDir(BesideExecutable("Bannerdata/temp/"));
  session_->SetActive(true);
  database_->Open();
}

// ----- before dispatch ------------------------------------------------------

void TWebModule1::WebModuleBeforeDispatch(cgi::TObject*, cgi::TWebRequest& Request,
                                          cgi::TWebResponse& Response, bool& Handled) {
  fields_ = std::make_unique<cgi::TStringList>();
  image_ = std::make_unique<cgi::TMemoryStream>();
  visitor_id_ = 0;
  banner_id_ = 0;
  owner_id_ = 0;
  visitor_key_ = VisitorKey(Request.RemoteAddr(), Request.UserAgent());
  referer_ = platform::AsciiLowerCase(Request.Referer());

  bool posted = false;
  if (platform::AsciiUpperCase(Request.Method()) == "POST") {
    posted = cgi::ParsePostedContent(Request, *fields_, BesideExecutable("upload"));
  }
  if (!posted) CopyThroughText(Request.QueryFieldList(), *fields_);

  const std::string recording = ExecutableWithExtension(".req");
  if (IsInjectMode(platform::FirstArgument())) {
    ReadRecording(recording, *fields_);
  } else {
    WriteRecording(recording, *fields_);
  }

  try {
    trailer_ = 0;
    ReconnectDatabase();
    ResetQuery();
    BlockingSweep();
    ResetQuery();
    VisitorStep();
    ResetQuery();
    ChooseAction(Response, Handled);
  } catch (const std::exception& error) {
    LogError(std::string("BeforeDispatch ") + error.what());
  }
}

// Enables the action of the first field present; without any of them the
// not-found image is sent at once (no action and no after-dispatch follow).
void TWebModule1::ChooseAction(cgi::TWebResponse& response, bool& handled) {
  switch (KindOfRequest(*fields_)) {
    case TRequestKind::kSessionID:
      Actions().Find("WebActionSessionID")->SetEnabled(true);
      break;
    case TRequestKind::kIndex:
      Actions().Find("WebActionIndex")->SetEnabled(true);
      break;
    case TRequestKind::kVisitor:
      Actions().Find("WebActionVisitor")->SetEnabled(true);
      break;
    case TRequestKind::kNotFound:
      LoadImageFile(*image_, NotFoundImagePath());
      AppendTrailer(*image_, trailer_);
      SendImage(response, std::move(image_));
      handled = true;
      break;
  }
}

// ----- the session action ---------------------------------------------------

// A request with a SessionID gets an empty image: the trailer byte alone.
void TWebModule1::WebModule1WebActionSessionIDAction(cgi::TObject*, cgi::TWebRequest&,
                                                     cgi::TWebResponse&, bool&) {}

// ----- after dispatch -------------------------------------------------------

void TWebModule1::WebModuleAfterDispatch(cgi::TObject*, cgi::TWebRequest&,
                                         cgi::TWebResponse& Response, bool& Handled) {
  try {
    if (image_ == nullptr) image_ = std::make_unique<cgi::TMemoryStream>();
    AppendTrailer(*image_, trailer_);
    SendImage(Response, std::move(image_));
    Handled = true;
    // The client has its image; the purge is work of the server alone.
    query_->SQL().Clear();
    VisitorPurge();
    ResetQuery();
  } catch (const std::exception& error) {
    LogError(std::string("AfterDispatch ") + error.what());
  }
  fields_.reset();
}

}  // namespace banner
