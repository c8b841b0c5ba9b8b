// banner_bench_load: the database of the request benchmark for our banner
// program, the same data as the SQLite peer's --load: 10 advertisers with
// ample credit, their links, 10 banners (the sample GIFs in turn), and
// VISITORS current visits, the last of them the benchmark's returning
// visitor.
//
//   banner_bench_load FOLDER VISITORS
//
// The folder is emptied first. The tables come from app/schema.sql, the rows go in through the query
// component in one transaction, the banners with the strata tool.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/mk_html.h"
#include "app/statement_texts.h"
#include "sql/query/strata_query.h"
#include "storage/session/strata_database.h"
#include "storage/session/strata_session.h"

namespace {

namespace fs = std::filesystem;

// The statements of an SQL script: comments dropped, split at the
// semicolons outside quotes.
std::vector<std::string> ScriptStatements(const std::string& script) {
  std::vector<std::string> statements;
  std::string current;
  char quote = 0;
  for (size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    if (quote != 0) {
      current += c;
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
      current += c;
    } else if (c == '/' && i + 1 < script.size() && script[i + 1] == '*') {
      const size_t end = script.find("*/", i + 2);
      i = end == std::string::npos ? script.size() : end + 1;
      current += ' ';
    } else if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
      i = script.find('\n', i);
      if (i == std::string::npos) i = script.size();
    } else if (c == ';') {
      statements.push_back(current + ";");
      current.clear();
    } else {
      current += c;
    }
  }
  return statements;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TLoader {
 public:
  explicit TLoader(const std::string& folder) {
    session_.SetSessionName("LoadSession");
    session_.SetPrivateDir(folder + "/temp/");
    database_.SetSessionName("LoadSession");
    database_.SetDatabaseName("LoadDB");
    database_.SetDirectory(folder + "/");
    session_.SetActive(true);
    database_.Open();
    query_.SetSessionName("LoadSession");
    query_.SetDatabaseName("LoadDB");
  }
  void Execute(const std::string& sql) {
    query_.Close();
    query_.SQL().Clear();
    query_.SQL().Add(sql);
    query_.ExecSQL();
    query_.Close();
  }
  strata::TStrataDatabase& database() { return database_; }

 private:
  strata::TStrataSession session_;
  strata::TStrataDatabase database_;
  strata::TStrataQuery query_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: banner_bench_load FOLDER VISITORS\n");
    return 2;
  }
  const std::string folder = fs::absolute(argv[1]).string();
  const int visitors = std::atoi(argv[2]);
  try {
    // A database made afresh: what the folder held before goes (the folder
    // itself stays, with the owner and permissions the server needs).
    fs::create_directories(folder + "/temp");
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      if (entry.path().filename() != "temp") fs::remove_all(entry.path());
    }
    {
      TLoader loader(folder);
      for (const std::string& statement :
           ScriptStatements(ReadText(BANNER_SOURCE_DIR "/app/schema.sql"))) {
        if (statement.find_first_not_of(" \t\r\n;") != std::string::npos) loader.Execute(statement);
      }
      loader.database().StartTransaction();
      for (int i = 1; i <= 10; ++i) {
        const std::string n = std::to_string(i);
        loader.Execute("insert into \"User.dat\" (ID, Name, Impresskto) values (" + n +
                       ", 'Advertiser " + n + "', 1000000000);");
        loader.Execute("insert into \"Links.dat\" (id, Link) values (" + n +
                       ", 'http://advertiser" + n + ".example/');");
      }
      const std::string recent = banner::PastTimeString(1);
      for (int i = 1; i <= visitors; ++i) {
        const std::string key =
            i == visitors ? std::string("127.0bench-agent/1.0")
                          : "10." + std::to_string(i % 250) + "loaded-agent/" + std::to_string(i);
        loader.Execute(banner::VisitorInsertText(recent, key, "top"));
      }
      loader.database().Commit();
    }
    static const char* kGifs[] = {"travel", "books", "music", "coffee", "sale", "news"};
    for (int i = 1; i <= 10; ++i) {
      const std::string n = std::to_string(i);
      const std::string command =
          std::string("'") + STRATA_PROGRAM + "' insert '" + folder + "/Banner' ID=" + n +
          " 'Banner=@" BANNER_BUILD_DIR "/app/sample-gifs/" + kGifs[(i - 1) % 6] +
          ".gif' User=" + n + " Link=" + n + " Blocked=FALSE impress=0 > /dev/null";
      if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "banner_bench_load: %s failed\n", command.c_str());
        return 1;
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "banner_bench_load: %s\n", error.what());
    return 1;
  }
  return 0;
}
