// TStrataDBDataSet: a dataset bound by name to a database (DatabaseName)
// of a session (SessionName). While attached it is in its database's list
// of datasets, so that the database, disconnecting, closes it; it holds the
// database's directory object through its cursors and statement only.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "sql/query/strata_dataset.h"
#include "storage/session/strata_database.h"

namespace strata {

class TDataDirectory;
class TStrataSession;

class TStrataDBDataSet : public TStrataDataSet, private TDataSetLink {
 public:
  TStrataDBDataSet();
  ~TStrataDBDataSet() override;  // detaches

  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(std::string_view name);
  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(std::string_view name);

  // The database attached to (nullptr when detached).
  TStrataDatabase* Database() const { return database_; }

 protected:
  // Finds the session (EDatabaseError "Session name %s is not valid." when
  // none has the name), starts it, connects the database of DatabaseName in
  // it and attaches; nothing when attached already.
  TStrataDatabase& AttachDatabase();
  void DetachDatabase() noexcept;
  TStrataSession& Session() const;
  // The database is going away: what the dataset must let go of.
  virtual void ReleaseForDatabase() noexcept;
  // SessionName or DatabaseName changed (while closed): let go of what was
  // bound to the old database.
  virtual void BindingChanged() noexcept;

 private:
  void CloseForDatabase() override;

  std::string session_name_;
  std::string database_name_;
  TStrataDatabase* database_ = nullptr;
};

}  // namespace strata
