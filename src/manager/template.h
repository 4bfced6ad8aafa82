// Template answers of the robot: a text file with macros and list
// sections filled in for a link, sent as one or more letters "Request
// answer" of at most REPLYLINES lines each.
#ifndef OLVIX_MANAGER_TEMPLATE_H_
#define OLVIX_MANAGER_TEMPLATE_H_

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace olvix {

struct LinkRecord;
struct RunContext;

// Template lines are read in pieces of at most 510 characters.
inline constexpr size_t kAnswerTemplatePiece = 511;

enum class FieldAlign { kLeft, kRight };

// Replaces the macro `macro` (found without regard to case) in `line`.
// When "@" characters stand right before its first occurrence, or when
// there is no value (`value` null), the field from the first of those "@"
// to the end of the macro is blanked and the value, cut to the field's
// width, is written at its left end (kRight: its right end); only that
// occurrence changes. Otherwise every occurrence is replaced by the value
// and the line grows or shrinks; inserted text is not searched again.
void ReplaceMacro(std::string* line, std::string_view macro, const std::string* value,
                  FieldAlign align = FieldAlign::kLeft);

// The parts of the answer that the template text `text` gives for `link`
// at local time `now`: each the text of one letter. Parts after the first
// begin with the continuation lines; every full part but the last ends
// with " *** Continued on next page ***".
std::vector<std::string> ExpandTemplate(RunContext& ctx, const std::string& text,
                                        const LinkRecord& link, const std::tm& now);

// Expands the template file `template_file` for `link` and sends the parts
// as letters "Request answer" from FROMNAME to `answer_name`. Nothing
// happens without a name; a file that cannot be opened is logged and
// nothing is sent.
void SendTemplate(RunContext& ctx, const std::string& template_file, LinkRecord& link,
                  const std::string& answer_name);
// The same; false when a part could not be written (logged), so that the
// caller can keep the request for a later run. A template file that
// cannot be read is no such failure.
bool SendTemplateAnswer(RunContext& ctx, const std::string& template_file, LinkRecord& link,
                        const std::string& answer_name);

// Writes the work file `path` (a file the letter writer consumes) under
// its own name; on failure none is left. 0 or the error number.
int WriteWorkFile(const std::string& path, const std::string& text);

// Writes `text` into the work file `name` of the home directory and sends
// it as a letter to `link` (the letter consumes the file). False when the
// work file (message 9) or the letter (message 89) could not be written.
bool SendWorkFile(RunContext& ctx, const std::string& name, const std::string& text,
                  const std::string& from_name, const std::string& to_name,
                  const std::string& subject, const LinkRecord& link);

}  // namespace olvix

#endif  // OLVIX_MANAGER_TEMPLATE_H_
