#include "app/request_fields.h"

#include <gtest/gtest.h>

#include "cgi/test_support.h"
#include "platform/file.h"

namespace banner {
namespace {

cgi::TStringList Fields(std::initializer_list<const char*> lines) {
  cgi::TStringList fields;
  for (const char* line : lines) fields.Add(line);
  return fields;
}

TEST(RequestKindTest, FirstOfSessionIndexSiteNocountDecides) {
  EXPECT_EQ(KindOfRequest(Fields({"Site=top"})), TRequestKind::kVisitor);
  EXPECT_EQ(KindOfRequest(Fields({"site=top"})), TRequestKind::kVisitor);
  EXPECT_EQ(KindOfRequest(Fields({"nocount="})), TRequestKind::kVisitor);
  EXPECT_EQ(KindOfRequest(Fields({"Site=top", "Index=3"})), TRequestKind::kIndex);
  EXPECT_EQ(KindOfRequest(Fields({"index=3", "SESSIONID=9"})), TRequestKind::kSessionID);
  EXPECT_EQ(KindOfRequest(Fields({"Index="})), TRequestKind::kIndex);
  EXPECT_EQ(KindOfRequest(Fields({})), TRequestKind::kNotFound);
  // Only a whole name before "=" counts.
  EXPECT_EQ(KindOfRequest(Fields({"Site", "Sites=a", "xSite=b", "nocount"})),
            TRequestKind::kNotFound);
}

TEST(RequestKindTest, ALineBreakInAValueMakesMoreFields) {
  cgi::TStringList query = Fields({"Site=a\nIndex=5", "x=1\r\n"});
  cgi::TStringList fields = Fields({"old=1"});
  CopyThroughText(query, fields);
  EXPECT_EQ(fields, Fields({"Site=a", "Index=5", "x=1", ""}));
  EXPECT_EQ(KindOfRequest(fields), TRequestKind::kIndex);
}

TEST(RecordingTest, ReplaysWhatWasRecorded) {
  cgi::testing::TempDir dir;
  const std::string path = dir / "banner.req";
  WriteRecording(path, Fields({"Site=top", "nocount="}));
  EXPECT_EQ(cgi::testing::ReadFile(path), "Site=top\r\nnocount=\r\n");
  WriteRecording(path, Fields({"Index=2"}));
  cgi::TStringList replayed = Fields({"Site=other"});
  ReadRecording(path, replayed);
  EXPECT_EQ(replayed, Fields({"Index=2"}));
  EXPECT_THROW(ReadRecording(dir / "missing.req", replayed), platform::OsError);
}

TEST(RecordingTest, InjectModeInAnyLetterCase) {
  EXPECT_TRUE(IsInjectMode("INJECTMODE"));
  EXPECT_TRUE(IsInjectMode("injectMode"));
  EXPECT_FALSE(IsInjectMode(""));
  EXPECT_FALSE(IsInjectMode("INJECTMODE2"));
}

}  // namespace
}  // namespace banner
