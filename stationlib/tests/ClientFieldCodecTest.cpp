#include "archive/ClientFieldCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Groups worked out by hand: the byte XOR 0xE3, its low nibble spread over the
// even bits of the first pair, its high nibble over the even bits of the second.
const std::string kA = "0444";     // 'A'
const std::string kOne = "0451";   // '1'
const std::string kTwo = "0151";   // '2'
const std::string kThree = "0051"; // '3'
const std::string kZero = "0554";  // decodes to 0

std::string repeat(const std::string& group, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += group;
    return text;
}

struct CodecCase
{
    const char* name;
    std::string encoded;
    int count;
    std::string expected;
};

// Named by its case only, so test listings stay short and stable.
void PrintTo(const CodecCase& c, std::ostream* out)
{
    *out << c.name;
}

class ClientFieldCodecVectors : public ::testing::TestWithParam<CodecCase>
{
};

TEST_P(ClientFieldCodecVectors, Decodes)
{
    const CodecCase& c = GetParam();
    EXPECT_EQ(scramble_client_field(c.encoded, c.count), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, ClientFieldCodecVectors,
    ::testing::Values(
        CodecCase{"ZeroDigitsGiveTheKey", repeat("0000", 10), 10, std::string(10, '\xE3')},
        CodecCase{"SingleLetter", kA, 1, "A"},
        CodecCase{"Digits", kOne + kTwo + kThree, 3, "123"},
        CodecCase{"ZeroByteEndsTheText", kOne + kTwo + kThree + kZero + repeat(kA, 6), 10, "123"},
        CodecCase{"ZeroByteFirstGivesEmpty", kZero + repeat(kA, 9), 10, ""},
        // Setting every odd bit (| 0xAA per pair) changes nothing.
        CodecCase{"OddBitsIgnored", "AEFBABFBAAFB", 3, "123"},
        CodecCase{"LowerCaseDigits", "aefbabfbaafb", 3, "123"},
        CodecCase{"PairOfEvenBitsSetsLowNibble", "5500", 1, std::string(1, '\xEC')},
        CodecCase{"PairOfOddBitsSetsNothing", "AA00", 1, std::string(1, '\xE3')},
        CodecCase{"TooShort", repeat("0000", 10).substr(1), 10, ""},
        CodecCase{"TooLong", repeat("0000", 10) + "0", 10, ""},
        CodecCase{"EmptyText", "", 10, ""},
        CodecCase{"ZeroCount", "", 0, ""},
        CodecCase{"NegativeCount", "0444", -1, ""},
        // A bad second pair leaves the low nibble of the first, without the key.
        CodecCase{"BadSecondPairKeepsLowNibble", "55G0" + kA, 2, std::string(1, '\x0F')},
        CodecCase{"BadFirstPairStops", kA + "0X44" + kA, 3, "A"},
        CodecCase{"SignIsNotADigit", kA + "+444", 2, "A"}),
    [](const ::testing::TestParamInfo<CodecCase>& info) { return info.param.name; });

} // namespace
