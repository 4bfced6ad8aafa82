// The floor a toss is measured against: the plain loop that does the work of
// `olvix TOSS` on the benchmark node (floor_node.h) and nothing else. For
// each ticket: read it, check the file's CRC, hard link the file into the
// fileecho (copy it across file systems), write one ticket per downlink.
// Then one append per flow file and to the description file, one syncfs
// (nothing leaves the inbound before it is on disk), and the inbound pairs
// are deleted. No log, no journal, no checks beyond the CRC.
//
//   olvix_toss_floor HOME [--no-sync]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "floor/floor_node.h"
#include "util/crc32.h"

namespace fn = olvix::floor_node;

namespace {

int Fail(const char* what, const std::string& name) {
  std::fprintf(stderr, "olvix_toss_floor: %s %s: %s\n", what, name.c_str(), std::strerror(errno));
  return 1;
}

// Reads a whole file, or streams it through the CRC when `crc` is given.
bool ReadFile(int dir, const std::string& name, std::string* text, uint32_t* crc) {
  int fd = ::openat(dir, name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) {
    if (crc) *crc = olvix::Crc32Update(*crc, buf, static_cast<size_t>(n));
    if (text) text->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return n == 0;
}

bool WriteFile(int dir, const std::string& name, const std::string& data, int flags) {
  int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
  if (fd < 0) return false;
  bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  return ::close(fd) == 0 && ok;
}

bool CopyFile(int from_dir, int to_dir, const std::string& name) {
  std::string data;
  return ReadFile(from_dir, name, &data, nullptr) && WriteFile(to_dir, name, data, O_EXCL);
}

// Every value of the ticket lines "Key value", in order.
std::vector<std::string> Values(const std::string& tic, const char* key) {
  std::vector<std::string> out;
  std::string head = std::string(key) + " ";
  for (size_t at = 0; at < tic.size();) {
    size_t end = tic.find_first_of("\r\n", at);
    if (end == std::string::npos) end = tic.size();
    if (tic.compare(at, head.size(), head) == 0)
      out.push_back(tic.substr(at + head.size(), end - at - head.size()));
    at = tic.find_first_not_of("\r\n", end);
  }
  return out;
}

std::string Value(const std::string& tic, const char* key) {
  std::vector<std::string> all = Values(tic, key);
  return all.empty() ? "" : all[0];
}

int OpenDir(const std::string& path) {
  (void)::mkdir(path.c_str(), 0777);  // made by an earlier run, or by us now
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return std::fprintf(stderr, "usage: olvix_toss_floor HOME [--no-sync]\n"), 2;
  std::string home = std::string(argv[1]) + (argv[1][std::strlen(argv[1]) - 1] == '/' ? "" : "/");
  bool sync = !(argc > 2 && std::strcmp(argv[2], "--no-sync") == 0);
  (void)::mkdir((home + fn::kFileechoParent).c_str(), 0777);  // or there already
  (void)::mkdir((home + fn::kOutboundParent).c_str(), 0777);  // or there already
  int in = OpenDir(home + fn::kInbound);
  int area = OpenDir(home + fn::kFileecho), tics = OpenDir(home + fn::kOuttics);
  int bso = OpenDir(home + fn::kOutbound);
  if (in < 0 || area < 0 || tics < 0 || bso < 0) return Fail("open", home);

  std::vector<std::string> tickets;
  DIR* d = ::fdopendir(::dup(in));
  if (!d) return Fail("list", home + fn::kInbound);
  while (dirent* e = ::readdir(d)) {
    size_t len = std::strlen(e->d_name);
    if (len > 4 && std::strcmp(e->d_name + len - 4, ".tic") == 0) tickets.push_back(e->d_name);
  }
  ::closedir(d);

  time_t now = std::time(nullptr);
  char stamp[80];
  std::strftime(stamp, sizeof stamp, " %a %b %d %Y %H:%M:%S UTC+0000", std::gmtime(&now));
  std::string path_line =
      std::string("Path ") + fn::kOurAddress + " " + std::to_string(now) + stamp;
  std::string flows[fn::kDownlinkCount], descs, seen_by;
  for (const fn::Downlink& link : fn::kDownlinks)
    seen_by += std::string("SeenBy ") + link.address + "\r\n";
  seen_by += std::string("SeenBy ") + fn::kOurAddress + "\r\n";
  std::vector<std::string> placed;
  unsigned serial = 0;
  for (const std::string& name : tickets) {
    std::string tic;
    if (!ReadFile(in, name, &tic, nullptr)) return Fail("read", name);
    std::string file = Value(tic, "File"), lower = file;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    uint32_t crc = 0xFFFFFFFFu;
    if (!ReadFile(in, lower, nullptr, &crc)) return Fail("read", lower);
    if (~crc != std::strtoul(Value(tic, "Crc").c_str(), nullptr, 16)) return Fail("CRC of", lower);
    if (::linkat(in, lower.c_str(), area, lower.c_str(), 0) != 0 &&
        (errno != EXDEV || !CopyFile(in, area, lower)))
      return Fail("place", lower);
    std::string desc = Value(tic, "Desc"), more;
    descs += file + " [00] " + desc + "\n";
    for (const std::string& line : Values(tic, "LDesc")) {
      descs += "             " + line + "\n";
      more += "LDesc " + line + "\r\n";
    }
    for (const std::string& line : Values(tic, "Path")) more += "Path " + line + "\r\n";
    for (int i = 0; i < fn::kDownlinkCount; ++i) {
      const fn::Downlink& link = fn::kDownlinks[i];
      std::string out = std::string("Created by olvix_toss_floor\r\nFrom ") + fn::kOurAddress +
                        "\r\nOrigin " + Value(tic, "Origin") + "\r\nTo " + link.address +
                        "\r\nArea " + fn::kTag + "\r\nFile " + file + "\r\nPw " + link.password +
                        "\r\nSize " + Value(tic, "Size") + "\r\nCrc " + Value(tic, "Crc") +
                        "\r\nDesc " + desc + "\r\n" + more + path_line + "\r\n" + seen_by;
      char tic_name[32];
      std::snprintf(tic_name, sizeof tic_name, "fl%06x.tic", serial++);
      if (!WriteFile(tics, tic_name, out, O_EXCL)) return Fail("write", tic_name);
      flows[i] += home + fn::kFileecho + lower + "\n^" + home + fn::kOuttics + tic_name + "\n";
    }
    placed.push_back(name);
    placed.push_back(lower);
  }
  if (!tickets.empty()) {
    if (!WriteFile(area, "files.bbs", descs, O_APPEND)) return Fail("append", "files.bbs");
    for (int i = 0; i < fn::kDownlinkCount; ++i)
      if (!WriteFile(bso, fn::kDownlinks[i].flow_file, flows[i], O_APPEND))
        return Fail("append", fn::kDownlinks[i].flow_file);
  }
  if (sync && ::syncfs(area) != 0) return Fail("sync", home);
  for (const std::string& name : placed)
    if (::unlinkat(in, name.c_str(), 0) != 0) return Fail("delete", name);
  return 0;
}
