#include "platform/platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "../../tests/testutil.h"
#include "testing/samples.h"
#include "util/files.h"

namespace olvix::platform {
namespace {

using olvix::testutil::PathExists;
using olvix::testutil::ReadFile;
using olvix::testutil::ScopedTempDir;
using olvix::testutil::WriteFile;

// Sets a file's or directory's modification time, to the nanosecond.
void SetMtime(const std::string& path, int64_t sec, long nsec = 0) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(sec);
  times[0].tv_nsec = nsec;
  times[1] = times[0];
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

int64_t MtimeOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return -1;
  return st.st_mtim.tv_sec;
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Restores the current directory at the end of a test that changes it.
class CwdGuard {
 public:
  CwdGuard() : saved_(std::filesystem::current_path()) {}
  ~CwdGuard() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

// Sets or clears an environment variable for the length of a test.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    const char* v = std::getenv(name);
    had_ = v != nullptr;
    if (had_) old_ = v;
  }
  ~EnvGuard() {
    if (had_)
      ::setenv(name_, old_.c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

TEST(NativePathTest, FindsAnyCaseOfAnExistingName) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("lower.txt"), "l");
  WriteFile(tmp.Sub("UPPER.TXT"), "u");
  WriteFile(tmp.Sub("MiXeD.Txt"), "m");
  EXPECT_EQ(NativePath(tmp.Sub("LOWER.TXT")), tmp.Sub("lower.txt"));
  EXPECT_EQ(NativePath(tmp.Sub("upper.txt")), tmp.Sub("UPPER.TXT"));
  EXPECT_EQ(NativePath(tmp.Sub("mixed.TXT")), tmp.Sub("MiXeD.Txt"));
  EXPECT_EQ(NativePath(tmp.Sub("MIXED.TXT")), tmp.Sub("MiXeD.Txt"));
  EXPECT_EQ(NativePath(tmp.Sub("MiXeD.Txt")), tmp.Sub("MiXeD.Txt"));
  // Reading through the layer finds the file whatever the case written.
  int err = 0;
  std::FILE* f = OpenStream(tmp.Sub("mIxEd.tXt"), "rb", &err);
  ASSERT_NE(f, nullptr) << ErrorText(err);
  EXPECT_EQ(std::fgetc(f), 'm');
  std::fclose(f);
  EXPECT_TRUE(FileExists(tmp.Sub("LoWeR.TxT")));
  EXPECT_EQ(Stat(tmp.Sub("upper.TXT")).size, 1);
}

TEST(NativePathTest, SeveralMatchesPickTheBytewiseSmallest) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("abc"), "3");
  WriteFile(tmp.Sub("aBC"), "2");
  WriteFile(tmp.Sub("Abc"), "1");
  // No exact match: "Abc" < "aBC" < "abc" byte by byte.
  EXPECT_EQ(NativePath(tmp.Sub("ABc")), tmp.Sub("Abc"));
  EXPECT_EQ(NativePath(tmp.Sub("abC")), tmp.Sub("Abc"));
  // The name exactly as written wins over other spellings.
  EXPECT_EQ(NativePath(tmp.Sub("abc")), tmp.Sub("abc"));
  WriteFile(tmp.Sub("ABC"), "0");
  EXPECT_EQ(NativePath(tmp.Sub("abC")), tmp.Sub("ABC"));
}

TEST(NativePathTest, NewNamesKeepTheirCase) {
  ScopedTempDir tmp;
  std::filesystem::create_directory(tmp.Sub("Sub"));
  EXPECT_EQ(NativePath(tmp.Sub("NewFile.Txt")), tmp.Sub("NewFile.Txt"));
  // The existing directory is resolved, the new name is not touched.
  EXPECT_EQ(NativePath(tmp.Sub("SUB/NewName.Txt")), tmp.Sub("Sub/NewName.Txt"));
  int err = 0;
  std::FILE* f = OpenStream(tmp.Sub("sub/Created.TIC"), "w", &err);
  ASSERT_NE(f, nullptr) << ErrorText(err);
  std::fclose(f);
  EXPECT_EQ(Names(tmp.Sub("Sub")), std::vector<std::string>{"Created.TIC"});
  // Known to the layer's listing at once: found by another spelling.
  EXPECT_EQ(NativePath(tmp.Sub("SUB/created.tic")), tmp.Sub("Sub/Created.TIC"));
}

TEST(NativePathTest, DeepMixedCasePath) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("Fido/FileEchoes/Area_1/Some.File.Zip"), "z");
  const std::string want = tmp.Sub("Fido/FileEchoes/Area_1/Some.File.Zip");
  EXPECT_EQ(NativePath(tmp.Sub("FIDO/FILEECHOES/AREA_1/SOME.FILE.ZIP")), want);
  EXPECT_EQ(NativePath(tmp.Sub("fido/fileechoes/area_1/some.file.zip")), want);
  EXPECT_EQ(NativePath(tmp.path() + "\\fIDO\\fILEeCHOES\\aREA_1\\sOME.fILE.zIP"), want);
  // A trailing separator stays; a missing component and what follows keep
  // the case as written.
  EXPECT_EQ(NativePath(tmp.Sub("FIDO/FILEECHOES/")), tmp.Sub("Fido/FileEchoes/"));
  EXPECT_EQ(NativePath(tmp.Sub("FIDO/NoSuch/Thing.Txt")), tmp.Sub("Fido/NoSuch/Thing.Txt"));
}

TEST(NativePathTest, ListingNoticesFilesOfOtherPrograms) {
  ScopedTempDir tmp;
  const std::string dir = tmp.Sub("inbound");
  std::filesystem::create_directory(dir);
  WriteFile(dir + "/Seed.Txt", "s");
  // An old time stamp, so that the next change is sure to move it.
  SetMtime(dir, 1000000000);
  EXPECT_EQ(NativePath(dir + "/seed.TXT"), dir + "/Seed.Txt");  // listing read now
  EXPECT_EQ(NativePath(dir + "/mailer.FILE"), dir + "/mailer.FILE");

  // The mailer drops a file with plain POSIX calls.
  int fd = ::open((dir + "/MaIlEr.FiLe").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "x", 1), 1);
  ::close(fd);
  ASSERT_NE(MtimeOf(dir), 1000000000);
  EXPECT_EQ(NativePath(dir + "/mailer.FILE"), dir + "/MaIlEr.FiLe");

  // And takes it away again.
  SetMtime(dir, 1000000000);
  EXPECT_EQ(NativePath(dir + "/mailer.file"), dir + "/MaIlEr.FiLe");
  ASSERT_EQ(::unlink((dir + "/MaIlEr.FiLe").c_str()), 0);
  EXPECT_EQ(NativePath(dir + "/mailer.file"), dir + "/mailer.file");
  EXPECT_FALSE(FileExists(dir + "/MAILER.FILE"));
}

TEST(NativePathTest, ListingOfOneDirectoryIsNotUsedForAnother) {
  // Bare names are resolved in the current directory, and the program
  // walks directories by changing into them. Two directories with the same
  // time stamp must still be told apart.
  ScopedTempDir tmp;
  CwdGuard cwd;
  WriteFile(tmp.Sub("a/MiXed.txt"), "a");
  WriteFile(tmp.Sub("b/mIxEd.txt"), "b");
  SetMtime(tmp.Sub("a"), 1100000000, 5);
  SetMtime(tmp.Sub("b"), 1100000000, 5);
  ASSERT_EQ(ChangeDirectory(tmp.Sub("a")), kOk);
  EXPECT_EQ(NativePath("mixed.TXT"), "MiXed.txt");
  ASSERT_EQ(ChangeDirectory(tmp.Sub("b")), kOk);
  EXPECT_EQ(NativePath("mixed.TXT"), "mIxEd.txt");
  EXPECT_EQ(CurrentDirectory(), tmp.Sub("b/"));
}

TEST(NormalizePathTest, DriveLetters) {
  ScopedTempDir tmp;
  EnvGuard guard("OLVIX_DRIVE_X");
  ::unsetenv("OLVIX_DRIVE_X");
  EXPECT_EQ(NormalizePath("X:\\FIDO\\IN\\"), "/FIDO/IN/");
  EXPECT_EQ(NormalizePath("x:\\"), "/");

  ::setenv("OLVIX_DRIVE_X", tmp.path().c_str(), 1);
  EXPECT_EQ(NormalizePath("X:\\FIDO\\IN\\"), tmp.Sub("FIDO/IN/"));
  EXPECT_EQ(NormalizePath("x:/FIDO/IN"), tmp.Sub("FIDO/IN"));
  EXPECT_EQ(NormalizePath("X:FIDO"), tmp.Sub("FIDO"));
  // A root given with a trailing separator or backslashes works the same.
  ::setenv("OLVIX_DRIVE_X", (tmp.path() + "\\").c_str(), 1);
  EXPECT_EQ(NormalizePath("X:\\\\FIDO"), tmp.Sub("FIDO"));
  // Other drives are not affected.
  EXPECT_EQ(NormalizePath("Y:\\FIDO"), "/FIDO");

  // The mapped path resolves case like any other.
  WriteFile(tmp.Sub("fido/in/file.tic"), "t");
  EXPECT_EQ(NativePath("X:\\FIDO\\IN\\FILE.TIC"), tmp.Sub("fido/in/file.tic"));
}

TEST(NormalizePathTest, RelativeAndSeparators) {
  EXPECT_EQ(NormalizePath("in\\x.tic", "/home/node"), "/home/node/in/x.tic");
  EXPECT_EQ(NormalizePath("in\\x.tic", "/home/node/"), "/home/node/in/x.tic");
  EXPECT_EQ(NormalizePath("/abs//path\\\\x", "/home"), "/abs/path/x");
  EXPECT_EQ(NormalizePath("rel/x"), "rel/x");
  EXPECT_TRUE(SamePath("C:\\Fido\\In\\", "c:/FIDO/in"));
  EXPECT_FALSE(SamePath("/fido/in", "/fido/out"));
}

TEST(ReadTextPieceTest, CrLfBecomesLf) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("t.txt"), "line1\r\nline2\r\n\r\nlone\rcr\nlast");
  std::FILE* f = std::fopen(tmp.Sub("t.txt").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<std::string> pieces;
  std::string piece;
  while (ReadTextPiece(f, 509, &piece)) pieces.push_back(piece);
  std::fclose(f);
  EXPECT_EQ(pieces, (std::vector<std::string>{"line1\n", "line2\n", "\n", "lone\rcr\n", "last"}));
}

TEST(ReadTextPieceTest, PiecesAreLimitedLikeFgets) {
  ScopedTempDir tmp;
  // The CR LF pair straddles the piece limit and still reads as one LF.
  WriteFile(tmp.Sub("t.txt"), "abcd\r\nabcdefgh\r\n\r");
  std::FILE* f = std::fopen(tmp.Sub("t.txt").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<std::string> pieces;
  std::string piece;
  while (ReadTextPiece(f, 6, &piece)) pieces.push_back(piece);
  std::fclose(f);
  EXPECT_EQ(pieces, (std::vector<std::string>{"abcd\n", "abcde", "fgh\n", "\r"}));
  EXPECT_EQ(SplitPieces("abcd\nabcdefgh\n", 6),
            (std::vector<std::string>{"abcd\n", "abcde", "fgh\n"}));
  std::string whole;
  ASSERT_TRUE(ReadWholeFile(tmp.Sub("T.TXT"), true, &whole));
  EXPECT_EQ(whole, "abcd\nabcdefgh\n\r");
}

TEST(CopyFileContentsTest, CopiesBytesAndModificationTime) {
  ScopedTempDir tmp;
  std::mt19937 rng(3);
  std::string data(1 << 20, '\0');
  for (char& c : data) c = static_cast<char>(rng());
  WriteFile(tmp.Sub("SRC.BIN"), data);
  SetMtime(tmp.Sub("SRC.BIN"), 1012469854);  // 31 Jan 2002
  ASSERT_EQ(CopyFileContents(tmp.Sub("src.bin"), tmp.Sub("copy.bin")), kOk);
  EXPECT_EQ(ReadFile(tmp.Sub("copy.bin")), data);
  EXPECT_EQ(MtimeOf(tmp.Sub("copy.bin")), 1012469854);
  EXPECT_EQ(Stat(tmp.Sub("COPY.BIN")).mtime, 1012469854);
}

TEST(CopyFileContentsTest, OverwritesAnExistingTarget) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("src"), "short");
  WriteFile(tmp.Sub("TARGET"), "a much longer old content that must not survive");
  // Another spelling of the target's name overwrites it; no second file.
  ASSERT_EQ(CopyFileContents(tmp.Sub("src"), tmp.Sub("target")), kOk);
  EXPECT_EQ(ReadFile(tmp.Sub("TARGET")), "short");
  EXPECT_EQ(Names(tmp.path()), (std::vector<std::string>{"TARGET", "src"}));
}

TEST(CopyFileContentsTest, NeverDestroysTheSource) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("file.zip"), "precious");
  // Onto itself, by another spelling: the data stays.
  EXPECT_EQ(CopyFileContents(tmp.Sub("file.zip"), tmp.Sub("FILE.ZIP")), kOk);
  EXPECT_EQ(ReadFile(tmp.Sub("file.zip")), "precious");
  // Onto a hard link of itself (fileboxes hold such links): truncating the
  // target would empty the source.
  ASSERT_EQ(HardLink(tmp.Sub("file.zip"), tmp.Sub("box/file.zip")), ENOENT);
  std::filesystem::create_directory(tmp.Sub("box"));
  ASSERT_EQ(HardLink(tmp.Sub("file.zip"), tmp.Sub("box/file.zip")), kOk);
  EXPECT_EQ(CopyFileContents(tmp.Sub("file.zip"), tmp.Sub("box/file.zip")), kOk);
  EXPECT_EQ(ReadFile(tmp.Sub("file.zip")), "precious");
  EXPECT_EQ(ReadFile(tmp.Sub("box/file.zip")), "precious");
}

TEST(CopyFileContentsTest, MissingSourceCreatesNothing) {
  ScopedTempDir tmp;
  EXPECT_EQ(CopyFileContents(tmp.Sub("absent"), tmp.Sub("target")), ENOENT);
  EXPECT_FALSE(PathExists(tmp.Sub("target")));
  WriteFile(tmp.Sub("src"), "x");
  EXPECT_NE(CopyFileContents(tmp.Sub("src"), tmp.Sub("no/such/dir/target")), kOk);
}

TEST(RenamePathTest, ReplacesAnExistingTarget) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("olxlinks.$$$"), "new");
  WriteFile(tmp.Sub("OLXLINKS.INI"), "old");
  ASSERT_EQ(RenamePath(tmp.Sub("olxlinks.$$$"), tmp.Sub("olxlinks.ini")), kOk);
  EXPECT_EQ(Names(tmp.path()), std::vector<std::string>{"OLXLINKS.INI"});
  EXPECT_EQ(ReadFile(tmp.Sub("OLXLINKS.INI")), "new");
  // Across directories.
  std::filesystem::create_directory(tmp.Sub("Bak"));
  ASSERT_EQ(RenamePath(tmp.Sub("olxlinks.ini"), tmp.Sub("bak/x.bak")), kOk);
  EXPECT_EQ(ReadFile(tmp.Sub("Bak/x.bak")), "new");
  EXPECT_FALSE(FileExists(tmp.Sub("olxlinks.ini")));
}

TEST(RenamePathTest, MissingSourceIsAnError) {
  ScopedTempDir tmp;
  EXPECT_EQ(RenamePath(tmp.Sub("absent"), tmp.Sub("other")), ENOENT);
  EXPECT_EQ(RenamePath(tmp.Sub("absent"), tmp.Sub("absent")), ENOENT);
}

TEST(RenamePathTest, ChangesOnlyTheCase) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("readme.txt"), "r");
  ASSERT_EQ(RenamePath(tmp.Sub("readme.txt"), tmp.Sub("README.TXT")), kOk);
  EXPECT_EQ(Names(tmp.path()), std::vector<std::string>{"README.TXT"});
  EXPECT_EQ(NativePath(tmp.Sub("readme.txt")), tmp.Sub("README.TXT"));
}

TEST(RemoveFileTest, TellsRemovedAndAbsentApart) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("Gone.Tic"), "x");
  EXPECT_EQ(RemoveFile(tmp.Sub("GONE.TIC")), kOk);
  EXPECT_FALSE(PathExists(tmp.Sub("Gone.Tic")));
  EXPECT_EQ(RemoveFile(tmp.Sub("GONE.TIC")), NotFoundCode());
  EXPECT_EQ(RemoveFile(tmp.Sub("no/dir/x")), NotFoundCode());
  // A directory is neither removed nor reported absent.
  std::filesystem::create_directory(tmp.Sub("dir"));
  int rc = RemoveFile(tmp.Sub("dir"));
  EXPECT_NE(rc, kOk);
  EXPECT_NE(rc, NotFoundCode());
  EXPECT_TRUE(IsDirectory(tmp.Sub("DIR")));
}

TEST(MakeDirTest, ExistingIsFine) {
  ScopedTempDir tmp;
  EXPECT_EQ(MakeDir(tmp.Sub("Out")), kOk);
  EXPECT_EQ(MakeDir(tmp.Sub("OUT/")), kOk);
  EXPECT_EQ(Names(tmp.path()), std::vector<std::string>{"Out"});
  WriteFile(tmp.Sub("file"), "");
  EXPECT_EQ(MakeDir(tmp.Sub("file")), ENOTDIR);
  EXPECT_EQ(CreateExclusive(tmp.Sub("excl")), kOk);
  EXPECT_TRUE(IsAlreadyExists(CreateExclusive(tmp.Sub("excl"))));
  // A name this system makes is taken as written, without a search for
  // other spellings.
  EXPECT_EQ(CreateExclusive(tmp.Sub("EXCL")), kOk);
}

TEST(ListDirectoryTest, MatchesWithoutRegardToCase) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("a.tic"), "1");
  WriteFile(tmp.Sub("B.TIC"), "22");
  WriteFile(tmp.Sub("c.Tic"), "333");
  WriteFile(tmp.Sub("d.tic.bak"), "");
  WriteFile(tmp.Sub("e.ti"), "");
  WriteFile(tmp.Sub("ftic"), "");
  std::filesystem::create_directory(tmp.Sub("dir.tic"));

  std::vector<DirEntry> files;
  ASSERT_EQ(ListDirectory(tmp.path(), "*.TIC", false, &files), kOk);
  std::sort(files.begin(), files.end(),
            [](const DirEntry& x, const DirEntry& y) { return x.name < y.name; });
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].name, "B.TIC");
  EXPECT_EQ(files[0].size, 2);
  EXPECT_EQ(files[1].name, "a.tic");
  EXPECT_EQ(files[2].name, "c.Tic");
  EXPECT_FALSE(files[2].is_dir);

  std::vector<DirEntry> all;
  ASSERT_EQ(ListDirectory(tmp.Sub("."), "*.tic", true, &all), kOk);
  EXPECT_EQ(all.size(), 4u);
  EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const DirEntry& e) { return e.is_dir; }), 1);

  std::vector<DirEntry> q;
  ASSERT_EQ(ListDirectory(tmp.path(), "?.TI", false, &q), kOk);
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].name, "e.ti");

  // "*.*" and "name.*" also take names without a dot.
  std::vector<DirEntry> dotted;
  ASSERT_EQ(ListDirectory(tmp.path(), "*.*", false, &dotted), kOk);
  EXPECT_EQ(dotted.size(), 6u);
  dotted.clear();
  ASSERT_EQ(ListDirectory(tmp.path(), "FTIC.*", false, &dotted), kOk);
  ASSERT_EQ(dotted.size(), 1u);
  EXPECT_EQ(dotted[0].name, "ftic");

  std::vector<DirEntry> none;
  EXPECT_EQ(ListDirectory(tmp.Sub("missing"), "*", true, &none), NotFoundCode());
  EXPECT_TRUE(none.empty());
}

TEST(RunCommandTest, ShellQuoteRoundTrip) {
  ScopedTempDir tmp;
  const std::string nasty =
      "it's \"quoted\" $HOME `id` $(id) ; rm -rf / & | > < * ? ~ \\ \\' '' \t!#\nsecond line";
  const std::string out = tmp.Sub("out file.txt");
  int rc = RunCommand("printf '%s' " + ShellQuote(nasty) + " > " + ShellQuote(out));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(out), nasty);
  EXPECT_EQ(ShellQuote(""), "''");
}

TEST(RunCommandTest, ExitStatus) {
  EXPECT_EQ(RunCommand("exit 3"), 3);
  EXPECT_EQ(RunCommand("true"), 0);
  EXPECT_EQ(RunCommand("/no/such/program 2>/dev/null"), 127);
  // A command killed by a signal did not succeed.
  EXPECT_EQ(RunCommand("kill -9 $$"), -1);
}

TEST(LockFileTest, ExcludesASecondHolder) {
  ScopedTempDir tmp;
  const std::string flag = tmp.Sub("olvix.bsy");
  int h = AcquireLockFile(flag);
  ASSERT_GE(h, 0);
  EXPECT_TRUE(PathExists(flag));
  // Locks belong to the open file: a second open in this process is a
  // second holder and is refused too.
  EXPECT_EQ(AcquireLockFile(flag), -1);

  // Another process is refused while the flag is held.
  auto other_process_gets_flag = [&flag]() {
    pid_t pid = ::fork();
    if (pid == 0) {
      int mine = AcquireLockFile(flag);
      ::_exit(mine >= 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
  EXPECT_FALSE(other_process_gets_flag());

  // Release the way the shut-down does: delete, then unlock.
  ASSERT_EQ(RemoveFile(flag), kOk);
  ReleaseLockFile(h);
  EXPECT_TRUE(other_process_gets_flag());
  int again = AcquireLockFile(flag);
  EXPECT_GE(again, 0);
  ReleaseLockFile(again);
}

TEST(TimeTest, FormatsInTheCLocale) {
  EXPECT_EQ(FormatTime("%d %b %T OLVX ", testing::TimeOf(2002, 12, 7, 23, 59, 59)),
            "07 Dec 23:59:59 OLVX ");
  std::tm utc = UtcTime(1012469854);
  EXPECT_EQ(FormatTime("%Y-%m-%d %H:%M:%S", utc), "2002-01-31 09:37:34");
}

}  // namespace
}  // namespace olvix::platform
