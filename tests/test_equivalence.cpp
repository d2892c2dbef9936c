// The indexed grouping and the append-only writer produce the same file as the plain
// algorithms, byte for byte. The fast way runs twice: as it is, and with every field read
// ahead from the file however small the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "FieldReadAhead.h"
#include "PlainAlgorithms.h"
#include "TestFiles.h"

namespace {

std::string Field(int i_stash, int i_day, double d_level, const std::string& s_extra)
{
    return "{\"stash\": " + std::to_string(i_stash) + ", \"vt\": [1970, 1, " + std::to_string(i_day) +
           ", 0, 0, 0], \"blev\": " + std::to_string(d_level) + s_extra + "}";
}

// Fields of several grids, level types, processing codes and meaning periods, with gaps,
// duplicates and a second time axis, shuffled into a random order.
std::string RandomDescription(unsigned int i_seed)
{
    std::mt19937 x_random(i_seed);
    std::vector<std::string> x_fields;
    const double cd_pressures[] = {1000, 850, 500};
    for (int i_day = 1; i_day <= 4; ++i_day)
        for (double d_level : cd_pressures)
            if (x_random() % 5 != 0)  // leaves some (time, level) pairs out
                x_fields.push_back(Field(16203, i_day, d_level, ", \"lbvc\": 8"));
    // Fields without packing rules, large enough to lie on pages of their own, so that they
    // are read ahead from the file rather than taken from the pages packing changed.
    for (int i_day = 1; i_day <= 3; ++i_day)
        for (double d_level : {1000.0, 500.0})
            if (x_random() % 4 != 0)
                x_fields.push_back(Field(16202, i_day, d_level, ", \"lbvc\": 8, \"rows\": 32, \"cols\": 48"));
    x_fields.push_back(Field(16203, 5, 850, ", \"lbvc\": 8, \"lbproc\": 8192"));  // a variable of its own
    for (int i_day = 1; i_day <= 3; ++i_day)
        x_fields.push_back(Field(3236, i_day, 1.5, ", \"lbvc\": 1, \"rows\": 6, \"cols\": 8"));
    x_fields.push_back(Field(3236, 2, 1.5, ", \"lbvc\": 1, \"rows\": 6, \"cols\": 8"));  // duplicate
    for (int i_day = 1; i_day <= 2; ++i_day)
        for (double d_b : {0.5, 0.25})
            x_fields.push_back(Field(24, i_day, d_b, ", \"lbvc\": 9, \"bhlev\": 500.0, \"lbcode\": 101, "
                                     "\"bplat\": 37.5, \"bplon\": 177.5, \"bzy\": -5.0, \"bdy\": 0.5, "
                                     "\"bzx\": 350.0, \"bdx\": 0.5, \"rows\": 4, \"cols\": 5"));
    for (int i_day = 1; i_day <= 3; ++i_day)
        x_fields.push_back(Field(5216, i_day, 0.0, ", \"lbvc\": 129, \"pseudo\": " +
                                                       std::to_string(1 + static_cast<int>(x_random() % 2)) +
                                                       ", \"lbproc\": 128, \"lbtim\": 122, \"dt\": [1970, 2, 1, 0, 0, 0]"));
    x_fields.push_back(Field(30, 7, 0.0, ", \"lbvc\": 2, \"lbproc\": 4096, \"lbuser1\": 2, \"ints\": "
                                         "[1,2,3,4,5,6,7,8,9,10,11,12]"));
    x_fields.push_back(Field(31, 1, 0.0, ", \"lbvc\": 1, \"lbuser1\": 3, \"ints\": [1,-2,300,4,5,6,7,8,9,10,11,12]"));
    // One grid of more than a million points, which the fast way writes in blocks of rows.
    if (i_seed == 1)
        x_fields.push_back(Field(16204, 1, 850.0, ", \"lbvc\": 8, \"rows\": 1030, \"cols\": 1030"));
    std::shuffle(x_fields.begin(), x_fields.end(), x_random);
    std::string s_json = "{\"calendar\": 2, \"fields\": [";
    for (size_t i_field = 0; i_field < x_fields.size(); ++i_field)
        s_json += (i_field ? "," : "") + x_fields[i_field];
    return s_json + "]}";
}

const char* const cs_packing = R"(<packing>
  <rule section="3" id="236" pack="2"/>
  <rule section="0" id="24" pack="1" crop="1"/>
  <rule section="16" id="203" skip="2"/>
  <rule section="5" id="216" avg="2"/>
</packing>)";

enum class Way { Plain, Fast, FastReadingAhead };

std::string Convert(const TempDir& x_dir, const std::string& s_input, const std::string& s_name, Way x_way)
{
    std::string s_in = x_dir.File(s_name);
    WriteTextFile(s_in, ReadFileBytes(s_input));
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    WriteTextFile(x_cfg.s_pack, cs_packing);
    const long long i_default_minimum = ReadAheadMinimum();
    SetPlainAlgorithms(x_way == Way::Plain);
    if (x_way == Way::FastReadingAhead)
        SetReadAheadMinimum(0);
    const Outcome x_out = ConvertThroughEntryPoint(s_in, x_cfg);
    SetPlainAlgorithms(false);
    SetReadAheadMinimum(i_default_minimum);
    EXPECT_EQ(x_out.i_result, 0) << x_out.s_stderr;
    return s_in + ".nc";
}

}  // namespace

TEST(Equivalence, IndexedAndPlainAlgorithmsWriteTheSameFile)
{
    for (unsigned int i_seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        TempDir x_dir;
        std::string s_input = x_dir.File("input.um");
        ASSERT_FALSE(GenerateUM(RandomDescription(i_seed), s_input).empty());
        const std::string s_plain = ReadFileBytes(Convert(x_dir, s_input, "plain.um", Way::Plain));
        EXPECT_FALSE(s_plain.empty());
        for (Way x_way : {Way::Fast, Way::FastReadingAhead}) {
            std::string s_fast = Convert(x_dir, s_input, x_way == Way::Fast ? "fast.um" : "ahead.um", x_way);
            EXPECT_TRUE(ReadFileBytes(s_fast) == s_plain) << "seed " << i_seed << (x_way == Way::Fast ? "" : " read ahead");
        }
    }
}
