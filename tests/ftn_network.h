// Test harness for scenario tests that run real FTN software beside Olvix
// on the loopback interface: the binkd mailer (carries flow-file mail
// between two nodes) and the crashmail tosser (reads stored messages and
// writes packets). Test-only code: it uses POSIX directly.
//
// Everything here talks to 127.0.0.1 only. binkd configurations list every
// peer with an explicit "127.0.0.1:port" (or "-" for a peer that is never
// called), carry no `defnode` and no "*" host (which would make binkd look
// the node up in DNS), and listen on 127.0.0.1 alone. `BinkdNetwork::Poll`
// refuses to poll an address that is not a configured peer, because binkd
// adds an unknown polled node with the host "*".
//
// What the Olvix side must match (found by running binkd 1.1a and
// crashmail 1.7 from Debian; the self-tests in ftn_network_test.cc pin the
// points marked [tested]):
//
// binkd flow files (BINK style outbound, domain outbound root OUT, our zone Z)
// - A node of our zone: OUT/nnnnmmmm.ext, nnnn the net and mmmm the node in
//   four hexadecimal digits each: 2:5020/2 is OUT/139c0002.flo (5020 is
//   0x139c). Another zone: the sibling directory OUT.zzz (zone in three hex
//   digits, OUT.003 for zone 3). A point: OUT/nnnnmmmm.pnt/pppppppp.ext, the
//   point in eight hex digits: 2:5020/100.1 is OUT/139c0064.pnt/00000001.hlo.
// - Flavour extensions: .ilo immediate, .clo crash, .dlo direct, .flo
//   normal, .hlo hold. binkd calls a node for .ilo/.clo/.dlo/.flo mail; it
//   never calls for .hlo mail alone ("the queue is empty") [tested], but it
//   sends hold mail in any session with that node: when the node calls in
//   (polls) [tested], and when binkd called it for other mail [tested].
// - Letter case. binkd finds flow FILES without regard to case (readdir and a
//   case-blind match: 139C0002.FLO is sent) [tested], but it builds the
//   DIRECTORY names of points and zones in lower case and opens them as
//   built: a point directory 139C0064.pnt is not seen when the point polls
//   [tested]. binkd's own .bsy/.csy/.hld/.try files always go to the
//   lower-case paths. So on Linux the outbound must use lower-case hex digits
//   for directories, and should for file names too (so that the flow file and
//   binkd's .bsy sit side by side and a case-blind lookup finds one entry).
// - Lines: one path per line, CR LF or LF. The path must be absolute and
//   name the file exactly as it is on disk (case counts). Prefixes:
//     (none)  send, keep the file;
//     "^"     send, then delete the file;
//     "#"     send, then truncate the file to 0 bytes;
//     "~"     already sent: skipped, not sent.
//   Nothing else is a prefix: "-/path" is taken as a path and dropped as a
//   missing file [tested].
// - A line naming a file that does not exist is logged ("?" level,
//   "start_file_transfer: ...: No such file or directory") and dropped; once
//   the session is done the flow file is deleted all the same, so that mail
//   is lost without an error [tested]. The same happens to a path written in
//   the wrong letter case [tested]: write the resolved on-disk path.
// - The flow file is deleted after a successful session [tested]; a file
//   received under a name already in the inbound is renamed (file.zip ->
//   file.zip.1, binkd's default rename-style), so tests start from empty
//   inbounds.
// - Busy flags: while NODE.bsy exists (any letter case: the client scan
//   matches case-blind) binkd skips the node silently and `binkd -p` ends at
//   once with "the queue is empty" [tested]. When the node calls in, binkd
//   creates the lower-case .bsy with O_EXCL and, if that exists, answers
//   "M_BSY Secure AKA ... busy" and drops the session. binkd itself creates
//   NODE.bsy (session) and NODE.csy (outgoing call) next to the flow files
//   and removes them afterwards. A tosser must not touch a flow file while
//   its .bsy exists.
//
// crashmail (*.msg netmail area, SCAN)
// - Exports only messages with the Local attribute (0x0100) set and Sent
//   (0x0008) clear; marks each exported message Sent in place (the file
//   stays unless ALLOWKILLSENT is configured) [tested].
// - Never 1.msg (reserved for the high-water mark); only lower-case "*.msg"
//   names: "3.MSG" is listed but cannot be opened ("Can't open file") and is
//   skipped [tested].
// - Destination zone from the INTL kludge (else DEFAULTZONE), destination
//   point from TOPT, origin point from FMPT; the zone and point fields of the
//   190-byte header are ignored [tested].
// - A normal letter is routed by ROUTE and written as an unpacked netmail
//   packet OUT/nnnnmmmm.out (.dut direct, .hut hold, .cut crash). A letter
//   with FileAttach (0x0010) is sent directly to its destination (no ROUTE
//   needed; NODIRECTATTACH turns that off): its packet is .dut (.hut with
//   the Hold attribute 0x0200) and the subject in the packet is the bare
//   file name. The attached file (the subject, a full path, case counts) is
//   COPIED into PACKETDIR and the flow file (.dlo, or .hlo for hold, in the
//   point directory for a point) gets "^PACKETDIR/name"; the original file
//   stays [tested], whatever the FLAGS KFS kludge says: the tickets that
//   the AMA style attaches with KFS stay in OUTTICS after crashmail's
//   export. When the attached file does not exist the flow file gets the
//   subject path without prefix, which binkd then drops (see above) [tested].
// - The subject field holds at most 71 characters: a file-attach path must
//   fit, so keep OUTMAIL-attached paths short.
// - Packets: type 2+ (FSC-0039 capability word 0x0001), packed messages
//   carry the attribute without Local/Sent/KillSent, add a ^AVia line, and
//   keep the kludges and text lines of the stored message unchanged
//   [tested].
#ifndef OLVIX_TESTS_FTN_NETWORK_H_
#define OLVIX_TESTS_FTN_NETWORK_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "util/address.h"

namespace olvix::ftnnet {

// --- Files and directories ------------------------------------------------

// Creates a fresh directory /tmp/<prefix>XXXXXX; "" on failure.
std::string MakeTempDir(const std::string& prefix);
// Removes a directory tree (no symlinks are followed).
void RemoveTree(const std::string& path);
// Creates a directory and its parents; true when it exists afterwards.
bool MakeDirs(const std::string& path);
bool ReadFile(const std::string& path, std::string* data);
bool WriteFile(const std::string& path, const std::string& data);
bool PathExists(const std::string& path);
// Names in a directory (no "." and ".."), sorted; empty when unreadable.
std::vector<std::string> ListNames(const std::string& dir);
// Joins with one "/".
std::string Join(const std::string& dir, const std::string& name);

// --- Programs and processes -----------------------------------------------

// Full path of an installed program: PATH, then /usr/sbin, /sbin,
// /usr/local/sbin. "" when it is not found or not executable.
std::string FindProgram(const std::string& name);

// Free TCP ports on 127.0.0.1, all different: bound with port 0 and read
// back, then released. Empty on failure.
std::vector<int> FindFreePorts(int count);

// One child process in its own process group, with standard output and
// error appended to a file. The destructor stops it: a test that fails an
// assertion half-way still leaves no process behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (a full path). False with *error set on failure.
  bool Start(const std::vector<std::string>& argv, const std::string& output_path,
             std::string* error);
  // True when the child ended within timeout_ms; *status is its exit code,
  // or 128 + the signal number.
  bool Wait(int timeout_ms, int* status);
  // SIGTERM to the child's process group (the child's id is the group id,
  // so the sessions it forked go too), up to 5 s to end, then SIGKILL; reaps
  // the child. Returns its status, or -1 when nothing was running.
  int Stop();
  bool running() const { return pid_ > 0; }
  int pid() const { return pid_; }

 private:
  int pid_ = -1;
  int status_ = -1;
};

// Outcome of a program run to completion under a time limit.
struct RunResult {
  bool started = false;
  bool timed_out = false;  // killed at the limit
  int status = -1;         // exit code when it ended by itself
  std::string output;      // what it printed
  bool ok() const { return started && !timed_out && status == 0; }
};

// Runs argv (argv[0] a full path) and waits up to timeout_ms; a program
// still running then is stopped as ChildProcess::Stop does.
RunResult RunProgram(const std::vector<std::string>& argv, const std::string& output_path,
                     int timeout_ms);

// Calls `done` every 20 ms until it returns true or timeout_ms passed.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms);

// --- binkd ---------------------------------------------------------------

// Flow-file path of `to` below the outbound root `outbound` of a system of
// zone `own_zone`, without extension: "<out>/139c0002",
// "<out>/139c0064.pnt/00000001", "<out>.003/00010002". Lower-case hex digits,
// as binkd builds them.
std::string BsoBase(const std::string& outbound, uint32_t own_zone, const FtnAddress& to);

// One system of the test network. Its directories live below `root`; Olvix
// configurations of the end-to-end tests point at the same directories.
struct BinkdNode {
  std::string name;      // short name, also the directory below the network root
  std::string address;   // "2:5020/1"
  std::string root;      // the node's directory
  std::string outbound;  // domain outbound root (no trailing "/")
  std::string inbound;   // secure inbound: password-protected sessions
  std::string inbound_nonsecure;
  std::string temp_inbound;  // partial files
  std::string config;        // binkd.cfg
  std::string log;           // binkd.log
  std::string pid_file;
  bool listens = false;  // runs a server (a point that only polls does not)
  int port = 0;          // its 127.0.0.1 port when it listens
  FtnAddress Address() const { return ParseAddress(address); }
};

// A peer line of a binkd configuration.
struct BinkdPeer {
  std::string address;
  int port = 0;  // 0: never called ("-")
  std::string password;
};

// Text of a binkd configuration for `self` with `peers` (see the file
// comment for what keeps it on the loopback interface).
std::string BinkdConfigText(const BinkdNode& self, const std::vector<BinkdPeer>& peers);

// Nodes, their links and the binkd processes of one test. Destroying it
// stops every server it started.
class BinkdNetwork {
 public:
  BinkdNetwork(std::string binkd, std::string root);
  ~BinkdNetwork();
  BinkdNetwork(const BinkdNetwork&) = delete;
  BinkdNetwork& operator=(const BinkdNetwork&) = delete;

  // Adds a node below root/name and creates its directories. `listens`
  // gives it a free port and lets StartServer run it.
  BinkdNode* AddNode(const std::string& name, const std::string& address, bool listens);
  // Makes a and b peers of each other with a session password. A peer
  // that listens is configured with its port, otherwise with "-".
  void Link(BinkdNode* a, BinkdNode* b, const std::string& password);
  // Writes every node's configuration. False on a write failure.
  bool WriteConfigs(std::string* error);

  // Starts `binkd -s` for a listening node and waits until it listens. When
  // the port was taken meanwhile, it picks another port, rewrites the
  // configurations and tries again (three tries). False with *error (and
  // binkd's output) on failure.
  bool StartServer(BinkdNode* node, std::string* error);
  // Stops the node's server (by its process id) and reaps it.
  void StopServer(BinkdNode* node);
  void StopAll();

  // Runs one client pass of `from`: `binkd -p [-P poll] config`, which
  // calls every node with mail that is not on hold (and `poll`, when
  // given), then exits. `poll` must be a configured peer. Killed after
  // timeout_ms.
  RunResult Poll(BinkdNode* from, const std::string& poll, int timeout_ms = 20000);

  const std::string& binkd() const { return binkd_; }

 private:
  struct Server;
  std::vector<BinkdPeer> PeersOf(const BinkdNode* node) const;
  std::string NextOutputPath(const BinkdNode* node, const char* what);

  std::string binkd_;
  std::string root_;
  std::vector<std::unique_ptr<BinkdNode>> nodes_;
  struct LinkEntry {
    BinkdNode* a;
    BinkdNode* b;
    std::string password;
  };
  std::vector<LinkEntry> links_;
  std::vector<std::unique_ptr<Server>> servers_;
  int runs_ = 0;
};

// --- crashmail -----------------------------------------------------------

struct CrashmailRoute {
  std::string pattern;  // "2:5020/100.*"
  std::string via;      // "2:5020/100.0"
};

// A crashmail installation for one node: its configuration exports the
// *.msg netmail area `netmail` into the BSO outbound `outbound`.
struct CrashmailSetup {
  std::string root;
  std::string config;    // crashmail.prefs
  std::string netmail;   // the *.msg netmail area
  std::string outbound;  // BSO outbound (flow files and unpacked netmail)
  std::string packets;   // PACKETDIR: bundles and copies of attached files
  std::string temp;
  std::string inbound;
  std::string bad;
  std::string log;
  std::string aka;  // "2:5020/1"
  std::vector<CrashmailRoute> routes;
};

// Fills `setup` below `root` (netmail and outbound default to root/netmail
// and root/outbound when empty), creates the directories and writes the
// configuration. False with *error on failure.
bool MakeCrashmailSetup(const std::string& root, const std::string& aka,
                        const std::vector<CrashmailRoute>& routes, const std::string& netmail,
                        const std::string& outbound, CrashmailSetup* setup, std::string* error);
std::string CrashmailConfigText(const CrashmailSetup& setup);
// Runs `crashmail SETTINGS config <command...>`, killed after timeout_ms.
RunResult RunCrashmail(const std::string& crashmail, const CrashmailSetup& setup,
                       const std::vector<std::string>& command, int timeout_ms = 20000);

// --- Stored messages (*.msg, FTS-0001) -----------------------------------

inline constexpr uint16_t kAttrPrivate = 0x0001;
inline constexpr uint16_t kAttrCrash = 0x0002;
inline constexpr uint16_t kAttrSent = 0x0008;
inline constexpr uint16_t kAttrFileAttach = 0x0010;
inline constexpr uint16_t kAttrKillSent = 0x0080;
inline constexpr uint16_t kAttrLocal = 0x0100;
inline constexpr uint16_t kAttrHold = 0x0200;

struct StoredMessage {
  std::string from_name, to_name, subject;
  std::string date = "08 Dec 26  12:00:00";
  FtnAddress origin, destination;  // all four parts go into the header
  uint16_t attributes = kAttrPrivate | kAttrLocal;
  std::string text;  // lines ended by CR, kludges included
};
// The 190-byte header followed by the text.
std::string EncodeStoredMessage(const StoredMessage& m);
// Reads the header of a stored message (the text is everything after it).
// False when the data is shorter than the header.
bool DecodeStoredMessage(const std::string& data, StoredMessage* m);

// --- Packets (type 2+, *.pkt and unpacked netmail *.?ut) -----------------

struct PacketHeader {
  FtnAddress origin, destination;  // zone and point from the 2+ fields
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // month 0..11
  int version = 0;                                                     // 2
  int product_code = 0;
  std::string password;
  uint16_t capability = 0;
  bool type2plus = false;  // capability word confirmed by its swapped copy
};

struct PackedMessage {
  uint16_t orig_node = 0, dest_node = 0, orig_net = 0, dest_net = 0;
  uint16_t attributes = 0, cost = 0;
  std::string date, to_name, from_name, subject;
  std::string text;                // as stored, CR line ends
  std::vector<std::string> lines;  // text split at CR (LF dropped), last empty line dropped
  // Net and node from the message, zone from INTL (else the packet's),
  // points from FMPT and TOPT.
  FtnAddress origin, destination;
  // Value of the first kludge line "^A<name> value" or "^A<name>: value";
  // false when there is none.
  bool Kludge(const std::string& name, std::string* value) const;
  // The lines that are not kludges (no leading ^A).
  std::vector<std::string> BodyLines() const;
};

struct Packet {
  PacketHeader header;
  std::vector<PackedMessage> messages;
};

// Parses a whole packet. Returns 0, or 4081 with *error set when the data is
// not a well-formed type 2 packet (short header, wrong version, a message
// that runs past the end, a missing terminator).
int ParsePacket(const std::string& data, Packet* packet, std::string* error);

// --- Olvix beside binkd --------------------------------------------------

// The directories of an Olvix node that runs beside a binkd node: INBOUND
// is binkd's secure inbound, OUTBOUND binkd's domain outbound root; the
// rest lives below the node's root.
struct OlvixNode {
  std::string home;  // OLVIXPATH: olvix.ini, olxlinks.ini, olxareas.ini
  std::string address;
  std::string attach_style;  // "BINK", "AMA", ...
  std::string inbound, outbound, outmail, netmail, outtics, bad, newechoes, log;
};

// One LINK line of olxlinks.ini.
struct OlvixLink {
  std::string address;
  std::string group = "A";
  std::string password;
  int level = 10;
  bool create = false;
  std::string flavour = "Normal";  // first letter: N, H, D, C, I
  std::string aka;                 // our address toward the link
  bool active = true;
  std::string options;
};

// One AREA block of olxareas.ini.
struct OlvixArea {
  std::string tag;
  std::string dir;
  std::string group = "A";
  int read_level = 0, write_level = 0;
  std::string address;  // our address for the fileecho
  std::string desc;
  std::vector<std::string> links;  // subscribers, "!" read-only, "~" write-only
};

// Fills the directories of an Olvix node for `node` (home below the node's
// root in "olvix") and creates them.
OlvixNode MakeOlvixNode(const BinkdNode& node, const std::string& attach_style);
std::string OlvixIniText(const OlvixNode& node);
std::string OlvixLinksText(const std::vector<OlvixLink>& links);
std::string OlvixAreasText(const std::vector<OlvixArea>& areas);
// Writes olvix.ini, olxlinks.ini, olxareas.ini and the templates they name
// into node.home. False with *error on failure.
bool WriteOlvixNode(const OlvixNode& node, const std::vector<OlvixLink>& links,
                    const std::vector<OlvixArea>& areas, std::string* error);
// Runs `olvix args...` with OLVIXPATH=node.home, killed after timeout_ms.
RunResult RunOlvix(const std::string& olvix, const OlvixNode& node,
                   const std::vector<std::string>& args, int timeout_ms = 20000);

// A ticket as a third system writes it (CR LF line ends).
struct TicketSpec {
  std::string from, origin, to;
  std::string area, file, password;
  std::string desc;
  uint32_t size = 0;
  uint32_t crc = 0;
  std::vector<std::string> path;     // "2:5020/3 1700000000 ..." values
  std::vector<std::string> seen_by;  // addresses
};
std::string TicketText(const TicketSpec& t);
// CRC-32 of a file's contents, as tickets carry it.
uint32_t ContentCrc32(const std::string& data);

}  // namespace olvix::ftnnet

#endif  // OLVIX_TESTS_FTN_NETWORK_H_
