// What whole outputs cannot show of the configuration files: files that do not load (and say
// nothing or say why), XML nested too deep for the parser, and global attribute records.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "GlobalAtts.h"
#include "TestFiles.h"
#include "VarLevTrans.h"

TEST(VarLevTrans, FilesThatDoNotLoad)
{
    // A document without an element is reported; unreadable and unparsable files fail silently.
    TempDir x_dir;
    const std::vector<std::pair<std::string, std::string>> x_cases = {
        {"<?xml version=\"1.0\"?>\n", "Malformed XML in file.\n"}, {"<!-- only a comment -->\n", "Malformed XML in file.\n"},
        {"<r><stash><submodel id=\"1\"></stash></r>", ""}, {"", ""}, {" \n\t\n", ""}, {"(folder)", ""}, {"(none)", ""}};
    for (const auto& x_case : x_cases) {
        std::string s_path = x_case.first == "(folder)" ? x_dir.Path() : x_dir.File("trans.xml");
        if (x_case.first == "(none)")
            s_path = x_dir.File("absent.xml");
        else if (x_case.first != "(folder)")
            WriteTextFile(s_path, x_case.first);
        VarLevTrans x_trans(s_path);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(x_trans.LoadAttributes()) << x_case.first;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), x_case.second) << x_case.first;
    }
}

TEST(VarLevTrans, DeepNestingIsRefusedAndTagLikeTextIsNotCounted)
{
    // The parser calls itself for each level: 100,000 levels used to overflow the stack.
    TempDir x_dir;
    std::string s_deep, s_closing;
    for (int i = 0; i < 100000; ++i) {
        s_deep += "<a>";
        s_closing += "</a>";
    }
    // End tags written first do not make room for more.
    for (const std::string& s_text : {s_deep + s_closing, s_closing + s_deep + s_closing}) {
        WriteTextFile(x_dir.File("deep.xml"), s_text);
        EXPECT_FALSE(VarLevTrans(x_dir.File("deep.xml")).LoadAttributes());
    }
    // Tags inside comments, character data and quoted values open nothing.
    const std::string s_tags = s_deep.substr(0, 900);
    WriteTextFile(x_dir.File("tags.xml"), "<!-- " + s_tags + " --><r><stash><submodel id=\"1\"><![CDATA[" + s_tags +
                                              "]]><section id=\"3\"><item id=\"236\" long_name=\"a > b\"/>"
                                              "</section></submodel></stash></r>");
    VarLevTrans x_tags(x_dir.File("tags.xml"));
    ASSERT_TRUE(x_tags.LoadAttributes());
    EXPECT_TRUE(x_tags.GetVariableAttributes(3236, 1).HasAttribute("long_name"));
}

TEST(GlobalAtts, RecordsLoadOrTheWholeFileFails)
{
    // Line structure carries no meaning; unknown types, zero and negative counts are kept.
    const std::vector<std::pair<std::string, int>> x_loads = {
        {"history\n\tstring\n2 first\n\n  second\r\nversion integer\n1\n3\n\n\n", 2}, {"", 0}, {" \n\t \n", 0},
        {"big long 2 1 2\nnothing string 0\nminus integer -3\nlast byte 1 7\n", 4}, {"a integer +2 4 5\n", 1}};
    // Incomplete final records, non-integer and huge counts: nothing is kept from a failed file.
    const std::vector<std::string> x_fails = {
        "ok string 1 fine\ncut string 3 a b\n", "ok string 1 fine\nnotype", "ok string 1 fine\nnocount string\n",
        "ok string 1 fine\nhuge string 2000000000 a b c\n", "a string two v w x\n", "a string 2x v w x\n",
        "a string 1.5 v w x\n", "a string - v w x\n", "a string 99999999999 v w x\n"};
    TempDir x_dir;
    for (const auto& x_load : x_loads) {
        WriteTextFile(x_dir.File("gatts.txt"), x_load.first);
        GlobalAtts x_atts;
        EXPECT_TRUE(x_atts.LoadAttributes(x_dir.File("gatts.txt"))) << x_load.first;
        EXPECT_EQ(x_atts.GetAttributes().Get().size(), static_cast<size_t>(x_load.second)) << x_load.first;
    }
    for (const std::string& s_text : x_fails) {
        WriteTextFile(x_dir.File("gatts.txt"), s_text);
        GlobalAtts x_atts;
        EXPECT_FALSE(x_atts.LoadAttributes(x_dir.File("gatts.txt"))) << s_text;
        EXPECT_FALSE(x_atts.Valid()) << s_text;
        EXPECT_TRUE(x_atts.GetAttributes().Get().empty()) << s_text;
    }
    for (const std::string& s_path : {x_dir.File("missing.txt"), x_dir.Path()})
        EXPECT_FALSE(GlobalAtts().LoadAttributes(s_path)) << s_path;
}
