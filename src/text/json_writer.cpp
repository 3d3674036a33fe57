#include "text/json_writer.h"

#include "text/utf8.h"

namespace aurex {

void AppendJsonString(std::string& out, std::string_view text)
{
    static constexpr char kLower[] = "0123456789abcdef";
    out += '"';
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            AppendUtf8(out, 0xFFFD);
            ++at;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(at, length));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            // DEL too: it is invisible in an editor as much as the C0 controls are.
            out += "\\u00";
            out += kLower[c >> 4];
            out += kLower[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
        at += length;
    }
    out += '"';
}

} // namespace aurex
