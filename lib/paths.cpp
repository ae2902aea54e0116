#include "lib/paths.hpp"

#include <cstdlib>

namespace qx5 {

std::string RootPath(std::string_view fixed) {
  const char* root = std::getenv("QX5_ROOT");
  if (root == nullptr || *root == '\0') return std::string(fixed);
  std::string out(root);
  while (!out.empty() && out.back() == '/') out.pop_back();
  if (fixed.empty() || fixed.front() != '/') out.push_back('/');
  out.append(fixed);
  return out;
}

}  // namespace qx5
