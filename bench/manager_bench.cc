// MGR by the built program on a node with N fileechoes and 1000 links
// (each fileecho with five subscribers). Every iteration puts ten letters
// into NETMAIL, each from another link with the lines "+*" and "%LIST"
// (a template listing every fileecho the link may use, in parts of 200
// lines), restores the areas file and empties OUTMAIL outside the timed
// region, then runs `olvix MGR` once. Reports letters per second and
// answer lines (report lines and list lines) per second, so that growth
// from 1000 to 10000 fileechoes shows whether the robot stays linear.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "manager/letter.h"
#include "platform/platform.h"
#include "util/paths.h"
#include "util/text.h"

#ifndef OLVIX_BINARY
#error "OLVIX_BINARY must name the built program"
#endif

namespace olvix {
namespace {

constexpr int kLinks = 1000;
constexpr int kLetters = 10;
constexpr int kSubscribers = 5;

void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(dir, "*", true, &entries);  // missing: nothing to remove
  for (const platform::DirEntry& e : entries) {
    std::string p = JoinPath(dir, e.name);
    if (e.is_dir)
      RemoveTree(p);
    else
      (void)platform::RemoveFile(p);  // best effort
  }
  (void)platform::RemoveDir(dir);  // best effort
}

bool WriteFile(const std::string& path, const std::string& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

FtnAddress LinkAddress(int i) {
  return {2, static_cast<uint32_t>(5000 + i / 100), 1u + i % 100, 0};
}

class RobotNode {
 public:
  explicit RobotNode(int areas) {
    const char* tmp = std::getenv("TMPDIR");
    dir_ = WithTrailingSep(tmp && *tmp ? tmp : "/tmp") + "olvix-mgr-bench-" +
           std::to_string(platform::NowMilliseconds()) + "/";
    ok_ = platform::MakeDir(dir_) == 0 && platform::MakeDir(dir_ + "files") == 0;
    // The fileecho directories exist, as on a running node: the loading
    // of the areas file would make them in the first timed run only.
    for (int a = 0; ok_ && a < areas; ++a)
      ok_ = platform::MakeDir(dir_ + Format("files/area%d", a)) == 0;
    std::string links;
    for (int i = 0; i < kLinks; ++i)
      links += Format("LINK %s A PW%d 10 No Hold 2:5020/1 Active\n",
                      FormatAddress(LinkAddress(i)).c_str(), i);
    for (int a = 0; a < areas; ++a) {
      areas_ += Format("AREA AREA.%05d files/area%d A 0 0 2:5020/1\nDESC Fileecho number %d\nLINKS",
                       a, a, a);
      for (int s = 0; s < kSubscribers; ++s)
        areas_ += " " + FormatAddress(LinkAddress((a * 7 + s * 131) % kLinks));
      areas_ += "\n\n";
    }
    ok_ = ok_ && WriteFile(dir_ + "olxlinks.ini", links) &&
          WriteFile(dir_ + "list.tpl", "Fileechoes:\n>---<\n@@S @@@@@@@@@@@@@@@@@@A @D\n") &&
          WriteFile(dir_ + "olvix.ini",
                    "ADDRESS 2:5020/1\nORIGIN Bench node\nROBOTNAMES Olvix\nLOGNAME olvix.log\n"
                    "BADPWD badpwd.tpl\nINBOUND in\nOUTMAIL outmail\nNETMAIL netmail\n"
                    "OUTTICS outtics\nBADPATH bad\nNEWECHOPATH new\nREPLYLINES 200\n"
                    "[TEMPLATES]\nKEYWORD LIST\nTEMPLATE list.tpl\n");
  }
  ~RobotNode() { RemoveTree(dir_); }
  RobotNode(const RobotNode&) = delete;
  RobotNode& operator=(const RobotNode&) = delete;

  bool ok() const { return ok_; }

  // The areas file as it was, an empty OUTMAIL and the letters in NETMAIL.
  bool Prepare() {
    for (const char* d : {"outmail", "netmail"}) RemoveTree(dir_ + d);
    (void)platform::RemoveFile(dir_ + "olvix.log");  // absent on the first round
    if (platform::MakeDir(dir_ + "netmail") != 0 || !WriteFile(dir_ + "olxareas.ini", areas_))
      return false;
    for (int i = 0; i < kLetters; ++i) {
      FtnAddress from = LinkAddress(i * 97 % kLinks);
      MessageHeader h;
      h.from_name = "Sysop";
      h.to_name = "Olvix";
      h.subject = Format("PW%d", i * 97 % kLinks);
      h.orig_net = static_cast<uint16_t>(from.net);
      h.orig_node = static_cast<uint16_t>(from.node);
      h.dest_net = 5020;
      h.dest_node = 1;
      std::string text = "\x01INTL 2:5020/1 " + FormatAddress(from) + "\r+*\r%LIST\r";
      if (!WriteFile(dir_ + Format("netmail/%d.msg", i + 2), EncodeMessageHeader(h) + text))
        return false;
    }
    return true;
  }

  int Manager() const {
    std::string command = "OLVIXPATH=" + platform::ShellQuote(dir_) + " " +
                          platform::ShellQuote(OLVIX_BINARY) + " MGR >/dev/null 2>&1";
    return platform::RunCommand(command);
  }

  size_t Answers() const {
    std::vector<platform::DirEntry> entries;
    (void)platform::ListDirectory(dir_ + "outmail", "*.msg", false, &entries);  // missing: 0
    return entries.size();
  }

 private:
  std::string dir_;
  std::string areas_;
  bool ok_ = false;
};

void BM_ManagerLetters(benchmark::State& state) {
  const int areas = static_cast<int>(state.range(0));
  RobotNode node(areas);
  if (!node.ok()) {
    state.SkipWithError("cannot set up the node");
    return;
  }
  // Per letter: a status report with one line per fileecho, one "Request
  // answer" per 200 list lines.
  const size_t answers = kLetters * (1 + (static_cast<size_t>(areas) + 1 + 199) / 200);
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!node.Prepare()) {
      state.SkipWithError("cannot write the letters");
      return;
    }
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    int status = node.Manager();
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
    if (status != 0) {
      state.SkipWithError("olvix MGR failed");
      return;
    }
    state.PauseTiming();
    if (node.Answers() != answers) {
      state.SkipWithError("the robot did not answer every letter");
      return;
    }
    state.ResumeTiming();
  }
  double runs = static_cast<double>(state.iterations());
  state.counters["letters/s"] = seconds > 0 ? kLetters * runs / seconds : 0;
  state.counters["lines/s"] = seconds > 0 ? 2.0 * kLetters * areas * runs / seconds : 0;
}

BENCHMARK(BM_ManagerLetters)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace olvix
