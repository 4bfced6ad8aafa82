// File handling shared by every command: the open-file table, text-mode
// reading, copy, delete and directory scanning.
#ifndef OLVIX_UTIL_FILES_H_
#define OLVIX_UTIL_FILES_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace olvix {

class Log;

// Streams opened by the program, each with its own buffer of
// `buffer_size` bytes (no own buffer when 0). At most 1000 are open at once;
// more is a fatal error.
class FileTable {
 public:
  static constexpr size_t kSlots = 1000;
  explicit FileTable(Log* log) : log_(log) {}
  ~FileTable();
  FileTable(const FileTable&) = delete;
  FileTable& operator=(const FileTable&) = delete;

  // Opens `name` with an fopen mode. On failure logs message 0 and returns
  // nullptr.
  std::FILE* Open(const std::string& name, const char* mode);
  // Like Open, but reports the system error number instead of logging.
  std::FILE* OpenQuiet(const std::string& name, const char* mode, int* error);
  // Closes a stream; returns 0 or the error number of a failed close (a
  // failed flush of written data).
  int Close(std::FILE* f);
  size_t open_count() const;

  size_t buffer_size = 16384;

 private:
  struct Slot {
    std::FILE* file = nullptr;
    std::unique_ptr<char[]> buffer;
  };
  std::FILE* Register(std::FILE* f);
  Log* log_;
  std::vector<Slot> slots_;
};

// Reads one piece of a text-mode stream as fgets would into a buffer of
// `capacity` bytes: at most capacity-1 characters, ending after a line
// feed. CR LF reads as LF. Returns false at the end of the file.
bool ReadTextPiece(std::FILE* f, size_t capacity, std::string* out);
// Splits text into the same pieces (after CR LF has become LF).
std::vector<std::string> SplitPieces(const std::string& text, size_t capacity);
// Reads a whole file; CR LF becomes LF when `text_mode`. False on failure.
bool ReadWholeFile(const std::string& path, bool text_mode, std::string* out, int* error = nullptr);
// Writes a whole file through a temporary name in the same directory and a
// rename, so that a failure leaves the old file as it was. Returns 0 or an
// error number.
int WriteFileAtomic(const std::string& path, const std::string& data);
// Adds `data` to the end of a file (created when missing) by writing the
// whole new file under a temporary name and renaming it: a failure leaves
// the old file whole, never a fragment. A last line without its line end
// gets one first. 0 or an error number.
int AppendFileAtomic(const std::string& path, const std::string& data);
// What AppendFileAtomic writes: the text of `path` (empty when the file is
// missing), a missing last line end supplied, then `data`. 0 or the error
// number of the read.
int AppendedFileText(const std::string& path, const std::string& data, std::string* out);

// Removes what runs that are gone left in `dir` under their temporary
// names (RunTempName): half-written files and work directories. Names of
// running processes are left alone.
void RemoveDeadRunTemps(const std::string& dir);

// Copies `source` into directory `dir` under the lower-case form of its
// file name, replacing an existing copy (the copy is complete or absent
// under that name). Logs message 5. 0 on success, else the error number.
int CopyToDirectory(Log& log, const std::string& source, const std::string& dir,
                    platform::CopySource mode = platform::CopySource::kAny);
// Copies `source` into `dir` under the lower-case form of `name` (the
// source's own name when empty) or, when that is taken, the first free name
// of the form NAME.E~1 (see TildeName). `*placed` receives the name used.
// 0 or the error number.
int CopyToFreeName(Log& log, const std::string& source, const std::string& dir,
                   const std::string& name, platform::CopySource mode, std::string* placed);
// The name FILE.ZIP takes when it is kept beside a newer file: the last
// characters replaced by "~" and n (FILE.Z~1).
std::string TildeName(const std::string& name, int n);
// Deletes a file and writes the debug line of category F. Returns the
// platform result code.
int DeleteLogged(Log& log, const std::string& path);
bool Exists(const std::string& path);
// Size of a file, or -1 when it cannot be found.
int64_t FileSizeOf(const std::string& path);

// Directory scan modes.
enum class ScanMode { kNone = 0, kFiles = 1, kFilesAndDirs = 2, kAllThenFiles = 3 };
// Entries matching the wildcard in the last component of `pattern`
// ("C:\IN\*.TIC"), names only, "." and ".." skipped.
std::vector<platform::DirEntry> ScanDirectory(const std::string& pattern, ScanMode mode);

// CRC-32 of a file's bytes; 0 when it cannot be opened (the failure is
// logged through the table).
uint32_t FileCrc32(FileTable& table, const std::string& path);

}  // namespace olvix

#endif  // OLVIX_UTIL_FILES_H_
