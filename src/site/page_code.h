#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/db/connection.h"

namespace ptolix {

// Page code generation: a template is HTML in which comment markers name
// tags; each tag stands for a piece of server script.
//
// For a tag whose code is `code` (matched exactly, letter case included):
//   "<!--code-->"             plain opening marker
//   "<!--code a=1&b=x y-->"   opening marker with attribute text: name=value
//                             pairs joined by "&", each becoming a string
//                             assignment line (a="1", b="x y") before the
//                             tag's program
//   "<!--/code-->"            optional closing marker; the text between an
//                             opening marker and the first closing marker
//                             after it is the body, which replaces every
//                             "[data]" of the program as literal HTML
// Generated text ends its lines with CR LF.

// Replaces every marker of one tag in `text`: each opening marker (with its
// body and closing marker, if the text has closing markers of the tag) turns
// into "<%" + assignment lines + program + "%>". All markers with attribute
// text are replaced first, left to right, then the plain ones.
//
// The scan resumes after the text it inserted: a program, an attribute text
// or a body that contains a marker of the same tag is inserted once as it
// stands, and the work is linear in the length of the text.
//
// Malformed markers:
//   - an opening marker with a blank but no "-->" after it is not a marker:
//     it stays in the text as it stands;
//   - attribute text that is empty or only blanks ("<!--code -->") gives no
//     assignment lines: the marker works as a plain one;
//   - a closing marker inside attribute text ("<!--code <!--/code-->") is
//     part of that text and closes nothing;
//   - an opening marker with no closing marker after it while the text holds
//     a closing marker of the tag before it (a closing marker before its
//     opening) throws Failure 5 (Invalid procedure call or argument).
// An empty code matches nothing: the text comes back unchanged.
std::string ReplaceTag(std::string_view text, std::string_view code, std::string_view program);

// One tag as generation applies it.
struct TagProgram {
  std::string code;
  std::string program;
};

// Applies the tags in turn: ReplaceTag for the first, then for the second on
// the result, and so on. A later tag also replaces its markers in what an
// earlier one inserted; a code that comes twice is applied by its first row.
std::string ReplaceTags(std::string_view text, const std::vector<TagProgram>& tags);
// The same, one ReplaceTag after the other (a pass over the text per tag).
std::string ReplaceTagsInTurn(std::string_view text, const std::vector<TagProgram>& tags);
// The same in one pass over the text, for templates whose markers nest
// cleanly: programs hold no closing marker and no unfinished "<!--", and
// their markers call for later tags without bodies only (each inserted
// program is expanded once, as those tags' passes would), no attribute text
// holding a marker, every body closed
// inside the body around it, no stray closing markers, no tag with closing
// markers used both with and without attribute text, no blank in a code.
// Returns nothing for any other template (ReplaceTags then goes in turn),
// so both give the same text whenever this gives one.
std::optional<std::string> ReplaceTagsInOnePass(std::string_view text,
                                                const std::vector<TagProgram>& tags);

// Attribute text "n=5&m=abc" as assignment lines `n="5"` and `m="abc"`, each
// ended by CR LF. Nothing is escaped: every "&" closes a line and every "="
// opens a string.
std::string CreateAttributeCode(std::string_view attributes);

// One segment of a page as script. Script: CR LF + segment + CR LF. Literal
// HTML: `Response.Write "..."` with double quotes doubled, one statement per
// line; each but the last ends in ` & vbCrLf` and CR LF, the last ends with
// the closing quote (a lone CR or LF stays inside the string).
std::string CreateSegmentCode(std::string_view segment, bool is_script);

// The marker that ends the current segment: "%>" inside a script block,
// "<%" outside.
std::string_view GetMarker(bool inside);

// Page source as a script body: the literal text before, between and after
// "<%" ... "%>" blocks becomes Response.Write statements and the blocks
// become script lines; the markers themselves are dropped. A "<%" without
// "%>" makes the rest script. Text without "<%" is one literal segment (the
// empty text gives `Response.Write ""`).
std::string ToExecuteCode(std::string_view source);

// Reads a file below the site root, the SITE_PHYSICAL_ROOT parameter read
// through `connection`. `path` is relative to the root; "\" is read as "/",
// and a separator is put between root and path when neither has one. The
// whole content comes back as it is stored (an empty file gives empty text).
// On failure appends one line to `errors` and returns empty text:
//   no (or an empty) SITE_PHYSICAL_ROOT: "取系统参数'SITE_PHYSICAL_ROOT'错。";
//   a path that resolves outside the root (through ".." or a link), or a
//   file that is missing or cannot be read: 53 File not found: <path>.
std::string ReadSiteFile(std::string_view path, const std::shared_ptr<db::Connection>& connection,
                         std::string& errors) noexcept;

// Joins two pieces of a file path with "/" unless one of them already has a
// separator ("/" or "\") at the join; an empty piece adds nothing.
std::string JoinSitePath(std::string_view head, std::string_view tail);

}  // namespace ptolix
