#pragma once

// Reader of the event text file (text/EventTexts.txt): "[Name]" opens a section,
// each other line is a row of fields split by "|", a field being a decimal number
// or a text in double quotes. Used by the build's generator and by the tests.

#include <cerrno>
#include <cstdlib>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace event_texts_file {

struct Field
{
    std::string value;  // a text without its quotes
    bool quoted = false;
};

struct Row
{
    int line = 0;
    std::vector<Field> fields;

    // The field as a number; throws unless it is a decimal int32.
    long Number(size_t index) const
    {
        const std::string& text = At(index, false).value;
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno != 0 || value < -2147483648L || value > 2147483647L)
            Fail("field " + std::to_string(index + 1) + " is no number");
        return value;
    }

    // The field as a text; throws unless it was quoted.
    const std::string& Text(size_t index) const { return At(index, true).value; }

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw std::runtime_error("line " + std::to_string(line) + ": " + what);
    }

private:
    const Field& At(size_t index, bool quoted) const
    {
        if (index >= fields.size())
            Fail("field " + std::to_string(index + 1) + " is missing");
        if (fields[index].quoted != quoted)
            Fail("field " + std::to_string(index + 1) + (quoted ? " is no quoted text" : " is a text"));
        return fields[index];
    }
};

struct Section
{
    std::string name;
    int line = 0;
    std::vector<Row> rows;
};

inline Row parse_row(const std::string& text, int line)
{
    Row row;
    row.line = line;
    size_t at = 0;
    for (;;) {
        Field field;
        if (at < text.size() && text[at] == '"') {
            // Texts hold no double quote, so the next one closes the field.
            const size_t close = text.find('"', at + 1);
            if (close == std::string::npos)
                row.Fail("a text without its closing quote");
            field.value = text.substr(at + 1, close - at - 1);
            field.quoted = true;
            at = close + 1;
            if (at < text.size() && text[at] != '|')
                row.Fail("characters after a quoted text");
        } else {
            const size_t bar = text.find('|', at);
            field.value = text.substr(at, bar == std::string::npos ? std::string::npos : bar - at);
            at = bar == std::string::npos ? text.size() : bar;
        }
        row.fields.push_back(std::move(field));
        if (at >= text.size())
            return row;
        ++at;  // the "|"
    }
}

// The sections in file order; throws std::runtime_error naming the line at fault.
inline std::vector<Section> parse(std::istream& in)
{
    std::vector<Section> sections;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.empty() || text[0] == '#')
            continue;
        if (text[0] == '[') {
            if (text.back() != ']' || text.size() < 3)
                throw std::runtime_error("line " + std::to_string(line) + ": a malformed section name");
            sections.push_back(Section{text.substr(1, text.size() - 2), line, {}});
            continue;
        }
        if (sections.empty())
            throw std::runtime_error("line " + std::to_string(line) + ": a row before the first section");
        sections.back().rows.push_back(parse_row(text, line));
    }
    return sections;
}

// The named section; throws when the file has none.
inline const Section& find_section(const std::vector<Section>& sections, const std::string& name)
{
    for (const Section& section : sections) {
        if (section.name == name)
            return section;
    }
    throw std::runtime_error("no section [" + name + "]");
}

} // namespace event_texts_file
