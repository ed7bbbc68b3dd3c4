#include "utils/ParameterLines.h"

#include <boost/lexical_cast.hpp>
#include <gmock/gmock.h>

using ::testing::ThrowsMessage;

namespace {

struct ParameterLinesTest : ::testing::Test
{
    auto parse(const std::string& text)
    {
        return [this, text] { parse_parameter_lines(set, text); };
    }

    std::string name;
    int32_t port = 0;
    double ratio = 0;
    std::pair<ParameterSet*, std::string> hooked;
    ParameterSet set{{{"name", &name}}, {{"port", &port}}, {{"ratio", &ratio}},
                     {{"hook", [this](ParameterSet& s, const std::string& v) { hooked = {&s, v}; }}}};
};

TEST_F(ParameterLinesTest, AssignsEachKindFromTheRestOfTheLine)
{
    parse("# c\n\nport 5000\nname \t a b \nratio\t-2.5\nhook  x y")();
    EXPECT_EQ(std::tie(port, name, ratio), std::make_tuple(5000, "a b ", -2.5));
    EXPECT_EQ(hooked, std::make_pair(&set, std::string("x y")));
    const std::string long_value(5000, 'v');
    parse("  port 6000\n\tname " + long_value)();
    EXPECT_EQ(std::tie(port, name), std::make_tuple(6000, long_value));
}

TEST_F(ParameterLinesTest, BadLineThrowsWithItsNumberAndKeepsEarlierValues)
{
    EXPECT_THAT(parse("port 1\n#\n\n \t \nport 2"), ThrowsMessage<std::runtime_error>("cannot interpret line 4"));
    EXPECT_EQ(port, 1);
    EXPECT_THAT(parse("\n#port 3\nnope 1"), ThrowsMessage<std::runtime_error>("unknown parameter 'nope', line 3"));
    EXPECT_THROW(parse("port 5000 ")(), boost::bad_lexical_cast);
}

TEST_F(ParameterLinesTest, DumpReadsBackToTheSameValues)
{
    std::tie(name, port, ratio) = std::make_tuple("two  words ", -7, 0.125);
    const std::string dump = dump_parameters(set);
    EXPECT_EQ(dump, "name two  words \nport -7\nratio 0.125000");
    std::tie(name, port, ratio) = std::make_tuple("", 0, 0);
    parse(dump)();
    EXPECT_EQ(std::tie(name, port, ratio), std::make_tuple("two  words ", -7, 0.125));
}

} // namespace
