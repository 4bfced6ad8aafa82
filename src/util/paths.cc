#include "util/paths.h"

#include "platform/platform.h"
#include "util/text.h"

namespace olvix {

namespace {
size_t LastSep(const std::string& p) { return p.find_last_of("\\/"); }
}  // namespace

std::string DirPart(const std::string& path) {
  size_t pos = LastSep(path);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string FilePart(const std::string& path) {
  size_t pos = LastSep(path);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool EndsWithSep(const std::string& path) { return !path.empty() && platform::IsSep(path.back()); }

std::string WithTrailingSep(const std::string& path) {
  return EndsWithSep(path) ? path : path + platform::kSep;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return WithTrailingSep(dir) + name;
}

std::string DirectoryKey(const std::string& dir) {
  std::string key = Lower(platform::NormalizePath(dir));
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

std::string NativeDir(const std::string& dir) {
  std::string p = platform::NativePath(dir);
  while (p.size() > 1 && platform::IsSep(p.back())) p.pop_back();
  return p;
}

void CreatePath(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (!platform::IsSep(path[i])) continue;
    std::string prefix = path.substr(0, i);
    if (prefix.size() == 2 && prefix[1] == ':') continue;  // a drive root
    // Succeeds at once for a directory that is there; a failure shows when
    // the directory is used.
    (void)platform::MakeDir(prefix);
  }
}

bool IsBareFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == ':' || c == '\0') return false;
  return true;
}

}  // namespace olvix
