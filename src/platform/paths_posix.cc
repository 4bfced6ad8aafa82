// Paths on POSIX: the Windows forms a configuration may use (drive letters,
// backslashes) and names found without regard to ASCII case.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace olvix::platform {

namespace internal {

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string Lowered(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = AsciiLower(c);
  return r;
}

std::string Uppered(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

// The listing of one directory, keyed by the lower-case form of each name,
// kept so that a name in mixed case is found without reading the directory
// for every lookup. It is read again when the directory's modification
// time shows a change by another program. This layer's own changes update
// it in place, without a look at the directory: the next lookup that needs
// the listing takes the directory's new time as its own. A file another
// program creates between one of our changes and that lookup may stay
// unseen until the directory changes again; names in upper case or as
// written are looked up directly and never depend on the listing.
struct DirListing {
  int64_t mtime_ns = -1;
  uint64_t device = 0;
  uint64_t inode = 0;
  bool changed_by_us = false;
  std::unordered_map<std::string, std::set<std::string>> by_lower;
};

class Listings {
 public:
  // The entry of `dir` equal to `name` without regard to case (byte-wise
  // smallest of several), or "" when there is none.
  std::string Find(const std::string& dir, const std::string& name) {
    struct stat st;
    if (!RawStat(dir, &st) || !S_ISDIR(st.st_mode)) return "";
    DirListing& l = listings_[Key(dir)];
    bool same = l.device == static_cast<uint64_t>(st.st_dev) &&
                l.inode == static_cast<uint64_t>(st.st_ino) && l.mtime_ns >= 0;
    if (same && l.mtime_ns != MtimeNs(st) && l.changed_by_us) l.mtime_ns = MtimeNs(st);
    if (!same || l.mtime_ns != MtimeNs(st)) Reload(dir, st, &l);
    l.changed_by_us = false;
    auto it = l.by_lower.find(Lowered(name));
    if (it == l.by_lower.end() || it->second.empty()) return "";
    // The name exactly as written wins over other spellings.
    if (it->second.count(name)) return name;
    return *it->second.begin();
  }

  void Note(const std::string& dir, const std::string& name, bool added) {
    auto it = listings_.find(Key(dir));
    if (it == listings_.end()) return;
    auto& names = it->second.by_lower[Lowered(name)];
    if (added)
      names.insert(name);
    else
      names.erase(name);
    it->second.changed_by_us = true;
  }

  void Forget(const std::string& dir) { listings_.erase(Key(dir)); }
  bool Has(const std::string& dir) const {
    return !dir.empty() && dir.front() == '/' && listings_.count(dir) != 0;
  }
  void Clear() { listings_.clear(); }

 private:
  // Listings are kept by absolute path: a bare or relative name means
  // another directory after every change of the current directory.
  static std::string Key(const std::string& dir) {
    if (!dir.empty() && dir.front() == '/') return dir;
    std::string cwd = CurrentDirectory();  // ends in "/"
    if (dir.empty() || dir == ".") {
      if (cwd.size() > 1) cwd.pop_back();
      return cwd;
    }
    return cwd + dir;
  }

  static void Reload(const std::string& dir, const struct stat& st, DirListing* l) {
    l->by_lower.clear();
    l->mtime_ns = MtimeNs(st);
    l->device = static_cast<uint64_t>(st.st_dev);
    l->inode = static_cast<uint64_t>(st.st_ino);
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) {
      l->mtime_ns = -1;
      return;
    }
    while (struct dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      l->by_lower[Lowered(n)].insert(n);
    }
    ::closedir(d);
  }

  std::unordered_map<std::string, DirListing> listings_;
};

Listings& TheListings() {
  static Listings listings;
  return listings;
}

// Directories resolved in this run: absolute normalized path without a
// trailing separator -> its on-disk spelling. A directory stays where it
// is for the length of a run; this layer forgets one it removes or renames.
std::unordered_map<std::string, std::string>& ResolvedDirs() {
  static std::unordered_map<std::string, std::string> dirs;
  return dirs;
}

std::string ResolveNoTrail(const std::string& p);

std::string ResolveDirectory(const std::string& dir) {
  if (dir.empty() || dir == "/" || dir == "." || dir == "..") return dir;
  bool absolute = dir.front() == '/';
  if (absolute) {
    auto it = ResolvedDirs().find(dir);
    if (it != ResolvedDirs().end()) return it->second;
  }
  std::string r = ResolveNoTrail(dir);
  struct stat st;
  if (absolute && RawStat(r, &st) && S_ISDIR(st.st_mode)) ResolvedDirs()[dir] = r;
  return r;
}

// Resolves a path without a trailing separator.
std::string ResolveNoTrail(const std::string& p) {
  if (p.empty() || p == "/" || p == "." || p == "..") return p;
  std::string dir, name;
  SplitPath(p, &dir, &name);
  if (name.empty() || name == "." || name == "..") return p;
  std::string rdir = dir.empty() ? dir : ResolveDirectory(dir);
  std::string exact = Join(rdir, name);
  // Where a listing of the directory is kept already, one look at the
  // directory's time answers: no name is looked up in several spellings.
  if (TheListings().Has(rdir)) {
    std::string found = TheListings().Find(rdir, name);
    return found.empty() ? exact : Join(rdir, found);
  }
  struct stat st;
  if (RawStat(exact, &st)) return exact;
  // The all-upper-case spelling is the byte-wise smallest of all spellings,
  // so when it exists it is the answer without a listing. Any other
  // spelling needs the listing to tell whether a smaller one exists.
  std::string up = Uppered(name);
  if (up != name && RawStat(Join(rdir, up), &st)) return Join(rdir, up);
  std::string found = TheListings().Find(rdir, name);
  if (!found.empty()) return Join(rdir, found);
  return exact;
}

std::string TrimTrail(const std::string& path) {
  std::string t = path;
  while (t.size() > 1 && t.back() == '/') t.pop_back();
  return t;
}

}  // namespace

bool RawStat(const std::string& path, struct stat* st) {
  return ::stat(path.empty() ? "." : path.c_str(), st) == 0;
}

int64_t MtimeNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

void SplitPath(const std::string& path, std::string* dir, std::string* name) {
  size_t pos = path.find_last_of('/');
  if (pos == std::string::npos) {
    dir->clear();
    *name = path;
  } else {
    *dir = pos == 0 ? "/" : path.substr(0, pos);
    *name = path.substr(pos + 1);
  }
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string Resolve(const std::string& path) {
  if (path.size() > 1 && path.back() == '/') return ResolveNoTrail(TrimTrail(path)) + "/";
  return ResolveNoTrail(path);
}

std::string ResolveDirectoryOf(const std::string& path) {
  std::string p = TrimTrail(path);
  std::string dir, name;
  SplitPath(p, &dir, &name);
  if (dir.empty()) return path;
  return Join(ResolveDirectory(dir), name) + (p.size() < path.size() ? "/" : "");
}

bool KnownDirectory(const std::string& path) { return ResolvedDirs().count(path) != 0; }

void RememberDirectory(const std::string& path, const std::string& resolved) {
  if (!path.empty() && path.front() == '/') ResolvedDirs()[path] = resolved;
}

void NoteAdded(const std::string& path) {
  std::string dir, name;
  SplitPath(TrimTrail(path), &dir, &name);
  TheListings().Note(dir, name, true);
}

void NoteRemoved(const std::string& path) {
  std::string dir, name;
  SplitPath(TrimTrail(path), &dir, &name);
  TheListings().Note(dir, name, false);
}

void NoteDirectoryGone(const std::string& path) {
  std::string p = TrimTrail(path);
  TheListings().Forget(p);
  // The directory and everything below it.
  auto& dirs = ResolvedDirs();
  for (auto it = dirs.begin(); it != dirs.end();) {
    const std::string& k = it->first;
    bool below =
        k == p || (k.size() > p.size() && k.compare(0, p.size(), p) == 0 && k[p.size()] == '/');
    bool target = it->second == p;
    it = (below || target) ? dirs.erase(it) : std::next(it);
  }
}

void ForgetAll() {
  TheListings().Clear();
  ResolvedDirs().clear();
}

}  // namespace internal

using internal::Resolve;

std::string NormalizePath(const std::string& path, const std::string& base) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) {
    std::string var = "OLVIX_DRIVE_";
    var += p[0] >= 'a' ? static_cast<char>(p[0] - 32) : p[0];
    std::string root;
    if (!GetEnv(var, &root) || root.empty()) root.assign(1, '/');
    for (char& c : root)
      if (c == '\\') c = '/';
    std::string rest = p.substr(2);
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    if (root.back() != '/') root += '/';
    p = root + rest;
  } else if (!p.empty() && p.front() != '/' && !base.empty()) {
    std::string b = NormalizePath(base);
    if (b.back() != '/') b += '/';
    p = b + p;
  }
  // Collapse repeated separators.
  std::string out;
  out.reserve(p.size());
  for (char c : p) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  return out;
}

std::string NativePath(const std::string& path) { return Resolve(NormalizePath(path)); }

std::string AbsolutePath(const std::string& path) {
  std::string p = NormalizePath(path);
  if (!p.empty() && p.front() == '/') return p;
  return NormalizePath(p, CurrentDirectory());
}

bool LowerCaseOutboundNames() { return true; }

bool SamePath(const std::string& a, const std::string& b) {
  std::string x = NormalizePath(a), y = NormalizePath(b);
  for (std::string* s : {&x, &y}) {
    for (char& c : *s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    while (s->size() > 1 && s->back() == '/') s->pop_back();
  }
  return x == y;
}

}  // namespace olvix::platform
