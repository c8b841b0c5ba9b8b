#include "storage/engine_error.h"

#include <cerrno>
#include <mutex>

namespace strata {
namespace {

// Where a message's placeholders take their text from, in order.
enum class Slot { kTable, kField, kIndex, kDetail };

struct CodeEntry {
  uint16_t code;
  const char* name;
  const char* text;  // nullptr for codes that carry no local message
  std::initializer_list<Slot> slots;
};

const CodeEntry kCodes[] = {
    {STRATA_BOF, "STRATA_BOF", "Beginning of table '%s' unexpectedly encountered", {Slot::kTable}},
    {STRATA_EOF, "STRATA_EOF", "End of table '%s' unexpectedly encountered", {Slot::kTable}},
    {STRATA_KEYORRECDELETED,
     "STRATA_KEYORRECDELETED",
     "Record has been changed or deleted by another user, session, or table cursor in the table "
     "'%s'",
     {Slot::kTable}},
    {STRATA_NOCURRREC, "STRATA_NOCURRREC", "No current record in the table '%s'", {Slot::kTable}},
    {STRATA_RECNOTFOUND,
     "STRATA_RECNOTFOUND",
     "Record not found in the table '%s'",
     {Slot::kTable}},
    {STRATA_ENDOFBLOB,
     "STRATA_ENDOFBLOB",
     "End of blob data in the table '%s' reached prematurely",
     {Slot::kTable}},
    {STRATA_HEADERCORRUPT,
     "STRATA_HEADERCORRUPT",
     "Header information corrupt in the table '%s'",
     {Slot::kTable}},
    {STRATA_FILECORRUPT,
     "STRATA_FILECORRUPT",
     "Data record buffers corrupt in the table '%s'",
     {Slot::kTable}},
    {STRATA_MEMOCORRUPT,
     "STRATA_MEMOCORRUPT",
     "BLOB block buffers corrupt in the table '%s'",
     {Slot::kTable}},
    {STRATA_INDEXCORRUPT,
     "STRATA_INDEXCORRUPT",
     "Index page buffers corrupt in the table '%s'",
     {Slot::kTable}},
    {STRATA_READERR, "STRATA_READERR", "Error reading from the table '%s'", {Slot::kTable}},
    {STRATA_WRITEERR, "STRATA_WRITEERR", "Error writing to the table '%s'", {Slot::kTable}},
    {STRATA_FILEDELETEFAIL,
     "STRATA_FILEDELETEFAIL",
     "Cannot delete the table '%s'",
     {Slot::kTable}},
    {STRATA_FILENOACCESS,
     "STRATA_FILENOACCESS",
     "Error accessing header information for the table '%s'",
     {Slot::kTable}},
    {STRATA_RECTOOBIG,
     "STRATA_RECTOOBIG",
     "Maximum record size exceeded in the table '%s'",
     {Slot::kTable}},
    {STRATA_TABLEFULL,
     "STRATA_TABLEFULL",
     "The table '%s' is full and cannot contain any more data",
     {Slot::kTable}},
    {STRATA_INTERNALLIMIT,
     "STRATA_INTERNALLIMIT",
     "Too many filters defined for the table '%s'",
     {Slot::kTable}},
    {STRATA_INDEXLIMIT,
     "STRATA_INDEXLIMIT",
     "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table "
     "'%s'",
     {Slot::kTable}},
    {STRATA_FLDLIMIT,
     "STRATA_FLDLIMIT",
     "Maximum or minimum limits on number of fields, auto-increment field value, or field size "
     "exceeded in the table '%s'",
     {Slot::kTable}},
    {STRATA_OPENBLOBLIMIT,
     "STRATA_OPENBLOBLIMIT",
     "Too many blobs opened in the table '%s'",
     {Slot::kTable}},
    {STRATA_BLOBLIMIT,
     "STRATA_BLOBLIMIT",
     "Too many blob fields or invalid blob block size specified for the table '%s'",
     {Slot::kTable}},
    {STRATA_KEYVIOL,
     "STRATA_KEYVIOL",
     "Duplicate key found in the index '%s' of the table '%s'",
     {Slot::kIndex, Slot::kTable}},
    {STRATA_MINVALERR,
     "STRATA_MINVALERR",
     "The value for the field '%s' in the table '%s' is below the minimum allowable value",
     {Slot::kField, Slot::kTable}},
    {STRATA_MAXVALERR,
     "STRATA_MAXVALERR",
     "The value for the field '%s' in the table '%s' is above the maximum allowable value",
     {Slot::kField, Slot::kTable}},
    {STRATA_REQDERR,
     "STRATA_REQDERR",
     "A value must be provided for the field '%s' in the table '%s'",
     {Slot::kField, Slot::kTable}},
    {STRATA_OUTOFRANGE,
     "STRATA_OUTOFRANGE",
     "Invalid field number or name '%s' specified for the table '%s'",
     {Slot::kField, Slot::kTable}},
    {STRATA_PRIMARYKEYREDEFINE,
     "STRATA_PRIMARYKEYREDEFINE",
     "A primary index is already defined for the table '%s' and cannot be added again",
     {Slot::kTable}},
    {STRATA_INVALIDBLOBOFFSET,
     "STRATA_INVALIDBLOBOFFSET",
     "Invalid blob offset into the table '%s' specified",
     {Slot::kTable}},
    {STRATA_INVALIDFLDTYPE,
     "STRATA_INVALIDFLDTYPE",
     "Invalid field definition specified for the field '%s' in the table '%s'",
     {Slot::kField, Slot::kTable}},
    {STRATA_INVALIDVCHKSTRUCT,
     "STRATA_INVALIDVCHKSTRUCT",
     "Invalid default, min or max validity check, or expression specified for the field '%s' in "
     "the table '%s'",
     {Slot::kField, Slot::kTable}},
    {STRATA_INDEXNAMEREQUIRED,
     "STRATA_INDEXNAMEREQUIRED",
     "The secondary index name is missing or not specified for the table '%s'",
     {Slot::kTable}},
    {STRATA_INVALIDPASSWORD,
     "STRATA_INVALIDPASSWORD",
     "Password provided for the table '%s' is invalid",
     {Slot::kTable}},
    {STRATA_INVALIDINDEXNAME,
     "STRATA_INVALIDINDEXNAME",
     "Invalid secondary index name '%s' specified for the table '%s'",
     {Slot::kIndex, Slot::kTable}},
    {STRATA_INVALIDIDXDESC,
     "STRATA_INVALIDIDXDESC",
     "Invalid field number '%s' specified in the index '%s' for the table '%s'",
     {Slot::kField, Slot::kIndex, Slot::kTable}},
    {STRATA_INVALIDKEY,
     "STRATA_INVALIDKEY",
     "Invalid key size specified in the index '%s' for the table '%s'",
     {Slot::kIndex, Slot::kTable}},
    {STRATA_INDEXEXISTS,
     "STRATA_INDEXEXISTS",
     "The secondary index '%s' already exists for the table '%s'",
     {Slot::kIndex, Slot::kTable}},
    {STRATA_INVALIDBLOBLEN,
     "STRATA_INVALIDBLOBLEN",
     "Invalid blob length in the table '%s'",
     {Slot::kTable}},
    {STRATA_INVALIDBLOBHANDLE,
     "STRATA_INVALIDBLOBHANDLE",
     "Invalid blob handle for the table '%s' specified",
     {Slot::kTable}},
    {STRATA_TABLEOPEN, "STRATA_TABLEOPEN", "The table '%s' is already in use", {Slot::kTable}},
    {STRATA_INVALIDFIELDNAME,
     "STRATA_INVALIDFIELDNAME",
     "Invalid or duplicate field name '%s' specified for the table '%s'",
     {Slot::kField, Slot::kTable}},
    {STRATA_NOSUCHFILTER,
     "STRATA_NOSUCHFILTER",
     "Invalid filter handle specified for the table '%s'",
     {Slot::kTable}},
    {STRATA_INVALIDFILTER,
     "STRATA_INVALIDFILTER",
     "Filter error for the table '%s' - %s",
     {Slot::kTable, Slot::kDetail}},
    {STRATA_INVALIDINDEXDELETE,
     "STRATA_INVALIDINDEXDELETE",
     "The primary index cannot be removed from the table '%s'",
     {Slot::kTable}},
    {STRATA_LOCKED,
     "STRATA_LOCKED",
     "The table '%s' is already locked by another user",
     {Slot::kTable}},
    {STRATA_UNLOCKFAILED,
     "STRATA_UNLOCKFAILED",
     "Cannot unlock table or record in the table '%s'",
     {Slot::kTable}},
    {STRATA_LOCKTIMEOUT,
     "STRATA_LOCKTIMEOUT",
     "General lock failure with the table '%s'",
     {Slot::kTable}},
    {STRATA_NEEDEXCLACCESS,
     "STRATA_NEEDEXCLACCESS",
     "The table '%s' must be opened exclusively",
     {Slot::kTable}},
    {STRATA_RECLOCKFAILED,
     "STRATA_RECLOCKFAILED",
     "Record in the table '%s' is in use by another user",
     {Slot::kTable}},
    {STRATA_NOTSUFFTABLERIGHTS,
     "STRATA_NOTSUFFTABLERIGHTS",
     "Insufficient rights to the table '%s', a password is required",
     {Slot::kTable}},
    {STRATA_NOTABLOB,
     "STRATA_NOTABLOB",
     "Invalid blob field '%s' specified for the table '%s'",
     {Slot::kField, Slot::kTable}},
    {STRATA_NOTINITIALIZED, "STRATA_NOTINITIALIZED", "The database engine is not initialized", {}},
    {STRATA_OSENOENT, "STRATA_OSENOENT", "Table '%s' does not exist", {Slot::kTable}},
    {STRATA_OSEMFILE,
     "STRATA_OSEMFILE",
     "Too many operating system files open while attempting to open the table '%s'",
     {Slot::kTable}},
    {STRATA_OSEACCES, "STRATA_OSEACCES", "Access denied to table '%s'", {Slot::kTable}},
    {STRATA_OSEBADF,
     "STRATA_OSEBADF",
     "Invalid operating system file handle for the table '%s'",
     {Slot::kTable}},
    {STRATA_OSENOMEM,
     "STRATA_OSENOMEM",
     "There is insufficient operating system memory available for the current operation",
     {}},
    {STRATA_OSEINVMEM,
     "STRATA_OSEINVMEM",
     "Invalid length for the in-memory table '%s'",
     {Slot::kTable}},
    {STRATA_OSENODEV,
     "STRATA_OSENODEV",
     "Access denied to logical operating system device for the table '%s'",
     {Slot::kTable}},
    {STRATA_OSENOTSAM, "STRATA_OSENOTSAM", "The table '%s' has been moved", {Slot::kTable}},
    {STRATA_OSUNKNOWN,
     "STRATA_OSUNKNOWN",
     "An unknown operating system error occurred with the table '%s'",
     {Slot::kTable}},
    {STRATA_IMPORTERROR,
     "STRATA_IMPORTERROR",
     "An error occurred during the import into the table '%s' - %s",
     {Slot::kTable, Slot::kDetail}},
    {STRATA_EXPORTERROR,
     "STRATA_EXPORTERROR",
     "An error occurred during the export from the table '%s' - %s",
     {Slot::kTable, Slot::kDetail}},
    {STRATA_SQLPARSE, "STRATA_SQLPARSE", "SQL error - %s", {Slot::kDetail}},
    {STRATA_OLDVERSION,
     "STRATA_OLDVERSION",
     "The table '%s' is not the correct version",
     {Slot::kTable}},
    {STRATA_SEARCHCOLREQD,
     "STRATA_SEARCHCOLREQD",
     "Invalid field '%s' specified for the index '%s' in the table '%s'",
     {Slot::kField, Slot::kIndex, Slot::kTable}},
    {STRATA_TABLEEXISTS, "STRATA_TABLEEXISTS", "The table '%s' already exists", {Slot::kTable}},
    {STRATA_COMPRESS, "STRATA_COMPRESS", "Error compressing data", {}},
    {STRATA_UNCOMPRESS, "STRATA_UNCOMPRESS", "Error uncompressing data", {}},
    {STRATA_CANNOTLOADLDDRV,
     "STRATA_CANNOTLOADLDDRV",
     "The language driver for the table '%s' is not available or installed",
     {Slot::kTable}},
    {STRATA_REMOTECOMMLOST, "STRATA_REMOTECOMMLOST", nullptr, {}},
    {STRATA_REMOTEUNKNOWN, "STRATA_REMOTEUNKNOWN", nullptr, {}},
    {STRATA_REMOTECONNECT, "STRATA_REMOTECONNECT", nullptr, {}},
    {STRATA_REMOTENOLOGIN, "STRATA_REMOTENOLOGIN", nullptr, {}},
    {STRATA_REMOTEMAXCONNECT, "STRATA_REMOTEMAXCONNECT", nullptr, {}},
    {STRATA_REMOTEADDRESSBLOCK, "STRATA_REMOTEADDRESSBLOCK", nullptr, {}},
    {STRATA_REMOTECALLBACK, "STRATA_REMOTECALLBACK", nullptr, {}},
    {STRATA_REMOTECALLBACKERR, "STRATA_REMOTECALLBACKERR", nullptr, {}},
    {STRATA_REMOTEVERSION, "STRATA_REMOTEVERSION", nullptr, {}},
    {STRATA_REMOTEINVLOGIN, "STRATA_REMOTEINVLOGIN", nullptr, {}},
    {STRATA_REMOTENOTAUTH, "STRATA_REMOTENOTAUTH", nullptr, {}},
    {STRATA_REMOTENOTADMIN, "STRATA_REMOTENOTADMIN", nullptr, {}},
    {STRATA_REMOTEINVUSER, "STRATA_REMOTEINVUSER", nullptr, {}},
    {STRATA_REMOTENOUSER, "STRATA_REMOTENOUSER", nullptr, {}},
    {STRATA_REMOTEDUPUSER, "STRATA_REMOTEDUPUSER", nullptr, {}},
    {STRATA_REMOTEINVDB, "STRATA_REMOTEINVDB", nullptr, {}},
    {STRATA_REMOTENODB, "STRATA_REMOTENODB", nullptr, {}},
    {STRATA_REMOTEDUPDB, "STRATA_REMOTEDUPDB", nullptr, {}},
    {STRATA_REMOTEINVDBUSER, "STRATA_REMOTEINVDBUSER", nullptr, {}},
    {STRATA_REMOTENODBUSER, "STRATA_REMOTENODBUSER", nullptr, {}},
    {STRATA_REMOTEDUPDBUSER, "STRATA_REMOTEDUPDBUSER", nullptr, {}},
    {STRATA_REMOTEINVREQUEST, "STRATA_REMOTEINVREQUEST", nullptr, {}},
};

const CodeEntry* FindCode(uint16_t code) {
  for (const CodeEntry& entry : kCodes) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

const std::string& SlotText(Slot slot, const ErrorContext& context) {
  switch (slot) {
    case Slot::kTable:
      return context.table;
    case Slot::kField:
      return context.field;
    case Slot::kIndex:
      return context.index;
    case Slot::kDetail:
      break;
  }
  return context.detail;
}

std::string Cut(std::string_view text, size_t limit) { return std::string(text.substr(0, limit)); }

// The process-wide error context, guarded by its own lock.
struct ContextStore {
  std::mutex lock;
  ErrorContext context;
  uint16_t code = 0;
  int32_t os_error = 0;
};

ContextStore& Store() {
  // Never destroyed, like the file list: errors may still be raised while
  // static objects close their tables at exit.
  static ContextStore& store = *new ContextStore;
  return store;
}

}  // namespace

std::string EngineErrorMessage(uint16_t code, const ErrorContext& context) {
  const CodeEntry* entry = FindCode(code);
  std::string text;
  if (entry == nullptr || entry->text == nullptr) {
    text = "An unknown error occurred";
  } else {
    auto slot = entry->slots.begin();
    for (const char* p = entry->text; *p != 0; ++p) {
      if (p[0] == '%' && p[1] == 's') {
        if (slot != entry->slots.end()) text += SlotText(*slot++, context);
        ++p;
      } else {
        text += *p;
      }
    }
  }
  return "Strata Engine Error # " + std::to_string(code) + " " + Cut(text, 254);
}

EStrataEngineError::EStrataEngineError(uint16_t code, const ErrorContext& context, int32_t os_error,
                                       int32_t socket_error)
    : std::runtime_error(EngineErrorMessage(code, context)),
      Code(code),
      OsError(os_error),
      SocketError(socket_error),
      ContextServer(context.server),
      ContextUser(context.user),
      ContextDatabase(context.database),
      ContextTable(context.table),
      ContextField(context.field),
      ContextIndex(context.index),
      ContextDetail(context.detail) {}

void RaiseEngineError(uint16_t code, const ErrorContext& context) {
  const int32_t os_error = errno;
  ErrorContext cut{Cut(context.table, 255),   Cut(context.field, 255),  Cut(context.index, 255),
                   Cut(context.detail, 255),  Cut(context.server, 255), Cut(context.user, 255),
                   Cut(context.database, 255)};
  {
    ContextStore& store = Store();
    std::lock_guard guard(store.lock);
    store.context = cut;
    store.code = code;
    store.os_error = os_error;
  }
  throw EStrataEngineError(code, cut, os_error);
}

void RaiseTableError(uint16_t code, std::string_view table) {
  RaiseEngineError(code, ErrorContext{.table = std::string(table)});
}

void RaiseFieldError(uint16_t code, std::string_view field, std::string_view table) {
  RaiseEngineError(code, ErrorContext{.table = std::string(table), .field = std::string(field)});
}

void RaiseIndexError(uint16_t code, std::string_view index, std::string_view table) {
  RaiseEngineError(code, ErrorContext{.table = std::string(table), .index = std::string(index)});
}

std::string_view EngineErrorName(uint16_t code) {
  const CodeEntry* entry = FindCode(code);
  return entry ? entry->name : "";
}

uint16_t EngineErrorCode(const std::exception& error) {
  if (auto* engine = dynamic_cast<const EStrataEngineError*>(&error)) return engine->Code;
  return STRATA_OSUNKNOWN;
}

ErrorContext LastErrorContext() {
  ContextStore& store = Store();
  std::lock_guard guard(store.lock);
  return store.context;
}

}  // namespace strata
