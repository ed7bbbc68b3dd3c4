// Build-time tool: converts the event text file (UTF-8) into a C++ source of
// constant Windows-1251 rows. A character Windows-1251 lacks is an error, never a
// "?": the build fails and names the line.
//
//   GenerateEventTexts <EventTexts.txt> <output.cpp>

#include "EventTextsFile.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using event_texts_file::Row;
using event_texts_file::Section;

constexpr int kContactIdCodes = 700;

class Converter
{
public:
    Converter() : m_cd(iconv_open("WINDOWS-1251", "UTF-8"))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert UTF-8 to WINDOWS-1251");
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The text in Windows-1251; throws for a character that code page lacks.
    std::string Convert(const Row& row, const std::string& utf8)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string in = utf8;
        std::string out(in.size() + 1, '\0');  // never longer than its UTF-8 form
        char* from = in.data();
        size_t fromLeft = in.size();
        char* to = out.data();
        size_t toLeft = out.size();
        if (iconv(m_cd, &from, &fromLeft, &to, &toLeft) == static_cast<size_t>(-1)) {
            const size_t offset = in.size() - fromLeft;
            row.Fail(std::string(errno == EILSEQ ? "a character Windows-1251 lacks" : "text is no valid UTF-8") +
                     " at byte " + std::to_string(offset) + " of \"" + utf8 + "\"");
        }
        out.resize(out.size() - toLeft);
        return out;
    }

private:
    iconv_t m_cd;
};

// A C++ string literal of the bytes; octal escapes stop after three digits, so
// a following character can never join one.
std::string literal(const std::string& bytes)
{
    std::string text = "\"";
    for (unsigned char c : bytes) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\%03o", c);
            text += escape;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text + "\"";
}

void expect_fields(const Row& row, size_t count)
{
    if (row.fields.size() != count)
        row.Fail("expected " + std::to_string(count) + " fields, found " + std::to_string(row.fields.size()));
}

bool is_identifier(const std::string& name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

class Generator
{
public:
    std::string Generate(const std::vector<Section>& sections)
    {
        const std::map<std::string, std::function<void(const Section&)>> writers = {
            {"ResponseCrewStateNames", [this](const Section& s) { CodeTexts(s); }},
            {"ObjectStateNames", [this](const Section& s) { CodeTexts(s); }},
            {"FirmwareLoadResults", [this](const Section& s) { CodeTexts(s); }},
            {"DeviceEventTable", [this](const Section& s) { DeviceEvents(s); }},
            {"ContactIdEventTable", [this](const Section& s) { ContactIdEvents(s); }},
            {"Texts", [this](const Section& s) { Texts(s); }},
        };
        for (const Section& section : sections) {
            if (writers.count(section.name) == 0)
                throw std::runtime_error("line " + std::to_string(section.line) + ": unknown section [" +
                                         section.name + "]");
        }
        for (const auto& writer : writers)
            writer.second(event_texts_file::find_section(sections, writer.first));
        return "// Generated from stationlib/resources/text/EventTexts.txt by the build; edit that file instead.\n"
               "#include \"tables/EventTextTables.h\"\n" +
               m_out.str();
    }

private:
    void CodeTexts(const Section& section)
    {
        m_out << "\nconst CodeText " << section.name << "[] = {\n";
        for (const Row& row : section.rows) {
            expect_fields(row, 2);
            m_out << "    {" << row.Number(0) << ", " << Text(row, 1) << "},\n";
        }
        m_out << "};\n";
    }

    void DeviceEvents(const Section& section)
    {
        m_out << "\nconst DeviceEventRow " << section.name << "[] = {\n";
        for (const Row& row : section.rows) {
            expect_fields(row, 6);
            m_out << "    {" << row.Number(0) << ", " << Text(row, 1) << ", \"\", " << row.Number(2) << ", "
                  << row.Number(3) << ", " << row.Number(4) << ", " << row.Number(5) << ", 0},\n";
        }
        m_out << "};\n";
    }

    // Every code from 1 to 700; a code the file does not name gets the "free" row.
    void ContactIdEvents(const Section& section)
    {
        std::vector<std::string> rows(kContactIdCodes + 1);
        std::string freeTexts;
        for (const Row& row : section.rows) {
            expect_fields(row, 3);
            const std::string texts = Text(row, 1) + ", " + Text(row, 2);
            if (row.fields[0].value == "free") {
                freeTexts = texts;
                continue;
            }
            const long code = row.Number(0);
            if (code < 1 || code > kContactIdCodes)
                row.Fail("code outside 1.." + std::to_string(kContactIdCodes));
            if (!rows[code].empty())
                row.Fail("code " + std::to_string(code) + " listed twice");
            rows[code] = texts;
        }
        if (freeTexts.empty())
            throw std::runtime_error("line " + std::to_string(section.line) + ": no \"free\" row");
        m_out << "\nconst ContactIdEventRow " << section.name << "[] = {\n";
        for (int code = 1; code <= kContactIdCodes; ++code)
            m_out << "    {" << code << ", -1, -1, " << (rows[code].empty() ? freeTexts : rows[code]) << "},\n";
        m_out << "};\n";
    }

    void Texts(const Section& section)
    {
        m_out << "\nnamespace event_texts {\n";
        for (const Row& row : section.rows) {
            expect_fields(row, 2);
            if (row.fields[0].quoted || !is_identifier(row.fields[0].value))
                row.Fail("a text's name must be an identifier");
            m_out << "const char " << row.fields[0].value << "[] = " << Text(row, 1) << ";\n";
        }
        m_out << "} // namespace event_texts\n";
    }

    std::string Text(const Row& row, size_t index) { return literal(m_converter.Convert(row, row.Text(index))); }

    Converter m_converter;
    std::ostringstream m_out;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <EventTexts.txt> <output.cpp>\n", argv[0]);
        return 2;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read the file");
        const std::string source = Generator().Generate(event_texts_file::parse(in));
        // Written only when all went well, so a failed run leaves no stale output.
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out << source;
        if (!out.flush())
            throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& e) {
        std::remove(argv[2]);
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
