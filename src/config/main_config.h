// MainConfig: the settings of olvix.ini. Read-only after loading.
#ifndef OLVIX_CONFIG_MAIN_CONFIG_H_
#define OLVIX_CONFIG_MAIN_CONFIG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "util/address.h"

namespace olvix {

struct LinkRecord;

enum class AttachStyle { kBink, kAma, kFileboxes, kLongFileboxes, kLbso, kBrakeFileboxes };

struct TemplateRecord {
  std::string keyword;   // TEXT
  std::string file;      // text
  std::string command;   // text
};

struct PackerRecord {
  std::string name;       // TEXT
  std::string add;        // text
  std::string signature;  // TEXT
  int32_t offset = 0;     // hexadecimal in the file
  std::string extract;    // text
};

// A line of [AUTOSTART], [AUTOCOPY] or [AUTOFLAGS].
struct TripleRecord {
  std::string first;
  std::string second;
  std::string rest;
};

struct SkipDupeRecord {
  std::string tag;   // a fileecho tag or "*"
  std::string mask;  // TEXT file-name mask
};

struct UplinkSubscriber {
  const LinkRecord* link = nullptr;
  int mode = 0;
};

struct UplinkRecord {
  const LinkRecord* link = nullptr;  // borrowed from the links table
  std::string list_file;
  std::string robot = "AllFix";
  std::string create_path;
  bool area_set = false;
  std::string area_group;
  int32_t area_read = 0;
  int32_t area_write = 0;
  std::string area_flags;
  std::vector<UplinkSubscriber> links;
};

struct AnnounceDefinition {
  std::string echo_tag;
  FtnAddress address1;
  FtnAddress address2;
  std::string password;  // at most 8 characters
  std::string groups;
  std::string new_files_template;
  std::string new_echo_template;
  std::string deleted_echo_template;
};

struct DefineRecord {
  std::string name;
  std::string replacement;
};

// Strings are empty when a key is not set. Paths are absolute, in the
// platform's form, and end in the platform separator.
struct MainConfig {
  std::vector<FtnAddress> addresses;  // ADDRESS; the first is the main one
  std::string origin;                 // ORIGIN
  std::string robot_names;            // ROBOTNAMES
  std::string from_name = "Olvix";    // FROMNAME
  std::string station;                // STATION
  std::string log_name;               // LOGNAME
  std::string manager_log;            // MANAGERLOG
  std::string log_chars = "*#.:!";    // LOGCHARS
  bool log_chars_set = true;
  int log_level = 3;                  // LOGLEVEL, 0..7
  std::string debug;                  // DEBUG
  std::string language = "ENGLISH";   // LANGUAGE
  int32_t stream_buffer = 16384;      // STREAMBUFFER
  std::string busy_flag;              // BUSYFLAG
  int32_t busy_wait = 0;              // BUSYWAIT
  std::string netmail_flag;           // NETMAILFLAG
  std::string echomail_flag;          // ECHOMAILFLAG
  std::string inbound;                // INBOUND
  std::string outmail;                // OUTMAIL
  std::string netmail;                // NETMAIL
  std::string outbound;               // OUTBOUND
  AttachStyle attach_style = AttachStyle::kAma;  // ATTACHSTYLE
  std::string out_tics;               // OUTTICS
  std::string bad_path;               // BADPATH
  std::string new_echo_path;          // NEWECHOPATH
  std::string new_echo_base;          // NEWECHOBASE
  std::string keep_tics;              // KEEPTICS
  int32_t keep_tics_days = 0;         // KEEPTICSDAYS
  std::string dupes_dir;              // DUPESDIR
  std::string letter_copies;          // LETTERCOPIES
  std::string packet_dir;             // PACKETDIR
  std::string queue_dir;              // QUEUEDIR
  std::string announce_path;          // ANNOUNCEPATH
  std::string announce_text;          // ANNOUNCETEXT
  std::string ann_template;           // ANNTEMPLATE
  int32_t announce_split = 150;       // ANNOUNCESPLIT
  int32_t announce_min_count = 0;     // ANNOUNCEMINCOUNT
  int32_t announce_min_size = 0;      // ANNOUNCEMINSIZE
  bool ann_lower_case = false;        // ANNLOWERCASE
  int32_t reply_lines = 200;          // REPLYLINES
  std::string bad_pwd;                // BADPWD
  std::string changes_tpl;            // CHANGESTPL
  std::string not_link_tpl;           // NOTLINKTPL
  std::string locked_tpl;             // LOCKEDTPL
  std::string help_tpl;               // HELPTPL
  std::string forward_tpl;            // FORWARDTPL
  std::string passive_tpl;            // PASSIVETPL
  char cmd_char = '#';                // CMDCHAR
  std::string forward_area_flags;     // FORWARDAREAFLAGS
  bool single_uplink = false;         // SINGLEUPLINK
  bool avail_list = false;            // AVAILLIST
  bool resend_check = true;           // RESENDCHECK
  bool unsub_report = false;          // UNSUBREPORT
  int32_t passive_days = 7;           // PASSIVEDAYS
  bool passive_kill = false;          // PASSIVEKILL
  std::string desc_name = "files.bbs";  // DESCNAME (a file name: case kept)
  std::string desc_line = "@@@@@@@@@@@N [00] @D";  // DESCLINE
  char desc_char = 0;                 // DESCCHAR
  std::string desc_mark;              // DESCMARK
  int32_t desc_mark_pos = 14;         // DESCMARKPOS
  int32_t desc_width = 0;             // DESCWIDTH
  int32_t desc_limit = 0;             // DESCLIMIT
  bool update_desc = true;            // UPDATEDESC
  bool rewrite_desc = true;           // REWRITEDESC
  bool diz_from_archives = true;      // DIZFROMARCHIVES
  bool diz_to_archives = false;       // DIZTOARCHIVES
  bool diz_skip_empty = false;        // DIZSKIPEMPTY
  bool diz_clean = false;             // DIZCLEAN
  bool verify_crc = true;             // VERIFYCRC
  bool dupe_wide = false;             // DUPEWIDE
  bool search_bads = false;           // SEARCHBADS
  bool move_to_queue = false;         // MOVETOQUEUE
  int32_t lost_tic_days = 0;          // LOSTTICDAYS
  int replaces_mode = 1;              // REPLACES: 0 no, 1 yes, 2 no wildcards
  std::vector<std::string> no_replace;  // NOREPLACE
  std::string magic_file;             // MAGICFILE
  std::string magic_extra;            // MAGICEXTRA
  int32_t magic_width = 15;           // MAGICWIDTH
  bool long_dirs = false;             // LONGDIRS
  std::string new_desc;               // NEWDESC
  bool new_echo_desc = false;         // NEWECHODESC
  std::string echo_desc_file;         // ECHODESCFILE
  std::string freq_list;              // FREQLIST
  std::string echo_list_file;         // ECHOLISTFILE
  std::string blst_bbs;               // BLSTBBS
  bool hatch_copy = false;            // HATCHCOPY
  bool delete_hatched = false;        // DELETEHATCHED
  bool hard_links = false;            // HARDLINKS
  int32_t utc = 99;                   // UTC; 99 = compute
  std::string sort_lists;             // SORTLISTS
  bool short_links = false;           // SHORTLINKS

  bool fileboxes = false;  // ATTACHSTYLE is one of the filebox styles

  std::vector<TemplateRecord> templates;
  std::vector<PackerRecord> packers;
  std::vector<std::string> bad_strings;
  std::vector<std::string> blacklist;
  std::vector<TripleRecord> autostart;
  std::vector<TripleRecord> autocopy;
  std::vector<TripleRecord> autoflags;
  std::vector<SkipDupeRecord> skip_dupe_check;
  std::vector<UplinkRecord> uplinks;
  std::vector<AnnounceDefinition> announces;
  std::vector<DefineRecord> defines;
};

}  // namespace olvix

#endif  // OLVIX_CONFIG_MAIN_CONFIG_H_
