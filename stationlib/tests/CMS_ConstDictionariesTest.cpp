#include "dictionaries/CMS_ConstDictionaries.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "base/XmlHelpers.h"
#include "DictionaryDocuments.h"

namespace {

struct Masks
{
    uint32_t clear;
    uint32_t set;
    bool operator==(const Masks& other) const { return clear == other.clear && set == other.set; }
};

Masks masks_of(const CMS_ConstDictionaries& dictionaries, int32_t entry, int32_t sub)
{
    Masks masks{0, 0xDEADBEEF};
    dictionaries.GetStateMasks(entry, sub, masks.clear, masks.set);
    return masks;
}

const char kStates[] =
    "<e id=\"3\" text=\"Sensor\" priority=\"0x10\">"
    "<sub id=\"5\" text=\"Alarm\" s0=\"2\" s1=\"4\"/>"
    "<other id=\"6\" text=\"Edges\" s0=\"1\" s1=\"31\"/>"
    "<sub id=\"7\" text=\"Out of range\" s0=\"32\" s1=\"0\"/>"
    "<sub id=\"8\" text=\"Negative\" s0=\"-1\" s1=\"-31\"/>"
    "<sub id=\"9\" text=\"Missing bits\"/>"
    "<sub id=\"10\" s0=\"3\" s1=\"3\"/>"
    "</e>"
    "<e id=\"0x20\" text=\"Hex\"><sub id=\"1\" text=\"One\" s0=\"0\" s1=\"1\"/></e>";

TEST(StateDictionaryTest, MasksOfEntryAndSubEntry)
{
    CMS_ConstDictionaries dictionaries;
    CByteStream stream;
    write_document_set(stream, {dictionary_document(4, kStates)});
    ASSERT_TRUE(dictionaries.AddDocuments(&stream));

    struct Case
    {
        int32_t entry;
        int32_t sub;
        Masks masks;
    };
    const Case cases[] = {
        {3, 5, {0xFFFFFFFD, 0x00000008}},
        {65539, 5, {0xFFFFFFFD, 0x00000008}},  // the entry id is cut to 16 bits
        {3, 6, {0xFFFFFFFE, 0x40000000}},      // bits 1 and 31 are the ends of the range
        {3, 7, {0xFFFFFFFF, 0}},               // 32 and 0 name no bit
        {3, 8, {0xFFFFFFFF, 0}},               // nor do negative numbers
        {3, 9, {0xFFFFFFFF, 0}},               // no s0 and s1 at all
        {3, 10, {0xFFFFFFFF, 0}},              // a sub-entry without text is not used
        {32, 1, {0xFFFFFFFF, 1}},              // entry ids may be hexadecimal
        {4, 5, {0xFFFFFFFF, 0}},               // no such entry
        {3, 99, {0xFFFFFFFF, 0}},              // no such sub-entry
        {-65533, 5, {0xFFFFFFFD, 0x00000008}}, // 0xFFFF0003 is entry 3 too
    };
    for (const Case& c : cases)
        EXPECT_EQ(masks_of(dictionaries, c.entry, c.sub), c.masks) << c.entry << "/" << c.sub;

    const StateDictionary& states = dictionaries.GetDictionaries()->states;
    ASSERT_EQ(states.GetEntries().count(3), 1u);
    const StateDictionary::Entry& entry = states.GetEntries().at(3);
    EXPECT_EQ(entry.text, "Sensor");
    EXPECT_EQ(entry.priority, 16);
    EXPECT_EQ(entry.sub_entries.size(), 5u);
    EXPECT_EQ(entry.sub_entries.at(6).text, "Edges");
}

TEST(CodeDictionaryTest, TextsByCodeByteAndPrioritiesByLowByte)
{
    CMS_ConstDictionaries dictionaries;
    CByteStream stream;
    write_document_set(stream, {dictionary_document(8, "<c id=\"0x41\" text=\"Letter A\" priority=\"2\"/>"
                                              "<c id=\"66\" text=\"first B\"/>"
                                              "<x id=\"66\" text=\"second B\"/>"
                                              "<c id=\"0x143\" text=\"wide\" priority=\"0x9\"/>"
                                              "<c id=\"68\"/>"
                                              "<c text=\"no id\"/>")});
    ASSERT_TRUE(dictionaries.AddDocuments(&stream));

    EXPECT_EQ(dictionaries.GetText(65), "Letter A");
    EXPECT_EQ(dictionaries.GetText(66), "second B");
    EXPECT_EQ(dictionaries.GetText(67), "");  // 0x143 is not a code byte
    EXPECT_EQ(dictionaries.GetText(68), "");
    EXPECT_EQ(dictionaries.GetText(0), "");

    const CodeDictionary& codes = dictionaries.GetDictionaries()->codes;
    EXPECT_EQ(codes.GetText(0x143), "wide");
    EXPECT_EQ(codes.GetPriorities(), (std::map<uint8_t, int32_t>{{0x41, 2}, {0x42, 0}, {0x43, 9}}));
}

TEST(TextDictionaryTest, IdsAreReadAsTheShellReadsThem)
{
    TiXmlDocument document;
    ASSERT_TRUE(xml_parse_text(document, dictionary_document(3, "<e id=\"12abc\" text=\"twelve\"/>"
                                                                "<e id=\"-3\" text=\"minus three\"/>"
                                                                "<e id=\"+4\" text=\"four\"/>"
                                                                "<e id=\"0x10\" text=\"zero\"/>"
                                                                "<e id=\"4294967297\" text=\"wrapped\"/>"
                                                                "<e id=\"7\"/>")));
    TextDictionary dictionary(3);
    dictionary.Load(&document);
    // "0x10" reads only its leading 0; "4294967297" wraps to 1.
    EXPECT_EQ(dictionary.GetTexts(), (std::map<int32_t, std::string>{
                                         {12, "twelve"}, {-3, "minus three"}, {4, "four"}, {0, "zero"}, {1, "wrapped"}}));

    // Loading again starts from empty; a document without Root.Template leaves it so.
    TiXmlDocument bare;
    ASSERT_TRUE(xml_parse_text(bare, "<Root><General><Typ>3</Typ></General></Root>"));
    dictionary.Load(&bare);
    EXPECT_TRUE(dictionary.GetTexts().empty());
    dictionary.Load(&document);
    dictionary.Load(nullptr);
    EXPECT_TRUE(dictionary.GetTexts().empty());
}

TEST(ParameterDictionaryTest, ParameterValuesOfEachEntry)
{
    TiXmlDocument document;
    ASSERT_TRUE(xml_parse_text(
        document, dictionary_document(2, "<p id=\"0x10\" text=\"Mode\"><ParameterLookup>"
                                         "<v id=\"1\" text=\"On\"/><v id=\"2x\" text=\"Off\"/><v id=\"3\"/>"
                                         "</ParameterLookup></p>"
                                         "<p id=\"5\" text=\"Old\"><ParameterLookup><v id=\"1\" text=\"gone\"/>"
                                         "</ParameterLookup></p>"
                                         "<p id=\"5\" text=\"New\"/>"
                                         "<p id=\"6\" text=\"Plain\"/>")));
    ParameterDictionary dictionary(2);
    dictionary.Load(&document);
    EXPECT_EQ(dictionary.GetTexts(), (std::map<int32_t, std::string>{{16, "Mode"}, {5, "New"}, {6, "Plain"}}));
    EXPECT_EQ(dictionary.GetParameters(),
              (std::map<int32_t, ParameterDictionary::Lookup>{{16, {{1, "On"}, {2, "Off"}}}}));
}

TEST(ConstDictionariesTest, EachDictionaryReadsTheDocumentOfItsType)
{
    std::vector<std::string> texts;
    for (int32_t type = 14; type >= 1; --type)
        texts.push_back(dictionary_document(type, "<e id=\"1\" text=\"T" + std::to_string(type) + "\"/>"));
    CMS_ConstDictionaries dictionaries;
    CByteStream stream;
    write_document_set(stream, texts);
    ASSERT_TRUE(dictionaries.AddDocuments(&stream));

    const auto loaded = dictionaries.GetDictionaries();
    for (int32_t type : {3, 5, 6, 7, 9, 10, 11, 12, 13, 14}) {
        const TextDictionary* dictionary = loaded->FindText(type);
        ASSERT_NE(dictionary, nullptr) << type;
        EXPECT_EQ(dictionary->GetTexts(), (std::map<int32_t, std::string>{{1, "T" + std::to_string(type)}})) << type;
    }
    for (int32_t type : {1, 2, 4, 8, 15})
        EXPECT_EQ(loaded->FindText(type), nullptr) << type;
    EXPECT_EQ(loaded->parameters.GetTexts().at(1), "T2");
    EXPECT_EQ(loaded->states.GetEntries().at(1).text, "T4");
    EXPECT_EQ(dictionaries.GetText(1), "T8");

    // The whole text of one document, as the host asks for it.
    TiXmlDocument reparsed;
    ASSERT_TRUE(xml_parse_text(reparsed, dictionaries.GetDocumentText(8)));
    std::string name;
    xml_get_path_text_c(name, &reparsed, "Root.General.Name", "");
    EXPECT_EQ(name, "d8");
}

TEST(ConstDictionariesTest, TruncatedStreamKeepsTheDictionaries)
{
    CMS_ConstDictionaries dictionaries;
    CByteStream stream;
    write_document_set(stream, {dictionary_document(8, "<c id=\"65\" text=\"kept\"/>")});
    ASSERT_TRUE(dictionaries.AddDocuments(&stream));
    const auto before = dictionaries.GetDictionaries();

    CByteStream truncated;
    write_document_set(truncated, 2, {dictionary_document(8, "<c id=\"65\" text=\"lost\"/>")});
    EXPECT_FALSE(dictionaries.AddDocuments(&truncated));
    EXPECT_EQ(dictionaries.GetDictionaries(), before);
    EXPECT_EQ(dictionaries.GetText(65), "kept");

    // A successful fill without a code document empties that dictionary.
    CByteStream other;
    write_document_set(other, {dictionary_document(4, kStates)});
    ASSERT_TRUE(dictionaries.AddDocuments(&other));
    EXPECT_EQ(dictionaries.GetText(65), "");
    EXPECT_EQ(before->codes.GetText(65), "kept");  // an older generation stays readable
}

// An answer of the dictionary request holding a state document (entry 3, sub 5)
// and a code document (code 65).
std::vector<uint8_t> refill_answer(int s0, int s1, const char* code_text)
{
    CByteStream stream;
    const std::string states = "<e id=\"3\" text=\"S\"><sub id=\"5\" text=\"A\" s0=\"" + std::to_string(s0) +
                               "\" s1=\"" + std::to_string(s1) + "\"/></e>";
    write_document_set(stream, {dictionary_document(4, states),
                                dictionary_document(8, std::string("<c id=\"65\" text=\"") + code_text + "\"/>")});
    return std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetLength());
}

bool refill(CMS_ConstDictionaries& dictionaries, const std::vector<uint8_t>& answer)
{
    CByteStream stream;
    return stream.Attach(answer.data(), static_cast<int32_t>(answer.size())) && dictionaries.AddDocuments(&stream);
}

// Two answers that differ in every value a reader looks at.
const Masks kAnswerMasks[] = {{0xFFFFFFFD, 0x8}, {0xFFFFFFFB, 0x10}};
const char* const kAnswerCodes[] = {"old", "new"};

TEST(ConstDictionariesTest, ReadersSeeOneGenerationOrTheOtherWhileRefilled)
{
    const std::vector<uint8_t> answers[] = {refill_answer(2, 4, kAnswerCodes[0]), refill_answer(3, 5, kAnswerCodes[1])};
    CMS_ConstDictionaries dictionaries;
    ASSERT_TRUE(refill(dictionaries, answers[0]));

    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::atomic<long> reads{0};
    std::thread reader([&] {
        while (!done.load()) {
            const Masks masks = masks_of(dictionaries, 3, 5);
            if (!(masks == kAnswerMasks[0]) && !(masks == kAnswerMasks[1]))
                ++bad;
            const std::string text = dictionaries.GetText(65);
            if (text != kAnswerCodes[0] && text != kAnswerCodes[1])
                ++bad;
            const CMS_ContainerXml::Document document = dictionaries.FindByType(4);
            if (!document || dictionaries.GetDocumentText(8).empty())
                ++bad;
            ++reads;
        }
    });
    int failed_refills = 0;
    for (int i = 0; i < 3000; ++i) {
        if (!refill(dictionaries, answers[i % 2]))
            ++failed_refills;
    }
    // Make sure the reader overlapped the refills at least a little.
    while (reads.load() < 100)
        std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_EQ(failed_refills, 0);
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(masks_of(dictionaries, 3, 5), kAnswerMasks[1]);
}

TEST(ConstDictionariesTest, EachGenerationComesFromOneAnswerWhileTwoLoginsRefill)
{
    // Two instances log in at once, each refilling with its own answer; every
    // generation a reader takes holds the states and codes of one answer.
    const std::vector<uint8_t> answers[] = {refill_answer(2, 4, kAnswerCodes[0]), refill_answer(3, 5, kAnswerCodes[1])};
    CMS_ConstDictionaries dictionaries;
    ASSERT_TRUE(refill(dictionaries, answers[0]));

    std::atomic<int> writers_left{2};
    std::atomic<int> failed_refills{0};
    auto writer = [&](const std::vector<uint8_t>& answer) {
        for (int i = 0; i < 1500; ++i) {
            if (!refill(dictionaries, answer))
                ++failed_refills;
        }
        --writers_left;
    };
    std::thread first(writer, std::cref(answers[0]));
    std::thread second(writer, std::cref(answers[1]));
    int mixed = 0;
    while (writers_left.load() > 0) {
        const auto generation = dictionaries.GetDictionaries();
        Masks masks{0, 0};
        generation->states.GetMasks(3, 5, masks.clear, masks.set);
        const std::string code = generation->codes.GetText(65);
        const bool of_first = masks == kAnswerMasks[0] && code == kAnswerCodes[0];
        const bool of_second = masks == kAnswerMasks[1] && code == kAnswerCodes[1];
        if (!of_first && !of_second)
            ++mixed;
    }
    first.join();
    second.join();
    EXPECT_EQ(failed_refills.load(), 0);
    EXPECT_EQ(mixed, 0);
}

} // namespace
