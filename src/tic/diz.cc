// FILE_ID.DIZ: taking descriptions out of received archives and putting the
// ticket's description into them, through the [PACKERS] commands.
#include <cstdio>

#include "config/main_config.h"
#include "config/records.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr const char* kDizName = "file_id.diz";

// The absolute on-disk path of `name` in `dir`. Absolute, so that a name
// beginning with "-" can never be taken for an option of the archiver.
std::string ArchivePath(const std::string& dir, const std::string& name) {
  return platform::NativePath(platform::AbsolutePath(JoinPath(dir, name)));
}

void RemoveDiz(const std::string& path) {
  (void)platform::ClearAttributes(path);  // absent is fine
  (void)platform::RemoveFile(path);       // absent is what we want
}

}  // namespace

// The archivers unpack and pack file_id.diz in the current directory. They
// work in a directory of our own under the home directory, so that a
// received file of that name in the inbound or a fileecho is never touched.
std::string EnterDizWorkDir(RunContext& ctx) {
  std::string base = ctx.home.empty() ? platform::CurrentDirectory() : ctx.home;
  std::string dir = platform::RunTempName(WithTrailingSep(base) + "olxdiz") + "/";
  if (platform::MakeDir(dir) != 0 || ChangeDir(ctx, dir) != 0) return "";
  RemoveDiz(dir + kDizName);
  return dir;
}

void LeaveDizWorkDir(RunContext& ctx, const std::string& dir) {
  if (dir.empty()) return;
  RemoveDiz(dir + kDizName);
  // Out of the work directory before it goes.
  (void)ChangeDir(ctx, DirPart(dir.substr(0, dir.size() - 1)));
  (void)platform::RemoveDir(dir);  // only file_id.diz was ever in it
}

const PackerRecord* DetectArchiver(const MainConfig& cfg, const std::string& path) {
  std::string name = FilePart(path);
  size_t dot = name.find('.');
  if (dot != std::string::npos) {
    std::string ext = name.substr(dot + 1);
    for (const PackerRecord& p : cfg.packers)
      if (EqualsNoCase(p.name, ext)) return &p;
  }
  bool any_signature = false;
  for (const PackerRecord& p : cfg.packers)
    if (p.signature.size() >= 2) any_signature = true;
  if (!any_signature) return nullptr;  // nothing to read the file for
  int err = 0;
  std::FILE* f = platform::OpenStream(path, "rb", &err);
  if (!f) return nullptr;
  const PackerRecord* found = nullptr;
  std::string bytes;
  for (const PackerRecord& p : cfg.packers) {
    size_t count = p.signature.size() / 2;
    if (count == 0) continue;
    int whence = p.offset < 0 ? SEEK_END : SEEK_SET;
    if (std::fseek(f, static_cast<long>(p.offset), whence) != 0) continue;
    bytes.resize(count);
    if (std::fread(bytes.data(), 1, count, f) != count) continue;
    std::string hex;
    for (char c : bytes) hex += Format("%02X", static_cast<unsigned char>(c));
    if (hex == p.signature) {
      found = &p;
      break;
    }
  }
  std::fclose(f);
  return found;
}

std::string PackerCommand(const std::string& tmpl, const std::string& archive_path) {
  std::string out;
  for (size_t i = 0; i < tmpl.size();) {
    std::string_view rest = std::string_view(tmpl).substr(i);
    if (StartsWithNoCase(rest, "@NAME")) {
      out += platform::ShellQuote(archive_path);
      i += 5;
    } else if (StartsWithNoCase(rest, "@FILE")) {
      out += kDizName;
      i += 5;
    } else {
      out += tmpl[i++];
    }
  }
  return out;
}

void AddDizLine(const MainConfig& cfg, std::string_view piece, std::vector<std::string>* out) {
  std::string line(piece);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (cfg.diz_skip_empty && line.empty()) return;
  for (const std::string& bad : cfg.bad_strings)
    if (line == bad) return;
  for (char& c : line) {
    unsigned char u = static_cast<unsigned char>(c);
    bool graphic = u == 0xB0 || u == 0xB1 || u == 0xB2 || (u >= 0xDB && u <= 0xDF);
    if (cfg.diz_clean && graphic) c = ' ';
    if (u == 0x8D) c = 'H';  // CP866 capital EN, often typed for a Latin H
    // The archive comes from another system: no control character of it
    // may end or hide a line of the description file.
    if (u < 0x20 && u != '\t') c = ' ';
  }
  line = ExpandTabs(line);
  if (cfg.diz_skip_empty && line.find_first_not_of(' ') == std::string::npos) return;
  out->push_back(std::move(line));
}

void ExtractDiz(RunContext& ctx, const std::string& dir, TicRecord* tic) {
  if (!IsBareFileName(tic->file)) return;
  ExtractDizAt(ctx, ArchivePath(dir, tic->file), tic);
}

void ExtractDizAt(RunContext& ctx, const std::string& archive, TicRecord* tic) {
  tic->archiver = DetectArchiver(ctx.cfg, archive);
  if (tic->archiver)
    ctx.log.Message('#', 4, 96, tic->file.c_str(), tic->archiver->name.c_str());
  else
    ctx.log.Message('#', 4, 97, tic->file.c_str());
  if (!tic->archiver || tic->archiver->extract.empty()) return;
  std::string command = PackerCommand(tic->archiver->extract, archive);
  // The archiver unpacks into the current directory, the caller's work
  // directory.
  RemoveDiz(kDizName);
  ctx.log.Message('#', 2, 48, tic->file.c_str());
  ctx.log.Message('#', 2, 61, command.c_str());
  (void)platform::RunCommand(command);  // a failed archiver simply yields no file_id.diz
  // An archive may hold file_id.diz as a link to some file of ours; only a
  // plain file is taken as a description.
  if (!platform::IsPlainFile(kDizName)) return;
  std::FILE* f = ctx.files.OpenQuiet(kDizName, "r", nullptr);
  if (!f) return;
  std::string piece;
  while (ReadTextPiece(f, kTicLineLimit + 1, &piece)) AddDizLine(ctx.cfg, piece, &tic->diz_list);
  (void)ctx.files.Close(f);  // read-only: nothing to lose
}

void ExtractDizFromArchives(RunContext& ctx) {
  ctx.log.Message('.', 1, 36);
  std::string work = EnterDizWorkDir(ctx);
  if (work.empty()) return;
  for (size_t a = 0; a < ctx.areas.size(); ++a) {
    AreaRecord& area = ctx.areas[a];
    if (area.flags.find('D') != std::string::npos) continue;
    for (auto& tic : area.received)
      if (!tic->bad && IsBareFileName(tic->file))
        ExtractDizAt(ctx, platform::AbsolutePath(InboundPath(ctx, tic->file)), tic.get());
  }
  LeaveDizWorkDir(ctx, work);
}

void AddDizToArchives(RunContext& ctx) {
  ctx.log.Message('#', 1, 77);
  const bool served_here = ServedFromAreaDirectories(ctx.cfg);
  std::string work = EnterDizWorkDir(ctx);
  if (work.empty()) return;
  for (size_t a = 0; a < ctx.areas.size(); ++a) {
    AreaRecord& area = ctx.areas[a];
    if (area.flags.find_first_of("PD") != std::string::npos) continue;
    for (auto& tic : area.received) {
      if (tic->bad || !tic->diz_list.empty() || !tic->archiver || tic->archiver->add.empty())
        continue;
      if (!IsBareFileName(tic->file)) continue;
      std::string archive = ArchivePath(area.path, tic->file);
      // Without the archive in place (it went to an [AUTOCOPY] directory)
      // the archiver would make a new archive holding only file_id.diz.
      if (!platform::IsPlainFile(archive)) continue;
      RemoveDiz(kDizName);
      std::FILE* f = ctx.files.OpenQuiet(kDizName, "w", nullptr);
      if (!f) continue;
      ctx.log.Message('#', 1, 78, tic->file.c_str());
      bool ok = true;
      for (const std::string& line : tic->desc_list) {
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size() ||
            std::fputc('\n', f) == EOF)
          ok = false;
      }
      if (ctx.files.Close(f) != 0) ok = false;
      if (!ok) {
        // A cut-off description must not go into the archive.
        RemoveDiz(kDizName);
        continue;
      }
      std::string command = PackerCommand(tic->archiver->add, archive);
      ctx.log.Message('#', 2, 61, command.c_str());
      (void)platform::RunCommand(command);  // its status says nothing reliable
      RemoveDiz(kDizName);
      if (served_here) {
        int64_t size = FileSizeOf(archive);
        if (size >= 0) {
          tic->size = static_cast<uint32_t>(size);
          tic->crc = FileCrc32(ctx.files, archive);
        }
      }
    }
  }
  LeaveDizWorkDir(ctx, work);
}

}  // namespace olvix
