#include "support/XmlDepth.h"

#include <cstddef>

namespace {

bool starts_with(const std::string& text, size_t at, const char* prefix)
{
    return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Where the markup that begins at `at` ends (one past its last character), or
// npos when the text ends first.
size_t skip_past(const std::string& text, size_t at, const char* terminator)
{
    const size_t found = text.find(terminator, at);
    return found == std::string::npos ? found : found + std::char_traits<char>::length(terminator);
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One past the '>' that ends a declaration whose text begins at `at` (after
// "<!"). Only a DOCTYPE followed by a blank has an internal subset in brackets,
// whose '>'s do not end it; any other declaration ends at its first '>'.
size_t skip_declaration(const std::string& text, size_t at)
{
    const bool doctype = starts_with(text, at, "DOCTYPE") && at + 7 < text.size() && is_blank(text[at + 7]);
    if (!doctype)
        return skip_past(text, at, ">");
    int brackets = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '[')
            ++brackets;
        else if (c == ']' && brackets > 0)
            --brackets;
        else if (c == '>' && brackets == 0)
            return at + 1;
    }
    return std::string::npos;
}

// The '>' that ends the tag whose name begins at `at`. The name runs to a blank,
// '/', '>' or '?', quotes included; after it a quote opens an attribute value
// only behind its '=' (blanks between), and a '>' inside that value does not
// end the tag.
size_t tag_end(const std::string& text, size_t at)
{
    while (at < text.size() && !is_blank(text[at]) && text[at] != '/' && text[at] != '>' && text[at] != '?')
        ++at;
    char quote = 0;
    bool value_next = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '>') {
            return at;
        } else if ((c == '"' || c == '\'') && value_next) {
            quote = c;
            value_next = false;
        } else if (c == '=') {
            value_next = true;
        } else if (!is_blank(c)) {
            value_next = false;
        }
    }
    return std::string::npos;
}

} // namespace

std::string xml_depth_fault(const std::string& text, int limit)
{
    int depth = 0;
    size_t at = 0;
    // A document cut short ends the walk; the reader reports it.
    while (at != std::string::npos && (at = text.find('<', at)) != std::string::npos) {
        if (starts_with(text, at, "<!--")) {
            at = skip_past(text, at + 4, "-->");
        } else if (starts_with(text, at, "<![CDATA[")) {
            at = skip_past(text, at + 9, "]]>");
        } else if (starts_with(text, at, "<?")) {
            at = skip_past(text, at + 2, "?>");
        } else if (starts_with(text, at, "<!")) {
            at = skip_declaration(text, at + 2);
        } else if (starts_with(text, at, "</")) {
            if (depth > 0)
                --depth;
            at = skip_past(text, at + 2, ">");
        } else {
            const size_t end = tag_end(text, at + 1);
            if (end == std::string::npos)
                break;
            // An empty element opens and closes at once.
            if (text[end - 1] != '/' && ++depth > limit)
                return "elements nested deeper than " + std::to_string(limit) + " levels";
            at = end + 1;
        }
    }
    return std::string();
}
