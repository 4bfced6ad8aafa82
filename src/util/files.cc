#include "util/files.h"

#include <cstdlib>

#include "run/log.h"
#include "util/crc32.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

FileTable::~FileTable() {
  for (Slot& s : slots_)
    if (s.file) std::fclose(s.file);
}

size_t FileTable::open_count() const {
  size_t n = 0;
  for (const Slot& s : slots_)
    if (s.file) ++n;
  return n;
}

std::FILE* FileTable::Register(std::FILE* f) {
  if (log_) log_->Debug('B', "Setting buffer");
  if (buffer_size == 0) return f;
  Slot* free_slot = nullptr;
  for (Slot& s : slots_)
    if (!s.file) {
      free_slot = &s;
      break;
    }
  if (!free_slot) {
    if (slots_.size() >= kSlots) {
      std::fclose(f);
      std::printf("\n*** myfopen: too many open files. exitting.\n");
      std::fflush(stdout);
      std::exit(1);
    }
    slots_.emplace_back();
    free_slot = &slots_.back();
  }
  free_slot->buffer = std::make_unique<char[]>(buffer_size);
  std::setvbuf(f, free_slot->buffer.get(), _IOFBF, buffer_size);
  free_slot->file = f;
  if (log_) log_->Debug('K', "  opened. handle=%x", static_cast<unsigned>(fileno(f)));
  return f;
}

std::FILE* FileTable::OpenQuiet(const std::string& name, const char* mode, int* error) {
  if (log_) log_->Debug('K', "Gonna open file %s", name.c_str());
  int err = 0;
  std::FILE* f = platform::OpenStream(name, mode, &err);
  if (!f) {
    if (error) *error = err;
    return nullptr;
  }
  return Register(f);
}

std::FILE* FileTable::Open(const std::string& name, const char* mode) {
  int err = 0;
  std::FILE* f = OpenQuiet(name, mode, &err);
  if (!f && log_) log_->Message('!', 3, 0, name.c_str(), platform::ErrorText(err).c_str());
  return f;
}

int FileTable::Close(std::FILE* f) {
  if (!f) return 0;
  if (log_) log_->Debug('K', "Gonna close file by handle %x", static_cast<unsigned>(fileno(f)));
  int rc = 0;
  if (std::fflush(f) != 0) rc = errno ? errno : 5;
  if (std::ferror(f) && rc == 0) rc = 5;  // an earlier write failed
  if (std::fclose(f) != 0 && rc == 0) rc = errno ? errno : 5;
  for (Slot& s : slots_)
    if (s.file == f) {
      s.file = nullptr;
      s.buffer.reset();
      break;
    }
  return rc;
}

bool ReadTextPiece(std::FILE* f, size_t capacity, std::string* out) {
  out->clear();
  if (capacity < 2) capacity = 2;
  int c;
  while (out->size() + 1 < capacity && (c = std::fgetc(f)) != EOF) {
    if (c == '\r') {
      int next = std::fgetc(f);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, f);
      }
    }
    out->push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !out->empty();
}

std::vector<std::string> SplitPieces(const std::string& text, size_t capacity) {
  std::vector<std::string> pieces;
  if (capacity < 2) capacity = 2;
  size_t i = 0;
  while (i < text.size()) {
    size_t start = i;
    size_t limit = std::min(text.size(), start + capacity - 1);
    while (i < limit) {
      if (text[i++] == '\n') break;
    }
    pieces.push_back(text.substr(start, i - start));
  }
  return pieces;
}

bool ReadWholeFile(const std::string& path, bool text_mode, std::string* out, int* error) {
  out->clear();
  int err = 0;
  std::FILE* f = platform::OpenStream(path, "rb", &err);
  if (!f) {
    if (error) *error = err;
    return false;
  }
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) {
    if (error) *error = 5;
    return false;
  }
  if (text_mode) {
    std::string t;
    t.reserve(out->size());
    for (size_t i = 0; i < out->size(); ++i) {
      if ((*out)[i] == '\r' && i + 1 < out->size() && (*out)[i + 1] == '\n') continue;
      t += (*out)[i];
    }
    out->swap(t);
  }
  return true;
}

int WriteFileAtomic(const std::string& path, const std::string& data) {
  return platform::ReplaceFile(path, data);
}

int AppendedFileText(const std::string& path, const std::string& data, std::string* out) {
  int err = 0;
  if (!ReadWholeFile(path, false, out, &err)) {
    if (err != platform::NotFoundCode()) return err != 0 ? err : 5;
    out->clear();
  }
  if (!out->empty() && out->back() != '\n') *out += '\n';
  *out += data;
  return 0;
}

int AppendFileAtomic(const std::string& path, const std::string& data) {
  std::string text;
  if (int rc = AppendedFileText(path, data, &text)) return rc;
  return platform::ReplaceFile(path, text);
}

void RemoveDeadRunTemps(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(dir, "*.$$$", true, &entries);  // a missing one holds none
  for (const platform::DirEntry& e : entries) {
    int pid = platform::RunTempOwner(e.name);
    if (pid < 0 || pid == platform::ProcessId() || platform::ProcessAlive(pid)) continue;
    std::string path = JoinPath(dir, e.name);
    if (e.is_dir) {
      // A work directory (FILE_ID.DIZ): only files the archivers made.
      std::vector<platform::DirEntry> inside;
      (void)platform::ListDirectory(path, "*", false, &inside);
      for (const platform::DirEntry& f : inside) (void)platform::RemoveFile(JoinPath(path, f.name));
      (void)platform::RemoveDir(path);
    } else {
      (void)platform::RemoveFile(path);  // gone is what we want
    }
  }
}

int CopyToDirectory(Log& log, const std::string& source, const std::string& dir,
                    platform::CopySource mode) {
  std::string target = WithTrailingSep(dir) + Lower(FilePart(source));
  log.Message('.', 4, 5, source.c_str(), target.c_str());
  return platform::CopyFileContents(source, target, mode);
}

std::string TildeName(const std::string& name, int n) {
  std::string suffix = "~" + std::to_string(n);
  if (suffix.size() >= name.size()) return suffix;
  return name.substr(0, name.size() - suffix.size()) + suffix;
}

int CopyToFreeName(Log& log, const std::string& source, const std::string& dir,
                   const std::string& name, platform::CopySource mode, std::string* placed) {
  std::string base = Lower(name.empty() ? FilePart(source) : name);
  std::string free_name = base;
  for (int n = 1; Exists(JoinPath(dir, free_name)) && n < 1000000; ++n)
    free_name = TildeName(base, n);
  std::string target = WithTrailingSep(dir) + free_name;
  log.Message('.', 4, 5, source.c_str(), target.c_str());
  int rc = platform::CopyFileContents(source, target, mode);
  if (rc == 0 && placed) *placed = free_name;
  return rc;
}

int DeleteLogged(Log& log, const std::string& path) {
  int rc = platform::RemoveFile(path);
  if (rc == 0)
    log.Debug('F', "File \"%s\"  was deleted", path.c_str());
  else
    log.Debug('F', "ERROR: Can't delete file %s", path.c_str());
  return rc;
}

bool Exists(const std::string& path) { return platform::FileExists(path); }

int64_t FileSizeOf(const std::string& path) {
  platform::FileInfo info = platform::Stat(path);
  return info.exists ? info.size : -1;
}

std::vector<platform::DirEntry> ScanDirectory(const std::string& pattern, ScanMode mode) {
  std::vector<platform::DirEntry> out;
  if (mode == ScanMode::kNone) return out;
  std::string dir = DirPart(pattern);
  std::string mask = FilePart(pattern);
  if (dir.empty()) dir = ".";
  bool with_dirs = mode != ScanMode::kFiles;
  (void)platform::ListDirectory(dir, mask, with_dirs, &out);  // a missing directory lists nothing
  if (mode == ScanMode::kAllThenFiles) (void)platform::ListDirectory(dir, mask, false, &out);
  return out;
}

uint32_t FileCrc32(FileTable& table, const std::string& path) {
  std::FILE* f = table.Open(path, "rb");
  if (!f) return 0;
  std::vector<unsigned char> buf(32768);
  uint32_t crc = 0xFFFFFFFFu;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) crc = Crc32Update(crc, buf.data(), n);
  (void)table.Close(f);  // read-only: nothing to lose on close
  return ~crc;
}

}  // namespace olvix
