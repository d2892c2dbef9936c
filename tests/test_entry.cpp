// The exported entry points as a host sees them: the symbols the library exports, the layouts
// each entry point reads, and inputs that are no regular file, which must be refused at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "tessold.h"

TEST(EntryPoint, LibraryExportsOnlyTheEntryPoints)
{
    int i_status = 0;
    const std::string s_symbols =
        RunCommand("nm -D --defined-only '" TESSOLD_BINARY_DIR "/libtessold.so'", i_status);
    ASSERT_EQ(i_status, 0);
    std::istringstream x_lines(s_symbols);
    std::string s_address, s_kind, s_name;
    std::vector<std::string> x_exported;
    while (x_lines >> s_address >> s_kind >> s_name)
        if (std::string("TWDBV").find(s_kind) != std::string::npos)
            x_exported.push_back(s_name);
    EXPECT_EQ(x_exported, (std::vector<std::string>{"tessold", "tessold_convert"})) << s_symbols;
}

// A named pipe nobody writes to would block a reader for ever; it is refused at once, as a
// folder is. The alarm turns a conversion that blocks into a failed check.
TEST(EntryPointDeathTest, PipesAndFoldersAreNotUMFiles)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_pipe = x_dir.File("pipe.um"), s_folder = x_dir.File("folder.um");
    ASSERT_EQ(mkfifo(s_pipe.c_str(), 0600), 0);
    ASSERT_EQ(mkdir(s_folder.c_str(), 0700), 0);
    for (std::string s_in : {s_pipe, s_folder}) {
        EXPECT_EXIT((alarm(20), std::exit(tessold(&s_in[0], &x_cfg.s_trans[0], &x_cfg.s_pack[0], &x_cfg.s_gatts[0]))),
                    testing::ExitedWithCode(1), "Error: Input file: .*\\.um is not a UM file\\.")
            << s_in;
        EXPECT_FALSE(PathExists(s_in + ".nc"));
    }
}

// The original entry point's hosts rely on it refusing every layout but 32-bit little-endian
// words with first word -32768, and unpacked data; the second entry point reads them all when
// asked to.
TEST(EntryPoint, OnlyTheSecondEntryPointReadsOtherLayouts)
{
    struct Case
    {
        const char* pc_about;
        const char* pc_desc;
        const char* pc_refusal;
    };
    const Case cx_cases[] = {
        {"first word 20", R"({"fields": [{}], "fixhdr": {"1": 20}})", " is not a UM file."},
        {"64-bit big-endian", R"({"fields": [{}], "word_size": 8, "byte_order": "big"})", " is not a UM file."},
        {"PP file", R"({"fields": [{}], "format": "pp"})", " is not a UM file."},
        {"WGDOS-packed field", R"({"fields": [{}, {"blev": 500, "lbpack": 1}]})",
         ": field 1 is packed (LBPACK=1), which this program cannot read"},
        {"32-bit packed field", R"({"fields": [{"lbpack": 2}]})",
         ": field 0 is packed (LBPACK=2), which this program cannot read"},
    };
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_in = x_dir.File("layout.um");
    for (const Case& x_case : cx_cases) {
        ASSERT_FALSE(GenerateUM(x_case.pc_desc, s_in).empty()) << x_case.pc_about;
        Outcome x_out = ConvertThroughEntryPoint(s_in, x_cfg);
        EXPECT_EQ(x_out.i_result, 1) << x_case.pc_about;
        EXPECT_EQ(x_out.s_stderr.substr(0, x_out.s_stderr.find('\n')),
                  "Error: Input file: " + s_in + x_case.pc_refusal)
            << x_case.pc_about;
        EXPECT_FALSE(PathExists(s_in + ".nc")) << x_case.pc_about;

        tessold_request x_request = {};
        x_request.input = s_in.c_str();
        x_request.flags = TESSOLD_ANY_LAYOUT;
        char ac_message[512];
        EXPECT_EQ(tessold_convert(&x_request, ac_message, sizeof ac_message), TESSOLD_OK)
            << x_case.pc_about << ": " << ac_message;
        EXPECT_EQ(std::remove((s_in + ".nc").c_str()), 0) << x_case.pc_about;
    }
}
