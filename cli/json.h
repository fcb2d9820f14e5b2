// JSON output. Every character outside ASCII is written as a \u escape (a
// surrogate pair as two), so the text is ASCII and therefore UTF-8 whatever
// the console's code page, and reads back the same on every system.
#pragma once

#include "text.h"

// The text as a JSON string, quoted; null as null. Format's %J.
void AppendJsonString(Text &json, const wchar_t *text);
// JSON's literals, as the ASCII they are written in.
constexpr const char *JsonNull = "null";
inline const char *JsonBool(bool value) { return value ? "true" : "false"; }
