#include "json.h"

void AppendJsonString(Text &json, const wchar_t *text) {
    if (!text) return Append(json, L"null");
    Append(json, L"\"");
    for (; *text; ++text) {
        wchar_t c = *text;
        if (c == L'"' || c == L'\\') {
            Append(json, L"\\", 1);
        } else if (c < 0x20 || c > 0x7E) {
            Append(json, L"\\u");
            AppendNumber(json, c, 16, 4);
            continue;
        }
        Append(json, &c, 1);
    }
    Append(json, L"\"");
}

namespace {

void StartLine(Json &json) {
    if (json.lineIndent < 0) return;
    AppendAscii(json.text, "\n");
    for (int i = 0; i < json.lineIndent; ++i) AppendAscii(json.text, " ");
    json.lineIndent = -1;
}

// The separator before a value or a member.
void Before(Json &json) {
    if (json.afterKey) {
        json.afterKey = false;
        return;
    }
    if (!json.first) AppendAscii(json.text, json.lineIndent < 0 ? ", " : ",");
    StartLine(json);
    json.first = false;
}

}  // namespace

void JsonOpen(Json &json, char bracket) {
    Before(json);
    AppendAscii(json.text, bracket == '{' ? "{" : "[");
    json.first = true;
}

void JsonClose(Json &json, char bracket) {
    StartLine(json);
    AppendAscii(json.text, bracket == '{' || bracket == '}' ? "}" : "]");
    json.first = false;
}

void JsonKey(Json &json, const char *name) {
    Before(json);
    Text key{};
    AppendAscii(key, name);
    AppendJsonString(json.text, key.data ? key.data : L"");
    Release(key.data);
    AppendAscii(json.text, ": ");
    json.afterKey = true;
}

void JsonString(Json &json, const wchar_t *text) {
    Before(json);
    AppendJsonString(json.text, text);
}

void JsonAscii(Json &json, const char *text) {
    Text wide{};
    AppendAscii(wide, text);
    JsonString(json, wide.data ? wide.data : L"");
    Release(wide.data);
}

void JsonNumber(Json &json, long value) {
    Before(json);
    if (value < 0) AppendAscii(json.text, "-");
    AppendNumber(json.text, value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value), 10,
                 1);
}

void JsonUnsigned(Json &json, unsigned long value) {
    Before(json);
    AppendNumber(json.text, value, 10, 1);
}

void JsonBool(Json &json, bool value) {
    Before(json);
    AppendAscii(json.text, value ? "true" : "false");
}

void JsonNull(Json &json) {
    Before(json);
    AppendAscii(json.text, "null");
}

void JsonWritten(Json &json, const Text &value) {
    Before(json);
    if (value.length) Append(json.text, value.data, value.length);
}

void JsonLine(Json &json, int indent) { json.lineIndent = indent; }
