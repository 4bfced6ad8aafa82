// The node that bench/toss_floor_bench.cc builds and both `olvix TOSS` and
// the floor program (toss_floor.cc) work on: tickets from an uplink for one
// fileecho, sent on to three downlinks through a BINK outbound, with
// descriptions. Directories are relative to the node's home directory.
#ifndef OLVIX_BENCH_FLOOR_FLOOR_NODE_H_
#define OLVIX_BENCH_FLOOR_FLOOR_NODE_H_

namespace olvix::floor_node {

inline constexpr char kOurAddress[] = "2:5020/1";
inline constexpr char kUplink[] = "2:5020/2";
inline constexpr char kUplinkPassword[] = "SECRET";
inline constexpr char kTag[] = "BENCH.FILES";

inline constexpr char kInbound[] = "in/";
inline constexpr char kFileechoParent[] = "files/";
inline constexpr char kFileecho[] = "files/bench/";
inline constexpr char kOuttics[] = "outtics/";
inline constexpr char kOutboundParent[] = "out/";
inline constexpr char kOutbound[] = "out/bso/";

struct Downlink {
  const char* address;
  const char* password;
  const char* flavour;
  const char* flow_file;  // its BINK flow file for files of that flavour
};
inline constexpr Downlink kDownlinks[] = {
    {"2:5020/10", "PW0", "Hold", "139c000a.hlo"},
    {"2:5020/11", "PW1", "Crash", "139c000b.clo"},
    {"2:5020/12", "PW2", "Hold", "139c000c.hlo"},
};
inline constexpr int kDownlinkCount = sizeof(kDownlinks) / sizeof(kDownlinks[0]);

}  // namespace olvix::floor_node

#endif  // OLVIX_BENCH_FLOOR_FLOOR_NODE_H_
