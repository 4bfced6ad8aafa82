// Links and fileechoes: the records of olxlinks.ini and olxareas.ini and
// the tables that hold them for a run.
#ifndef OLVIX_CONFIG_RECORDS_H_
#define OLVIX_CONFIG_RECORDS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "util/address.h"

namespace olvix {

struct TicRecord;

struct LinkRecord {
  std::string group;
  std::string password;
  std::string options;  // option letters without D and C
  std::string flavour;  // first letter: file flavour; then D and/or C
  FtnAddress address;
  FtnAddress aka;
  int32_t level = 0;
  bool may_create = false;      // flags bit 0
  bool active = false;          // flags bit 1
  bool delayed_attach = false;  // flags bit 2, run time only

  bool HasOption(char c) const { return options.find(c) != std::string::npos; }
};

// Links in file order, owned here; records never move, so other tables may
// keep pointers to them. Lookup by address goes through an index.
class LinkTable {
 public:
  LinkRecord* Add(LinkRecord link);
  // The first link with exactly this address, or nullptr.
  LinkRecord* Find(const FtnAddress& address) const;
  size_t size() const { return links_.size(); }
  bool empty() const { return links_.empty(); }
  LinkRecord& operator[](size_t i) { return *links_[i]; }
  const LinkRecord& operator[](size_t i) const { return *links_[i]; }
  // Sorts by address (zone, net, node, point).
  void SortByAddress();
  void Clear();

 private:
  std::vector<std::unique_ptr<LinkRecord>> links_;
  std::unordered_map<FtnAddress, LinkRecord*, FtnAddressHash> index_;
};

enum SubscriberMode : int { kModeFull = 0, kModeReadOnly = 1, kModeWriteOnly = 2 };

struct Subscriber {
  LinkRecord* link = nullptr;  // borrowed from the LinkTable
  int mode = kModeFull;
};

struct AreaRecord {
  std::string tag;
  std::string group;
  std::string path;  // ends in the platform separator
  std::string description;
  bool has_description = false;
  std::string flags;
  FtnAddress address;
  int32_t read_level = 0;
  int32_t write_level = 0;
  int32_t size_limit = 0;  // kilobytes
  int32_t age_limit = 0;   // days
  std::vector<Subscriber> subscribers;
  std::vector<std::unique_ptr<TicRecord>> received;  // filled by the toss

  bool IsPassthrough() const { return flags.find('P') != std::string::npos; }
  // The subscription of `link`, or nullptr.
  Subscriber* FindSubscriber(const LinkRecord* link);
  ~AreaRecord();
  AreaRecord();
  AreaRecord(AreaRecord&&) noexcept;
  AreaRecord& operator=(AreaRecord&&) noexcept;
};

// Fileechoes in file order; lookup by tag (without regard to case) through
// an index.
class AreaTable {
 public:
  AreaRecord* Add(AreaRecord area);
  AreaRecord* Find(const std::string& tag) const;
  size_t size() const { return areas_.size(); }
  bool empty() const { return areas_.empty(); }
  AreaRecord& operator[](size_t i) { return *areas_[i]; }
  const AreaRecord& operator[](size_t i) const { return *areas_[i]; }
  // Removes an area (its record is destroyed).
  void Remove(const AreaRecord* area);
  void SortByTag();
  void Clear();
  bool purge_mark = false;  // some area has purge limits or flag P

 private:
  std::vector<std::unique_ptr<AreaRecord>> areas_;
  std::unordered_map<std::string, AreaRecord*> index_;  // upper-cased tag
};

}  // namespace olvix

#endif  // OLVIX_CONFIG_RECORDS_H_
