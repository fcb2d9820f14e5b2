// JSON output, written here alone: the front end's reports say which members
// and values, this writer puts the punctuation. Every character outside ASCII
// is written as a \u escape (a surrogate pair as two), so the text is ASCII and
// therefore UTF-8 whatever the console's code page, and reads back the same
// on every system.
#pragma once

#include "text.h"

// The text as a JSON string, quoted; null as null.
void AppendJsonString(Text &json, const wchar_t *text);

// A JSON value being written into text.
struct Json {
    Text &text;
    bool first;      // nothing written yet in the innermost open object or array
    bool afterKey;   // a member's name is written: its value follows
    int lineIndent;  // not negative: the next member starts a line indented so far
};
inline Json JsonInto(Text &text) { return Json{text, true, false, -1}; }
void JsonOpen(Json &json, char bracket);     // '{' or '['
void JsonClose(Json &json, char bracket);    // the closing bracket or its opening one
void JsonKey(Json &json, const char *name);  // ASCII
void JsonString(Json &json, const wchar_t *text);
void JsonAscii(Json &json, const char *text);
void JsonNumber(Json &json, long value);
void JsonUnsigned(Json &json, unsigned long value);
void JsonBool(Json &json, bool value);
void JsonNull(Json &json);
// A value this writer has written into text of its own.
void JsonWritten(Json &json, const Text &value);
// The next member, or the closing bracket, starts a new line with indent blanks.
void JsonLine(Json &json, int indent);
