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

// A declaration such as DOCTYPE ends at the first '>' outside its brackets.
size_t skip_declaration(const std::string& text, size_t at)
{
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

// The '>' that ends the tag begun at `at`; a '>' inside a quoted value does not.
size_t tag_end(const std::string& text, size_t at)
{
    char quote = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return at;
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
