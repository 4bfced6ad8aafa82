// TIC tickets: the record of one ticket and its file form.
#ifndef OLVIX_TIC_TIC_H_
#define OLVIX_TIC_TIC_H_

#include <cstdint>
#include <string>
#include <vector>

#include "util/address.h"

namespace olvix {

struct PackerRecord;

struct TicRecord {
  FtnAddress from;
  FtnAddress origin;
  FtnAddress to;
  std::string password;   // upper-cased; empty when absent
  std::string area;       // upper-cased
  std::string area_desc;  // case kept
  std::string file;       // upper-cased
  std::string replaces;   // upper-cased
  std::string magic;      // upper-cased
  std::string tic_name;   // the ticket file that was read
  std::string source_path;  // full path when the file is not in the inbound
  std::vector<std::string> path_list;
  std::vector<std::string> desc_list;
  std::vector<std::string> desc_lines;
  std::vector<std::string> seen_by_list;
  std::vector<std::string> diz_list;
  bool bad = false;
  uint32_t crc = 0;
  uint32_t size = 0;
  const PackerRecord* archiver = nullptr;  // borrowed from MainConfig
};

}  // namespace olvix

#endif  // OLVIX_TIC_TIC_H_
