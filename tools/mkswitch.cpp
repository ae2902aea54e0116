// Writes the binary switch-text database from its readable source:
//   mkswitch SOURCE DIR LETTERS
// SOURCE holds one line per switch: number, tab, English text, then a tab and the text of each
// further language, in the order of LETTERS (f for French, k for Japanese, ...); lines
// starting with "!" are comments. Written into DIR: eswitch.data and <LETTER>switch.data for
// each letter (25-byte records, one per source line, in line order) and DBswitch.data (16-bit
// little-endian record number of each switch from 1 to the highest one listed; 0 for a switch
// that has no text).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kRecord = 25;
constexpr int kMaxSwitch = 4999;  // 5000 and up are the colour and paper lists
constexpr size_t kMaxRecords = 32767;

struct Source {
  std::vector<std::vector<std::string>> texts;  // per language, English first
  std::map<int, int> record;                    // switch number to record number
};

bool Fail(const std::string& where, const std::string& why) {
  std::cerr << "mkswitch: " << where << ": " << why << "\n";
  return false;
}

bool Parse(const char* path, size_t languages, Source& src) {
  src.texts.assign(languages, {});
  std::ifstream in(path);
  if (!in) return Fail(path, "cannot open");
  std::string line;
  for (int lineno = 1; std::getline(in, line); lineno++) {
    if (line.empty() || line[0] == '!') continue;
    const std::string where = std::string(path) + ":" + std::to_string(lineno);
    std::vector<std::string> fields;
    std::stringstream ss(line);
    for (std::string f; std::getline(ss, f, '\t');) fields.push_back(f);
    if (fields.size() != languages + 1)
      return Fail(where, "want the number and " + std::to_string(languages) +
                             " texts (English first), separated by tabs");
    int n = 0;
    try {
      size_t used = 0;
      n = std::stoi(fields[0], &used);
      if (used != fields[0].size()) n = 0;
    } catch (...) {
      n = 0;
    }
    if (n < 1 || n > kMaxSwitch) return Fail(where, "switch number not in 1 to 4999");
    if (src.record.count(n)) return Fail(where, "switch listed twice");
    for (size_t i = 1; i < fields.size(); i++)
      if (fields[i].size() >= kRecord) return Fail(where, "text longer than 24 bytes");
    if (src.texts[0].size() == kMaxRecords) return Fail(where, "too many texts");
    for (size_t i = 0; i < languages; i++) src.texts[i].push_back(fields[i + 1]);
    src.record[n] = static_cast<int>(src.texts[0].size());
  }
  return true;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return out ? true : Fail(path, "cannot write");
}

std::string Records(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) {
    std::string rec = t;
    rec.resize(kRecord, '\0');
    out += rec;
  }
  return out;
}

std::string Index(const std::map<int, int>& record) {
  const int count = record.empty() ? 0 : record.rbegin()->first;
  std::string out(2 * static_cast<size_t>(count), '\0');
  for (const auto& [n, k] : record) {
    out[2 * (n - 1)] = static_cast<char>(k & 0xFF);
    out[2 * (n - 1) + 1] = static_cast<char>((k >> 8) & 0xFF);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string letters = argc == 4 ? argv[3] : "";
  if (argc != 4 || letters.empty() || letters.find_first_not_of("fghijklm") != std::string::npos) {
    std::cerr << "usage: mkswitch SOURCE DIR LETTERS   (LETTERS: the further languages, f to m)\n";
    return 2;
  }
  Source src;
  if (!Parse(argv[1], letters.size() + 1, src)) return 1;
  const std::string dir = argv[2];
  bool ok = WriteFile(dir + "/eswitch.data", Records(src.texts[0]));
  for (size_t i = 0; i < letters.size() && ok; i++)
    ok = WriteFile(dir + "/" + letters[i] + "switch.data", Records(src.texts[i + 1]));
  ok = ok && WriteFile(dir + "/DBswitch.data", Index(src.record));
  return ok ? 0 : 1;
}
