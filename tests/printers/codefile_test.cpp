#include <gtest/gtest.h>

#include "printer_fixture.hpp"

using h2test::Code;
using h2test::Map;
using h2test::PrinterEnv;

namespace {

const char kBasic[] =
    "! comment\n"
    "?BINARY\n"
    "2FF 1 12\n"
    "5RESET 2 27 69\n"
    "5EJECT 0 27 69\n"
    "2FFX 1 99\n"
    "FF 1 65\n"
    "4NUL3 3 1 0 2\n"
    "3EJ 1 81\n"
    "4WIDE 4 14\n"
    "?ASCII\n"
    "4TEXT 5 a b c\n"
    "5LINE 3 xy\n";

TEST(CodeFile, TranslatesEscapes) {
  PrinterEnv env;
  env.Codes(kBasic);
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"A\\!2FFB", std::string("A\x0c"
                               "B")},
      {"\\!3XYZ", ""},                                 // no such command: vanishes
      {"keep \\!wow and \\!", "keep \\!wow and \\!"},  // no digit: copied
      {"\\!5RESET",
       "\x1b"
       "E"},
      {"\\!5EJECT", ""},                               // count 0 was skipped
      {"\\!4NUL3|", std::string("\x01\x00\x02|", 4)},  // embedded NUL kept
      {"\\!4WIDE", "\x0e"},                            // count beyond the bytes: those given
      {"[\\!4TEXT]", "[a b c]"},                       // ASCII: blanks taken literally
      {"\\!5LINE", "xy\n"},                            // ... and the line's newline
      {"x\\!3EJ", "xQ"},                               // escape cut by the end of the line
      {"x\\!5EJ", "x"},                                // compared with what is there: no match
  };
  for (const Case& c : cases) EXPECT_EQ(Map(c.in), c.out) << c.in;
  // Names are compared as escape bodies: the first entry beginning with them wins, and an
  // entry without a length digit never matches.
  env.Codes("?BINARY\n2FFX 1 99\n2FF 1 12\nFF 1 65\n");
  EXPECT_EQ(Map("\\!2FF"), "c");
}

// Bytes translated by their count: a NUL byte is text like any other, also before an escape.
// WholeEscapes finds where a piece of text may end without cutting an escape in two.
TEST(CodeFile, TranslatesBytesAndFindsWholeEscapes) {
  PrinterEnv env;
  env.Codes(kBasic);
  const std::string nul(1, '\0');
  const struct {
    std::string in;
    std::string out;
  } bytes[] = {
      {"a" + nul + "b\n", "a" + nul + "b\n"},
      {nul + "\\!2FF" + nul, nul + "\x0c" + nul},
      {"a" + nul + "\\!2FF", "a" + nul + "\x0c"},
  };
  for (const auto& c : bytes) {
    char buf[64] = {};
    std::memcpy(buf, c.in.data(), c.in.size());
    const int n = qx5::MapBytes(buf, c.in.size(), sizeof buf);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), c.out) << qx5test::Hex(c.in);
  }
  const struct {
    std::string text;
    size_t whole;
  } pieces[] = {
      {"abc", 3},
      {"ab\\", 2},
      {"ab\\!", 2},
      {"ab\\!4BO", 2},
      {"ab\\!4BOLD", 9},
      {"ab\\!0", 5},
      {"ab\\x", 4},
      {"ab\\!x", 5},
      {"\\!2FF\\!9ABC", 5},
      {"\\!3A\\!2FF", 9},
      {"ab\\!9" + std::string(9, 'n'), 14},
  };
  for (const auto& c : pieces)
    EXPECT_EQ(qx5::WholeEscapes(c.text.data(), c.text.size()), c.whole) << c.text;
}

// Every line the reader cannot take whole is named with its file and line number, why, and
// what is done instead; the long-standing lines come first, as they stand.
TEST(CodeFile, BadLinesAndMessages) {
  PrinterEnv env;
  const std::string at = env.root().path("/u/qx5/def_data/printers/t.cod") + ":";
  struct Case {
    std::string file;
    std::string out;
    int commands;     // entries stored
    std::string map;  // what \!5RESET then stands for
  } cases[] = {
      {"?BINARY\n5RESET 2\n",
       "tp: Unknown String\n5RESET 2\ntp: " + at +
           "2: 5RESET: no code bytes after the count: the line is skipped\n",
       0, ""},
      {"?BINARY\n   \n",
       "tp: Unknown String\n   \ntp: " + at + "2: no command name: the line is skipped\n", 0, ""},
      {"?BINARY\nTOOLONGNAME 1 1\n",
       "tp: Cmd too long (9 characters max)\nTOOLONGNAME 1 1\ntp: " + at +
           "2: TOOLONGNAME has 11 characters, at most 9: the line is skipped\n",
       0, ""},
      {"?BINARY\n5RESET 0 27 69\n", "", 0, ""},
      {"?BINARY\n5RESET -1 7\n",
       "tp: " + at + "2: 5RESET: the byte count -1 is negative: the line is skipped\n", 0, ""},
      {"?BINARY\n5RESET\n",
       "tp: Unknown String\n5RESET\ntp: " + at +
           "2: 5RESET: no byte count after the name: the line is skipped\n",
       0, ""},
      // A code the reader does not know: first, or before the count is reached.
      {"?BINARY\n5RESET 2 ESC 69\n",
       "tp: Unknown String\n5RESET 2 ESC 69\ntp: " + at +
           "2: 5RESET: ESC is not a byte value (0 to 255, in decimal): the line is skipped\n",
       0, ""},
      {"!\n?BINARY\n5RESET 2 27 E\n",
       "tp: " + at +
           "3: 5RESET: E is not a byte value (0 to 255, in decimal): the line is skipped\n",
       0, ""},
      // Words behind the codes the count asks for are not read.
      {"?BINARY\n5RESET 2 27 69 reset\n", "", 1,
       "\x1b"
       "E"},
      // A count larger than the codes given: the codes given, no NUL bytes.
      {"?BINARY\n5RESET 3 27 69\n",
       "tp: " + at +
           "2: 5RESET: the count is 3 but 2 code bytes are given: the command stands for the 2 "
           "given\n",
       1,
       "\x1b"
       "E"},
      {"?ASCII\n5RESET 4 ab\n",
       "tp: " + at +
           "2: 5RESET: the count is 4 but 3 code characters (the newline counted) are given: the "
           "command stands for the 3 given\n",
       1, "ab\n"},
      {"?BINARY\n5RESET 2 27 325\n",
       "tp: " + at + "2: 5RESET: 325 is not a byte value (0 to 255): its low byte 69 is used\n", 1,
       "\x1b"
       "E"},
      // An entry without its length digit is kept, but no escape can reach it.
      {"?BINARY\nRESET 2 27 69\n",
       "tp: " + at +
           "2: RESET: the name does not begin with its length digit (5RESET): no escape reaches "
           "it\n",
       1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    testing::internal::CaptureStdout();
    env.Codes(c.file);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(qx5::PrCmdsCt, c.commands);
    EXPECT_EQ(Map("\\!5RESET"), c.map);
  }
}

// A last line without its newline is read whole: in ASCII mode it ends with the newline the
// other lines have.
TEST(CodeFile, LastLineWithoutNewline) {
  PrinterEnv env;
  env.Codes("?ASCII\n5LINE1 3 xy\n5LINE2 3 xy");
  EXPECT_EQ(Map("\\!5LINE1"), "xy\n");
  EXPECT_EQ(Map("\\!5LINE2"), "xy\n");
  env.Codes("?BINARY\n5RESET 2 27 69");
  EXPECT_EQ(Map("\\!5RESET"),
            "\x1b"
            "E");
}

TEST(CodeFile, TableLimit) {
  PrinterEnv env;
  std::string file = "?BINARY\n";
  for (int i = 0; i < 200; ++i) file += "4C" + std::to_string(100 + i) + " 1 65\n";
  file += "4LAST 1 66\n4MORE 1 67\n";
  testing::internal::CaptureStdout();
  env.Codes(file);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "tp: Too many cmds. This cmd to EOF will be ignored:\n4LAST 1 66\ntp: " +
                     env.root().path("/u/qx5/def_data/printers/t.cod") +
                     ":202: the table holds 200 commands: the rest of the file is not read\n");
  EXPECT_EQ(qx5::PrCmdsCt, 200);
  EXPECT_EQ(Map("\\!4C299\\!4LAST\\!4MORE"), "A");
}

TEST(CodeFile, OutputIsBoundedByTheCallersBuffer) {
  PrinterEnv env;
  env.Codes("?ASCII\n4BIG9 59 " + std::string(59, 'B') + "\n");
  // Ten escapes want 590 bytes: cut at the work buffer and at the caller's buffer.
  std::string line;
  for (int i = 0; i < 10; ++i) line += "\\!4BIG9";
  EXPECT_EQ(Map(line, 500, 504), std::string(500, 'B'));
  char buf[40];
  std::memset(buf, '#', sizeof buf);
  std::strcpy(buf, "\\!4BIG9");
  int n = qx5::MapCodes(buf, 20, 16);
  EXPECT_EQ(n, 15);
  EXPECT_EQ(std::string(buf, 16), std::string(15, 'B') + '\0');
  EXPECT_EQ(buf[16], '#');
  // maxlen bounds the input read.
  EXPECT_EQ(Map("abcdef", 3), "abc");
}

TEST(CodeFile, MissingFileAndLookupDirectories) {
  PrinterEnv env;
  env.Codes("?BINARY\n2FF 1 12\n");
  char line[100];
  testing::internal::CaptureStdout();
  EXPECT_EQ(qx5::ReadCodeFile("absent.cod", line), 0);
  EXPECT_EQ(
      testing::internal::GetCapturedStdout(),
      "tp: Could not open file: absent.cod\ntp: absent.cod not found: " +
          env.root().path("/u/qx5/usr_data/printers/absent.cod") + ": No such file or directory; " +
          env.root().path("/u/qx5/def_data/printers/absent.cod") + ": No such file or directory\n");
  EXPECT_EQ(qx5::PrCmdsCt, 0);
  EXPECT_EQ(Map("\\!2FF"), "");
  // The user data directory comes before the default one.
  env.root().write("/u/qx5/usr_data/printers/t.cod", "?BINARY\n2FF 1 13\n");
  EXPECT_EQ(qx5::ReadCodeFile("t.cod", line), 1);
  EXPECT_EQ(Map("\\!2FF"), "\r");
  // A path that would not fit is not opened under a cut name.
  EXPECT_EQ(qx5::ReadCodeFile(std::string(70, 'x').c_str(), line), 0);
}

TEST(CodeFile, CompressionMode) {
  // 8COMPRESS: one byte, 2 or 3, in binary or as the digit in ASCII mode; anything else is
  // refused with a line at load time and the rows stay uncompressed.
  PrinterEnv env;
  struct Case {
    const char* codes;
    int mode;
    bool complains;
  };
  const Case cases[] = {
      {"?BINARY\n8COMPRESS 1 2\n", 2, false},  {"?BINARY\n8COMPRESS 1 3\n", 3, false},
      {"?ASCII\n8COMPRESS 1 3\n", 3, false},   {"?ASCII\n8COMPRESS 1 2\n", 2, false},
      {"?BINARY\n5RESET 2 27 69\n", 0, false}, {"?BINARY\n8COMPRESS 1 1\n", 0, true},
      {"?BINARY\n8COMPRESS 1 9\n", 0, true},   {"?BINARY\n8COMPRESS 2 3 3\n", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codes);
    testing::internal::CaptureStdout();
    env.Codes(c.codes);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(qx5::CompressionMode(), c.mode);
    EXPECT_EQ(out.find("8COMPRESS takes one byte, 2 or 3") != std::string::npos, c.complains)
        << out;
  }
}

TEST(CodeFile, CodeTables) {
  PrinterEnv env;
  qx5::SETUPlang = 'E';
  env.Codes(
      "?BINARY\n6HASPCL 1 1\n7GRS[0] 2 65 66\n7GRS[1] 3 67 68 69\n7GRS[3] 1 70\n"
      "5GRSRW 1 1\n?ASCII\n6FILTER 27 convert --from euc --to jis\n6FSPACE 2 ab\n");
  EXPECT_EQ(Code(qx5::HASPCL, qx5::HASPCLct), "\x01");
  EXPECT_EQ(Code(qx5::GRS[0], qx5::GRSct[0]), "AB");
  EXPECT_EQ(Code(qx5::GRS[1], qx5::GRSct[1]), "CDE");
  for (int i = 2; i < 10; ++i) EXPECT_EQ(qx5::GRSct[i], 0) << i;  // GRS[3] is never reached
  EXPECT_EQ(qx5::GRS[3][0], '\0');
  EXPECT_EQ(Code(qx5::GRSRW, qx5::GRSRWct), "\x01");
  EXPECT_EQ(qx5::GRSDPIct, 0);
  EXPECT_EQ(qx5::SETUPfontSpacingLen, 0);  // Japanese codes only for a Japanese printer
  qx5::SETUPlang = 'K';
  char scratch[20];
  qx5::SetPrinterCodes(scratch);
  EXPECT_STREQ(qx5::SETUPeuc_filter, "convert --from euc --to jis");  // longer than 19
  EXPECT_EQ(Code(qx5::SETUPfontSpacing, qx5::SETUPfontSpacingLen), "ab");
  // A code longer than 19 bytes is cut in its table.
  env.Codes("?ASCII\n6INITLN 30 123456789012345678901234567890\n");
  EXPECT_EQ(qx5::INITLNct, 19);
}

TEST(CodeFile, ReloadLine) {
  PrinterEnv env;
  env.Codes("?BINARY\n2FF 1 12\n");
  env.Def("t.cod", "?BINARY\n2FF 1 13\n5EJECT 1 14\n");
  testing::internal::CaptureStdout();
  char buf[32] = "Read\\!3XYZCodeFile";
  EXPECT_EQ(qx5::MapCodes(buf, 200, sizeof buf), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Reading code file again: t.cod\n");
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(Code(qx5::FF, qx5::FFct), "\r");
  EXPECT_EQ(Code(qx5::EJECT, qx5::EJECTct), "\x0e");
  // A code whose bytes spell the reload line is just a code: building the tables does not
  // reload (and so cannot recurse).
  env.Codes("?ASCII\n6HASPCL 12 ReadCodeFile\n");
  EXPECT_EQ(Code(qx5::HASPCL, qx5::HASPCLct), "ReadCodeFile");
}

// The sample code files carry the printers' real command strings.
TEST(CodeFile, SamplePrinters) {
  PrinterEnv env(true);
  char line[100];
  auto load = [&](const char* file, int lang) {
    std::strcpy(qx5::SETUPcode, file);
    qx5::SETUPlang = lang;
    EXPECT_EQ(qx5::ReadCodeFile(file, line), 1) << file;
    qx5::SetPrinterCodes(line);
  };
  testing::internal::CaptureStdout();
  for (const char* pcl : {"laserjet.cod", "deskjet.cod", "ljkanji.cod"}) {
    load(pcl, 'K');
    SCOPED_TRACE(pcl);
    EXPECT_GT(qx5::HASPCLct, 0);
    EXPECT_EQ(Code(qx5::RESET, qx5::RESETct),
              "\x1b"
              "E");
    EXPECT_EQ(Code(qx5::MAPLF, qx5::MAPLFct), "\x1b&k2G");
    EXPECT_EQ(Code(qx5::PORT, qx5::PORTct), "\x1b&l0O");
    EXPECT_EQ(Code(qx5::EJECT, qx5::EJECTct), "\x1b&l0H");
    EXPECT_EQ(Code(qx5::GREND, qx5::GRENDct), "\x1b*rB");
    EXPECT_EQ(Map("\\!8LETTERSZ|\\!4A4SZ|\\!7LEGALSZ"), "\x1b&l2A|\x1b&l26A|\x1b&l3A");
    EXPECT_EQ(Code(qx5::GRS[0], qx5::GRSct[0]), "\x1b*t%dR");
    EXPECT_EQ(Code(qx5::GRSDPI, qx5::GRSDPIct), std::string(1, '\0'));
  }
  load("laserjet.cod", 'E');
  EXPECT_EQ(Code(qx5::GRS[1], qx5::GRSct[1]), "\x1b*r%dS");
  EXPECT_EQ(Code(qx5::GRS[2], qx5::GRSct[2]), "\x1b*r1A");
  EXPECT_EQ(qx5::CompressionMode(), 3);
  EXPECT_EQ(Map("\\!4BOLDx\\!6NOBOLD"), "\x1b(s3Bx\x1b(s0B");
  load("deskjet.cod", 'E');
  EXPECT_EQ(Code(qx5::GRS[1], qx5::GRSct[1]), "\x1b*r3U");
  // The raster width the rows carry (8 inches at 300 dpi), not the paper's.
  EXPECT_EQ(Code(qx5::GRS[2], qx5::GRSct[2]), "\x1b*r2400S");
  EXPECT_EQ(qx5::GRSRWct, 0);
  EXPECT_EQ(qx5::CompressionMode(), 3);
  load("ljkanji.cod", 'K');
  EXPECT_EQ(qx5::CompressionMode(), 0);
  EXPECT_STREQ(qx5::SETUPeuc_filter, "nkf -E -j");
  EXPECT_GT(qx5::SETUPfontSpacingLen, 0);
  load("epsonfx.cod", 'E');
  EXPECT_EQ(Code(qx5::GRS[0], qx5::GRSct[0]), std::string("\x1bL\0\0", 4));
  EXPECT_EQ(Code(qx5::FF, qx5::FFct), "\x0c");
  load("hp7475a.cod", 'E');
  EXPECT_EQ(Code(qx5::RESET, qx5::RESETct), "\x1b.(IN;");
  EXPECT_EQ(Code(qx5::PORT, qx5::PORTct), "RO0;");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no bad line in any sample
}

}  // namespace
