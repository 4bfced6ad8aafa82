#include "util/work_files.h"

#include "platform/platform.h"
#include "util/paths.h"

namespace olvix {

int WorkFileOwner(const std::string& name) {
  const std::string tail = ".$$$";
  if (name.size() <= tail.size() || name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return 0;
  size_t end = name.size() - tail.size();
  size_t start = end;
  while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9') --start;
  if (start == end || start == 0 || name[start - 1] != '.' || end - start > 9) return 0;
  return std::stoi(name.substr(start, end - start));
}

void RemoveWorkOfDeadRuns(const std::vector<std::string>& dirs) {
  const int self = platform::ProcessId();
  for (const std::string& dir : dirs) {
    if (dir.empty()) continue;
    std::vector<platform::DirEntry> entries;
    (void)platform::ListDirectory(dir, "*.$$$", false, &entries);  // a missing one holds none
    for (const platform::DirEntry& e : entries) {
      int pid = WorkFileOwner(e.name);
      if (pid > 0 && pid != self && !platform::ProcessAlive(pid))
        (void)platform::RemoveFile(JoinPath(dir, e.name));  // gone is what we want
    }
  }
}

}  // namespace olvix
