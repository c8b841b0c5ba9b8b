#include "tools/sql_console.h"

// clang-format off
#include <cstdio>
#include <editline/readline.h>
// clang-format on

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "platform/utf8_text.h"

namespace strata_tool {
namespace {

constexpr const char* kPrompt = "strata> ";
constexpr const char* kContinuation = "   ...> ";

std::string HistoryPath() {
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.strata_history" : std::string();
}

}  // namespace

int RunConsole(TSqlShell& shell) {
  const std::string history = HistoryPath();
  using_history();
  if (!history.empty()) read_history(history.c_str());
  std::cout << "strata sql: statements end with \";\", Ctrl-D ends.\n";
  std::string text;
  while (true) {
    std::unique_ptr<char, decltype(&std::free)> line(
        readline(text.empty() ? kPrompt : kContinuation), &std::free);
    if (!line) break;
    if (text.empty() && std::string(line.get()).find_first_not_of(" \t") == std::string::npos) {
      continue;
    }
    text += line.get();
    text += "\n";
    if (!EndsWithStatement(text)) continue;
    std::string entry = text.substr(0, text.size() - 1);
    add_history(entry.c_str());
    try {
      shell.Run(text);
    } catch (const std::exception& e) {
      std::cout.flush();
      std::cerr << platform::Windows1252ToUtf8(e.what()) << "\n";
    }
    std::cout.flush();
    text.clear();
  }
  std::cout << "\n";
  if (!history.empty()) write_history(history.c_str());
  return 0;
}

}  // namespace strata_tool
