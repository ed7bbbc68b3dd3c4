// The event and state text tables, their formatters and the event filter text.

#include "DictionaryDocuments.h"
#include "EventTextsFile.h"

#include "base/CByteStream.h"
#include "base/StringHelpers.h"
#include "client/CMS_ServerClient.h"
#include "records/CMS_SimpleEventData.h"
#include "tables/EventDataFormatters.h"
#include "tables/EventFilter.h"
#include "tables/EventTextTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ansi(const std::string& utf8)
{
    std::string text = utf8;
    utf8_to_ansi(text);
    return text;
}

std::string utf8(const char* ansiText)
{
    std::string text = ansiText;
    ansi_to_utf8(text);
    return text;
}

std::string hex(const std::string& bytes)
{
    return bytes_to_hex(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()), 0);
}

// A heap block of exactly the text's bytes, so a read past it is caught.
std::unique_ptr<char[]> exact_block(const std::string& bytes)
{
    std::unique_ptr<char[]> block(new char[bytes.size()]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    return block;
}

TEST(EventDataFormattersTest, TextFormattersStopAtTheZeroOrTheBlockEnd)
{
    struct Case
    {
        const char* name;
        std::string block;
        int32_t length;
        std::string text;
        std::string textMin2;
    };
    const Case cases[] = {
        {"no zero byte", "abcd", 4, "abcd", "abcd"},
        {"shorter than the block", "abcd", 3, "abc", "abc"},
        {"embedded zero", std::string("ab\0cd", 5), 5, "ab", "ab"},
        {"length 0", "a", 0, "", ""},
        {"length 1", "a", 1, "a", ""},
        {"length 2", "ab", 2, "ab", "ab"},
        {"negative length", "ab", -1, "", ""},
    };
    for (const Case& c : cases) {
        const auto block = exact_block(c.block);
        EXPECT_EQ(FormatTextData(block.get(), c.length), c.text) << c.name;
        EXPECT_EQ(FormatTextDataMin2(block.get(), c.length), c.textMin2) << c.name;
    }
    EXPECT_EQ(FormatTextData(nullptr, 4), "");
    EXPECT_EQ(FormatTextDataMin2(nullptr, 4), "");
}

TEST(EventDataFormattersTest, CodeTextComesFromTheCodeDictionaryForFourBytesOnly)
{
    const DictionaryScope codes(8, "<e id=\"0x41\" text=\"Code A\"/>");
    const auto block = exact_block(std::string("\x41\0\0\0\x42", 5));
    const uint8_t miss[4] = {0x42, 0x41, 0x41, 0x41};
    EXPECT_EQ(FormatCodeText(block.get(), 4), "Code A");
    EXPECT_EQ(FormatCodeText(miss, 4), "");
    EXPECT_EQ(FormatCodeText(block.get(), 3), "");
    EXPECT_EQ(FormatCodeText(block.get(), 5), "");
    EXPECT_EQ(FormatCodeText(nullptr, 4), "");
}

TEST(EventDataFormattersTest, FirmwareResultInWindows1251AtAnyAlignment)
{
    struct Case
    {
        int32_t code;
        const char* hex;
    };
    const Case cases[] = {
        {36, "D0E5E7F3EBFCF2E0F23A20D3F1F2F0EEE9F1F2E2EE20EDE520EEF2E2E5F7E0E5F2"},  // "...Устройство не отвечает"
        {20, "D0E5E7F3EBFCF2E0F23A20CAEEE4203230"},                                  // "...Код 20"
        {-7, "D0E5E7F3EBFCF2E0F23A20CAEEE4202D37"},                                  // "...Код -7"
    };
    for (const Case& c : cases) {
        uint8_t block[5] = {};
        const uint32_t bits = static_cast<uint32_t>(c.code);
        for (int i = 0; i < 4; ++i)
            block[1 + i] = static_cast<uint8_t>(bits >> (8 * i));
        EXPECT_EQ(hex(FormatFirmwareLoadResult(block + 1, 4)), c.hex) << c.code;
        EXPECT_EQ(FormatFirmwareLoadResult(block + 1, 3), "") << c.code;
    }
    EXPECT_EQ(FormatFirmwareLoadResult(nullptr, 4), "");
}

// The station's own texts, typed here as the station's documentation gives
// them, so a slip in the text file the build converts shows.
TEST(EventTextTablesTest, StateNamesAndFirmwareResultsAreTheStationsTexts)
{
    const std::vector<std::string> crewStates = {
        "Свободен", "Неисправен", "Запрос реагирования", "Реагирование", "Отказ реагирования", "Обед",
        "На объекте"};
    const std::vector<std::string> objectStates = {
        "Не задействован", "Деактивирован", "Снят с охраны", "На охране", "Изменение состояния",
        "Неисправность", "Тревога", "Тревога - Неисправность пожарного ШС", "Тревога - Внимание пожарного ШС",
        "Тревога - Пожар", "Тревога - Неисправность ШС", "Потеря активности", "Снят с охраны под принуждением",
        "Авария TCP/IP", "Неисправность канала", "Подавление объекта", "Потеря связи с объектом",
        "На тех. обслуживании", "Постановка заблокирована"};
    auto expectNames = [](const CodeText* table, size_t count, const std::vector<std::string>& names) {
        ASSERT_EQ(count, names.size());
        for (size_t i = 0; i < count; ++i) {
            EXPECT_EQ(table[i].code, static_cast<int32_t>(i));
            EXPECT_EQ(utf8(table[i].text), names[i]) << i;
        }
    };
    expectNames(ResponseCrewStateNames, kResponseCrewStateCount, crewStates);
    expectNames(ObjectStateNames, kObjectStateCount, objectStates);

    const std::map<int32_t, std::string> results = {
        {0, "Ок"}, {1, "Тип прибора не совпадает"}, {2, "Тип базы не совпадает"},
        {3, "Контрольная сумма неверна"}, {4, "Контрольная сумма EEPROM неверна"}, {5, "Ошибка записи в память"},
        {6, "Устройство занято"}, {7, "Неожидаемый пакет"}, {8, "Загрузка ПО выполнена успешно"},
        {9, "Неизвестный SBIN"}, {10, "Неизвестный тип адреса получателя"},
        {11, "Неизвестный адрес получателя SBIN"}, {12, "Не был получен header-пакет"},
        {13, "Неверный размер SBIN"}, {36, "Устройство не отвечает"}};
    for (int32_t code = -1; code <= 40; ++code) {
        const auto known = results.find(code);
        const std::string expected =
            "Результат: " + (known != results.end() ? known->second : "Код " + std::to_string(code));
        EXPECT_EQ(utf8(FormatFirmwareLoadResult(&code, 4).c_str()), expected);
    }
}

TEST(EventDataFormattersTest, PersonnelDataNamesTheKindOrTheFault)
{
    auto record = [](int32_t kind, bool whole) {
        CByteStream stream;
        stream.WriteInt32(kind);
        stream.WriteStdString("Ivanov");
        stream.WriteStdString("guard");
        stream.WriteStdString("third");
        if (whole) {
            for (int16_t i = 0; i < 3; ++i)
                stream.WriteInt16(i);
            for (int32_t i = 0; i < 5; ++i)
                stream.WriteInt32(i);
        }
        return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetLength());
    };
    const std::string service = record(1, true);
    const std::string object = record(0, true);
    const std::string truncated = record(0, false);
    EXPECT_EQ(FormatPersonnelData(service.data(), static_cast<int32_t>(service.size())),
              ansi("Обслуж. персонал - Ivanov: guard"));
    EXPECT_EQ(FormatPersonnelData(object.data(), static_cast<int32_t>(object.size())),
              ansi("Персонал объекта - Ivanov: guard"));
    EXPECT_EQ(FormatPersonnelData(truncated.data(), static_cast<int32_t>(truncated.size())),
              ansi("Ошибка формата данных, код 2"));
    EXPECT_EQ(FormatPersonnelData(object.data(), -1), ansi("Ошибка формата данных, код 1"));
    EXPECT_EQ(FormatPersonnelData(nullptr, 4), ansi("Нет данных"));
}

TEST(EventTextTablesTest, ContactIdRowsKeepTheirFormAndZeroFill)
{
    for (size_t i = 0; i < kContactIdEventCount; ++i) {
        const ContactIdEventRow& row = ContactIdEventTable[i];
        ASSERT_EQ(row.code, static_cast<int32_t>(i + 1));
        EXPECT_TRUE(row.value1 == -1 && row.value2 == -1) << row.code;
        for (const char* text : {row.russian, row.english}) {
            const size_t length = strnlen(text, kContactIdTextSize);
            ASSERT_LT(length, kContactIdTextSize) << row.code;
            EXPECT_TRUE(std::all_of(text + length, text + kContactIdTextSize, [](char c) { return c == 0; }))
                << row.code;
        }
    }
    // Examples of the published list; the reserved codes in Russian.
    const std::pair<int32_t, const char*> english[] = {
        {100, "Medical"}, {130, "Burglary"}, {300, "System Trouble"}, {401, "O/C by user"}, {602, "Periodic test report"}};
    for (const auto& e : english)
        EXPECT_STREQ(ContactIdEventTable[e.first - 1].english, e.second);
    for (int32_t code : {651, 652, 653})
        EXPECT_EQ(utf8(ContactIdEventTable[code - 1].russian), "Резерв") << code;
}

TEST(EventTextTablesTest, DeviceEventCodesAndGivenPairs)
{
    const int32_t codes[kDeviceEventCount] = {0,  1,  2,  3,  15, 16, 17, 18, 19, 20, 21, 22,  23,  32,  33,  34,  35, 36,
                                              37, 38, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57,  64,  65,  66,  67,  68, 69,
                                              70, 71, 80, 81, 96, 97, 98, 99, 100, 101, 102, 112, 113, 114, 115, 116, 117};
    struct Given
    {
        const char* text;
        int32_t pairs[4];
    };
    const std::map<int32_t, Given> given = {
        {0, {"Постановка / снятие", {3, 13, 3, 14}}},
        {1, {"Постановка / снятие с принуждением", {3, 31, 0, 0}}},
        {15, {"Постановка / снятие глобальных разделов", {3, 13, 3, 14}}},
        {16, {"Охранная тревога", {3, 2, 0, 0}}},
        {17, {"Пожарная тревога", {3, 4, 0, 0}}},
        {20, {"Пожарное внимание", {3, 3, 0, 0}}},
        {21, {"Пожарная тревога + аналоговая величина", {3, 4, 0, 0}}},
        {23, {"Тревога  + аналоговая величина", {3, 2, 0, 0}}},
        {33, {"Основное питание", {3, 12, 3, 11}}},
        {34, {"Резервное питание", {3, 10, 3, 9}}},
        {112, {"Вскрытие корпуса", {3, 16, 3, 15}}},
    };
    const Given none = {"", {0, 0, 0, 0}};
    for (size_t i = 0; i < kDeviceEventCount; ++i) {
        const DeviceEventRow& row = DeviceEventTable[i];
        EXPECT_EQ(row.code, codes[i]);
        EXPECT_STREQ(row.text2, "");
        const auto found = given.find(row.code);
        const Given& expected = found != given.end() ? found->second : none;
        const int32_t pairs[4] = {row.firstType, row.firstSubType, row.secondType, row.secondSubType};
        EXPECT_TRUE(std::equal(pairs, pairs + 4, expected.pairs)) << row.code;
        if (found != given.end()) {
            EXPECT_EQ(utf8(row.text), expected.text);
        }
    }
}

TEST(EventTextTablesTest, FormatterTableRows)
{
    std::map<EventDataFormatter, std::vector<std::pair<int32_t, int32_t>>> byFormatter;
    for (const EventDataFormatterRow& row : EventDataFormatterTable)
        byFormatter[row.formatter].push_back({row.type, row.subType});
    using Rows = std::vector<std::pair<int32_t, int32_t>>;
    EXPECT_EQ(byFormatter[FormatPersonnelData], (Rows{{2, 39}}));
    EXPECT_EQ(byFormatter[FormatFirmwareLoadResult], (Rows{{3, 95}}));
    EXPECT_EQ(byFormatter[FormatTextDataMin2], (Rows{{3, 13}, {3, 14}, {3, 31}, {3, 25}}));
    EXPECT_EQ(byFormatter[FormatTextData], (Rows{{3, 34}, {4, 0}, {4, 1}, {4, 2}, {4, 4}, {4, 5}, {4, 6}}));
    EXPECT_EQ(byFormatter[FormatCodeText].size(), 15u);
    EXPECT_EQ(byFormatter[nullptr].size(), 36u);
    // Type 2 SubType 39 closes the Type 2 rows.
    EXPECT_EQ(EventDataFormatterTable[28].subType, 39);
    EXPECT_EQ(EventDataFormatterTable[29].type, 5);
}

// Every table text reads back as its line in the UTF-8 table file (the formatter
// texts are checked by the formatters' tests).
TEST(EventTextTablesTest, EveryTextConvertsBackToItsSource)
{
    std::ifstream in(EVENT_TEXTS_FILE, std::ios::binary);
    ASSERT_TRUE(in) << EVENT_TEXTS_FILE;
    const auto sections = event_texts_file::parse(in);
    auto codeTexts = [&](const char* name, const CodeText* table, size_t count) {
        const auto& rows = event_texts_file::find_section(sections, name).rows;
        ASSERT_EQ(rows.size(), count) << name;
        for (size_t i = 0; i < count; ++i) {
            EXPECT_EQ(table[i].code, rows[i].Number(0)) << name;
            EXPECT_EQ(utf8(table[i].text), rows[i].Text(1)) << name;
        }
    };
    codeTexts("ResponseCrewStateNames", ResponseCrewStateNames, kResponseCrewStateCount);
    codeTexts("ObjectStateNames", ObjectStateNames, kObjectStateCount);
    codeTexts("FirmwareLoadResults", FirmwareLoadResults, kFirmwareLoadResultCount);

    const auto& devices = event_texts_file::find_section(sections, "DeviceEventTable").rows;
    ASSERT_EQ(devices.size(), kDeviceEventCount);
    for (size_t i = 0; i < kDeviceEventCount; ++i)
        EXPECT_EQ(utf8(DeviceEventTable[i].text), devices[i].Text(1));

    std::vector<const event_texts_file::Row*> contactId(kContactIdEventCount + 1);
    const event_texts_file::Row* freeRow = nullptr;
    for (const auto& row : event_texts_file::find_section(sections, "ContactIdEventTable").rows) {
        if (row.fields.at(0).value == "free")
            freeRow = &row;
        else
            contactId.at(static_cast<size_t>(row.Number(0))) = &row;
    }
    ASSERT_NE(freeRow, nullptr);
    EXPECT_EQ(std::count(contactId.begin() + 1, contactId.end(), nullptr), 475);
    for (const ContactIdEventRow& row : ContactIdEventTable) {
        const event_texts_file::Row* source = contactId[static_cast<size_t>(row.code)] ? contactId[row.code] : freeRow;
        EXPECT_EQ(utf8(row.russian), source->Text(1)) << row.code;
        EXPECT_EQ(utf8(row.english), source->Text(2)) << row.code;
    }
}

TEST(EventFilterTest, TemplateForm)
{
    const std::string text = event_texts::EventFilterTemplate;
    EXPECT_EQ(text.size(), 764u);
    size_t places = 0;
    for (size_t at = text.find("%d"); at != std::string::npos; at = text.find("%d", at + 2))
        ++places;
    EXPECT_EQ(places, 37u);
    EXPECT_EQ(text.rfind(" AND ((event_type=%d AND event_subtype!=%d) OR (event_type=%d AND (", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 21), "))) ORDER BY event_id");
}

// Built on several threads at once, the instances leave one text: sensor events
// but subtype 20, and the object state events less subtypes 4 and 5.
TEST(EventFilterTest, FilledOnceWhateverThreadsBuildConnections)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([] { CMS_ServerClient client; });
    for (std::thread& thread : threads)
        thread.join();

    const std::string& text = event_filter_text();
    const std::string head = " AND ((event_type=3 AND event_subtype!=20) OR (event_type=2 AND (";
    ASSERT_EQ(text.rfind(head, 0), 0u) << text;
    EXPECT_EQ(text.find("%d"), std::string::npos);
    std::vector<int32_t> subtypes;
    const std::string tail = text.substr(head.size());
    const std::regex alternative("event_subtype=(\\d+)");
    for (auto it = std::sregex_iterator(tail.begin(), tail.end(), alternative); it != std::sregex_iterator(); ++it)
        subtypes.push_back(std::stoi((*it)[1]));
    std::vector<int32_t> expected;
    CMS_SimpleEventData event;
    event.Type = 2;
    for (int16_t subtype = 0; subtype < 100; ++subtype) {
        event.SubType = subtype;
        if (event.IsStateEvent() && subtype != 4 && subtype != 5)
            expected.push_back(subtype);
    }
    EXPECT_EQ(subtypes, expected);
}

} // namespace
