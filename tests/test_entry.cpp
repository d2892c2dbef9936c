// Tests of the exported entry point, loaded from libtessold.so the way a host loads it.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <sstream>
#include <string>

#include "TestFiles.h"

namespace {

typedef int (*ConvertFunction)(char*, char*, char*, char*);

const std::string cs_library = std::string(TESSOLD_BINARY_DIR) + "/libtessold.so";

ConvertFunction LoadEntryPoint()
{
    static void* px_library = dlopen(cs_library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (px_library == nullptr)
        return nullptr;
    void* px_symbol = dlsym(px_library, "tessold");
    ConvertFunction px_convert = nullptr;
    std::memcpy(&px_convert, &px_symbol, sizeof px_convert);
    return px_convert;
}

struct Outcome
{
    int i_result;
    std::string s_stdout;
    std::string s_stderr;
};

Outcome Convert(std::string s_in, std::string s_trans, std::string s_pack, std::string s_gatts)
{
    ConvertFunction px_convert = LoadEntryPoint();
    EXPECT_NE(px_convert, nullptr) << dlerror();
    Outcome x_outcome{-1, "", ""};
    if (px_convert == nullptr)
        return x_outcome;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    x_outcome.i_result = px_convert(&s_in[0], &s_trans[0], &s_pack[0], &s_gatts[0]);
    x_outcome.s_stderr = testing::internal::GetCapturedStderr();
    x_outcome.s_stdout = testing::internal::GetCapturedStdout();
    return x_outcome;
}

// Counts this process's open file descriptors.
int OpenDescriptors()
{
    int i_count = 0;
    if (DIR* px_dir = opendir("/proc/self/fd")) {
        while (readdir(px_dir) != nullptr)
            ++i_count;
        closedir(px_dir);
    }
    return i_count;
}

// Returns the [start, end) byte pair that the generator's layout report gives for a key.
std::pair<long, long> LayoutRange(const std::string& s_layout, const std::string& s_key)
{
    std::smatch x_match;
    std::regex x_pattern("\"" + s_key + "\": \\[(\\d+), (\\d+)\\]");
    if (!std::regex_search(s_layout, x_match, x_pattern))
        return {-1, -1};
    return {std::stol(x_match[1]), std::stol(x_match[2])};
}

const char* const cs_full_file = R"({"int_consts": 46, "real_consts": 38, "level_consts": [5, 4],
    "row_consts": [73, 2], "fields": [{"stash": 16203}, {"stash": 16203, "blev": 500},
    {"stash": 3236, "lbvc": 1, "blev": 1.5}], "spare": 2})";

}  // namespace

TEST(EntryPoint, LibraryExportsOnlyTheEntryPoint)
{
    int i_status = 0;
    std::string s_symbols = RunCommand("nm -D --defined-only '" + cs_library + "'", i_status);
    ASSERT_EQ(i_status, 0);
    std::istringstream x_lines(s_symbols);
    std::string s_line;
    std::vector<std::string> x_functions;
    while (std::getline(x_lines, s_line)) {
        std::istringstream x_fields(s_line);
        std::string s_address, s_kind, s_name;
        x_fields >> s_address >> s_kind >> s_name;
        if (s_kind == "T" || s_kind == "W" || s_kind == "D" || s_kind == "B" || s_kind == "V")
            x_functions.push_back(s_name);
    }
    ASSERT_EQ(x_functions.size(), 1u) << s_symbols;
    EXPECT_EQ(x_functions[0], "tessold");
}

TEST(EntryPoint, ExistenceIsCheckedInOrderAndTheFirstMissingFileIsNamed)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_in = x_dir.File("in.um");
    WriteTextFile(s_in, "x");
    std::string s_gone = x_dir.File("gone");

    Outcome x_all = Convert(x_dir.File("nothing.um"), s_gone, s_gone, s_gone);
    EXPECT_EQ(x_all.i_result, 1);
    EXPECT_EQ(x_all.s_stderr, "file : " + x_dir.File("nothing.um") + " does not exist\n");

    Outcome x_trans = Convert(s_in, x_dir.File("t.xml"), s_gone, s_gone);
    EXPECT_EQ(x_trans.s_stderr, "file : " + x_dir.File("t.xml") + " does not exist\n");

    // The global attributes file is checked before the packing file.
    Outcome x_both = Convert(s_in, x_cfg.s_trans, x_dir.File("p.xml"), x_dir.File("g.txt"));
    EXPECT_EQ(x_both.i_result, 1);
    EXPECT_EQ(x_both.s_stderr, "file : " + x_dir.File("g.txt") + " does not exist\n");

    Outcome x_pack = Convert(s_in, x_cfg.s_trans, x_dir.File("p.xml"), x_cfg.s_gatts);
    EXPECT_EQ(x_pack.s_stderr, "file : " + x_dir.File("p.xml") + " does not exist\n");
}

TEST(EntryPoint, ShortOrForeignFilesAreNotUMFiles)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_short = x_dir.File("short.um");
    WriteTextFile(s_short, std::string("\x00\x80\xff\xff\x01\x00\x00\x00", 8));
    std::string s_text = x_dir.File("text.um");
    WriteTextFile(s_text, std::string(2000, 'a'));
    for (const std::string& s_in : {s_short, s_text}) {
        Outcome x_out = Convert(s_in, x_cfg.s_trans, x_cfg.s_pack, x_cfg.s_gatts);
        EXPECT_EQ(x_out.i_result, 1);
        EXPECT_EQ(x_out.s_stderr, "Error: Input file: " + s_in + " is not a UM file.\n");
        EXPECT_FALSE(PathExists(s_in + ".nc"));
    }
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
    ConvertFunction px_convert = LoadEntryPoint();
    ASSERT_NE(px_convert, nullptr);
    for (std::string s_in : {s_pipe, s_folder}) {
        EXPECT_EXIT((alarm(20), std::exit(px_convert(&s_in[0], &x_cfg.s_trans[0], &x_cfg.s_pack[0],
                                                     &x_cfg.s_gatts[0]))),
                    testing::ExitedWithCode(1), "Error: Input file: .*\\.um is not a UM file\\.")
            << s_in;
        EXPECT_FALSE(PathExists(s_in + ".nc"));
    }
}

TEST(EntryPoint, FileWithoutValidFieldsContainsNoData)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_in = x_dir.File("empty.um");
    ASSERT_FALSE(GenerateUM(R"({"fields": [{"lbfc": 0}, {}]})", s_in).empty());
    Outcome x_out = Convert(s_in, x_cfg.s_trans, x_cfg.s_pack, x_cfg.s_gatts);
    EXPECT_EQ(x_out.i_result, 1);
    EXPECT_EQ(x_out.s_stderr, "Error: Input file: " + s_in +
                                  " contains no data.\nError: Output file could not be written.\n");
    EXPECT_FALSE(PathExists(s_in + ".nc"));
}

// A file cut inside each of its sections is reported as corrupt and nothing is written.
TEST(EntryPoint, FilesTruncatedInsideEachSectionAreCorrupt)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_full = x_dir.File("full.um");
    std::string s_layout = GenerateUM(cs_full_file, s_full);
    ASSERT_FALSE(s_layout.empty());
    std::string s_bytes = ReadFileBytes(s_full);
    for (const char* s_section : {"fixhdr", "int_consts", "real_consts", "level_consts",
                                  "row_consts", "lookup", "data"}) {
        std::pair<long, long> x_range = LayoutRange(s_layout, s_section);
        ASSERT_GE(x_range.first, 0) << s_section << " missing from " << s_layout;
        long i_cut = x_range.first + (x_range.second - x_range.first) / 2 + 2;
        std::string s_in = x_dir.File(std::string("cut_") + s_section + ".um");
        WriteTextFile(s_in, s_bytes.substr(0, i_cut));
        Outcome x_out = Convert(s_in, x_cfg.s_trans, x_cfg.s_pack, x_cfg.s_gatts);
        EXPECT_EQ(x_out.i_result, 1) << s_section;
        EXPECT_EQ(x_out.s_stderr.rfind("Error: Input file: " + s_in + " is corrupt: ", 0), 0u)
            << s_section << ": " << x_out.s_stderr;
        EXPECT_NE(x_out.s_stderr.find("\nError: Output file could not be written.\n"),
                  std::string::npos) << s_section;
        EXPECT_TRUE(x_out.s_stdout.empty());
        EXPECT_FALSE(PathExists(s_in + ".nc")) << s_section;
    }
}

TEST(EntryPoint, ValidFilesConvertAndTheOutputIsNeverReplaced)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_in = x_dir.File("good.um");
    ASSERT_FALSE(GenerateUM(cs_full_file, s_in).empty());
    ASSERT_NE(LoadEntryPoint(), nullptr);
    const int i_descriptors = OpenDescriptors();
    Outcome x_first = Convert(s_in, x_cfg.s_trans, x_cfg.s_pack, x_cfg.s_gatts);
    EXPECT_EQ(x_first.i_result, 0) << x_first.s_stderr;
    EXPECT_EQ(x_first.s_stdout, "Converted file: " + s_in + " to: " + s_in + ".nc\n");
    EXPECT_TRUE(x_first.s_stderr.empty());
    std::string s_output = ReadFileBytes(s_in + ".nc");
    ASSERT_FALSE(s_output.empty());

    Outcome x_second = Convert(s_in, x_cfg.s_trans, x_cfg.s_pack, x_cfg.s_gatts);
    EXPECT_EQ(x_second.i_result, 1);
    EXPECT_EQ(x_second.s_stderr, "Error: Output file: " + s_in +
                                     ".nc already exists or could not be opened\n"
                                     "Error: Output file could not be written.\n");
    EXPECT_TRUE(x_second.s_stdout.empty());
    EXPECT_EQ(ReadFileBytes(s_in + ".nc"), s_output);
    // The input stays open while its data are mapped, and no longer.
    EXPECT_EQ(OpenDescriptors(), i_descriptors);
}

TEST(EntryPoint, OnlyTheFirstLoadingFailureIsReported)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::string s_in = x_dir.File("good.um");
    ASSERT_FALSE(GenerateUM(cs_full_file, s_in).empty());
    std::string s_bad_xml = x_dir.File("bad.xml");
    WriteTextFile(s_bad_xml, "<translation><stash>");
    std::string s_bad_gatts = x_dir.File("bad.txt");
    WriteTextFile(s_bad_gatts, "title string 3 only two");

    // A broken translation file stops the conversion before the packing and global
    // attributes files are read, so their faults go unreported.
    Outcome x_trans = Convert(s_in, s_bad_xml, s_bad_xml, s_bad_gatts);
    EXPECT_EQ(x_trans.i_result, 1);
    EXPECT_EQ(x_trans.s_stderr, "Error: XML file: " + s_bad_xml +
                                    " error in XML or file could not be opened.\n"
                                    "Error: Output file could not be written.\n");

    Outcome x_pack = Convert(s_in, x_cfg.s_trans, s_bad_xml, s_bad_gatts);
    EXPECT_EQ(x_pack.i_result, 1);
    EXPECT_NE(x_pack.s_stderr.find("Error: XML file: " + s_bad_xml +
                                   " error in XML or file could not be opened.\n"
                                   "Error: Output file could not be written.\n"),
              std::string::npos) << x_pack.s_stderr;
    EXPECT_EQ(x_pack.s_stderr.find("global attributes"), std::string::npos);

    Outcome x_gatts = Convert(s_in, x_cfg.s_trans, x_cfg.s_pack, s_bad_gatts);
    EXPECT_EQ(x_gatts.i_result, 1);
    EXPECT_EQ(x_gatts.s_stderr, "Error: Failed to load global attributes file: " + s_bad_gatts +
                                    "\nError: Output file could not be written.\n");
    EXPECT_FALSE(PathExists(s_in + ".nc"));
}
