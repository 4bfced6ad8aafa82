// The dialog of HATCH: the file, the fileecho and the description asked for
// on the console.
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "run/context.h"
#include "tic/hatch.h"
#include "util/charset.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr size_t kNameLimit = 63;
constexpr size_t kDescLineLimit = 68;

// One line of standard input without its line end, cut to `limit`; the
// rest of a longer line is dropped rather than taken as the next answer.
// False at the end of the input.
bool ReadAnswer(size_t limit, std::string* line) {
  line->clear();
  bool any = false;
  int c;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line->size() < limit) *line += static_cast<char>(c);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any;
}

// The answer to the last question: a key at a terminal, else the first
// character of the next line ('\n' for an empty one); -1 at the end of
// the input.
int ReadAnswerKey() {
  int key = platform::ReadKey();
  if (key != -1) return key;
  std::string line;
  if (!ReadAnswer(kNameLimit, &line)) return -1;
  return line.empty() ? '\n' : static_cast<unsigned char>(line[0]);
}

void Print(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

void HatchDialog(RunContext& ctx) {
  std::string name, tag;
  Print(ctx.log.Text(108));
  bool answered = ReadAnswer(kNameLimit, &name);
  if (answered) {
    Print(ctx.log.Text(109));
    answered = ReadAnswer(kNameLimit, &tag);
  }
  if (answered) Print(ctx.log.Text(110));
  std::string temp = JoinPath(ctx.home, "tempdesc.$$$");
  (void)platform::RemoveFile(temp);  // a leftover of a run that was stopped
  std::FILE* f = answered ? ctx.files.Open(temp, "w") : nullptr;
  if (answered && !f) return;  // message 0 logged
  int count = 0;
  std::string line;
  bool ok = true;
  while (answered && (answered = ReadAnswer(kDescLineLimit, &line))) {
    if (line.size() >= 2 && line[0] == '/' && UpperChar(line[1]) == 'Q') break;
    // The console speaks the locale's character set; descriptions are
    // stored in the OEM code page.
    std::string stored = Utf8ToCp866(line) + "\n";
    if (std::fwrite(stored.data(), 1, stored.size(), f) != stored.size()) ok = false;
    std::printf(ctx.log.Text(111), ++count);
    std::fflush(stdout);
  }
  if (f && ctx.files.Close(f) != 0) ok = false;
  if (!ok) ctx.log.Message('!', 1, 9, temp.c_str(), platform::ErrorText(28).c_str());
  if (answered && ok) {
    UpperInPlace(&name);
    UpperInPlace(&tag);
    std::printf(ctx.log.Text(112), name.c_str(), tag.c_str());
    std::fflush(stdout);
    int key = ReadAnswerKey();
    std::fputs("\n", stdout);
    if (key == 'Y' || key == 'y' || key == '\r' || key == '\n')
      HatchCommand(ctx, {"HATCH", name, tag, "-G" + temp});
  }
  (void)platform::RemoveFile(temp);  // gone is what we want
}

}  // namespace olvix
