#include "util/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../../tests/testutil.h"
#include "run/log.h"
#include "util/paths.h"

namespace olvix {
namespace {

using testutil::PathExists;
using testutil::ReadFile;
using testutil::ScopedTempDir;
using testutil::WriteFile;

// A log whose console lines land in a temporary file, time stamps cut off.
class CapturedLog {
 public:
  CapturedLog() : console_(std::tmpfile()) { log.set_console(console_); }
  ~CapturedLog() { std::fclose(console_); }
  // The texts of the lines written so far, without level character, time
  // and tag.
  std::vector<std::string> Texts() {
    std::fflush(console_);
    std::rewind(console_);
    std::vector<std::string> out;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, console_)) {
      std::string line = buf;
      if (!line.empty() && line.back() == '\n') line.pop_back();
      size_t tag = line.find(" OLVX ");
      out.push_back(tag == std::string::npos ? line : line.substr(tag + 6));
    }
    std::fseek(console_, 0, SEEK_END);
    return out;
  }
  Log log;

 private:
  std::FILE* console_;
};

TEST(CopyToDirectoryTest, TargetTakesTheLowerCaseName) {
  ScopedTempDir tmp;
  CapturedLog cap;
  cap.log.loglevel = 4;
  WriteFile(tmp.Sub("in/FILE_1.ZIP"), "zip");
  std::filesystem::create_directory(tmp.Sub("Area"));
  ASSERT_EQ(CopyToDirectory(cap.log, tmp.Sub("in/FILE_1.ZIP"), tmp.Sub("area")), 0);
  EXPECT_EQ(ReadFile(tmp.Sub("Area/file_1.zip")), "zip");
  EXPECT_EQ(cap.Texts(), std::vector<std::string>{"Copying " + tmp.Sub("in/FILE_1.ZIP") + " to " +
                                                  tmp.Sub("area/file_1.zip")});
  // An existing copy is overwritten.
  WriteFile(tmp.Sub("in/FILE_1.ZIP"), "new");
  ASSERT_EQ(CopyToDirectory(cap.log, tmp.Sub("in/FILE_1.ZIP"), tmp.Sub("Area/")), 0);
  EXPECT_EQ(ReadFile(tmp.Sub("Area/file_1.zip")), "new");
  // A missing source is reported as 1 and leaves nothing behind.
  EXPECT_EQ(CopyToDirectory(cap.log, tmp.Sub("in/NONE.ZIP"), tmp.Sub("Area")),
            platform::NotFoundCode());
  EXPECT_FALSE(PathExists(tmp.Sub("Area/none.zip")));
}

TEST(DeleteLoggedTest, DebugLines) {
  ScopedTempDir tmp;
  CapturedLog cap;
  cap.log.debug = "F";
  WriteFile(tmp.Sub("x.tic"), "");
  EXPECT_EQ(DeleteLogged(cap.log, tmp.Sub("x.tic")), 0);
  EXPECT_NE(DeleteLogged(cap.log, tmp.Sub("x.tic")), 0);
  EXPECT_EQ(cap.Texts(),
            (std::vector<std::string>{"File \"" + tmp.Sub("x.tic") + "\"  was deleted",
                                      "ERROR: Can't delete file " + tmp.Sub("x.tic")}));
}

TEST(FileTableTest, OpenFailureLogsMessageZero) {
  ScopedTempDir tmp;
  CapturedLog cap;
  FileTable table(&cap.log);
  EXPECT_EQ(table.Open(tmp.Sub("missing.ini"), "r"), nullptr);
  EXPECT_EQ(cap.Texts(),
            (std::vector<std::string>{"Olvix was not able to open file " + tmp.Sub("missing.ini"),
                                      "due to an error: No such file or directory"}));
  int err = 0;
  EXPECT_EQ(table.OpenQuiet(tmp.Sub("missing.ini"), "r", &err), nullptr);
  EXPECT_EQ(err, ENOENT);
  EXPECT_TRUE(cap.Texts().size() == 2);  // quiet: nothing more
}

TEST(FileTableTest, SlotsAndBuffers) {
  ScopedTempDir tmp;
  FileTable table(nullptr);
  std::FILE* a = table.Open(tmp.Sub("a.txt"), "w");
  std::FILE* b = table.Open(tmp.Sub("b.txt"), "w");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(table.open_count(), 2u);
  std::fputs("buffered", a);
  EXPECT_EQ(table.Close(a), 0);
  EXPECT_EQ(table.open_count(), 1u);
  EXPECT_EQ(ReadFile(tmp.Sub("a.txt")), "buffered");
  EXPECT_EQ(table.Close(b), 0);
  // Without own buffers the table keeps no slot.
  table.buffer_size = 0;
  std::FILE* c = table.Open(tmp.Sub("c.txt"), "w");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(table.open_count(), 0u);
  EXPECT_EQ(table.Close(c), 0);
}

TEST(FileTableTest, FileCrc32) {
  ScopedTempDir tmp;
  FileTable table(nullptr);
  WriteFile(tmp.Sub("CHECK.TXT"), "123456789");
  EXPECT_EQ(FileCrc32(table, tmp.Sub("check.txt")), 0xCBF43926u);
  std::string big(100000, '\r');  // read untranslated: CR bytes count
  WriteFile(tmp.Sub("big"), big);
  EXPECT_EQ(FileCrc32(table, tmp.Sub("big")), 0x3D0D4089u);
  EXPECT_EQ(FileCrc32(table, tmp.Sub("absent")), 0u);
  EXPECT_EQ(table.open_count(), 0u);
}

TEST(FilesTest, WholeFilesAndSizes) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("t.txt"), "a\r\nb\r\n");
  std::string text;
  ASSERT_TRUE(ReadWholeFile(tmp.Sub("T.TXT"), false, &text));
  EXPECT_EQ(text, "a\r\nb\r\n");
  ASSERT_TRUE(ReadWholeFile(tmp.Sub("T.TXT"), true, &text));
  EXPECT_EQ(text, "a\nb\n");
  int err = 0;
  EXPECT_FALSE(ReadWholeFile(tmp.Sub("none"), true, &text, &err));
  EXPECT_EQ(err, ENOENT);
  EXPECT_EQ(FileSizeOf(tmp.Sub("t.TXT")), 6);
  EXPECT_EQ(FileSizeOf(tmp.Sub("none")), -1);
  EXPECT_TRUE(Exists(tmp.Sub("T.txt")));

  // Rewriting goes through a temporary file that does not stay behind.
  WriteFile(tmp.Sub("olxareas.ini"), "old contents, longer than the new");
  ASSERT_EQ(WriteFileAtomic(tmp.Sub("olxareas.ini"), "new"), 0);
  EXPECT_EQ(ReadFile(tmp.Sub("olxareas.ini")), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()),
                          std::filesystem::directory_iterator()),
            2);
}

TEST(ScanDirectoryTest, Modes) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("a.tic"), "");
  WriteFile(tmp.Sub("b.TIC"), "");
  std::filesystem::create_directory(tmp.Sub("sub.tic"));
  auto names = [](std::vector<platform::DirEntry> v) {
    std::vector<std::string> n;
    for (auto& e : v) n.push_back(e.name);
    std::sort(n.begin(), n.end());
    return n;
  };
  const std::string pattern = tmp.path() + "\\*.TIC";
  EXPECT_TRUE(ScanDirectory(pattern, ScanMode::kNone).empty());
  EXPECT_EQ(names(ScanDirectory(pattern, ScanMode::kFiles)),
            (std::vector<std::string>{"a.tic", "b.TIC"}));
  EXPECT_EQ(names(ScanDirectory(pattern, ScanMode::kFilesAndDirs)),
            (std::vector<std::string>{"a.tic", "b.TIC", "sub.tic"}));
  // The second pass yields the files once more.
  EXPECT_EQ(names(ScanDirectory(pattern, ScanMode::kAllThenFiles)),
            (std::vector<std::string>{"a.tic", "a.tic", "b.TIC", "b.TIC", "sub.tic"}));
  EXPECT_TRUE(ScanDirectory(tmp.Sub("missing/*.*"), ScanMode::kFiles).empty());
}

TEST(PathsTest, Parts) {
  EXPECT_EQ(DirPart("C:\\FIDO\\IN\\X.TIC"), "C:\\FIDO\\IN\\");
  EXPECT_EQ(DirPart("/fido/in/x.tic"), "/fido/in/");
  EXPECT_EQ(DirPart("x.tic"), "");
  EXPECT_EQ(FilePart("C:\\FIDO/IN\\X.TIC"), "X.TIC");
  EXPECT_EQ(FilePart("C:\\FIDO\\"), "");
  EXPECT_EQ(WithTrailingSep("/fido"), "/fido/");
  EXPECT_EQ(WithTrailingSep("C:\\FIDO\\"), "C:\\FIDO\\");
  EXPECT_EQ(JoinPath("/fido/", "x"), "/fido/x");
  EXPECT_EQ(JoinPath("/fido", "x"), "/fido/x");
  EXPECT_EQ(JoinPath("", "x"), "x");
}

TEST(PathsTest, CreatePath) {
  ScopedTempDir tmp;
  CreatePath(tmp.Sub("a/b\\c/"));
  EXPECT_TRUE(std::filesystem::is_directory(tmp.Sub("a/b/c")));
  // Without a final separator the last component is a file name.
  CreatePath(tmp.Sub("x/y/file.txt"));
  EXPECT_TRUE(std::filesystem::is_directory(tmp.Sub("x/y")));
  EXPECT_FALSE(PathExists(tmp.Sub("x/y/file.txt")));
  // Existing directories, in any case, are used as they are.
  CreatePath(tmp.Sub("A/B/new/"));
  EXPECT_TRUE(std::filesystem::is_directory(tmp.Sub("a/b/new")));
  EXPECT_FALSE(PathExists(tmp.Sub("A")));
}

TEST(PathsTest, BareFileNames) {
  EXPECT_TRUE(IsBareFileName("file.zip"));
  EXPECT_TRUE(IsBareFileName("..."));
  EXPECT_TRUE(IsBareFileName("name with blanks"));
  for (const std::string& bad :
       {std::string(""), std::string("."), std::string(".."), std::string("a/b"),
        std::string("..\\olvix.ini"), std::string("C:autoexec.bat"), std::string("/etc/passwd"),
        std::string("dir\\"), std::string("a\0b", 3)})
    EXPECT_FALSE(IsBareFileName(bad)) << bad;
}

}  // namespace
}  // namespace olvix
