#pragma once
// Session files of the bridge client and the decoding of what comes back.
//
// A session file holds one step per line:
//   # comment                      (first non-blank character '#')
//   wait 600                       wait 600 ms, printing the calls that arrive
//   <invoke name="...">...</invoke> sent as it is
//   KUP_Commande | arg1 | arg2     short form, turned into the invoke XML
// Short form: fields separated by '|', blanks around each field dropped;
// the first field is the command name (element 0 of the request array).
// The one escape is {NNN}, the character of Windows code NNN (0-255):
// {242} {241} {240} are the list separators, {124} a bar, {123} a brace,
// {9} a tab, {10} a line feed, {32} a blank kept at the end of a field,
// {64} an '@' opening a text. Backslashes are plain characters (paths).
// Typed fields: @null, @undefined, @true, @false, @num:12.5 (a <number>).
// A line ending with " \" continues on the next line.
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kup::bridgeclient {

struct Step {
  enum class Type { Request, Wait };
  Type type = Type::Request;
  std::string xml;     // the request text
  std::string label;   // the line as written, for the transcript
  int waitMs = 0;
  int line = 0;
};

struct SessionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads a whole session; raises SessionError "<name>:<line>: <what>".
std::vector<Step> ParseSession(std::istream& in, const std::string& name);
// One logical line; nullopt for blank lines and comments.
std::optional<Step> ParseSessionLine(std::string_view line, int lineNo);

// The invoke XML of a short-form line.
std::string ShortFormToXml(std::string_view line);
// Unescapes one short-form field into its text (no typed forms).
std::string UnescapeField(std::string_view field);
// The text of a Windows-1252 code as UTF-8.
std::string CodePageChar(int code);

// A decoded CALL (name and values) or RET (reply array values).
struct Decoded {
  bool ok = false;
  std::string name;
  std::vector<std::string> values;
};
Decoded DecodeCall(std::string_view xml);
Decoded DecodeReply(std::string_view xml);
// A value written back in short-form escapes (the separators as {242}...),
// so that a printed value can be pasted into a session file.
std::string Printable(std::string_view value);

}  // namespace kup::bridgeclient
