#include "cgi/post_content.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "cgi/test_request.h"
#include "cgi/test_support.h"

namespace cgi {
namespace {

using Strings = std::vector<std::string>;
using testing::ReadFile;
using testing::TempDir;

Strings Entries(const TStringList& list) { return {list.begin(), list.end()}; }

TTestRequest Post(const std::string& content_type, const std::string& body, int chunk = 1 << 30) {
  std::map<std::string, std::string> env = {{"REQUEST_METHOD", "POST"},
                                            {"CONTENT_LENGTH", std::to_string(body.size())}};
  if (!content_type.empty()) env["CONTENT_TYPE"] = content_type;
  return TTestRequest(env, body, chunk);
}

// ----- form-encoded bodies -----

TEST(PostedForm, NotAPostLeavesEverythingAlone) {
  TTestRequest request({{"REQUEST_METHOD", "GET"}, {"CONTENT_LENGTH", "3"}}, "a=1", 1);
  TStringList list;
  list.Add("kept");
  int reads_before = request.Reads();
  EXPECT_FALSE(ParsePostedContent(request, list, ""));
  EXPECT_EQ(Entries(list), Strings{"kept"});
  EXPECT_EQ(request.Reads(), reads_before);
}

TEST(PostedForm, FieldsAreDecoded) {
  TTestRequest request = Post("application/x-www-form-urlencoded", "a=1&b=%41+B");
  TStringList list;
  list.Add("kept");
  EXPECT_TRUE(ParsePostedContent(request, list, ""));
  EXPECT_EQ(Entries(list), (Strings{"kept", "a=1", "b=A B"}));
}

TEST(PostedForm, EmptyFieldsAreKept) {
  TStringList list;
  TTestRequest empty = Post("", "");
  EXPECT_TRUE(ParsePostedContent(empty, list, ""));
  EXPECT_EQ(Entries(list), Strings{""});
  list.Clear();
  TTestRequest trailing = Post("", "a=1&");
  EXPECT_TRUE(ParsePostedContent(trailing, list, ""));
  EXPECT_EQ(Entries(list), (Strings{"a=1", ""}));
}

TEST(PostedForm, QuotesLineBreaksAndBadEscapesAreOrdinary) {
  TStringList list;
  TTestRequest request = Post("text/plain", "q=\"a\r\nb\"&p=%%41&z=%zz");
  EXPECT_TRUE(ParsePostedContent(request, list, ""));
  // "%%4" is 245 * 16 + 4 modulo 256 = "T"; "%zz" is 35 * 16 + 35 modulo 256 = "S".
  EXPECT_EQ(Entries(list), (Strings{"q=\"a\r\nb\"", "p=T1", "z=S"}));
}

TEST(PostedForm, PercentAmongTheLastBytesNeverReadsPastTheEnd) {
  for (const auto& [body, entry] : std::vector<std::pair<std::string, std::string>>{
           {"a=%", "a=%"}, {"a=%4", "a=%4"}, {"a=%41", "a=A"}}) {
    TStringList list;
    TTestRequest request = Post("", body);
    EXPECT_TRUE(ParsePostedContent(request, list, ""));
    EXPECT_EQ(Entries(list), Strings{entry}) << body;
  }
}

TEST(PostedForm, RemainderIsReadInBlocksOf512) {
  std::string body = "a=" + std::string(1998, 'x');
  TTestRequest request = Post("", body, 1000);
  EXPECT_EQ(request.Content().size(), 1000u);
  TStringList list;
  EXPECT_TRUE(ParsePostedContent(request, list, ""));
  EXPECT_EQ(Entries(list), Strings{body});
  EXPECT_EQ(request.ReadCounts(), (std::vector<int>{2000, 512, 488}));
}

TEST(PostedForm, BodyCutShortGivesWhatWasReceived) {
  TTestRequest request({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "100"}}, "a=1&b=2", 3);
  TStringList list;
  EXPECT_TRUE(ParsePostedContent(request, list, ""));
  EXPECT_EQ(Entries(list), (Strings{"a=1", "b=2"}));
}

TEST(HexDigitValue, NeverFails) {
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('9'), 9);
  EXPECT_EQ(HexDigitValue('A'), 10);
  EXPECT_EQ(HexDigitValue('f'), 15);
  EXPECT_EQ(HexDigitValue('g'), 16);
  EXPECT_EQ(HexDigitValue('%'), 245);
  EXPECT_EQ(HexDigitValue('\0'), 208);
  EXPECT_EQ(HexDigitValue('\xff'), 200);
}

// ----- multipart bodies -----

const char kType[] = "multipart/form-data; boundary=XyZ";

std::string Field(const std::string& name, const std::string& value) {
  return "--XyZ\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}
std::string FilePart(const std::string& name, const std::string& file_name,
                     const std::string& bytes) {
  return "--XyZ\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" + file_name +
         "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + bytes + "\r\n";
}
const char kClose[] = "--XyZ--\r\n";

struct Parsed {
  bool result;
  Strings entries;
};

Parsed ParseMultipart(const std::string& body, const std::string& dir,
                      const std::string& type = kType) {
  TTestRequest request = Post(type, body, 7);  // the body arrives in small pieces
  TStringList list;
  bool result = ParsePostedContent(request, list, dir);
  return {result, Entries(list)};
}

TEST(PostedMultipart, PlainFieldsInBodyOrder) {
  Parsed p = ParseMultipart(
      "preamble\r\n" + Field("Site", "abc") + Field("text", "two\r\nlines") + kClose, "");
  EXPECT_TRUE(p.result);
  EXPECT_EQ(p.entries, (Strings{"Site=abc", "text=two\r\nlines"}));
}

TEST(PostedMultipart, ContentTypeAndHeaderWordsIgnoreCase) {
  std::string body =
      "--XyZ\r\nCONTENT-DISPOSITION: form-data; NAME=\"a\"\r\n\r\n1\r\n" + std::string(kClose);
  Parsed p = ParseMultipart(body, "", "Multipart/Form-Data; BOUNDARY=XyZ");
  EXPECT_TRUE(p.result);
  EXPECT_EQ(p.entries, Strings{"a=1"});
}

TEST(PostedMultipart, UploadIsStoredUnderItsBaseName) {
  TempDir dir;
  std::string gif = std::string("GIF89a\0\r\n--Xy\r\n\r\n", 18) + "\xff";
  Parsed p = ParseMultipart(Field("Site", "abc") + FilePart("pic", "C:\\img\\a.gif", gif) + kClose,
                            dir.path() + "/");
  EXPECT_TRUE(p.result);
  EXPECT_EQ(p.entries, (Strings{"Site=abc", "pic=C:\\img\\a.gif"}));
  EXPECT_EQ(ReadFile(dir / "a.gif"), gif);
  // A second upload of the same base name replaces the file.
  p = ParseMultipart(FilePart("pic", "D:a.gif", "new") + kClose, dir.path());
  EXPECT_TRUE(p.result);
  EXPECT_EQ(ReadFile(dir / "a.gif"), "new");
}

TEST(PostedMultipart, UploadFolderWithoutTrailingSeparatorTakesTheFileInside) {
  TempDir dir;
  std::filesystem::create_directory(dir / "upload");
  Parsed p = ParseMultipart(FilePart("f", "x.txt", "data") + kClose, dir / "upload");
  EXPECT_TRUE(p.result);
  EXPECT_EQ(ReadFile(dir / "upload/x.txt"), "data");
  EXPECT_FALSE(std::filesystem::exists(dir / "uploadx.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "upload\\x.txt"));
}

TEST(PostedMultipart, EmptyFileNameWritesNoFile) {
  TempDir dir;
  Parsed p = ParseMultipart(FilePart("pic", "", "") + kClose, dir.path());
  EXPECT_TRUE(p.result);
  EXPECT_EQ(p.entries, Strings{"pic="});
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PostedMultipart, MissingDelimiterGivesFalseAndNothing) {
  std::string body = Field("a", "1") + kClose;
  for (const char* type :
       {"multipart/form-data; boundary=\"XyZ\"", "multipart/form-data; boundary=XyZ; charset=utf-8",
        "multipart/form-data; boundary=other", "multipart/form-data"}) {
    Parsed p = ParseMultipart(body, "", type);
    EXPECT_FALSE(p.result) << type;
    EXPECT_EQ(p.entries, Strings{}) << type;
  }
}

TEST(PostedMultipart, FileThatCannotBeCreatedGivesFalseButParsingGoesOn) {
  TempDir dir;
  Parsed p = ParseMultipart(FilePart("pic", "a.gif", "GIF") + Field("after", "1") + kClose,
                            dir / "missing");
  EXPECT_FALSE(p.result);
  EXPECT_EQ(p.entries, (Strings{"pic=a.gif", "after=1"}));
}

TEST(PostedMultipart, FileNamesThatLeaveTheUploadFolderAreRefused) {
  TempDir root;
  std::filesystem::create_directory(root / "upload");
  std::string upload = root / "upload";
  for (const std::string& name : Strings{"../evil.txt", "..", "C:\\x\\..", ".", "a/b.txt",
                                         "x:/etc/evil.txt", std::string("a\0b", 3)}) {
    Parsed p = ParseMultipart(FilePart("f", name, "bad") + Field("after", "1") + kClose, upload);
    EXPECT_FALSE(p.result) << name;
    EXPECT_EQ(p.entries, (Strings{"f=" + name, "after=1"})) << name;
  }
  EXPECT_TRUE(std::filesystem::is_empty(upload));
  EXPECT_FALSE(std::filesystem::exists(root / "evil.txt"));
  // Names that only look odd stay inside and are stored.
  Parsed p = ParseMultipart(FilePart("f", "..\\..\\ok.txt", "fine") + kClose, upload);
  EXPECT_TRUE(p.result);
  EXPECT_EQ(ReadFile(upload + "/ok.txt"), "fine");
}

std::string NestedFiles(const std::string& first_name, const std::string& second_name) {
  return "--XyZ\r\nContent-Disposition: form-data; name=\"files\"\r\n"
         "Content-Type: multipart/mixed; boundary=BbC\r\n\r\n"
         "--BbC\r\nContent-Disposition: file; filename=\"" +
         first_name +
         "\"\r\nContent-Type: text/plain\r\n\r\nfirst file\r\n"
         "--BbC\r\nContent-Disposition: file; filename=\"" +
         second_name +
         "\"\r\nContent-Type: image/gif\r\n\r\nGIF=second\r\n"
         "--BbC--\r\n";
}

TEST(PostedMultipart, NestedFileListGivesOneEntryAndStoresEveryFile) {
  TempDir dir;
  Parsed p = ParseMultipart(
      Field("Site", "s") + NestedFiles("a.txt", "C:\\b.gif") + Field("after", "x") + kClose,
      dir.path());
  EXPECT_TRUE(p.result);
  // The field after the list is not swallowed by it.
  EXPECT_EQ(p.entries, (Strings{"Site=s", "files=a.txt; C:\\b.gif", "after=x"}));
  EXPECT_EQ(ReadFile(dir / "a.txt"), "first file");
  EXPECT_EQ(ReadFile(dir / "b.gif"), "GIF=second");
}

TEST(PostedMultipart, NestedFileListRefusesNamesThatLeaveTheFolder) {
  TempDir root;
  std::filesystem::create_directory(root / "upload");
  Parsed p = ParseMultipart(NestedFiles("../a.txt", "b.gif") + kClose, root / "upload");
  EXPECT_FALSE(p.result);
  EXPECT_EQ(p.entries, Strings{"files=../a.txt; b.gif"});
  EXPECT_FALSE(std::filesystem::exists(root / "a.txt"));
  EXPECT_EQ(ReadFile(root / "upload/b.gif"), "GIF=second");
}

// A nested file list of `parts` files whose headers end without a blank
// line, closed by the outer delimiter only. The sent names ("a\") have an
// empty base name, so nothing is stored.
std::string NestedListWithoutBlankLines(int parts) {
  std::string body =
      "--XyZ\r\nContent-Disposition: form-data; name=\"files\"\r\n"
      "Content-Type: multipart/mixed; boundary=BbC\r\n\r\n";
  for (int i = 0; i < parts; ++i) {
    body += "--BbC\r\nContent-Disposition: file; filename=\"a\\\"\r\nx\r\n";
  }
  return body + kClose;
}

// The fastest of five parses of a body, in seconds (the fastest run is the
// one a busy machine disturbed least).
double ParseSeconds(const std::string& body) {
  double best = 1e9;
  for (int run = 0; run < 5; ++run) {
    TTestRequest request = Post(kType, body);
    TStringList list;
    auto start = std::chrono::steady_clock::now();
    ParsePostedContent(request, list, "");
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

TEST(PostedMultipart, NestedListWithoutBlankLinesTakesTimeInProportionToItsSize) {
  // 1 MiB was 21 s when every part searched the rest of the body.
  std::string small = NestedListWithoutBlankLines(128 * 1024 / 50);
  std::string large = NestedListWithoutBlankLines(1024 * 1024 / 50);
  ASSERT_GT(large.size(), 1000000u);
  Parsed p = ParseMultipart(NestedListWithoutBlankLines(3), "");
  EXPECT_EQ(p.entries, Strings{"files=a\\; a\\; a\\"});
  double ratio = ParseSeconds(large) / std::max(ParseSeconds(small), 1e-6);
  // Eight times the bytes: about eight times the time, 64 if quadratic; the
  // bound lies between the two with room for a loaded machine.
  EXPECT_LT(ratio, 40) << ratio;
}

TEST(PostedMultipart, PartsWithoutANameInReachArePassedOver) {
  std::string many_headers;
  for (int i = 0; i < 20; ++i) many_headers += "X-Header-" + std::to_string(i) + ": value\r\n";
  std::string body = "--XyZ\r\nContent-Type: text/plain\r\n\r\nnameless\r\n" +
                     ("--XyZ\r\n" + many_headers +
                      "Content-Disposition: form-data; name=\"far\"\r\n\r\nlost\r\n") +
                     Field("near", "1") + kClose;
  Parsed p = ParseMultipart(body, "");
  EXPECT_TRUE(p.result);
  EXPECT_EQ(p.entries, Strings{"near=1"});
}

TEST(PostedMultipart, BodyCutShortParsesThePartsPresent) {
  std::string body =
      Field("a", "1") + "--XyZ\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n2";
  TTestRequest request({{"REQUEST_METHOD", "POST"},
                        {"CONTENT_TYPE", kType},
                        {"CONTENT_LENGTH", std::to_string(body.size() + 50)}},
                       body, 5);
  TStringList list;
  EXPECT_TRUE(ParsePostedContent(request, list, ""));
  EXPECT_EQ(Entries(list), (Strings{"a=1", "b="}));
}

}  // namespace
}  // namespace cgi
