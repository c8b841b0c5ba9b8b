// The engine's one exception class, its error codes and the process-wide
// error context from which every raised error takes its details.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace strata {

// Engine error codes (names are the engine's own identifiers).
constexpr uint16_t STRATA_BOF = 8705;
constexpr uint16_t STRATA_EOF = 8706;
constexpr uint16_t STRATA_KEYORRECDELETED = 8708;
constexpr uint16_t STRATA_NOCURRREC = 8709;
constexpr uint16_t STRATA_RECNOTFOUND = 8710;
constexpr uint16_t STRATA_ENDOFBLOB = 8711;
constexpr uint16_t STRATA_HEADERCORRUPT = 8961;
constexpr uint16_t STRATA_FILECORRUPT = 8962;
constexpr uint16_t STRATA_MEMOCORRUPT = 8963;
constexpr uint16_t STRATA_INDEXCORRUPT = 8965;
constexpr uint16_t STRATA_READERR = 9217;
constexpr uint16_t STRATA_WRITEERR = 9218;
constexpr uint16_t STRATA_FILEDELETEFAIL = 9220;
constexpr uint16_t STRATA_FILENOACCESS = 9221;
constexpr uint16_t STRATA_RECTOOBIG = 9477;
constexpr uint16_t STRATA_TABLEFULL = 9479;
constexpr uint16_t STRATA_INTERNALLIMIT = 9482;
constexpr uint16_t STRATA_INDEXLIMIT = 9487;
constexpr uint16_t STRATA_FLDLIMIT = 9492;
constexpr uint16_t STRATA_OPENBLOBLIMIT = 9494;
constexpr uint16_t STRATA_BLOBLIMIT = 9498;
constexpr uint16_t STRATA_KEYVIOL = 9729;
constexpr uint16_t STRATA_MINVALERR = 9730;
constexpr uint16_t STRATA_MAXVALERR = 9731;
constexpr uint16_t STRATA_REQDERR = 9732;
constexpr uint16_t STRATA_OUTOFRANGE = 9985;
constexpr uint16_t STRATA_PRIMARYKEYREDEFINE = 9993;
constexpr uint16_t STRATA_INVALIDBLOBOFFSET = 9998;
constexpr uint16_t STRATA_INVALIDFLDTYPE = 10000;
constexpr uint16_t STRATA_INVALIDVCHKSTRUCT = 10006;
constexpr uint16_t STRATA_INDEXNAMEREQUIRED = 10010;
constexpr uint16_t STRATA_INVALIDPASSWORD = 10015;
constexpr uint16_t STRATA_INVALIDINDEXNAME = 10022;
constexpr uint16_t STRATA_INVALIDIDXDESC = 10023;
constexpr uint16_t STRATA_INVALIDKEY = 10026;
constexpr uint16_t STRATA_INDEXEXISTS = 10027;
constexpr uint16_t STRATA_INVALIDBLOBLEN = 10029;
constexpr uint16_t STRATA_INVALIDBLOBHANDLE = 10030;
constexpr uint16_t STRATA_TABLEOPEN = 10031;
constexpr uint16_t STRATA_INVALIDFIELDNAME = 10038;
constexpr uint16_t STRATA_NOSUCHFILTER = 10050;
constexpr uint16_t STRATA_INVALIDFILTER = 10051;
constexpr uint16_t STRATA_INVALIDINDEXDELETE = 10055;
constexpr uint16_t STRATA_LOCKED = 10241;
constexpr uint16_t STRATA_UNLOCKFAILED = 10242;
constexpr uint16_t STRATA_LOCKTIMEOUT = 10249;
constexpr uint16_t STRATA_NEEDEXCLACCESS = 10253;
constexpr uint16_t STRATA_RECLOCKFAILED = 10258;
constexpr uint16_t STRATA_NOTSUFFTABLERIGHTS = 10498;
constexpr uint16_t STRATA_NOTABLOB = 10753;
constexpr uint16_t STRATA_NOTINITIALIZED = 10758;
constexpr uint16_t STRATA_OSENOENT = 11010;
constexpr uint16_t STRATA_OSEMFILE = 11012;
constexpr uint16_t STRATA_OSEACCES = 11013;
constexpr uint16_t STRATA_OSEBADF = 11014;
constexpr uint16_t STRATA_OSENOMEM = 11016;
constexpr uint16_t STRATA_OSEINVMEM = 11017;
constexpr uint16_t STRATA_OSENODEV = 11023;
constexpr uint16_t STRATA_OSENOTSAM = 11025;
constexpr uint16_t STRATA_OSUNKNOWN = 11047;
constexpr uint16_t STRATA_IMPORTERROR = 11300;
constexpr uint16_t STRATA_EXPORTERROR = 11301;
constexpr uint16_t STRATA_SQLPARSE = 11949;
constexpr uint16_t STRATA_OLDVERSION = 12035;
constexpr uint16_t STRATA_SEARCHCOLREQD = 12292;
constexpr uint16_t STRATA_TABLEEXISTS = 13060;
constexpr uint16_t STRATA_COMPRESS = 15001;
constexpr uint16_t STRATA_UNCOMPRESS = 15002;
constexpr uint16_t STRATA_CANNOTLOADLDDRV = 15878;
// Remote-session codes: never raised here (local sessions only).
constexpr uint16_t STRATA_REMOTECOMMLOST = 11276;
constexpr uint16_t STRATA_REMOTEUNKNOWN = 11279;
constexpr uint16_t STRATA_REMOTECONNECT = 11280;
constexpr uint16_t STRATA_REMOTENOLOGIN = 11281;
constexpr uint16_t STRATA_REMOTEMAXCONNECT = 11282;
constexpr uint16_t STRATA_REMOTEADDRESSBLOCK = 11283;
constexpr uint16_t STRATA_REMOTECALLBACK = 11284;
constexpr uint16_t STRATA_REMOTECALLBACKERR = 11285;
constexpr uint16_t STRATA_REMOTEVERSION = 11286;
constexpr uint16_t STRATA_REMOTEINVLOGIN = 11287;
constexpr uint16_t STRATA_REMOTENOTAUTH = 11288;
constexpr uint16_t STRATA_REMOTENOTADMIN = 11289;
constexpr uint16_t STRATA_REMOTEINVUSER = 11290;
constexpr uint16_t STRATA_REMOTENOUSER = 11291;
constexpr uint16_t STRATA_REMOTEDUPUSER = 11292;
constexpr uint16_t STRATA_REMOTEINVDB = 11293;
constexpr uint16_t STRATA_REMOTENODB = 11294;
constexpr uint16_t STRATA_REMOTEDUPDB = 11295;
constexpr uint16_t STRATA_REMOTEINVDBUSER = 11296;
constexpr uint16_t STRATA_REMOTENODBUSER = 11297;
constexpr uint16_t STRATA_REMOTEDUPDBUSER = 11298;
constexpr uint16_t STRATA_REMOTEINVREQUEST = 11299;
// The details a raising site supplies. Unsupplied texts stay empty.
struct ErrorContext {
  std::string table;  // table name, or the file name for file-level errors
  std::string field;
  std::string index;
  std::string detail;
  std::string server;
  std::string user;
  std::string database;
};

// Every failure inside the storage engine, and every SQL failure
// (STRATA_SQLPARSE). Message: "Strata Engine Error # <code> <text>" with the
// text's "%s" filled in order from the context and cut to 254 characters.
class EStrataEngineError : public std::runtime_error {
 public:
  EStrataEngineError(uint16_t code, const ErrorContext& context, int32_t os_error = 0,
                     int32_t socket_error = 0);

  uint16_t Code;
  int32_t OsError;
  int32_t SocketError;
  std::string ContextServer;
  std::string ContextUser;
  std::string ContextDatabase;
  std::string ContextTable;
  std::string ContextField;
  std::string ContextIndex;
  std::string ContextDetail;
};

// Fills the process-wide error context (clearing it first, each text cut to
// 255 characters, OS error = the current errno) and throws.
[[noreturn]] void RaiseEngineError(uint16_t code, const ErrorContext& context = {});
// Shorthands for the common shapes.
[[noreturn]] void RaiseTableError(uint16_t code, std::string_view table);
[[noreturn]] void RaiseFieldError(uint16_t code, std::string_view field, std::string_view table);
[[noreturn]] void RaiseIndexError(uint16_t code, std::string_view index, std::string_view table);

// The message the error with this code and context carries.
std::string EngineErrorMessage(uint16_t code, const ErrorContext& context);
// The code's identifier ("STRATA_EOF"), or "" for an unknown code.
std::string_view EngineErrorName(uint16_t code);
// The code of an exception: its Code for an engine error, else STRATA_OSUNKNOWN
// (11047).
uint16_t EngineErrorCode(const std::exception& error);
// A copy of the last raised error's context (for diagnostics and tests).
ErrorContext LastErrorContext();

}  // namespace strata
