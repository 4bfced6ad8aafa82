#include "outbound/names.h"

#include <gtest/gtest.h>

namespace olvix {
namespace {

TEST(OutboundNames, BinkleyStyleParts) {
  EXPECT_EQ(BsoNodeName(5020, 100, NameCase::kUpper), "139C0064");
  EXPECT_EQ(BsoNodeName(5020, 100, NameCase::kLower), "139c0064");
  EXPECT_EQ(BsoNodeName(0x12345, 1, NameCase::kUpper), "123450001");  // never cut
  EXPECT_EQ(BsoZoneExtension(3, NameCase::kLower), ".003");
  EXPECT_EQ(BsoZoneExtension(10, NameCase::kLower), ".00a");
  EXPECT_EQ(BsoZoneExtension(0x1234, NameCase::kUpper), ".1234");
  EXPECT_EQ(BsoPointName(1, NameCase::kLower), "00000001");
  EXPECT_EQ(BsoPointDirExtension(NameCase::kLower), ".pnt");
  EXPECT_EQ(BsoPointDirExtension(NameCase::kUpper), ".PNT");
}

TEST(OutboundNames, FlavourExtensions) {
  struct Case {
    char flavour;
    const char* flow;
    const char* list;
    const char* brake;
  } cases[] = {
      {'I', ".ilo", ".Immediate.List", ".Immediate"}, {'C', ".clo", ".Crash.List", ".Crash"},
      {'D', ".dlo", ".Direct.List", ".Direct"},       {'N', ".flo", ".Normal.List", ".Normal"},
      {'H', ".hlo", ".Hold.List", ".Hold"},           {'X', ".hlo", ".Hold.List", ".Hold"},
      {'\0', ".hlo", ".Hold.List", ".Hold"},          {'c', ".clo", ".Crash.List", ".Crash"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BsoFlowExtension(c.flavour, NameCase::kLower), c.flow) << c.flavour;
    EXPECT_EQ(LbsoListExtension(c.flavour), std::string(c.list)) << c.flavour;
    EXPECT_EQ(BrakeSuffix(c.flavour), std::string(c.brake)) << c.flavour;
  }
  EXPECT_EQ(BsoFlowExtension('N', NameCase::kUpper), ".FLO");
  EXPECT_EQ(AttachFlavour("hD"), 'H');
  EXPECT_EQ(AttachFlavour(""), '\0');
}

TEST(OutboundNames, ParseBinkleyStyleNames) {
  uint32_t number = 0, net = 0, node = 0, zone = 0;
  char flavour = 'x';
  struct Case {
    const char* name;
    bool ok;
    uint32_t number;
    char flavour;
  } flows[] = {
      {"139c0064.flo", true, 0x139C0064, 'N'}, {"139C0064.HLO", true, 0x139C0064, 'H'},
      {"00000001.clo", true, 1, 'C'},          {"139c0064.olx", true, 0x139C0064, '\0'},
      {"139c0064.xlo", false, 0, 0},           {"139c006.flo", false, 0, 0},
      {"139g0064.flo", false, 0, 0},           {"139c0064.flo.bak", false, 0, 0},
  };
  for (const Case& c : flows) {
    EXPECT_EQ(ParseBsoFlowName(c.name, &number, &flavour), c.ok) << c.name;
    if (!c.ok) continue;
    EXPECT_EQ(number, c.number) << c.name;
    EXPECT_EQ(flavour, c.flavour) << c.name;
  }
  ASSERT_TRUE(ParseBsoPointDir("139C0064.PNT", &net, &node));
  EXPECT_EQ(net, 5020u);
  EXPECT_EQ(node, 100u);
  EXPECT_FALSE(ParseBsoPointDir("139C0064.flo", &net, &node));

  ASSERT_TRUE(ParseBsoZoneDir("outbound", "outbound", 2, &zone));
  EXPECT_EQ(zone, 2u);
  ASSERT_TRUE(ParseBsoZoneDir("OUTBOUND.00A", "outbound", 2, &zone));
  EXPECT_EQ(zone, 10u);
  EXPECT_FALSE(ParseBsoZoneDir("outbound.0a", "outbound", 2, &zone));
  EXPECT_FALSE(ParseBsoZoneDir("outbound.00z", "outbound", 2, &zone));
  EXPECT_FALSE(ParseBsoZoneDir("inbound.003", "outbound", 2, &zone));

  // Whatever is built parses back.
  for (char f : {'I', 'C', 'D', 'N', 'H'}) {
    std::string name =
        BsoNodeName(65535, 0, NameCase::kLower) + BsoFlowExtension(f, NameCase::kLower);
    ASSERT_TRUE(ParseBsoFlowName(name, &number, &flavour)) << name;
    EXPECT_EQ(number >> 16, 65535u);
    EXPECT_EQ(flavour, f);
  }
}

TEST(OutboundNames, LongNames) {
  FtnAddress a;
  char flavour = 'x';
  EXPECT_EQ(LbsoNodeName({2, 5020, 100, 0}), "Fidonet.2.5020.100.0");
  ASSERT_TRUE(ParseLbsoListName("Fidonet.2.5020.100.0.Crash.List", &a, &flavour));
  EXPECT_EQ(FormatAddress(a), "2:5020/100");
  EXPECT_EQ(flavour, 'C');
  ASSERT_TRUE(ParseLbsoListName("fidonet.3.1.2.7.olx", &a, &flavour));
  EXPECT_EQ(FormatAddress(a), "3:1/2.7");
  EXPECT_EQ(flavour, '\0');
  EXPECT_FALSE(ParseLbsoListName("Fidonet.2.5020.100.Crash.List", &a, &flavour));
  EXPECT_FALSE(ParseLbsoListName("Fidonet.2.5020.100.0.Slow.List", &a, &flavour));
  EXPECT_FALSE(ParseLbsoListName("Fidonet.2.5020.99999999999.0.Hold.List", &a, &flavour));
}

TEST(OutboundNames, FileboxNames) {
  const FtnAddress a{2, 5020, 100, 0};
  struct Case {
    AttachStyle style;
    char flavour;
    const char* name;
  } cases[] = {
      {AttachStyle::kFileboxes, 'N', "024SS034.00"},
      {AttachStyle::kFileboxes, 'H', "024SS034.00h"},
      {AttachStyle::kFileboxes, 'C', "024SS034.00"},
      {AttachStyle::kLongFileboxes, 'N', "2.5020.100.0"},
      {AttachStyle::kLongFileboxes, 'H', "2.5020.100.0.h"},
      {AttachStyle::kBrakeFileboxes, 'H', "Fidonet.2.5020.100.0.Hold"},
      {AttachStyle::kBrakeFileboxes, 'Q', "Fidonet.2.5020.100.0.Hold"},
      {AttachStyle::kBrakeFileboxes, 'D', "Fidonet.2.5020.100.0.Direct"},
      {AttachStyle::kBink, 'N', ""},
  };
  for (const Case& c : cases) {
    std::string name = FileboxName(c.style, a, c.flavour);
    EXPECT_EQ(name, c.name) << c.name;
    if (name.empty()) continue;
    FtnAddress back;
    char flavour = 'x';
    ASSERT_TRUE(ParseFileboxName(c.style, name, &back, &flavour)) << name;
    EXPECT_EQ(back, a) << name;
    char expected = c.style == AttachStyle::kBrakeFileboxes ? OutboundFlavour(c.flavour)
                    : c.flavour == 'H'                      ? 'H'
                                                            : '\0';
    EXPECT_EQ(flavour, expected) << name;
  }
  EXPECT_EQ(FileboxName(AttachStyle::kFileboxes, {2, 5020, 100, 33}, 'N'), "024SS034.11");
  FtnAddress back;
  char flavour = 0;
  ASSERT_TRUE(ParseFileboxName(AttachStyle::kFileboxes, "024ss034.11H", &back, &flavour));
  EXPECT_EQ(FormatAddress(back), "2:5020/100.33");
  EXPECT_FALSE(ParseFileboxName(AttachStyle::kFileboxes, "024SW034.00", &back, &flavour));
  EXPECT_FALSE(ParseFileboxName(AttachStyle::kLongFileboxes, "2.5020.100.0.x", &back, &flavour));
  EXPECT_FALSE(
      ParseFileboxName(AttachStyle::kBrakeFileboxes, "2.5020.100.0.Hold", &back, &flavour));
}

}  // namespace
}  // namespace olvix
