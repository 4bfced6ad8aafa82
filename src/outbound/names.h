// Names of the outbound formats: Binkley-style flow files with their zone
// and point directories, long-name list files, and filebox directories.
// Building and parsing live together so that they cannot drift apart.
#ifndef OLVIX_OUTBOUND_NAMES_H_
#define OLVIX_OUTBOUND_NAMES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "config/main_config.h"
#include "util/address.h"

namespace olvix {

enum class NameCase { kUpper, kLower };

// The attach flavour of a flavour text: its first letter upper-cased, or 0.
char AttachFlavour(const std::string& flavour_text);
// The flavour a flow, list or brake name stands for: I, C, D and N as they
// are, every other letter hold (H).
char OutboundFlavour(char flavour);

// --- Binkley-style outbound ---------------------------------------------

// ".003" for zone 3: the extension of a zone directory other than the main
// zone's, three hexadecimal digits at least.
std::string BsoZoneExtension(uint32_t zone, NameCase c);
// "139C0064" for net 5020, node 100: four hexadecimal digits each at least.
std::string BsoNodeName(uint32_t net, uint32_t node, NameCase c);
// ".pnt": the extension of a node's point directory.
std::string BsoPointDirExtension(NameCase c);
// "00000001" for point 1: eight hexadecimal digits at least.
std::string BsoPointName(uint32_t point, NameCase c);
// ".ilo", ".clo", ".dlo", ".flo", else ".hlo".
std::string BsoFlowExtension(char flavour, NameCase c);

// Zone of a zone directory name: `outbound_name` alone gives `main_zone`,
// with ".xxx" (hexadecimal, any case) the zone written there.
bool ParseBsoZoneDir(std::string_view name, std::string_view outbound_name, uint32_t main_zone,
                     uint32_t* zone);
// Net and node of a point directory name "139c0064.pnt" (any case).
bool ParseBsoPointDir(std::string_view name, uint32_t* net, uint32_t* node);
// The number and flavour of a flow file name "139c0064.flo" (any case):
// for a node's flow file net is number >> 16 and node number & 0xFFFF; in
// a point directory the number is the point. The delayed file ".olx" gives
// flavour 0.
bool ParseBsoFlowName(std::string_view name, uint32_t* number, char* flavour);

// --- Long-name outbound -------------------------------------------------

// "Fidonet.2.5020.100.0": all four parts in decimal, the point always.
std::string LbsoNodeName(const FtnAddress& a);
// ".Immediate.List", ".Crash.List", ".Direct.List", ".Normal.List", else
// ".Hold.List".
const char* LbsoListExtension(char flavour);
// Address and flavour of "Fidonet.2.5020.100.0.Crash.List" (any case);
// ".olx" gives flavour 0.
bool ParseLbsoListName(std::string_view name, FtnAddress* a, char* flavour);

// --- Fileboxes ----------------------------------------------------------

// ".Immediate", ".Crash", ".Direct", ".Normal", else ".Hold".
const char* BrakeSuffix(char flavour);
// The box directory name of `style` (one of the three filebox styles) for
// address `a` and attach flavour `flavour`: "024SS034.00" (h for hold),
// "2.5020.100.0" (.h for hold), "Fidonet.2.5020.100.0.Hold". Empty for
// other styles.
std::string FileboxName(AttachStyle style, const FtnAddress& a, char flavour);
// Address and flavour of a box directory name (without regard to case).
// Short and long boxes give 'H' for a hold box and 0 otherwise; brake
// boxes give the letter of their suffix.
bool ParseFileboxName(AttachStyle style, std::string_view name, FtnAddress* a, char* flavour);

}  // namespace olvix

#endif  // OLVIX_OUTBOUND_NAMES_H_
