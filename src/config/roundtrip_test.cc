// Property: writing the links and areas files and reading them again gives
// the same tables, for generated links and fileechoes.
#include <gtest/gtest.h>

#include <random>

#include "../../tests/test_context.h"
#include "config/config.h"
#include "config/parse.h"

namespace olvix {
namespace {

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Coin() { return Int(0, 1) == 1; }
  std::string Word(const char* alphabet, int min_len, int max_len) {
    std::string s;
    size_t n = std::char_traits<char>::length(alphabet);
    for (int i = Int(min_len, max_len); i > 0; --i) s += alphabet[Int(0, static_cast<int>(n) - 1)];
    return s;
  }
  FtnAddress Address() {
    FtnAddress a;
    a.zone = static_cast<uint32_t>(Int(1, 3));
    a.net = static_cast<uint32_t>(Int(5020, 5022));
    a.node = static_cast<uint32_t>(Int(0, 40));
    a.point = Coin() ? 0u : static_cast<uint32_t>(Int(1, 3));
    return a;
  }

  LinkRecord Link(const FtnAddress& address) {
    LinkRecord l;
    l.address = address;
    l.group = Word("ABCXYZ", 1, 4);
    l.password = Word("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", 1, 8);
    l.level = Int(-5, 300);
    l.may_create = Coin();
    static const char* const kFlavours[] = {"H", "D", "C", "N", "HOLD", "CRASH", "I"};
    l.flavour = kFlavours[Int(0, 6)];
    if (Coin()) l.flavour += 'D';
    if (Coin()) l.flavour += 'C';
    l.aka = Address();
    l.active = Coin();
    l.options = Coin() ? Word("OIFKX", 1, 3) : "";
    return l;
  }

  // An area whose subscribers are taken from `links`.
  AreaRecord Area(const std::string& home, const LinkTable& links, int index) {
    AreaRecord a;
    a.tag = Word("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-", 1, 12) + std::to_string(index);
    a.path = home + "fe/" + Word("abcXYZ_", 1, 8) + "/";
    a.group = Word("ABCXYZ", 1, 3);
    a.read_level = Int(0, 100);
    a.write_level = Int(0, 100);
    a.address = Address();
    a.flags = Coin() ? Word("PDXR", 1, 3) : "";
    int size_kind = Int(0, 3);
    a.size_limit = size_kind == 0 ? 0 : size_kind == 1 ? Int(1, 50) * 1024 : Int(1, 90000);
    a.age_limit = Coin() ? 0 : Int(1, 400);
    a.has_description = Coin();
    // The reader drops the blanks before a description, so none are made.
    if (a.has_description) a.description = Word("Fn!1%", 0, 1) + Word("abc DEF 9%", 0, 40);
    while (!a.description.empty() && a.description[0] == ' ') a.description.erase(0, 1);
    for (size_t i = 0; i < links.size(); ++i) {
      if (Int(0, 3) != 0) continue;
      LinkRecord* link = const_cast<LinkRecord*>(&links[i]);
      int mode = Int(0, 2);
      // A subscriber without a prefix takes its mode from the levels, so a
      // full subscription can only be written for a link the levels make full.
      if (mode == 0 && DefaultMode(*link, a) != 0) mode = DefaultMode(*link, a);
      a.subscribers.push_back({link, mode});
    }
    return a;
  }

 private:
  static int DefaultMode(const LinkRecord& l, const AreaRecord& a) {
    if (l.level >= a.read_level && l.level < a.write_level) return 1;
    if (l.level >= a.write_level && l.level < a.read_level) return 2;
    return 0;
  }
  std::mt19937 rng_;
};

std::string Describe(const LinkRecord& l) {
  return FormatAddress(l.address) + "|" + l.group + "|" + l.password + "|" +
         std::to_string(l.level) + "|" + std::to_string(l.may_create) + "|" + l.flavour + "|" +
         FormatAddress(l.aka) + "|" + std::to_string(l.active) + "|" + l.options;
}

std::string Describe(const AreaRecord& a) {
  std::string s = a.tag + "|" + a.path + "|" + a.group + "|" + std::to_string(a.read_level) + "|" +
                  std::to_string(a.write_level) + "|" + FormatAddress(a.address) + "|" + a.flags +
                  "|" + std::to_string(a.size_limit) + "|" + std::to_string(a.age_limit) + "|" +
                  std::to_string(a.has_description) + "|" + a.description;
  for (const Subscriber& sub : a.subscribers)
    s += " " + std::to_string(sub.mode) + FormatAddress(sub.link->address);
  return s;
}

std::vector<std::string> Links(const RunContext& ctx) {
  std::vector<std::string> out;
  for (size_t i = 0; i < ctx.links.size(); ++i) out.push_back(Describe(ctx.links[i]));
  return out;
}

std::vector<std::string> Areas(const RunContext& ctx) {
  std::vector<std::string> out;
  for (size_t i = 0; i < ctx.areas.size(); ++i) out.push_back(Describe(ctx.areas[i]));
  return out;
}

TEST(ConfigRoundTrip, GeneratedLinksAndAreasSurviveSaveAndLoad) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    Generator gen(seed);
    test::TestContext first;
    const std::string home = first.dir.dir();

    // Links with distinct addresses, written with comments between them.
    LinkTable generated;
    std::string links_text = "; generated links\n";
    std::vector<std::string> expected_links;
    for (int i = gen.Int(1, 25); i > 0; --i) {
      FtnAddress a = gen.Address();
      if (generated.Find(a)) continue;
      LinkRecord* l = generated.Add(gen.Link(a));
      links_text += FormatLinkLine(*l);
      if (gen.Int(0, 4) == 0) links_text += "; comment " + std::to_string(i) + "\n";
      expected_links.push_back(Describe(*l));
    }
    first.dir.Write("olxlinks.ini", links_text);
    LoadLinks(first.ctx);
    ASSERT_EQ(Links(first.ctx), expected_links);

    std::string areas_text = "; generated areas\n";
    std::vector<std::string> expected_areas;
    bool short_links = gen.Coin();
    for (int i = gen.Int(1, 15); i > 0; --i) {
      AreaRecord a = gen.Area(home, first.ctx.links, i);
      areas_text += FormatAreaBlock(a, short_links);  // sorts the subscribers
      if (gen.Int(0, 3) == 0) areas_text += "; after " + a.tag + "\n";
      expected_areas.push_back(Describe(a));
    }
    first.dir.Write("olxareas.ini", areas_text);
    ASSERT_EQ(LoadAreas(first.ctx), 0) << first.Output();
    ASSERT_EQ(Areas(first.ctx), expected_areas) << areas_text;

    first.ctx.cfg.short_links = gen.Coin();
    first.ctx.cfg.sort_lists = gen.Coin() ? "AL" : "";
    ASSERT_EQ(SaveLinks(first.ctx), 0);
    ASSERT_EQ(SaveAreas(first.ctx), 0);

    // A fresh run on the same files.
    test::TestContext again;
    RunContext& second = again.ctx;
    second.home = home;
    LoadLinks(second);
    ASSERT_EQ(LoadAreas(second), 0) << again.Output();
    EXPECT_EQ(Links(second), Links(first.ctx));
    EXPECT_EQ(Areas(second), Areas(first.ctx)) << first.dir.Read("olxareas.ini");
  }
}

}  // namespace
}  // namespace olvix
