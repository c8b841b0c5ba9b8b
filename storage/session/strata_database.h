// TStrataDatabase: the database component. It names a directory of table
// files and, while connected, holds the engine directory object for it
// (shared with every other database of the session naming the same path).
// Datasets attach to it through TDataSetLink and are closed when it
// disconnects. Connecting starts its session; a failure leaves it
// disconnected.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace strata {

class TDataDirectory;
class TStrataSession;

// A dataset's attachment to its database.
class TDataSetLink {
 public:
  virtual ~TDataSetLink() = default;
  // The database is disconnecting: close the dataset (it detaches itself or
  // is detached afterwards).
  virtual void CloseForDatabase() = 0;
};

class TStrataDatabase {
 public:
  TStrataDatabase();
  ~TStrataDatabase();  // disconnects
  TStrataDatabase(const TStrataDatabase&) = delete;
  TStrataDatabase& operator=(const TStrataDatabase&) = delete;

  // Published properties ----------------------------------------------------
  bool Connected() const { return connected_; }
  // Deferred until EndLoading when set while loading.
  void SetConnected(bool connected);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  const std::string& DatabaseName() const { return database_name_; }
  // Only while disconnected; ':' or '\' make it invalid.
  void SetDatabaseName(std::string_view value);
  // Empty: the process's current directory. Only while disconnected.
  const std::string& Directory() const { return directory_; }
  void SetDirectory(std::string_view value);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(std::string_view value);
  bool KeepConnection() const { return keep_connection_; }
  void SetKeepConnection(bool value) { keep_connection_ = value; }
  bool HandleShared() const { return handle_shared_; }
  void SetHandleShared(bool value) { handle_shared_ = value; }
  const std::string& RemoteDatabase() const { return remote_database_; }
  void SetRemoteDatabase(std::string_view value) { remote_database_ = value; }
  // Always "3.15"; setting it does nothing.
  std::string EngineVersion() const;
  void SetEngineVersion(std::string_view) {}

  std::function<void(TStrataDatabase& sender)> BeforeConnect;

  void BeginLoading();
  void EndLoading();
  bool Loading() const { return loading_; }

  // Created by its session for a name no database component carries.
  bool Temporary() const { return temporary_; }
  // The session it is connected through (nullptr while disconnected).
  TStrataSession* Session() const { return session_; }
  // The engine directory object; 'Cannot perform this operation on a closed
  // database.' while disconnected.
  TDataDirectory& Handle() const;
  std::shared_ptr<TDataDirectory> SharedHandle() const { return directory_object_; }

  // Datasets ---------------------------------------------------------------
  void AttachDataSet(TDataSetLink* dataset);
  // Detaching the last dataset disconnects a database without KeepConnection.
  void DetachDataSet(TDataSetLink* dataset);
  size_t DataSetCount() const { return datasets_.size(); }
  void CloseDataSets();

  // Transactions over every table open in the directory --------------------
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const;

 private:
  friend class TStrataSession;
  void Connect();
  void Disconnect();
  void CheckInactive() const;
  void CheckActive() const;

  bool connected_ = false;
  bool loading_ = false;
  bool stream_connected_ = false;
  bool temporary_ = false;
  bool disconnecting_ = false;
  bool keep_connection_ = true;
  bool handle_shared_ = false;
  std::string database_name_;
  std::string directory_;
  std::string session_name_;
  std::string remote_database_;
  TStrataSession* session_ = nullptr;
  std::shared_ptr<TDataDirectory> directory_object_;
  std::vector<TDataSetLink*> datasets_;
};

}  // namespace strata
