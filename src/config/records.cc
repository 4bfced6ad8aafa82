#include "config/records.h"

#include <algorithm>

#include "tic/tic.h"
#include "util/text.h"

namespace olvix {

LinkRecord* LinkTable::Add(LinkRecord link) {
  links_.push_back(std::make_unique<LinkRecord>(std::move(link)));
  LinkRecord* rec = links_.back().get();
  index_.emplace(rec->address, rec);  // the first record of an address wins
  return rec;
}

LinkRecord* LinkTable::Find(const FtnAddress& address) const {
  auto it = index_.find(address);
  return it == index_.end() ? nullptr : it->second;
}

void LinkTable::SortByAddress() {
  std::stable_sort(links_.begin(), links_.end(), [](const auto& a, const auto& b) {
    return CompareAddress(a->address, b->address) < 0;
  });
}

void LinkTable::Clear() {
  index_.clear();
  links_.clear();
}

AreaRecord::AreaRecord() = default;
AreaRecord::~AreaRecord() = default;
AreaRecord::AreaRecord(AreaRecord&&) noexcept = default;
AreaRecord& AreaRecord::operator=(AreaRecord&&) noexcept = default;

Subscriber* AreaRecord::FindSubscriber(const LinkRecord* link) {
  for (Subscriber& s : subscribers)
    if (s.link == link) return &s;
  return nullptr;
}

AreaRecord* AreaTable::Add(AreaRecord area) {
  areas_.push_back(std::make_unique<AreaRecord>(std::move(area)));
  AreaRecord* rec = areas_.back().get();
  index_.emplace(Upper(rec->tag), rec);
  return rec;
}

AreaRecord* AreaTable::Find(const std::string& tag) const {
  auto it = index_.find(Upper(tag));
  return it == index_.end() ? nullptr : it->second;
}

void AreaTable::Remove(const AreaRecord* area) {
  auto it =
      std::find_if(areas_.begin(), areas_.end(), [area](const auto& p) { return p.get() == area; });
  if (it == areas_.end()) return;
  // The index changes only when it named this record; a robot letter may
  // remove thousands of fileechoes, so the index is not built anew.
  std::string key = Upper(area->tag);
  auto entry = index_.find(key);
  bool indexed = entry != index_.end() && entry->second == area;
  areas_.erase(it);
  if (!indexed) return;
  index_.erase(entry);
  for (const auto& a : areas_)
    if (EqualsNoCase(a->tag, key)) {
      index_.emplace(key, a.get());  // a later record of the same tag
      break;
    }
}

void AreaTable::SortByTag() {
  std::stable_sort(areas_.begin(), areas_.end(),
                   [](const auto& a, const auto& b) { return a->tag < b->tag; });
}

void AreaTable::Clear() {
  index_.clear();
  areas_.clear();
}

}  // namespace olvix
