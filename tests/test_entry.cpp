// The exported entry point as a host sees it: the one symbol the library exports, and inputs
// that are no regular file, which must be refused at once rather than read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
