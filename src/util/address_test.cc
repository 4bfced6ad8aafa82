#include "util/address.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace olvix {
namespace {

FtnAddress A(uint32_t zone, uint32_t net, uint32_t node, uint32_t point = 0) {
  FtnAddress a;
  a.zone = zone;
  a.net = net;
  a.node = node;
  a.point = point;
  return a;
}

TEST(ParseAddressTest, FullAndPointForms) {
  EXPECT_EQ(ParseAddress("2:5020/1042"), A(2, 5020, 1042));
  EXPECT_EQ(ParseAddress("2:5020/1042.7"), A(2, 5020, 1042, 7));
  EXPECT_EQ(ParseAddress("4294967295:1/2.4294967295"), A(4294967295u, 1, 2, 4294967295u));
}

TEST(ParseAddressTest, PointZeroEqualsNoPoint) {
  FtnAddress with_zero = ParseAddress("2:5020/1042.0");
  FtnAddress without = ParseAddress("2:5020/1042");
  EXPECT_EQ(with_zero, without);
  EXPECT_EQ(FormatAddress(with_zero), "2:5020/1042");
  // A dot with nothing after it is no point either.
  EXPECT_EQ(ParseAddress("2:5020/1042."), without);
}

TEST(ParseAddressTest, DomainSuffixIsIgnored) {
  EXPECT_EQ(ParseAddress("2:5020/1042@fidonet"), A(2, 5020, 1042));
  EXPECT_EQ(ParseAddress("2:5020/1042.3@fidonet"), A(2, 5020, 1042, 3));
  // A dot inside the domain lands in the point position and reads as 0.
  EXPECT_EQ(ParseAddress("2:5020/1042@fido.net"), A(2, 5020, 1042));
}

TEST(ParseAddressTest, MissingZoneLosesTheNet) {
  // Without "zone:" the net has nowhere to go: only the node survives.
  EXPECT_EQ(ParseAddress("5020/1042"), A(0, 0, 1042));
  EXPECT_EQ(ParseAddress("5020/1042.5"), A(0, 0, 1042, 5));
}

TEST(ParseAddressTest, PartsAreTakenIndependently) {
  // No slash: neither net nor node.
  EXPECT_EQ(ParseAddress("2:5020"), A(2, 0, 0));
  // A dot before the slash kills the node; the net keeps its leading
  // digits and the point takes the digits after the dot.
  EXPECT_EQ(ParseAddress("2:50.20/1042"), A(2, 50, 0, 20));
  // A slash before the colon: no net.
  EXPECT_EQ(ParseAddress("5020/2:1042"), A(5020, 0, 2));
  // Text after the digits of a part is ignored.
  EXPECT_EQ(ParseAddress("2x:5020y/1042z.3w"), A(2, 5020, 1042, 3));
  EXPECT_EQ(ParseAddress(""), A(0, 0, 0));
  EXPECT_TRUE(ParseAddress("garbage").empty());
}

TEST(ParseAddressTest, LongZoneTextGivesZoneZero) {
  std::string zone511 = std::string(510, '0') + "2";
  EXPECT_EQ(ParseAddress(zone511 + ":5020/1").zone, 2u);
  std::string zone512 = std::string(511, '0') + "2";
  EXPECT_EQ(ParseAddress(zone512 + ":5020/1"), A(0, 5020, 1));
}

TEST(FormatAddressTest, PointOnlyWhenNotZero) {
  EXPECT_EQ(FormatAddress(A(2, 5020, 1042)), "2:5020/1042");
  EXPECT_EQ(FormatAddress(A(2, 5020, 1042, 1)), "2:5020/1042.1");
  EXPECT_EQ(FormatAddress(A(0, 0, 0)), "0:0/0");
  EXPECT_EQ(FormatAddress(A(4294967295u, 4294967295u, 4294967295u, 4294967295u)),
            "4294967295:4294967295/4294967295.4294967295");
}

TEST(FormatAddressTest, RoundTrip) {
  for (const char* text : {"1:2/3", "2:5020/1042.99", "21:1/100", "65535:65535/65535.65535"})
    EXPECT_EQ(FormatAddress(ParseAddress(text)), text);
}

TEST(CompareAddressTest, OrdersByZoneNetNodePoint) {
  EXPECT_EQ(CompareAddress(A(2, 5020, 1), A(2, 5020, 1)), 0);
  EXPECT_EQ(CompareAddress(A(1, 9999, 9999, 9), A(2, 1, 1)), -1);
  EXPECT_EQ(CompareAddress(A(2, 5021, 1), A(2, 5020, 9999)), 1);
  EXPECT_EQ(CompareAddress(A(2, 5020, 1), A(2, 5020, 2)), -1);
  EXPECT_EQ(CompareAddress(A(2, 5020, 1, 1), A(2, 5020, 1)), 1);
  // Unsigned: the largest value sorts last, not first.
  EXPECT_EQ(CompareAddress(A(4294967295u, 0, 0), A(1, 0, 0)), 1);
  EXPECT_EQ(CompareAddress(A(2, 5020, 1, 4294967295u), A(2, 5020, 1, 1)), 1);
}

TEST(FtnAddressHashTest, DistinguishesParts) {
  // Addresses that differ only by which part holds a number must not
  // collide; a hash table of links relies on it staying spread.
  std::unordered_set<size_t> hashes;
  FtnAddressHash h;
  for (uint32_t v = 1; v <= 50; ++v) {
    hashes.insert(h(A(v, 0, 0)));
    hashes.insert(h(A(0, v, 0)));
    hashes.insert(h(A(0, 0, v)));
    hashes.insert(h(A(0, 0, 0, v)));
  }
  EXPECT_EQ(hashes.size(), 200u);
}

}  // namespace
}  // namespace olvix
