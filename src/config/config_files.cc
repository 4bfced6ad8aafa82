#include "config/config_files.h"

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "run/context.h"
#include "util/text.h"

namespace olvix {

std::vector<ConfigLine> SplitConfigLines(const std::string& text) {
  std::vector<ConfigLine> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string::npos ? text.size() : nl + 1;
    ConfigLine line;
    line.raw = text.substr(pos, end - pos);
    line.piece = line.raw.substr(0, kConfigPiece);
    lines.push_back(std::move(line));
    pos = end;
  }
  return lines;
}

bool ReadConfigFile(RunContext& ctx, const std::string& path, bool quiet, std::string* text,
                    int* error) {
  text->clear();
  int err = 0;
  std::FILE* f = quiet ? ctx.files.OpenQuiet(path, "rb", &err) : ctx.files.Open(path, "rb");
  if (!f) {
    if (error) *error = err ? err : ENOENT;
    return false;
  }
  std::string data;
  char buf[16384];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  bool failed = std::ferror(f) != 0;
  (void)ctx.files.Close(f);  // read only: a failed close loses nothing
  if (failed) {
    if (error) *error = EIO;
    return false;
  }
  text->reserve(data.size());
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') continue;
    text->push_back(data[i]);
  }
  return true;
}

namespace {

int Fail(RunContext& ctx, const std::string& name, int err) {
  ctx.log.Message('!', 0, 9, name.c_str(), platform::ErrorText(err).c_str());
  return err;
}

}  // namespace

int ReplaceConfigFile(RunContext& ctx, const std::string& path, const std::string& temp,
                      const std::string& bak, const std::string& contents, bool quiet_open) {
  int err = 0;
  std::FILE* f = ctx.files.OpenQuiet(temp, "wb", &err);
  if (!f) {
    if (err == 0) err = EIO;
    if (!quiet_open) ctx.log.Message('!', 3, 0, temp.c_str(), platform::ErrorText(err).c_str());
    return err;
  }
  bool written = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
  int write_err = written ? 0 : (errno ? errno : EIO);
  int close_err = ctx.files.Close(f);
  if (write_err == 0) write_err = close_err;
  if (write_err != 0) {
    (void)platform::RemoveFile(temp);  // half written: the old file stays
    return Fail(ctx, temp, write_err);
  }
  // Keep the old file under the .bak name. A hard link leaves the old name
  // in place, so the rename below replaces it in one step and there is no
  // moment without the file.
  (void)platform::RemoveFile(bak);  // an absent .bak is fine
  if (platform::HardLink(path, bak) != 0) {
    int rc = platform::CopyFileContents(path, bak);
    if (rc != 0) {
      (void)platform::RemoveFile(temp);
      return Fail(ctx, bak, rc);
    }
  }
  int rc = platform::RenamePath(temp, path);
  if (rc != 0) {
    (void)platform::RemoveFile(temp);
    return Fail(ctx, path, rc);
  }
  return 0;
}

bool PrepareLine(const std::string& piece, std::string* line) {
  if (piece.size() < 5) return false;
  std::string t = TrimLeft(ExpandTabs(piece));
  if (t.empty() || t[0] == ';' || t.find(' ') == std::string::npos) return false;
  if (t.back() == '\n') t.pop_back();
  *line = std::move(t);
  return true;
}

std::string FirstWord(const std::string& piece) {
  std::string t = TrimLeft(ExpandTabs(piece));
  return t.substr(0, t.find_first_of(" \n"));
}

bool IsComment(const std::string& piece) {
  std::string t = TrimLeft(ExpandTabs(piece));
  return !t.empty() && t[0] == ';';
}

}  // namespace olvix
