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
