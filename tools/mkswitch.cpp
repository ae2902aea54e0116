// Writes the binary switch-text database from its readable source:
//   mkswitch SOURCE DIR LETTER
// SOURCE holds one line per switch: number, tab, English text, tab, the text of the second
// language (LETTER names it: f for French, ...); lines starting with "!" are comments.
// Written into DIR: eswitch.data and <LETTER>switch.data (25-byte records, one per source
// line, in line order) and DBswitch.data (16-bit little-endian record number of each switch
// from 1 to the highest one listed; 0 for a switch that has no text).
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
  std::vector<std::string> english, other;
  std::map<int, int> record;  // switch number to record number
};

bool Fail(const std::string& where, const std::string& why) {
  std::cerr << "mkswitch: " << where << ": " << why << "\n";
  return false;
}

bool Parse(const char* path, Source& src) {
  std::ifstream in(path);
  if (!in) return Fail(path, "cannot open");
  std::string line;
  for (int lineno = 1; std::getline(in, line); lineno++) {
    if (line.empty() || line[0] == '!') continue;
    const std::string where = std::string(path) + ":" + std::to_string(lineno);
    std::vector<std::string> fields;
    std::stringstream ss(line);
    for (std::string f; std::getline(ss, f, '\t');) fields.push_back(f);
    if (fields.size() != 3) return Fail(where, "want number, English text, second text");
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
    for (int i = 1; i < 3; i++)
      if (fields[i].size() >= kRecord) return Fail(where, "text longer than 24 characters");
    if (src.english.size() == kMaxRecords) return Fail(where, "too many texts");
    src.english.push_back(fields[1]);
    src.other.push_back(fields[2]);
    src.record[n] = static_cast<int>(src.english.size());
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
  if (argc != 4 || std::string(argv[3]).size() != 1 || argv[3][0] == 'e') {
    std::cerr << "usage: mkswitch SOURCE DIR LETTER   (LETTER: the second language, not e)\n";
    return 2;
  }
  Source src;
  if (!Parse(argv[1], src)) return 1;
  const std::string dir = argv[2];
  const bool ok = WriteFile(dir + "/eswitch.data", Records(src.english)) &&
                  WriteFile(dir + "/" + argv[3] + "switch.data", Records(src.other)) &&
                  WriteFile(dir + "/DBswitch.data", Index(src.record));
  return ok ? 0 : 1;
}
