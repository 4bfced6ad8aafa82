// The platform layer: every call into the operating system goes through
// these functions. The header includes no OS headers; one implementation
// file per operating system (platform_posix.cc, later platform_win32.cc)
// gives them their meaning.
//
// Paths handed to this layer may use "\" or "/" as separators and may start
// with a drive letter ("C:\FIDO\IN"); see README.md for how they map onto a
// POSIX file system. Names are resolved without regard to ASCII case.
#ifndef OLVIX_PLATFORM_PLATFORM_H_
#define OLVIX_PLATFORM_PLATFORM_H_

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace olvix::platform {

// The separator the system appends and tests for itself.
inline constexpr char kSep = '/';
// Name of the platform shown in the banner, tear lines and ticket headers.
const char* PlatformName();

// Result codes: 0 success, kNotFound when the object does not exist, any
// other value is the system's error number.
inline constexpr int kOk = 0;
int NotFoundCode();  // ENOENT on POSIX
// Codes of this layer's own beyond the system's error numbers.
inline constexpr int kNotPlainFile = 4090;  // a symbolic link, FIFO, device or directory
inline constexpr int kFileTooLarge = 4091;  // larger than the reader takes
// The system's text for an error number (and for the codes above).
std::string ErrorText(int code);
// The error number of a full disk (ENOSPC on POSIX).
int NoSpaceCode();

// --- Paths --------------------------------------------------------------

// True for "\" and "/".
inline bool IsSep(char c) { return c == '\\' || c == '/'; }

// Turns a path as the user writes it into the platform's form: separators
// become kSep, a drive letter prefix is mapped (OLVIX_DRIVE_X, else "/"), a
// relative path is taken relative to `base` when `base` is not empty.
// Letter case is kept.
std::string NormalizePath(const std::string& path, const std::string& base = "");

// `path` normalized and made absolute against the current directory (which
// is only asked for when the path is relative). No lookup on disk.
std::string AbsolutePath(const std::string& path);

// The resolved on-disk path of `path`: normalized, then every existing
// component replaced by the directory entry that equals it without regard to
// case. Components that do not exist keep the case as written. This is the
// path to give other programs (mailers, archivers).
std::string NativePath(const std::string& path);

// True when the names this system writes into a Binkley-style outbound
// (zone and point directories, flow files) are lower case, as mailers on
// this platform look for them.
bool LowerCaseOutboundNames();

// Compares two paths without regard to case and separator style.
bool SamePath(const std::string& a, const std::string& b);

// --- Files and directories ----------------------------------------------

struct FileInfo {
  bool exists = false;
  bool is_dir = false;
  int64_t size = -1;
  int64_t mtime = 0;  // seconds since the epoch
  uint64_t device = 0;
};

FileInfo Stat(const std::string& path);
bool FileExists(const std::string& path);  // a regular file or a directory
bool IsDirectory(const std::string& path);

// Opens a C stream on the resolved path. Mode as for fopen ("r", "rb", "w",
// "a", "wb", ...). Returns nullptr and sets *error on failure.
std::FILE* OpenStream(const std::string& path, const char* mode, int* error);

// Creates one directory; succeeds when it already exists.
int MakeDir(const std::string& path);

// Removes a file: kOk when removed, NotFoundCode() when absent, else errno.
int RemoveFile(const std::string& path);
// Removes an empty directory.
int RemoveDir(const std::string& path);

// Renames `from` to `to`, replacing an existing `to`. When both name the
// same entry, only the letter case changes to that of `to`. NotFoundCode()
// when `from` does not exist.
int RenamePath(const std::string& from, const std::string& to);

// What a copy accepts as its source. Every copy refuses a FIFO, a device
// or a directory without blocking on it; kPlainOnly also refuses a
// symbolic link, for files another system sent us.
enum class CopySource { kAny, kPlainOnly };

// Copies `from` onto `to` (replacing it) and gives the copy the source's
// modification time. The bytes go to a temporary name in the target's
// directory that no other run uses, and the copy takes its name by a rename
// only when every write and the close succeeded: `to` is never seen half
// written, and on failure the old `to` stays. A target that is the source
// file itself (another spelling or a hard link) is left as it is and counts
// as copied. kNotPlainFile for a source the mode refuses.
int CopyFileContents(const std::string& from, const std::string& to,
                     CopySource source = CopySource::kAny);

// Puts `from` under the name `to` too (a hard link, replacing a file that
// stands there) when both are on one file system, else copies it as
// CopyFileContents does (plain files only). 0 or the error number.
int LinkOrCopyFile(const std::string& from, const std::string& to);

// Reads a plain file (CopySource as for a copy) in pieces handed to
// `chunk`, in order. `info`, when given, receives its size and time. 0 or
// the error number (kNotPlainFile for what the mode refuses).
int ReadFileChunks(const std::string& path, CopySource source,
                   const std::function<void(const char*, size_t)>& chunk, FileInfo* info);

// Reads a whole file that must be a plain file (not a symbolic link, FIFO
// or device; opened without following a link and without blocking) of at
// most `max_size` bytes. Returns 0, kNotPlainFile, kFileTooLarge (nothing
// is read then), or the system's error number.
int ReadPlainFile(const std::string& path, size_t max_size, std::string* out);

// Creates `path` exclusively and writes `data` into it. Already-exists when
// the name is taken; on a failed write or close the file is removed and the
// error returned.
int WriteNewFile(const std::string& path, const std::string& data);

// Replaces `path` by a file holding `data`: written under a temporary name
// of this run in the same directory, then renamed. On failure the old file
// stays and no temporary file is left.
int ReplaceFile(const std::string& path, const std::string& data);

// A temporary name beside `path` that no other run uses: `path`, a dot,
// this process's id and ".$$$".
std::string RunTempName(const std::string& path);
// Whether a file name ends like the temporary names of this system (".$$$").
bool IsWorkFileName(const std::string& name);
// The process id in a name made by RunTempName, or -1 for any other name.
int RunTempOwner(const std::string& name);

// Makes everything written so far on the file systems holding `paths`
// durable (one sync per file system). Returns 0 or the first error.
int SyncFileSystems(const std::vector<std::string>& paths);

// --- Append-only files ----------------------------------------------------

// A file kept open for appending whole records (the run journal).
// Returns a handle >= 0, or -1 with *error set.
int OpenAppendFile(const std::string& path, int* error);
// Appends `data` in one write; a write that fails part way is cut back, so
// the file never ends in a fragment. 0 or the error number.
int AppendRecord(int handle, const std::string& data);
int CloseAppendFile(int handle);

// Creates a hard link `to` naming the file `from`.
int HardLink(const std::string& from, const std::string& to);

// Creates `path` exclusively (fails with EEXIST when it exists). The file is
// left empty and closed.
int CreateExclusive(const std::string& path);
bool IsAlreadyExists(int code);

// Sets the modification time of a file.
int SetModTime(const std::string& path, int64_t mtime);

// Gives the owner write permission (there is no hidden or read-only
// attribute to clear on POSIX).
int ClearAttributes(const std::string& path);

// True when the file carries a hidden attribute. Never on POSIX.
bool IsHidden(const std::string& path);

// True for a regular file that is not a symbolic link. Used on files that
// an external program unpacked from untrusted archives.
bool IsPlainFile(const std::string& path);

// Free space of the file system holding `path`, in kilobytes; -1 on failure.
int64_t FreeSpaceKb(const std::string& path);

struct DirEntry {
  std::string name;
  bool is_dir = false;
  int64_t size = 0;
  int64_t mtime = 0;
};

// The directory-search rule of ListDirectory: `name` matches the wildcard
// `pattern` without regard to case.
bool NameMatches(const std::string& pattern, const std::string& name);

// What a listing gives of each entry: name, type, size and time, or, for
// the names of a big directory without a call per entry, name and type
// (size -1, time 0) where the directory tells the type.
enum class EntryDetails { kFull, kNamesOnly };

// Lists the plain files (and with `with_dirs` the directories) of `dir`
// whose names match the wildcard `pattern` ("*" and "?", without regard to
// case; a pattern ending in ".*" also matches names without a dot, so
// "*.*" lists everything), skipping "." and "..". Symbolic links count as
// what they point to.
int ListDirectory(const std::string& dir, const std::string& pattern, bool with_dirs,
                  std::vector<DirEntry>* out, EntryDetails details = EntryDetails::kFull);

// Current working directory (with a trailing separator) and change of it.
std::string CurrentDirectory();
int ChangeDirectory(const std::string& path);

// --- Busy flag ----------------------------------------------------------

// Creates or opens `path` for writing and takes an exclusive lock on it.
// Returns a handle >= 0, or -1 when another process holds the lock or the
// file cannot be created (then *error, when given, is set: the system's
// error number, or already-exists for a lock held).
int AcquireLockFile(const std::string& path, int* error = nullptr);
void ReleaseLockFile(int handle);
// True when some process holds the lock of AcquireLockFile on the existing
// file `path` (any of its names). False when nobody does or it is missing.
bool LockHeld(const std::string& path);

// --- Processes and environment -----------------------------------------

// Value of an environment variable; false when it is unset.
bool GetEnv(const std::string& name, std::string* value);
// Directory of the running executable, with a trailing separator.
std::string ExecutableDirectory(const char* argv0);
// Runs a command through the command interpreter and waits for it; returns
// its exit status, or -1 when it could not be started.
int RunCommand(const std::string& command);
// Quotes `text` as one literal word for the command interpreter.
std::string ShellQuote(const std::string& text);
// Waits the given number of milliseconds.
void Sleep(int milliseconds);
// This process's id.
int ProcessId();
// Whether a process of this id is running.
bool ProcessAlive(int pid);

// --- Console ------------------------------------------------------------

bool StdoutIsTerminal();
void SetConsoleTitleText(const std::string& title);
void RestoreConsoleTitle();
// Waits for one key press when standard input is a terminal; returns the key
// or -1 without waiting when it is not.
int ReadKey();

// --- Time ---------------------------------------------------------------

int64_t Now();
// Milliseconds since the epoch, for stamps finer than a second.
int64_t NowMilliseconds();
std::tm LocalTime(int64_t t);
std::tm UtcTime(int64_t t);
// strftime in the "C" locale.
std::string FormatTime(const char* pattern, const std::tm& tm);

}  // namespace olvix::platform

#endif  // OLVIX_PLATFORM_PLATFORM_H_
