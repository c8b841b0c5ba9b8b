// TWebModule1: the banner service's one web module. It owns the database
// components through which every statement runs (StrataSession,
// StrataDatabase and the query StrataOperativ1), its three action items and
// the state of the one request the process serves.
//
// Per request, in this order:
//   WebModuleBeforeDispatch  fields (posted or query), ".req" recording or
//                            INJECTMODE replay, reconnect to "Bannerdata",
//                            blocking sweep, visitor step, choice of action
//                            (or the not-found answer, sent at once)
//   one action handler       WebActionIndex, WebActionSessionID or the
//                            default WebActionVisitor fills the image
//   WebModuleAfterDispatch   trailer byte, send as "image/gif", visitor purge
//
// Always holds: every statement is sent through StrataOperativ1 after the
// query was reset (closed, its text cleared); request values reach a
// statement only inside a quoted literal with its quotes doubled, or as a
// decimal number; a database failure is logged with its handler's prefix and
// never reaches the client, who always gets an image plus the trailer byte.
//
// The handlers are spread over files by the part of the service they serve:
//   web_module1.cpp      the stored form, before and after dispatch
//   visitor_step.cpp     the visitor step and the visitor purge
//   banner_choice.cpp    the blocking sweep, SetBanner, CountImpression
//   page_impression.cpp  WebActionVisitor's handler and CountPageView
//   banner_index.cpp     WebActionIndex's handler
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cgi/stream.h"
#include "cgi/string_list.h"
#include "cgi/web_dispatcher.h"

namespace strata {
class TField;
class TStrataDatabase;
class TStrataQuery;
class TStrataSession;
}  // namespace strata

namespace banner {

class TWebModule1 : public cgi::TWebModule {
 public:
  explicit TWebModule1(cgi::TComponent* owner);
  ~TWebModule1() override;

  // The components of the stored form.
  strata::TStrataSession& StrataSession() const { return *session_; }
  strata::TStrataDatabase& StrataDatabase() const { return *database_; }
  strata::TStrataQuery& StrataOperativ1() const { return *query_; }

  // The handlers (THTTPMethodEvent), bound by the stored form.
  void WebModuleBeforeDispatch(cgi::TObject* Sender, cgi::TWebRequest& Request,
                               cgi::TWebResponse& Response, bool& Handled);
  void WebModuleAfterDispatch(cgi::TObject* Sender, cgi::TWebRequest& Request,
                              cgi::TWebResponse& Response, bool& Handled);
  void WebModule1WebActionItemIndex(cgi::TObject* Sender, cgi::TWebRequest& Request,
                                    cgi::TWebResponse& Response, bool& Handled);
  void WebModule1WebActionSessionIDAction(cgi::TObject* Sender, cgi::TWebRequest& Request,
                                          cgi::TWebResponse& Response, bool& Handled);
  void WebModule1WebActionVisitorAction(cgi::TObject* Sender, cgi::TWebRequest& Request,
                                        cgi::TWebResponse& Response, bool& Handled);

 protected:
  void DefineComponents() override;

 private:
  // web_module1.cpp
  void ResetQuery();
  // Closes the query and replaces its text by one statement.
  void SetStatement(const std::string& text);
  void OpenStatement(const std::string& text);
  void ExecuteStatement(const std::string& text);
  // Appends the whole blob of `field` in the current row to the image.
  void AppendBlob(strata::TField& field);
  void ReconnectDatabase();
  void ChooseAction(cgi::TWebResponse& response, bool& handled);
  // visitor_step.cpp
  void VisitorStep();
  void VisitorPurge();
  // banner_choice.cpp
  void BlockingSweep();
  void SetBanner();
  void CountImpression();
  // page_impression.cpp
  void CountPageView();

  std::unique_ptr<strata::TStrataSession> session_;
  std::unique_ptr<strata::TStrataDatabase> database_;
  std::unique_ptr<strata::TStrataQuery> query_;

  // The request's state, reset by WebModuleBeforeDispatch.
  uint8_t trailer_ = 0;
  std::unique_ptr<cgi::TStringList> fields_;
  std::string visitor_key_;
  std::unique_ptr<cgi::TMemoryStream> image_;  // until handed to the response
  bool visitor_found_ = false;
  bool page_impression_found_ = false;
  int32_t visitor_id_ = 0;
  int32_t banner_id_ = 0;
  int32_t owner_id_ = 0;
  std::string referer_;  // lower-cased
};

}  // namespace banner
