// The request's fields as the web module sees them: which action a field
// list selects, the copy of a field list through its text form, and the
// request recording beside the executable (".req") that INJECTMODE replays.
#pragma once

#include <string>
#include <string_view>

#include "cgi/string_list.h"

namespace banner {

// What the fields of a request ask for, by the first of "SessionID", "Index",
// "Site", "nocount" present (names in any letter case, values of any kind,
// empty included); kNotFound when none is.
enum class TRequestKind { kSessionID, kIndex, kVisitor, kNotFound };

// True when `fields` holds a line that begins with `name` and "=".
bool FieldPresent(const cgi::TStringList& fields, std::string_view name);
TRequestKind KindOfRequest(const cgi::TStringList& fields);

// Replaces `to` by the lines of `from`'s text form: an entry whose value
// holds a line break becomes several entries.
void CopyThroughText(const cgi::TStringList& from, cgi::TStringList& to);

// True when the first command-line argument asks for the replay of the
// recorded request ("INJECTMODE" in any letter case).
bool IsInjectMode(const std::string& first_argument);
// Writes the fields to the recording file, replacing it whole (the last
// writer wins; a reader never sees a mix of two requests).
void WriteRecording(const std::string& path, const cgi::TStringList& fields);
// Replaces `fields` by the lines of the recording file. Throws OsError when
// it cannot be read (a missing file included).
void ReadRecording(const std::string& path, cgi::TStringList& fields);

}  // namespace banner
