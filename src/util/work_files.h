// Work files of runs that died: the temporary names (platform::RunTempName)
// a killed run leaves beside the files it was replacing.
#ifndef OLVIX_UTIL_WORK_FILES_H_
#define OLVIX_UTIL_WORK_FILES_H_

#include <string>
#include <vector>

namespace olvix {

// The process id in a temporary name "<name>.<pid>.$$$", or 0.
int WorkFileOwner(const std::string& name);

// Removes from each of `dirs` the temporary files of processes that no
// longer run. Files of running processes, this one included, stay.
void RemoveWorkOfDeadRuns(const std::vector<std::string>& dirs);

}  // namespace olvix

#endif  // OLVIX_UTIL_WORK_FILES_H_
