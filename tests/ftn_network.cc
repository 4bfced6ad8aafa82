// Test harness for the loopback FTN network: see ftn_network.h.
#include "ftn_network.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace olvix::ftnnet {

// --- Files and directories ------------------------------------------------

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string MakeTempDir(const std::string& prefix) {
  // Under /tmp rather than $TMPDIR: file-attach subjects hold at most 71
  // characters, so the paths of the test network must stay short.
  std::string pattern = "/tmp/" + prefix + "XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) return "";
  return std::string(buf.data());
}

namespace {
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}
}  // namespace

void RemoveTree(const std::string& path) {
  if (path.empty() || path == "/") return;
  ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool MakeDirs(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFile(const std::string& path, std::string* data) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  data->clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data->append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool WriteFile(const std::string& path, const std::string& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (struct dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// --- Programs and processes -----------------------------------------------

std::string FindProgram(const std::string& name) {
  std::vector<std::string> dirs;
  if (const char* path = std::getenv("PATH")) {
    std::string p = path;
    size_t start = 0;
    while (start <= p.size()) {
      size_t colon = p.find(':', start);
      if (colon == std::string::npos) colon = p.size();
      if (colon > start) dirs.push_back(p.substr(start, colon - start));
      start = colon + 1;
    }
  }
  // binkd lives in sbin, which is not on every user's PATH.
  for (const char* d : {"/usr/sbin", "/sbin", "/usr/local/sbin"}) dirs.push_back(d);
  for (const std::string& d : dirs) {
    std::string candidate = Join(d, name);
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return "";
}

std::vector<int> FindFreePorts(int count) {
  std::vector<int> fds, ports;
  bool ok = true;
  for (int i = 0; i < count && ok; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
      ok = false;
      break;
    }
    fds.push_back(fd);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      ok = false;
      break;
    }
    ports.push_back(ntohs(addr.sin_port));
  }
  // All sockets stay bound until every port is known, so the ports differ.
  for (int fd : fds) ::close(fd);
  if (!ok) ports.clear();
  return ports;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& output_path,
                         std::string* error) {
  if (pid_ > 0) {
    *error = "a process is already running";
    return false;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output_path.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);

  // The child leads a new process group so that Stop reaches the sessions
  // binkd forks; signals start from their defaults whatever the test
  // runner changed.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    *error = "cannot start " + argv[0] + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;
  status_ = -1;
  return true;
}

bool ChildProcess::Wait(int timeout_ms, int* status) {
  if (pid_ <= 0) {
    if (status) *status = status_;
    return true;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    // WNOWAIT leaves the child a zombie: its id, and so its process group,
    // cannot be taken by another process until it is reaped below, so the
    // group signal cannot reach anything but what this child started.
    siginfo_t info{};
    int rc = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
    if (rc == 0 && info.si_pid == pid_) break;
    if (rc != 0 && errno != EINTR) {
      // Not our child any more (reaped elsewhere): nothing left to signal.
      pid_ = -1;
      if (status) *status = status_;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(-pid_, SIGKILL);  // leftovers of the group (sessions still running)
  int raw = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &raw, 0);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) {
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
  }
  pid_ = -1;
  if (status) *status = status_;
  return true;
}

int ChildProcess::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(-pid_, SIGTERM);
  int status = -1;
  if (Wait(5000, &status)) return status;
  ::kill(-pid_, SIGKILL);
  Wait(5000, &status);
  return status;
}

RunResult RunProgram(const std::vector<std::string>& argv, const std::string& output_path,
                     int timeout_ms) {
  RunResult result;
  ChildProcess child;
  std::string error;
  if (!child.Start(argv, output_path, &error)) {
    result.output = error;
    return result;
  }
  result.started = true;
  int status = -1;
  if (child.Wait(timeout_ms, &status)) {
    result.status = status;
  } else {
    result.timed_out = true;
    child.Stop();
  }
  ReadFile(output_path, &result.output);
  if (result.timed_out) result.output += "\n[killed after " + std::to_string(timeout_ms) + " ms]";
  return result;
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// --- binkd ---------------------------------------------------------------

namespace {
std::string Hex(uint32_t value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*x", width, value);
  return buf;
}
}  // namespace

std::string BsoBase(const std::string& outbound, uint32_t own_zone, const FtnAddress& to) {
  std::string dir = outbound;
  if (to.zone != own_zone) dir += "." + Hex(to.zone, 3);
  std::string base = Join(dir, Hex(to.net, 4) + Hex(to.node, 4));
  if (to.point != 0) base += ".pnt/" + Hex(to.point, 8);
  return base;
}

std::string BinkdConfigText(const BinkdNode& self, const std::vector<BinkdPeer>& peers) {
  FtnAddress own = self.Address();
  std::string t;
  t += "# binkd configuration of test node " + self.name + " (" + self.address + ")\n";
  // The domain's outbound is the directory of our own zone; other zones are
  // its siblings with a hex zone extension.
  t += "domain fidonet " + self.outbound + " " + std::to_string(own.zone) + "\n";
  t += "address " + self.address + "@fidonet\n";
  t += "sysname \"Olvix test " + self.name + "\"\n";
  t += "sysop \"Sysop " + self.name + "\"\n";
  t += "location \"Loopback\"\n";
  t += "nodeinfo 115200,TCP,BINKP\n";
  t += "log " + self.log + "\n";
  t += "loglevel 6\n";
  t += "conlog 6\n";
  t += "pid-file " + self.pid_file + "\n";
  t += "inbound " + self.inbound + "\n";
  t += "inbound-nonsecure " + self.inbound_nonsecure + "\n";
  t += "temp-inbound " + self.temp_inbound + "\n";
  // Bounded sessions: a stalled peer ends the session instead of the test.
  t += "timeout 20s\n";
  t += "connect-timeout 10s\n";
  if (self.listens) t += "iport " + std::to_string(self.port) + "\n";
  t += "listen 127.0.0.1\n";
  for (const BinkdPeer& p : peers) {
    std::string host = p.port > 0 ? "127.0.0.1:" + std::to_string(p.port) : "-";
    t += "node " + p.address + "@fidonet " + host + " " + p.password + "\n";
  }
  return t;
}

struct BinkdNetwork::Server {
  BinkdNode* node = nullptr;
  ChildProcess process;
};

BinkdNetwork::BinkdNetwork(std::string binkd, std::string root)
    : binkd_(std::move(binkd)), root_(std::move(root)) {}

BinkdNetwork::~BinkdNetwork() { StopAll(); }

BinkdNode* BinkdNetwork::AddNode(const std::string& name, const std::string& address,
                                 bool listens) {
  auto node = std::make_unique<BinkdNode>();
  node->name = name;
  node->address = address;
  node->root = Join(root_, name);
  node->outbound = Join(node->root, "outbound");
  node->inbound = Join(node->root, "inbound");
  node->inbound_nonsecure = Join(node->root, "inbound-unsecure");
  node->temp_inbound = Join(node->root, "inbound-temp");
  node->config = Join(node->root, "binkd.cfg");
  node->log = Join(node->root, "binkd.log");
  node->pid_file = Join(node->root, "binkd.pid");
  node->listens = listens;
  for (const std::string& d :
       {node->outbound, node->inbound, node->inbound_nonsecure, node->temp_inbound}) {
    MakeDirs(d);
  }
  if (listens) {
    std::vector<int> taken;
    for (const auto& other : nodes_) taken.push_back(other->port);
    for (int attempt = 0; attempt < 10 && node->port == 0; ++attempt) {
      std::vector<int> ports = FindFreePorts(1);
      if (!ports.empty() && std::find(taken.begin(), taken.end(), ports[0]) == taken.end()) {
        node->port = ports[0];
      }
    }
  }
  nodes_.push_back(std::move(node));
  return nodes_.back().get();
}

void BinkdNetwork::Link(BinkdNode* a, BinkdNode* b, const std::string& password) {
  links_.push_back({a, b, password});
}

std::vector<BinkdPeer> BinkdNetwork::PeersOf(const BinkdNode* node) const {
  std::vector<BinkdPeer> peers;
  for (const LinkEntry& l : links_) {
    const BinkdNode* other = l.a == node ? l.b : l.b == node ? l.a : nullptr;
    if (!other) continue;
    peers.push_back({other->address, other->listens ? other->port : 0, l.password});
  }
  return peers;
}

bool BinkdNetwork::WriteConfigs(std::string* error) {
  for (const auto& node : nodes_) {
    if (node->listens && node->port == 0) {
      *error = "no free port for node " + node->name;
      return false;
    }
    if (!WriteFile(node->config, BinkdConfigText(*node, PeersOf(node.get())))) {
      *error = "cannot write " + node->config;
      return false;
    }
  }
  return true;
}

std::string BinkdNetwork::NextOutputPath(const BinkdNode* node, const char* what) {
  return Join(node->root, "binkd-" + std::to_string(++runs_) + "-" + what + ".out");
}

bool BinkdNetwork::StartServer(BinkdNode* node, std::string* error) {
  if (!node->listens) {
    *error = "node " + node->name + " does not listen";
    return false;
  }
  StopServer(node);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!WriteConfigs(error)) return false;
    auto server = std::make_unique<Server>();
    server->node = node;
    std::string output = NextOutputPath(node, "server");
    if (!server->process.Start({binkd_, "-s", node->config}, output, error)) return false;
    std::string marker = "listen on 127.0.0.1:" + std::to_string(node->port);
    std::string text;
    bool exited = false;
    int status = -1;
    bool listening = WaitUntil(
        [&] {
          if (ReadFile(output, &text) && text.find(marker) != std::string::npos) return true;
          if (server->process.Wait(0, &status)) exited = true;
          return exited;
        },
        10000);
    if (listening && !exited) {
      servers_.push_back(std::move(server));
      return true;
    }
    server->process.Stop();
    ReadFile(output, &text);
    if (exited && text.find("in use") != std::string::npos) {
      // Another program took the port between FindFreePorts and binkd's
      // bind: take a new one and tell every peer.
      std::vector<int> ports = FindFreePorts(1);
      if (ports.empty()) break;
      node->port = ports[0];
      continue;
    }
    *error = "binkd server of " + node->name + (exited ? " ended" : " did not listen") +
             " (status " + std::to_string(status) + "):\n" + text;
    return false;
  }
  *error = "binkd server of " + node->name + " found no free port";
  return false;
}

void BinkdNetwork::StopServer(BinkdNode* node) {
  for (auto it = servers_.begin(); it != servers_.end();) {
    if ((*it)->node == node) {
      (*it)->process.Stop();
      it = servers_.erase(it);
    } else {
      ++it;
    }
  }
}

void BinkdNetwork::StopAll() {
  for (auto& s : servers_) s->process.Stop();
  servers_.clear();
}

RunResult BinkdNetwork::Poll(BinkdNode* from, const std::string& poll, int timeout_ms) {
  std::vector<std::string> argv = {binkd_, "-p"};
  if (!poll.empty()) {
    // binkd would add an unknown polled node with the host "*", a DNS name
    // below binkp.net: only configured peers are polled.
    bool known = false;
    for (const BinkdPeer& p : PeersOf(from)) {
      if (ParseAddress(p.address) == ParseAddress(poll)) known = true;
    }
    if (!known) {
      RunResult refused;
      refused.output = poll + " is not a peer of " + from->name;
      return refused;
    }
    argv.push_back("-P");
    argv.push_back(poll);
  }
  argv.push_back(from->config);
  return RunProgram(argv, NextOutputPath(from, "poll"), timeout_ms);
}

// --- crashmail -----------------------------------------------------------

namespace {
std::string Format4D(const std::string& address) {
  FtnAddress a = ParseAddress(address);
  return std::to_string(a.zone) + ":" + std::to_string(a.net) + "/" + std::to_string(a.node) + "." +
         std::to_string(a.point);
}
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
}  // namespace

std::string CrashmailConfigText(const CrashmailSetup& s) {
  std::string aka = Format4D(s.aka);
  std::string t;
  t += "; crashmail configuration of a test node\n";
  t += "SYSOP \"Sysop\"\n";
  t += "LOGFILE " + Quoted(s.log) + "\n";
  t += "LOGLEVEL 6\n";
  t += "DUPEFILE " + Quoted(Join(s.root, "dupes")) + " 200\n";
  t += "DUPEMODE IGNORE\n";
  t += "INBOUND " + Quoted(s.inbound) + "\n";
  t += "OUTBOUND " + Quoted(s.outbound) + "\n";
  t += "TEMPDIR " + Quoted(s.temp) + "\n";
  t += "CREATEPKTDIR " + Quoted(s.temp) + "\n";
  t += "PACKETDIR " + Quoted(s.packets) + "\n";
  t += "STATSFILE " + Quoted(Join(s.root, "stats")) + "\n";
  t += "DEFAULTZONE " + std::to_string(ParseAddress(s.aka).zone) + "\n";
  t += "AKA " + aka + "\n";
  t += "DOMAIN \"FidoNet\"\n";
  for (const CrashmailRoute& r : s.routes) {
    t += "ROUTE " + Quoted(r.pattern) + " " + Quoted(r.via) + " " + aka + "\n";
  }
  t += "NETMAIL \"NETMAIL\" " + aka + " MSG " + Quoted(s.netmail) + "\n";
  t += "AREA \"BAD\" " + aka + " MSG " + Quoted(s.bad) + "\n";
  return t;
}

bool MakeCrashmailSetup(const std::string& root, const std::string& aka,
                        const std::vector<CrashmailRoute>& routes, const std::string& netmail,
                        const std::string& outbound, CrashmailSetup* s, std::string* error) {
  s->root = root;
  s->config = Join(root, "crashmail.prefs");
  s->netmail = netmail.empty() ? Join(root, "netmail") : netmail;
  s->outbound = outbound.empty() ? Join(root, "outbound") : outbound;
  s->packets = Join(root, "packets");
  s->temp = Join(root, "temp");
  s->inbound = Join(root, "inbound");
  s->bad = Join(root, "bad");
  s->log = Join(root, "crashmail.log");
  s->aka = aka;
  s->routes = routes;
  for (const std::string& d : {s->netmail, s->outbound, s->packets, s->temp, s->inbound, s->bad}) {
    if (!MakeDirs(d)) {
      *error = "cannot create " + d;
      return false;
    }
  }
  if (!WriteFile(s->config, CrashmailConfigText(*s))) {
    *error = "cannot write " + s->config;
    return false;
  }
  return true;
}

RunResult RunCrashmail(const std::string& crashmail, const CrashmailSetup& setup,
                       const std::vector<std::string>& command, int timeout_ms) {
  std::vector<std::string> argv = {crashmail, "SETTINGS", setup.config};
  argv.insert(argv.end(), command.begin(), command.end());
  std::string output;
  for (int n = 1; output.empty() || PathExists(output); ++n) {
    output = Join(setup.root, "crashmail-" + std::to_string(n) + ".out");
  }
  return RunProgram(argv, output, timeout_ms);
}

}  // namespace olvix::ftnnet
