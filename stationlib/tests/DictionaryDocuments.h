#pragma once

// The constant documents as the station hands them over, and the library's own
// dictionaries filled with them for one test.

#include "base/CByteStream.h"
#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/LibraryGlobals.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// A dictionary document of the given type with these template entries.
inline std::string dictionary_document(int32_t type, const std::string& entries)
{
    return "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"no\" ?>\n<Root><Sign>Dict</Sign>"
           "<General><Typ>" + std::to_string(type) + "</Typ><Name>d" + std::to_string(type) +
           "</Name></General><Template>" + entries + "</Template></Root>\n";
}

// A set as the station sends it: the count, then length-prefixed texts; the
// cursor back at the start.
inline void write_document_set(CByteStream& stream, int32_t count, const std::vector<std::string>& texts)
{
    ASSERT_TRUE(stream.WriteInt32(count));
    for (const std::string& text : texts)
        ASSERT_TRUE(stream.WriteStdString(text));
    stream.Rewind();
}

inline void write_document_set(CByteStream& stream, const std::vector<std::string>& texts)
{
    write_document_set(stream, static_cast<int32_t>(texts.size()), texts);
}

// Puts a document of one type with these entries into the library's
// dictionaries, and empties them again when the test is done.
class DictionaryScope
{
public:
    DictionaryScope(int32_t type, const std::string& entries) { Fill({dictionary_document(type, entries)}); }
    ~DictionaryScope() { Fill({}); }
    DictionaryScope(const DictionaryScope&) = delete;
    DictionaryScope& operator=(const DictionaryScope&) = delete;

private:
    static void Fill(const std::vector<std::string>& documents)
    {
        CByteStream stream;
        write_document_set(stream, documents);
        EXPECT_TRUE(const_dictionaries().AddDocuments(&stream));
    }
};

// The same for the state dictionary.
class StateDictionaryScope : public DictionaryScope
{
public:
    explicit StateDictionaryScope(const std::string& entries) : DictionaryScope(4, entries) {}
};
