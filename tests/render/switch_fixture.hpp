// Test helpers for the switch-text database: binary files built from texts, and the language.
#pragma once
#include <string>
#include <vector>

#include "lib/configman.hpp"
#include "lib/dbswitch.hpp"
#include "support/harness.hpp"

namespace h4test {

constexpr int kRecord = 25;

// A text file: one 25-byte record per text, in order (texts longer than 24 are written whole
// into as many bytes as they need, to make unsound records).
inline std::string Records(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) {
    std::string r = t;
    if (r.size() < kRecord) r.resize(kRecord, '\0');
    out += r;
  }
  return out;
}

// An index: entry n - 1 holds the record number of switch n, 16-bit little-endian.
inline std::string Index(const std::vector<int>& records) {
  std::string out;
  for (int k : records) {
    out.push_back(static_cast<char>(k & 0xFF));
    out.push_back(static_cast<char>((k >> 8) & 0xFF));
  }
  return out;
}

// An index of `count` switches where switch first + i names record i + 1.
inline std::string IndexFrom(int first, int count) {
  std::vector<int> rec(static_cast<size_t>(first - 1 + count), 0);
  for (int i = 0; i < count; i++) rec[static_cast<size_t>(first - 1 + i)] = i + 1;
  return Index(rec);
}

// Sets the language code (configuration key 0) of the root and reloads the configuration;
// the switch database is released so that the next load takes the new language.
inline void SetLanguage(const qx5test::TempRoot& root, int code) {
  const std::string fixed = "/u/qx5/sys_data/files/sysgen.bin";
  std::string sys = root.read(fixed);
  if (sys.size() < 64) sys.resize(64, '\0');
  for (int i = 0; i < 4; i++)
    sys[static_cast<size_t>(i)] = static_cast<char>((code >> (8 * i)) & 0xFF);
  root.write(fixed, sys);
  qx5::InitConfigure();
  qx5::CloseSwitchDb();
}

}  // namespace h4test
