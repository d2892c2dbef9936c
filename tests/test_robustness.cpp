// Hostile input never crashes, corrupts or overwrites: truncated files, bad header words,
// checksums of inputs and existing outputs, and a writer that fails mid-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "tessold.h"

namespace {

// Thirty fields of three diagnostics (five times on two levels each), with constants sections.
std::string LadderDescription()
{
    std::string s_fields;
    const int ci_stash[] = {16203, 3236, 24};
    for (int i_var = 0; i_var < 3; ++i_var)
        for (int i_time = 1; i_time <= 5; ++i_time)
            for (int i_level = 0; i_level < 2; ++i_level) {
                if (!s_fields.empty())
                    s_fields += ",";
                s_fields += "{\"stash\": " + std::to_string(ci_stash[i_var]) +
                            ", \"blev\": " + std::to_string(850 - 350 * i_level) +
                            ", \"vt\": [1970, 1, " + std::to_string(i_time) + ", 0, 0, 0]}";
            }
    return "{\"int_consts\": 46, \"real_consts\": 38, \"level_consts\": [3, 4], "
           "\"row_consts\": [3, 2], \"spare\": 2, \"fields\": [" + s_fields + "]}";
}

// Every byte offset the layout report names: the section boundaries.
std::set<long> SectionBoundaries(const std::string& s_layout)
{
    std::set<long> x_offsets;
    std::regex x_number("\\[(\\d+), (\\d+)\\]");
    for (std::sregex_iterator it(s_layout.begin(), s_layout.end(), x_number), end; it != end; ++it) {
        x_offsets.insert(std::stol((*it)[1]));
        x_offsets.insert(std::stol((*it)[2]));
    }
    return x_offsets;
}

// Checks the promises every run keeps: a result of 0 or 1, an "Error: " line with 1, the
// input unchanged, and no output when the run failed before the writer began.
void ExpectPoliteOutcome(const Outcome& x_out, const std::string& s_in, const std::string& s_input_bytes,
                         const std::string& s_context)
{
    ASSERT_TRUE(x_out.i_result == 0 || x_out.i_result == 1) << s_context;
    if (x_out.i_result == 1) {
        EXPECT_NE(x_out.s_stderr.find("Error: "), std::string::npos) << s_context;
        EXPECT_TRUE(x_out.s_stdout.empty()) << s_context;
        EXPECT_FALSE(PathExists(s_in + ".nc")) << s_context << ": " << x_out.s_stderr;
    } else {
        EXPECT_TRUE(PathExists(s_in + ".nc")) << s_context;
    }
    EXPECT_EQ(ReadFileBytes(s_in), s_input_bytes) << s_context;
    std::remove((s_in + ".nc").c_str());
}

// Writes the thirty-field file; its layout report and bytes come back.
bool GenerateLadderFile(const TempDir& x_dir, std::string& s_layout, std::string& s_bytes)
{
    std::string s_path = x_dir.File("full.um");
    s_layout = GenerateUM(LadderDescription(), s_path);
    s_bytes = ReadFileBytes(s_path);
    return !s_layout.empty();
}

void SetWord(std::string& s_bytes, long i_byte, int32_t i_value)
{
    std::memcpy(&s_bytes[i_byte], &i_value, sizeof i_value);
}

}  // namespace

TEST(Robustness, TruncationLadderNeverCrashesOrLeavesOutput)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_layout;
    std::string s_full;
    ASSERT_TRUE(GenerateLadderFile(x_dir, s_layout, s_full));

    std::set<long> x_cuts;
    for (long i_cut = 0; i_cut <= static_cast<long>(s_full.size()); i_cut += 4)
        x_cuts.insert(i_cut);
    for (long i_boundary : SectionBoundaries(s_layout))
        for (long i_delta = -3; i_delta <= 3; ++i_delta)
            if (i_boundary + i_delta >= 0 && i_boundary + i_delta <= static_cast<long>(s_full.size()))
                x_cuts.insert(i_boundary + i_delta);

    std::string s_in = x_dir.File("cut.um");
    int i_converted = 0;
    for (long i_cut : x_cuts) {
        std::string s_bytes = s_full.substr(0, i_cut);
        WriteTextFile(s_in, s_bytes);
        Outcome x_out = ConvertThroughEntryPoint(s_in, x_cfg);
        ExpectPoliteOutcome(x_out, s_in, s_bytes, "cut at " + std::to_string(i_cut));
        i_converted += x_out.i_result == 0;
    }
    // Only the whole file holds every field's record.
    EXPECT_EQ(i_converted, 1);
}

TEST(Robustness, BadHeaderWordsNeverCrashOrLeaveOutput)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_layout;
    std::string s_full;
    ASSERT_TRUE(GenerateLadderFile(x_dir, s_layout, s_full));
    const int32_t i_past_end = static_cast<int32_t>(s_full.size() / 4 + 1);
    const int32_t ci_values[] = {0, -1, -32768, i_past_end, INT32_MAX};

    int32_t i_lookup_start;
    std::memcpy(&i_lookup_start, &s_full[4 * 149], 4);
    std::vector<std::pair<std::string, long>> x_words;
    for (int i_word = 100; i_word <= 160; ++i_word)
        x_words.push_back({"fixed header word " + std::to_string(i_word), 4L * (i_word - 1)});
    for (int i_field : {0, 29})
        for (int i_word : {15, 18, 19, 29})
            x_words.push_back({"field " + std::to_string(i_field) + " word " + std::to_string(i_word),
                               4L * (i_lookup_start - 1) + 4L * 64 * i_field + 4L * (i_word - 1)});

    std::string s_in = x_dir.File("bad.um");
    for (const auto& x_word : x_words)
        for (int32_t i_value : ci_values) {
            std::string s_bytes = s_full;
            SetWord(s_bytes, x_word.second, i_value);
            WriteTextFile(s_in, s_bytes);
            Outcome x_out = ConvertThroughEntryPoint(s_in, x_cfg);
            ExpectPoliteOutcome(x_out, s_in, s_bytes, x_word.first + " = " + std::to_string(i_value));
        }
}

// A writer that fails part-way (here: the file size limit, as on a full disk) ends the
// process with status 3 and leaves the input as it was.
TEST(Robustness, FailingWriterLeavesTheInputIntact)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_in = x_dir.File("big.um");
    ASSERT_FALSE(GenerateUM(R"({"fields": [{"rows": 100, "cols": 200}, {"rows": 100, "cols": 200,
        "blev": 500}]})", s_in).empty());
    std::string s_before = ReadFileBytes(s_in);
    auto x_convert_with_small_limit = [&]() {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit x_limit = {16384, 16384};
        setrlimit(RLIMIT_FSIZE, &x_limit);
        std::string s_name = s_in, s_trans = x_cfg.s_trans, s_pack = x_cfg.s_pack, s_gatts = x_cfg.s_gatts;
        int i_result = tessold(&s_name[0], &s_trans[0], &s_pack[0], &s_gatts[0]);
        std::exit(i_result == 0 ? 0 : 10 + i_result);
    };
    EXPECT_EXIT(x_convert_with_small_limit(), testing::ExitedWithCode(3), "");
    EXPECT_EQ(ReadFileBytes(s_in), s_before);
}
