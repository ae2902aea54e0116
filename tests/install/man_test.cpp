// The manual pages: each renders without a warning, has the sections a reader looks for, and
// documents what the programs really take: every option and request of qx5spool --help, the
// arguments of pclview, and every keyword of the plot language's keyword table with the
// argument types its grammar takes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "plotlang/grammar.hpp"
#include "plotlang/lexer.hpp"
#include "render/surface.hpp"
#include "support/harness.hpp"

namespace {

const std::string kManDir = std::string(QX5_SOURCE_DIR) + "/docs/man";

using Output = qx5test::CommandResult;

Output Shell(const std::string& command) {
  return qx5test::RunCommand(command);
}

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

std::vector<std::string> Pages() {
  std::vector<std::string> pages;
  for (const auto& e : std::filesystem::directory_iterator(kManDir)) {
    const std::string ext = e.path().extension().string();
    if (ext.size() == 2 && ext[1] >= '1' && ext[1] <= '9') pages.push_back(e.path().string());
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

// A page as a reader sees it: rendered on a line wide enough that nothing wraps, the
// overstrikes of bold and underlined text removed.
std::string Rendered(const std::string& page) {
  const Output r = Shell("mandoc -T ascii -O width=400 " + Quoted(page));
  EXPECT_EQ(r.status, 0) << r.out;
  std::string text;
  for (char c : r.out) {
    if (c == '\b') {
      if (!text.empty()) text.pop_back();
    } else {
      text.push_back(c);
    }
  }
  return text;
}

std::string Escaped(const std::string& word) {
  return std::regex_replace(word, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

// word stands alone in text: no letter, digit or dash right before or after it.
bool HasWord(const std::string& text, const std::string& word) {
  return std::regex_search(text,
                           std::regex("(^|[^A-Za-z0-9-])" + Escaped(word) + "($|[^A-Za-z0-9-])"));
}

TEST(ManPages, RenderWithoutWarnings) {
  const std::vector<std::string> pages = Pages();
  std::set<std::string> names;
  for (const std::string& p : pages) names.insert(std::filesystem::path(p).filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"mkswitch.1", "mksysgen.1", "pclview.1", "qx5-plot.5",
                                          "qx5-printers.5", "qx5lp.8", "qx5spool.1"}));
  for (const std::string& page : pages) {
    const Output lint = Shell("mandoc -T lint -W all " + Quoted(page));
    EXPECT_EQ(lint.status, 0) << page;
    EXPECT_EQ(lint.out, "") << page;
    const Output groff = Shell("groff -man -ww -z " + Quoted(page));
    EXPECT_EQ(groff.status, 0) << page;
    EXPECT_EQ(groff.out, "") << page;
  }
}

TEST(ManPages, HaveTheSectionsReadersLookFor) {
  // Each row: the sections of which one must be there.
  const std::vector<std::vector<std::string>> wanted = {
      {"NAME"},        {"SYNOPSIS"},
      {"DESCRIPTION"}, {"OPTIONS", "FORMAT"},
      {"FILES"},       {"EXIT STATUS", "DIAGNOSTICS"},
      {"EXAMPLES"},    {"SEE ALSO"}};
  for (const std::string& page : Pages()) {
    const std::string text = Rendered(page);
    for (const auto& any : wanted) {
      bool found = false;
      for (const std::string& section : any)
        found = found || std::regex_search(text, std::regex("(^|\n)" + section + "\n"));
      EXPECT_TRUE(found) << page << " has no section " << any.front();
    }
  }
}

TEST(ManPages, Qx5spoolDocumentsEveryOptionAndRequestOfItsHelp) {
  const Output help = Shell(Quoted(std::string(QX5_BIN_DIR) + "/qx5spool") + " --help");
  ASSERT_EQ(help.status, 0) << help.out;
  const std::string page = Rendered(kManDir + "/qx5spool.1");

  std::set<std::string> options;
  const std::regex option(R"((^|[\s\[,])(--?[a-z][a-z-]*))");
  for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), option);
       it != std::sregex_iterator(); ++it)
    options.insert((*it)[2]);
  // The help names at least the options qx5spool is known for; all must be in the page.
  for (const char* known : {"--printer", "--capture", "--title", "--pagetype", "--ffflags"})
    EXPECT_TRUE(options.count(known)) << known << " not found in --help";
  for (const std::string& o : options) EXPECT_TRUE(HasWord(page, o)) << o << " not in qx5spool(1)";

  // Requests: the words that open a line of the help's request list.
  const size_t from = help.out.find("\nRequests");
  ASSERT_NE(from, std::string::npos);
  const std::string list = help.out.substr(from);
  std::set<std::string> requests;
  const std::regex request(R"(\n  ([a-z]+)( |\n))");
  for (auto it = std::sregex_iterator(list.begin(), list.end(), request);
       it != std::sregex_iterator(); ++it)
    requests.insert((*it)[1]);
  EXPECT_GE(requests.size(), 7u);
  for (const std::string& r : requests)
    EXPECT_TRUE(std::regex_search(page, std::regex("\n {7}" + r + "( |\n)")))
        << "request " << r << " has no entry in qx5spool(1)";
}

TEST(ManPages, PclviewDocumentsTheArgumentsOfItsUsage) {
  const Output usage = Shell(Quoted(std::string(QX5_BIN_DIR) + "/pclview"));
  EXPECT_EQ(usage.status, 2);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(usage.out, m, std::regex(R"(usage: \S+ (.*)\n)"))) << usage.out;
  const std::string page = Rendered(kManDir + "/pclview.1");
  std::string synopsis = page.substr(page.find("SYNOPSIS"));
  synopsis = synopsis.substr(0, synopsis.find("DESCRIPTION"));
  const std::string args = m[1];
  const std::regex upper("[A-Z]+");
  int count = 0;
  for (auto it = std::sregex_iterator(args.begin(), args.end(), upper);
       it != std::sregex_iterator(); ++it, ++count) {
    std::string word = it->str();
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(HasWord(synopsis, word)) << word << " not in the synopsis of pclview(1)";
  }
  EXPECT_EQ(count, 2);
}

// A statement line with one value of each type (i integer, r real, t text); the value at
// index wrong, if any, is written as a value of another type.
std::string StatementLine(const std::string& keyword, const std::string& types, size_t wrong) {
  static const std::map<char, std::pair<std::string, std::string>> kValue = {
      {'i', {"1", "1.0"}}, {'r', {"1.0", "1"}}, {'t', {"x", "1"}}};
  std::string line = keyword + "(";
  for (size_t i = 0; i < types.size(); ++i) {
    const auto& v = kValue.at(types[i]);
    line += (i ? "," : "") + (i == wrong ? v.second : v.first);
  }
  return line + ")\n";
}

// The statement summary of qx5-plot(5) against the lexer's keyword table and the grammar:
// every keyword is listed, and every listed argument list is exactly what the grammar takes
// (the line runs; a value of another type in any place, or one argument less, fails it).
TEST(ManPages, PlotLanguagePageDocumentsEveryStatementAsTheGrammarTakesIt) {
  const qx5test::TempRoot root;  // the fonts and switch texts of the sample tree
  const std::string page = Rendered(kManDir + "/qx5-plot.5");
  const std::regex entry(R"(([A-Z][A-Z0-9]*)\(([irt](,[irt])*)\))");
  std::map<std::string, std::string> documented;  // keyword -> types
  for (auto it = std::sregex_iterator(page.begin(), page.end(), entry);
       it != std::sregex_iterator(); ++it)
    documented[(*it)[1]] = std::regex_replace((*it)[2].str(), std::regex(","), "");

  int statements = 0;
  for (const qx5::Keyword& k : qx5::ktable) {
    const std::string name = k.name;
    if (name == "$EOT$") continue;
    if (k.code == qx5::TK_TEXT) {
      // A reserved word that reads as a text: named in the page.
      EXPECT_TRUE(HasWord(page, name)) << name << " not in qx5-plot(5)";
      continue;
    }
    ++statements;
    const auto d = documented.find(name);
    if (d == documented.end()) {
      ADD_FAILURE() << name << " has no argument list in qx5-plot(5)";
      continue;
    }
    const std::string& types = d->second;
    EXPECT_EQ(qx5::expr(StatementLine(name, types, types.size()).c_str()), 0)
        << StatementLine(name, types, types.size());
    for (size_t i = 0; i < types.size(); ++i)
      EXPECT_NE(qx5::expr(StatementLine(name, types, i).c_str()), 0)
          << StatementLine(name, types, i) << " was accepted";
    EXPECT_NE(
        qx5::expr(StatementLine(name, types.substr(0, types.size() - 1), types.size()).c_str()), 0)
        << name << " accepts fewer arguments than documented";
  }
  qx5::ClosePlot();
  EXPECT_GE(statements, 26);
}

}  // namespace
