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

#include "util/crc32.h"

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

// --- Stored messages -----------------------------------------------------

namespace {
void PutU16(std::string* out, size_t offset, uint32_t value) {
  (*out)[offset] = static_cast<char>(value & 0xFF);
  (*out)[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}
uint16_t GetU16(const std::string& d, size_t offset) {
  return static_cast<uint16_t>(static_cast<unsigned char>(d[offset]) |
                               (static_cast<unsigned char>(d[offset + 1]) << 8));
}
void PutField(std::string* out, size_t offset, size_t size, const std::string& text) {
  out->replace(offset, std::min(text.size(), size - 1), text.substr(0, size - 1));
}
std::string GetField(const std::string& d, size_t offset, size_t size) {
  std::string field = d.substr(offset, size);
  size_t nul = field.find('\0');
  return nul == std::string::npos ? field : field.substr(0, nul);
}
}  // namespace

std::string EncodeStoredMessage(const StoredMessage& m) {
  std::string h(190, '\0');
  PutField(&h, 0, 36, m.from_name);
  PutField(&h, 36, 36, m.to_name);
  PutField(&h, 72, 72, m.subject);
  PutField(&h, 144, 20, m.date);
  PutU16(&h, 166, m.destination.node);
  PutU16(&h, 168, m.origin.node);
  PutU16(&h, 172, m.origin.net);
  PutU16(&h, 174, m.destination.net);
  PutU16(&h, 176, m.destination.zone);
  PutU16(&h, 178, m.origin.zone);
  PutU16(&h, 180, m.destination.point);
  PutU16(&h, 182, m.origin.point);
  PutU16(&h, 186, m.attributes);
  return h + m.text;
}

bool DecodeStoredMessage(const std::string& d, StoredMessage* m) {
  if (d.size() < 190) return false;
  m->from_name = GetField(d, 0, 36);
  m->to_name = GetField(d, 36, 36);
  m->subject = GetField(d, 72, 72);
  m->date = GetField(d, 144, 20);
  m->destination = {GetU16(d, 176), GetU16(d, 174), GetU16(d, 166), GetU16(d, 180)};
  m->origin = {GetU16(d, 178), GetU16(d, 172), GetU16(d, 168), GetU16(d, 182)};
  m->attributes = GetU16(d, 186);
  m->text = d.substr(190);
  return true;
}

// --- Packets -------------------------------------------------------------

namespace {

// Bounds-checked little-endian reader: once a read runs past the end every
// later read fails too.
class Cursor {
 public:
  explicit Cursor(const std::string& data) : d_(data) {}
  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  bool at_end() const { return pos_ >= d_.size(); }
  uint8_t U8() {
    if (!ok_ || pos_ + 1 > d_.size()) return Fail();
    return static_cast<uint8_t>(d_[pos_++]);
  }
  uint16_t U16() {
    if (!ok_ || pos_ + 2 > d_.size()) return Fail();
    uint16_t v = GetU16(d_, pos_);
    pos_ += 2;
    return v;
  }
  std::string Bytes(size_t n) {
    if (!ok_ || pos_ + n > d_.size()) {
      Fail();
      return "";
    }
    std::string s = d_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  // A NUL-terminated string of at most `limit` bytes before the NUL (no
  // limit when 0).
  std::string CString(size_t limit) {
    if (!ok_) return "";
    size_t nul = d_.find('\0', pos_);
    if (nul == std::string::npos || (limit && nul - pos_ > limit)) {
      Fail();
      return "";
    }
    std::string s = d_.substr(pos_, nul - pos_);
    pos_ = nul + 1;
    return s;
  }

 private:
  uint8_t Fail() {
    ok_ = false;
    return 0;
  }
  const std::string& d_;
  size_t pos_ = 0;
  bool ok_ = true;
};

constexpr int kInvalid = 4081;

int Invalid(std::string* error, const std::string& what, size_t offset) {
  if (error) *error = what + " at offset " + std::to_string(offset);
  return kInvalid;
}

uint32_t ParseNumber(const std::string& s, size_t* pos) {
  uint32_t v = 0;
  while (*pos < s.size() && s[*pos] >= '0' && s[*pos] <= '9') v = v * 10 + (s[(*pos)++] - '0');
  return v;
}

// "zone:net/node" (a point is ignored); false when it does not parse.
bool ParseIntlAddress(const std::string& s, FtnAddress* a) {
  size_t p = 0;
  a->zone = ParseNumber(s, &p);
  if (p >= s.size() || s[p++] != ':') return false;
  a->net = ParseNumber(s, &p);
  if (p >= s.size() || s[p++] != '/') return false;
  a->node = ParseNumber(s, &p);
  return true;
}

void SplitLines(PackedMessage* m) {
  std::string line;
  for (char c : m->text) {
    if (c == '\r') {
      m->lines.push_back(line);
      line.clear();
    } else if (c != '\n') {
      line += c;
    }
  }
  if (!line.empty()) m->lines.push_back(line);
}

void DeriveAddresses(const PacketHeader& h, PackedMessage* m) {
  m->origin = {h.origin.zone, m->orig_net, m->orig_node, 0};
  m->destination = {h.destination.zone, m->dest_net, m->dest_node, 0};
  std::string value;
  if (m->Kludge("INTL", &value)) {
    size_t blank = value.find(' ');
    FtnAddress dest, orig;
    if (blank != std::string::npos && ParseIntlAddress(value.substr(0, blank), &dest) &&
        ParseIntlAddress(value.substr(blank + 1), &orig)) {
      m->destination = dest;
      m->origin = orig;
    }
  }
  if (m->Kludge("FMPT", &value)) m->origin.point = static_cast<uint32_t>(std::atoi(value.c_str()));
  if (m->Kludge("TOPT", &value)) {
    m->destination.point = static_cast<uint32_t>(std::atoi(value.c_str()));
  }
}

}  // namespace

bool PackedMessage::Kludge(const std::string& name, std::string* value) const {
  for (const std::string& line : lines) {
    if (line.size() < name.size() + 1 || line[0] != '\x01') continue;
    if (line.compare(1, name.size(), name) != 0) continue;
    size_t p = 1 + name.size();
    if (p < line.size() && line[p] != ' ' && line[p] != ':') continue;
    if (p < line.size() && line[p] == ':') ++p;
    while (p < line.size() && line[p] == ' ') ++p;
    *value = line.substr(p);
    return true;
  }
  return false;
}

std::vector<std::string> PackedMessage::BodyLines() const {
  std::vector<std::string> body;
  for (const std::string& line : lines) {
    if (line.empty() || line[0] != '\x01') body.push_back(line);
  }
  return body;
}

int ParsePacket(const std::string& data, Packet* packet, std::string* error) {
  *packet = Packet();
  Cursor c(data);
  PacketHeader& h = packet->header;
  h.origin.node = c.U16();
  h.destination.node = c.U16();
  h.year = c.U16();
  h.month = c.U16();
  h.day = c.U16();
  h.hour = c.U16();
  h.minute = c.U16();
  h.second = c.U16();
  c.U16();  // baud
  h.version = c.U16();
  h.origin.net = c.U16();
  h.destination.net = c.U16();
  int product_low = c.U8();
  c.U8();  // major revision
  h.password = c.Bytes(8);
  size_t nul = h.password.find('\0');
  if (nul != std::string::npos) h.password.resize(nul);
  uint16_t q_orig_zone = c.U16();
  uint16_t q_dest_zone = c.U16();
  uint16_t aux_net = c.U16();
  uint16_t cw_copy = c.U16();
  int product_high = c.U8();
  c.U8();  // minor revision
  h.capability = c.U16();
  uint16_t orig_zone = c.U16();
  uint16_t dest_zone = c.U16();
  uint16_t orig_point = c.U16();
  uint16_t dest_point = c.U16();
  c.Bytes(4);  // product data
  if (!c.ok()) return Invalid(error, "packet header shorter than 58 bytes", data.size());
  if (h.version != 2) return Invalid(error, "packet version is not 2", 18);
  h.product_code = product_low | (product_high << 8);
  uint16_t swapped = static_cast<uint16_t>((cw_copy >> 8) | (cw_copy << 8));
  h.type2plus = h.capability == swapped && (h.capability & 1) != 0;
  if (h.type2plus) {
    h.origin.zone = orig_zone;
    h.destination.zone = dest_zone;
    h.origin.point = orig_point;
    h.destination.point = dest_point;
    if (h.origin.net == 0xFFFF && orig_point != 0) h.origin.net = aux_net;
  } else {
    h.origin.zone = q_orig_zone;
    h.destination.zone = q_dest_zone;
  }

  for (;;) {
    size_t start = c.pos();
    uint16_t type = c.U16();
    if (!c.ok()) return Invalid(error, "packet ends without its terminator", start);
    if (type == 0) break;
    if (type != 2) return Invalid(error, "unknown packed message type", start);
    PackedMessage m;
    m.orig_node = c.U16();
    m.dest_node = c.U16();
    m.orig_net = c.U16();
    m.dest_net = c.U16();
    m.attributes = c.U16();
    m.cost = c.U16();
    m.date = c.Bytes(20);
    nul = m.date.find('\0');
    if (nul != std::string::npos) m.date.resize(nul);
    m.to_name = c.CString(35);
    m.from_name = c.CString(35);
    m.subject = c.CString(71);
    m.text = c.CString(0);
    if (!c.ok()) return Invalid(error, "packed message runs past the end", start);
    SplitLines(&m);
    DeriveAddresses(h, &m);
    packet->messages.push_back(std::move(m));
  }
  return 0;
}

// --- Olvix beside binkd --------------------------------------------------

OlvixNode MakeOlvixNode(const BinkdNode& node, const std::string& attach_style) {
  OlvixNode o;
  o.home = Join(node.root, "olvix");
  o.address = node.address;
  o.attach_style = attach_style;
  o.inbound = node.inbound;
  o.outbound = node.outbound;
  o.outmail = Join(node.root, "outmail");
  o.netmail = Join(node.root, "netmail");
  o.outtics = Join(node.root, "outtics");
  o.bad = Join(node.root, "bad");
  o.newechoes = Join(node.root, "newechoes");
  o.log = Join(o.home, "olvix.log");
  for (const std::string& d :
       {o.home, o.inbound, o.outbound, o.outmail, o.netmail, o.outtics, o.bad, o.newechoes}) {
    MakeDirs(d);
  }
  return o;
}

std::string OlvixIniText(const OlvixNode& o) {
  auto dir = [](const std::string& d) { return d + "/"; };
  std::string t;
  t += "; Olvix beside binkd: INBOUND is binkd's secure inbound, OUTBOUND its\n";
  t += "; domain outbound root\n";
  t += "[MAIN]\n";
  t += "ADDRESS " + o.address + "\n";
  t += "ORIGIN Olvix test node\n";
  t += "ROBOTNAMES OLVIX,FILEFIX\n";
  t += "LOGNAME " + o.log + "\n";
  t += "LOGLEVEL 5\n";
  t += "INBOUND " + dir(o.inbound) + "\n";
  t += "OUTBOUND " + dir(o.outbound) + "\n";
  t += "ATTACHSTYLE " + o.attach_style + "\n";
  t += "OUTMAIL " + dir(o.outmail) + "\n";
  t += "NETMAIL " + dir(o.netmail) + "\n";
  t += "OUTTICS " + dir(o.outtics) + "\n";
  t += "BADPATH " + dir(o.bad) + "\n";
  t += "NEWECHOPATH " + dir(o.newechoes) + "\n";
  t += "BADPWD badpwd.tpl\n";
  return t;
}

std::string OlvixLinksText(const std::vector<OlvixLink>& links) {
  std::string t = "; address group password level create flavour aka status options\n";
  for (const OlvixLink& l : links) {
    t += "LINK " + l.address + " " + l.group + " " + l.password + " " + std::to_string(l.level) +
         (l.create ? " Yes " : " No ") + l.flavour + " " + l.aka +
         (l.active ? " Active" : " Passive");
    if (!l.options.empty()) t += " " + l.options;
    t += "\n";
  }
  return t;
}

std::string OlvixAreasText(const std::vector<OlvixArea>& areas) {
  std::string t;
  for (const OlvixArea& a : areas) {
    t += "AREA " + a.tag + " " + a.dir + "/ " + a.group + " " + std::to_string(a.read_level) + " " +
         std::to_string(a.write_level) + " " + a.address + "\n";
    if (!a.desc.empty()) t += "DESC " + a.desc + "\n";
    if (!a.links.empty()) {
      t += "LINKS";
      for (const std::string& l : a.links) t += " " + l;
      t += "\n";
    }
    t += "\n";
  }
  return t;
}

bool WriteOlvixNode(const OlvixNode& node, const std::vector<OlvixLink>& links,
                    const std::vector<OlvixArea>& areas, std::string* error) {
  for (const OlvixArea& a : areas) MakeDirs(a.dir);
  const std::pair<const char*, std::string> files[] = {
      {"olvix.ini", OlvixIniText(node)},
      {"olxlinks.ini", OlvixLinksText(links)},
      {"olxareas.ini", OlvixAreasText(areas)},
      {"badpwd.tpl", "Your password is wrong.\n"},
  };
  for (const auto& [name, text] : files) {
    if (!WriteFile(Join(node.home, name), text)) {
      *error = "cannot write " + Join(node.home, name);
      return false;
    }
  }
  return true;
}

RunResult RunOlvix(const std::string& olvix, const OlvixNode& node,
                   const std::vector<std::string>& args, int timeout_ms) {
  std::vector<std::string> argv = {FindProgram("env"), "OLVIXPATH=" + node.home, olvix};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string output;
  for (int n = 1; output.empty() || PathExists(output); ++n) {
    output = Join(node.home, "run-" + std::to_string(n) + ".out");
  }
  return RunProgram(argv, output, timeout_ms);
}

std::string TicketText(const TicketSpec& t) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08X", t.crc);
  std::string s;
  s += "Created by a third system\r\n";
  s += "Area " + t.area + "\r\n";
  s += "Origin " + t.origin + "\r\n";
  s += "From " + t.from + "\r\n";
  s += "To " + t.to + "\r\n";
  s += "File " + t.file + "\r\n";
  if (!t.desc.empty()) s += "Desc " + t.desc + "\r\n";
  s += "Size " + std::to_string(t.size) + "\r\n";
  s += std::string("Crc ") + crc + "\r\n";
  for (const std::string& p : t.path) s += "Path " + p + "\r\n";
  for (const std::string& a : t.seen_by) s += "Seenby " + a + "\r\n";
  s += "Pw " + t.password + "\r\n";
  return s;
}

uint32_t ContentCrc32(const std::string& data) {
  return ~Crc32Update(0xFFFFFFFFu, data.data(), data.size());
}

}  // namespace olvix::ftnnet
