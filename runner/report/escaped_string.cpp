#include "runner/report/escaped_string.hpp"

namespace runner {

void EscapedString::append_to(std::string& out) const {
    static constexpr char HEX_DIGITS[] = "0123456789abcdef";
    for (char c : text) {
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\b':
                out.append("\\b");
                break;
            case '\t':
                out.append("\\t");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\f':
                out.append("\\f");
                break;
            case '\r':
                out.append("\\r");
                break;
            default: {
                auto byte = static_cast<unsigned char>(c);
                if (byte < 0x20 || byte == 0x7f) {
                    out.append("\\u00");
                    out.push_back(HEX_DIGITS[byte >> 4]);
                    out.push_back(HEX_DIGITS[byte & 0xf]);
                } else {
                    out.push_back(c);
                }
            }
        }
    }
}

}  // namespace runner
