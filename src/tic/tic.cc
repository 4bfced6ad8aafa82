#include "tic/tic.h"

#include <new>

#include "config/records.h"
#include "platform/platform.h"
#include "run/context.h"
#include "run/version.h"
#include "util/files.h"
#include "util/msgnum.h"
#include "util/paths.h"
#include "util/random.h"
#include "util/text.h"

namespace olvix {

namespace {

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return 99;
}

// The standard unsigned conversion of a 32-bit C library: leading white
// space, an optional sign, "0x" in base 16, digits up to the first other
// character; overflow gives the largest value, a minus sign negates.
uint32_t ParseUnsigned(std::string_view s, int base) {
  size_t i = 0;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (base == 16 && i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
      DigitValue(s[i + 2]) < 16)
    i += 2;
  uint64_t v = 0;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    int d = DigitValue(s[i]);
    if (d >= base) break;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) {
      overflow = true;
      v = 0xFFFFFFFFull;  // keep going only to consume the digits
    }
  }
  if (overflow) return 0xFFFFFFFFu;
  uint32_t r = static_cast<uint32_t>(v);
  return negative ? 0u - r : r;
}

}  // namespace

void ClearTic(TicRecord* tic) { *tic = TicRecord{}; }

void ApplyTicLine(std::string_view piece, TicRecord* tic) {
  // Every control character becomes one blank: a tab still separates like
  // a blank, but no value can grow past the line it came in, and a bare CR
  // or a NUL can never end a line in what is written from it again.
  std::string line(piece);
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 32 && c != '\n') c = ' ';
  size_t blank = line.find(' ');
  if (blank == std::string::npos) return;
  size_t n = line.size();
  while (n > 1 && (line[n - 1] == '\n' || line[n - 1] == ' ')) --n;
  line.resize(n);

  // The blank may have been stripped with the line end ("DESC \n"): the
  // keyword is then the whole line and the value is empty.
  std::string keyword = Upper(std::string_view(line).substr(0, blank));
  std::string raw = blank < line.size() ? line.substr(blank + 1) : std::string();
  std::string value = TrimLeft(raw);

  if (keyword == "PATH") {
    tic->path_list.push_back(value);
  } else if (keyword == "DESC" || keyword == "LDESC") {
    if (!raw.empty()) {
      tic->desc_list.push_back(raw);
      tic->desc_lines.push_back(line);
    }
  } else if (keyword == "SEENBY") {
    tic->seen_by_list.push_back(value);
  } else if (keyword == "AREADESC") {
    tic->area_desc = value;
  } else {
    UpperInPlace(&value);
    if (keyword == "FROM") {
      tic->from = ParseAddress(value);
    } else if (keyword == "ORIGIN") {
      tic->origin = ParseAddress(value);
    } else if (keyword == "TO") {
      tic->to = ParseAddress(value);
    } else if (keyword == "PW" || keyword == "PWD") {
      tic->password = value;
    } else if (keyword == "AREA") {
      tic->area = value;
    } else if (keyword == "FILE") {
      tic->file = value;
    } else if (keyword == "REPLACES") {
      tic->replaces = value;
    } else if (keyword == "MAGIC") {
      tic->magic = value;
    } else if (keyword == "CRC") {
      tic->crc = ParseUnsigned(value, 16);
    } else if (keyword == "SIZE") {
      tic->size = ParseUnsigned(value, 10);
    }
  }
}

bool TicIsValid(const TicRecord& tic) {
  // A name with a path in it is still a ticket: the toss rejects it to the
  // bad files directory without touching the named file.
  return !tic.file.empty() && !tic.area.empty() && (tic.from.zone != 0 || tic.from.net != 0);
}

int ParseTic(std::string_view text, TicRecord* tic) {
  ClearTic(tic);
  tic->bad = true;
  std::string lf;
  lf.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lf += text[i];
  }
  for (const std::string& piece : SplitPieces(lf, kTicLineLimit + 1)) ApplyTicLine(piece, tic);
  if (!TicIsValid(*tic)) return kTicInvalid;
  tic->bad = false;
  return 0;
}

int ReadTic(RunContext& ctx, const std::string& tic_name, TicRecord* tic) {
  ClearTic(tic);
  tic->bad = true;
  ctx.log.Debug('K', "Gonna open file %s", tic_name.c_str());
  try {
    std::string text;
    // Only a plain file is a ticket: a link to any file of the node, or a
    // FIFO that would hang the toss, is refused before a byte is read.
    int rc = platform::ReadPlainFile(tic_name, kTicMaxSize, &text);
    if (rc == platform::kFileTooLarge) rc = kTicInvalid;
    if (rc == 0) rc = ParseTic(text, tic);
    tic->tic_name = tic_name;
    return rc;
  } catch (const std::bad_alloc&) {
    return kTicNoMemory;
  }
}

std::string TicText(RunContext& ctx, const TicRecord& tic, const LinkRecord& link, int64_t now) {
  std::string out;
  // No line may split into two for the next reader: control characters
  // become blanks (received values come in clean already; settings may
  // not) and a line never exceeds what a reader takes as one line.
  auto put = [&out](std::string line) {
    if (line.size() > kTicWriteLimit) line.resize(kTicWriteLimit);
    OneLineInPlace(&line);
    out += line;
    out += "\r\n";
  };
  const std::string our = FormatAddress(link.aka);
  put(Format("Created by Olvix %s-%s", kVersion, platform::PlatformName()));
  put("From " + our);
  put("Origin " + FormatAddress(tic.origin));
  put("To " + FormatAddress(link.address));
  put("Area " + tic.area);
  put("File " + tic.file);
  // The incoming ticket's password is never passed on.
  put("Pw " + link.password);
  put(Format("Size %u", tic.size));
  put(Format("Crc %08X", tic.crc));
  const AreaRecord* area = ctx.areas.Find(tic.area);
  if (area && area->has_description) put("AreaDesc " + area->description);
  if (!tic.magic.empty()) put("Magic " + tic.magic);
  if (!tic.replaces.empty()) put("Replaces " + tic.replaces);
  if (!tic.desc_list.empty()) {
    if (!link.HasOption('G')) {
      if (!tic.desc_lines.empty()) {
        for (const std::string& line : tic.desc_lines) put(line);
      } else {
        for (size_t i = 0; i < tic.desc_list.size(); ++i)
          put((i == 0 ? "Desc " : "LDesc ") + tic.desc_list[i]);
      }
    } else if (tic.desc_list.size() == 1) {
      put("Desc " + tic.desc_list[0]);
    } else {
      for (const std::string& d : tic.desc_list) put("LDesc " + d);
    }
  }
  for (const std::string& p : tic.path_list) put("Path " + p);
  std::string when = platform::FormatTime("%a %b %d %Y %T", platform::LocalTime(now));
  if (when.size() > 59) when.resize(59);
  put(Format("Path %s %lld %s UTC%+03d00", our.c_str(), static_cast<long long>(now), when.c_str(),
             static_cast<int>(ctx.cfg.utc)));
  for (const std::string& s : tic.seen_by_list) put("SeenBy " + s);
  if (!SeenByHas(tic.seen_by_list, link.aka)) put("SeenBy " + our);
  return out;
}

int WriteTic(RunContext& ctx, const std::string& file_name, const TicRecord& tic,
             const LinkRecord& link) {
  std::string text;
  try {
    text = TicText(ctx, tic, link, platform::Now());
  } catch (const std::bad_alloc&) {
    return kTicNoMemory;
  }
  return platform::ReplaceFile(file_name, text);
}

std::string NextTicName(RunContext& ctx) {
  uint32_t serial = NextMsgidSerial(ctx);
  uint32_t value = serial + static_cast<uint32_t>(NextRandom(ctx));
  std::string name = PadLeft(FormatBase(value, 37), 8, '0');
  name.replace(0, 2, "ol");
  return Lower(name) + ".tic";
}

std::string NewTicName(RunContext& ctx, const std::string& dir) {
  while (true) {
    std::string name = NextTicName(ctx);
    if (!platform::FileExists(JoinPath(dir, name))) return name;
  }
}

int WriteNewTic(RunContext& ctx, const std::string& dir, const TicRecord& tic,
                const LinkRecord& link, std::string* name, const std::string& also_free_in) {
  std::string text;
  try {
    text = TicText(ctx, tic, link, platform::Now());
  } catch (const std::bad_alloc&) {
    return kTicNoMemory;
  }
  while (true) {
    if (name->empty()) *name = NextTicName(ctx);
    if (!also_free_in.empty() && platform::FileExists(JoinPath(also_free_in, *name))) {
      name->clear();
      continue;
    }
    // The name is taken by creating it: another copy of the program
    // drawing the same name gets the next one instead.
    int rc = platform::WriteNewFile(JoinPath(dir, *name), text);
    if (!platform::IsAlreadyExists(rc)) return rc;
    name->clear();
  }
}

bool SeenByHas(const std::vector<std::string>& list, const FtnAddress& address) {
  for (const std::string& s : list)
    if (ParseAddress(s) == address) return true;
  return false;
}

}  // namespace olvix
