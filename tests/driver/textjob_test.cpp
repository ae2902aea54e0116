#include "driver/textjob.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "../printers/printer_fixture.hpp"
#include "driver/srvmsg.hpp"

using h2test::PrinterEnv;

namespace {

std::string CodeFile() {
  return "?BINARY\n6INITLN 2 27 50\n5EJECT 1 12\n4BOLD 2 27 69\n?ASCII\n4BIG9 59 " +
         std::string(59, 'B') + "\n";
}

// A print request for path, run with stdout captured.
std::string Print(const std::string& path) {
  qx5::rmsgp = qx5test::FileRequest(9, path, "job");
  qx5::smsgp = qx5::rmsgp;
  testing::internal::CaptureStdout();
  qx5::PrintRequest();
  return testing::internal::GetCapturedStdout();
}

std::string Line(const std::string& text, size_t fill = 0) {
  qx5::rmsgp = qx5test::Request(qx5::CMD_LINE);
  char* body = qx5::LineTextPtr(qx5::rmsgp);
  std::memset(body, 0, qx5::kLineTextMax);
  std::memcpy(body, text.data(), std::min(text.size(), size_t{qx5::kLineTextMax}));
  if (fill) std::memset(body, 'x', fill);
  qx5::smsgp = qx5::rmsgp;
  testing::internal::CaptureStdout();
  qx5::PrintLineRequest();
  return testing::internal::GetCapturedStdout();
}

TEST(TextJob, PrintFile) {
  PrinterEnv env;
  env.OpenDevice();
  env.Codes(CodeFile());
  const std::string file = env.root().dir() + "/t.txt";
  env.root().write("/t.txt", "one \\!4BOLD\n\ntwo \\!3XYZ \\!x\n");
  qx5::ffpending = 1;
  EXPECT_EQ(Print(file), "Start Print: job on tp\nEnd Print: job on tp\n");
  EXPECT_EQ(qx5::smsgp.status, 0);
  EXPECT_EQ(qx5::didlines, 3);  // the empty line counts: it is a newline
  EXPECT_EQ(qx5::ffpending, 0);
  const std::string want =
      "\x1b"
      "2"
      "\x0c"
      "one \x1b"
      "E\n\ntwo  \\!x\n";
  env.ExpectSent(want);
  // Lines go on after that without a second eject; an empty file sends only INITLN.
  env.root().write("/e.txt", "");
  Print(env.root().dir() + "/e.txt");
  EXPECT_EQ(qx5::didlines, 3);
  env.ExpectSent(
      "\x1b"
      "2");
  // A long line comes in pieces of 498 characters; the translation is cut at 500 bytes.
  env.root().write("/l.txt", std::string(600, 'a') + "\n" + "\\!4BIG9" + std::string(480, 'c'));
  Print(env.root().dir() + "/l.txt");
  const std::string big = std::string(59, 'B') + std::string(441, 'c');
  env.ExpectSent(
      "\x1b"
      "2" +
      std::string(600, 'a') + "\n" + big);
}

TEST(TextJob, PrintFileFailures) {
  PrinterEnv env;
  env.OpenDevice();
  env.Codes(CodeFile());
  EXPECT_EQ(Print("/nonexistent/file"),
            "Start Print: job on tp\nERROR: tp: unable to open /nonexistent/file\n"
            "ERROR: tp: /nonexistent/file: No such file or directory\n");
  EXPECT_EQ(qx5::smsgp.status, 9);
  EXPECT_EQ(env.Sent(), "");
  // A device failure still closes, re-opens the device and prints the end line.
  env.root().write("/t.txt", "x\n");
  std::fclose(qx5::lp);
  qx5::lp = nullptr;
  std::string out = Print(env.root().dir() + "/t.txt");
  EXPECT_NE(out.find("ERROR: tp: Unable to do INITLN\n"), std::string::npos) << out;
  EXPECT_NE(out.find("End Print: job on tp\n"), std::string::npos);
  EXPECT_EQ(qx5::smsgp.status, 9);
  EXPECT_NE(qx5::lp, nullptr);
}

TEST(TextJob, ReloadLine) {
  PrinterEnv env;
  env.OpenDevice();
  env.Codes(CodeFile());
  env.Def("t.cod", "?BINARY\n6INITLN 1 65\n");
  env.root().write("/r.txt", "a\nReadCodeFile");
  EXPECT_EQ(Print(env.root().dir() + "/r.txt"),
            "Start Print: job on tp\nReading code file again: t.cod\nEnd Print: job on tp\n");
  env.ExpectSent(
      "\x1b"
      "2a\n");
  Line("x");
  env.ExpectSent("Ax");
}

TEST(TextJob, OneLine) {
  PrinterEnv env;
  env.OpenDevice();
  env.Codes(CodeFile());
  qx5::ffpending = 1;
  EXPECT_EQ(Line("hi \\!4BOLD"), "");
  env.ExpectSent(
      "\x0c\x1b"
      "2hi \x1b"
      "E");  // eject before INITLN
  EXPECT_EQ(qx5::didlines, 1);
  // The reset lines re-open the device and forget the job state; only INITLN is sent.
  for (const char* reset : {"\\!2FF", "\\!5EJECT"}) {
    qx5::ffpending = 1;
    qx5::didlines = 4;
    Line(reset);
    EXPECT_EQ(qx5::ffpending, 0);
    EXPECT_EQ(qx5::didlines, 0);
    env.ExpectSent(
        "\x1b"
        "2");
  }
  // Anything else is translated: "\!5EJECT" and a newline ejects.
  Line("\\!5EJECT\n");
  env.ExpectSent(
      "\x1b"
      "2\x0c\n");
  // A text filling the body to its end, with no NUL, is read to the end and no further.
  Line("", qx5::kLineTextMax);
  env.ExpectSent(
      "\x1b"
      "2" +
      std::string(196, 'x'));
  // A translation that grows is cut at the end of the body.
  Line("\\!4BIG9\\!4BIG9\\!4BIG9\\!4BIG9");
  env.ExpectSent(
      "\x1b"
      "2" +
      std::string(196, 'B'));
  EXPECT_EQ(qx5::LineText(qx5::rmsgp), std::string(196, 'B'));
  EXPECT_EQ(qx5::smsgp.status, 0);
}

class Japanese : public testing::Test {
 protected:
  void SetUp() override {
    env_.OpenDevice();
    qx5::SETUPlang = 'K';
    env_.Codes("?ASCII\n6FILTER 9 nkf -E -j\n");
  }
  PrinterEnv env_;
};

// "日本" in EUC-JP, and in JIS.
const char kEuc[] = "\xc6\xfc\xcb\xdc\n";
const char kJis[] = "\x1b$BF|K\\\x1b(B\n";

TEST_F(Japanese, FileThroughTheFilter) {
  // Blanks, a ";", "$(...)" and a quote in the name reach the filter as one argument.
  const std::string rel = "/a b;$(touch X)'q.txt";
  {
    // Written here: the name is no shell word (which is the point of the test).
    std::ofstream f(env_.root().path(rel), std::ios::binary);
    f << kEuc;
  }
  const std::string file = env_.root().dir() + rel;
  qx5::PrinterNumber = 1;
  EXPECT_EQ(Print(file), "Start Print: job on tp\nEnd Print: job on tp\n");
  EXPECT_EQ(qx5::smsgp.status, 0);
  env_.ExpectSent(kJis);
  // This driver's own output file is what the request printed; the request's file stays.
  EXPECT_EQ(std::string(qx5::JCname), env_.root().path("/u/tmp/jis2"));
  EXPECT_EQ(qx5::FieldText(qx5::rmsgp.name, 80), file);
  EXPECT_EQ(env_.root().read("/u/tmp/jis2"), kJis);
  EXPECT_EQ(env_.root().read(rel), kEuc);
  EXPECT_FALSE(env_.root().exists("/X"));
  EXPECT_EQ(std::string(qx5::s).find("nkf -E -j '"), 0u) << qx5::s;
}

// Under a long installation root the converted file's path no longer fits a request's name
// field: it still converts.
TEST_F(Japanese, LongRootConverts) {
  std::string longroot = env_.root().dir();
  for (int i = 0; i < 150; ++i) longroot += "/.";
  setenv("QX5_ROOT", longroot.c_str(), 1);
  const std::string rel = "/" + std::string(50, 'n') + "'q";
  env_.root().write(rel, kEuc);
  const std::string file = env_.root().dir() + rel;
  EXPECT_EQ(Print(file), "Start Print: job on tp\nEnd Print: job on tp\n");
  EXPECT_EQ(qx5::smsgp.status, 0);
  env_.ExpectSent(kJis);
  EXPECT_EQ(std::string(qx5::JCname), longroot + "/u/tmp/jis1");
  setenv("QX5_ROOT", env_.root().dir().c_str(), 1);
}

// When the conversion cannot be run, does not end, fails, or writes nothing for a non-empty
// file, the request fails with status 9 and a line, nothing unconverted is printed and no
// converted file is left. The file is checked before any conversion, as on every printer.
TEST_F(Japanese, FailedConversionPrintsNothing) {
  const std::string file = env_.root().dir() + "/t.txt";
  env_.root().write("/t.txt", kEuc);
  struct Case {
    const char* filter;
    const char* line;
  } cases[] = {
      {"true", "ERROR: tp: FILTER wrote nothing for "},
      {"qx5-no-such-filter", "ERROR: tp: FILTER failed with exit status 127: qx5-no-such-filter '"},
      {"sh -c 'cat \"$0\"; exit 5'", "ERROR: tp: FILTER failed with exit status 5: sh -c"},
      {"sleep 30; cat", "ERROR: tp: FILTER did not finish within 1 seconds: sleep 30; cat '"}};
  qx5::ALARM_SEC = 1;
  for (const Case& c : cases) {
    env_.Codes(std::string("?ASCII\n6FILTER ") + std::to_string(std::strlen(c.filter)) + " " +
               c.filter + "\n");
    auto t0 = std::chrono::steady_clock::now();
    const std::string out = Print(file);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << c.filter;
    EXPECT_NE(out.find(c.line), std::string::npos) << out;
    EXPECT_EQ(out.find("End Print"), std::string::npos) << out;
    EXPECT_EQ(qx5::smsgp.status, 9) << c.filter;
    EXPECT_EQ(env_.Sent(), "") << c.filter;
    EXPECT_FALSE(env_.root().exists("/u/tmp/jis1")) << c.filter;
  }
  // No FILTER code: nothing is run (least of all the request's file itself as a command).
  env_.Codes("?ASCII\n");
  const std::string script = env_.root().dir() + "/run.sh";
  env_.root().write("/run.sh", "#!/bin/sh\ntouch '" + env_.root().path("/ran") + "'\n");
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  std::string out = Print(script);
  EXPECT_NE(out.find("ERROR: tp: no FILTER code to convert " + script + "\n"), std::string::npos)
      << out;
  EXPECT_EQ(qx5::smsgp.status, 9);
  EXPECT_FALSE(env_.root().exists("/ran"));
  EXPECT_EQ(env_.Sent(), "");
  // An empty file that converts to nothing is no failure.
  env_.Codes("?ASCII\n6FILTER 4 true\n");
  env_.root().write("/e.txt", "");
  Print(env_.root().dir() + "/e.txt");
  EXPECT_EQ(qx5::smsgp.status, 0);
  env_.Sent();
  // A missing file or a FIFO: refused before the filter runs.
  env_.Codes("?ASCII\n6FILTER 3 cat\n");
  std::remove(env_.root().path("/u/tmp/jis1").c_str());
  EXPECT_EQ(Print("/nonexistent/file"),
            "Start Print: job on tp\nERROR: tp: unable to open /nonexistent/file\n"
            "ERROR: tp: /nonexistent/file: No such file or directory\n");
  EXPECT_EQ(qx5::smsgp.status, 9);
  const std::string fifo = env_.root().dir() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Print(fifo), "Start Print: job on tp\nERROR: tp: unable to open " + fifo +
                             "\nERROR: tp: " + fifo + ": not a regular file\n");
  EXPECT_EQ(qx5::smsgp.status, 9);
  EXPECT_FALSE(env_.root().exists("/u/tmp/jis1"));
  EXPECT_EQ(env_.Sent(), "");
}

// A /u/tmp that cannot take the conversion's files (here it is not a directory): the request
// is answered 9 with the path and the reason, and nothing is printed, converted or not.
TEST_F(Japanese, UnwritableTmpFailsTheRequest) {
  env_.root().write("/t.txt", kEuc);
  std::filesystem::remove_all(env_.root().path("/u/tmp"));
  env_.root().write("/u/tmp", "not a directory");
  qx5::PrinterNumber = 1;
  const std::string tmp = env_.root().path("/u/tmp");
  qx5::smsgp.status = 0;
  EXPECT_EQ(Line(std::string(kEuc, 4)),
            "ERROR: tp: unable to create " + tmp + "/jistmp2: Not a directory\n");
  EXPECT_EQ(qx5::smsgp.status, 9);
  EXPECT_EQ(
      Print(env_.root().dir() + "/t.txt"),
      "Start Print: job on tp\nERROR: tp: unable to create " + tmp + "/jis2: Not a directory\n");
  EXPECT_EQ(qx5::smsgp.status, 9);
  EXPECT_EQ(env_.Sent(), "");
  qx5::PrinterNumber = 0;
}

// Links planted at both conversion files are replaced by the driver's own files, never
// followed: the files they point to stay as they were.
TEST_F(Japanese, PlantedLinksAreNeverFollowed) {
  env_.root().write("/victim1", "precious 1");
  env_.root().write("/victim2", "precious 2");
  const std::string jis = env_.root().path("/u/tmp/jis1");
  const std::string jistmp = env_.root().path("/u/tmp/jistmp1");
  env_.root().write("/t.txt", kEuc);
  for (int round = 0; round < 2; ++round) {
    std::remove(jis.c_str());
    std::remove(jistmp.c_str());
    ASSERT_EQ(symlink(env_.root().path("/victim1").c_str(), jis.c_str()), 0);
    ASSERT_EQ(symlink(env_.root().path("/victim2").c_str(), jistmp.c_str()), 0);
    Print(env_.root().dir() + "/t.txt");
    EXPECT_EQ(qx5::smsgp.status, 0);
    env_.ExpectSent(kJis);
    Line(std::string(kEuc, 4));
    env_.ExpectSent(std::string(kJis, sizeof kJis - 2));
    EXPECT_EQ(env_.root().read("/victim1"), "precious 1");
    EXPECT_EQ(env_.root().read("/victim2"), "precious 2");
    for (const std::string& own : {jis, jistmp}) {
      struct stat st;
      ASSERT_EQ(lstat(own.c_str(), &st), 0);
      EXPECT_TRUE(S_ISREG(st.st_mode)) << own;
      EXPECT_EQ(st.st_mode & 0777, 0600u) << own;
    }
    EXPECT_EQ(env_.root().read("/u/tmp/jistmp1"), std::string(kEuc, 4));
  }
}

TEST_F(Japanese, OneLine) {
  Line(std::string(kEuc, 4));
  env_.ExpectSent(std::string(kJis, sizeof kJis - 2));
  EXPECT_EQ(env_.root().read("/u/tmp/jistmp1"), std::string(kEuc, 4));
  // A filter that writes nothing, or fails, prints nothing: status 9, no file left behind.
  for (const std::string filter : {"true", "sh -c 'cat \"$0\"; false'"}) {
    env_.Codes("?ASCII\n6FILTER " + std::to_string(filter.size()) + " " + filter + "\n");
    qx5::smsgp.status = 0;
    EXPECT_NE(Line("abc").find("ERROR: tp: FILTER "), std::string::npos) << filter;
    EXPECT_EQ(qx5::smsgp.status, 9);
    EXPECT_EQ(env_.Sent(), "") << filter;
    EXPECT_FALSE(env_.root().exists("/u/tmp/jistmp1"));
    EXPECT_FALSE(env_.root().exists("/u/tmp/jis1"));
  }
  // A conversion longer than its space is cut there.
  char text[8] = "abcdefg";
  env_.Codes("?ASCII\n6FILTER 3 cat\n");
  qx5::JCLine(text, 4);
  EXPECT_STREQ(text, "abc");
}

}  // namespace
