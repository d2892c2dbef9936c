// Tests of the translation file, the level table and the global attributes file.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "Attribute.h"
#include "AttributeList.h"
#include "GlobalAtts.h"
#include "TestFiles.h"
#include "VarLevTrans.h"

namespace
{

using NameValues = std::vector<std::pair<std::string, std::string>>;

// Flattens a list of one-valued text attributes into name/value pairs so whole lists compare at once.
NameValues Flatten(const AttributeList& x_list)
{
    NameValues x_out;
    for (const Attribute& x_att : x_list.Get()) {
        EXPECT_EQ(x_att.GetNumber(), 1) << x_att.GetName();
        EXPECT_EQ(x_att.GetType(), "string") << x_att.GetName();
        x_out.emplace_back(x_att.GetName(), x_att.GetNumber() > 0 ? x_att.GetValue() : "");
    }
    return x_out;
}

// One look-up in a loaded translation file; no attributes expected means the "NULL" list.
struct Lookup
{
    int i_code;
    int i_model;
    NameValues x_atts;
};

struct TransCase
{
    std::string s_text;
    std::string s_stderr;
    std::vector<Lookup> x_lookups;
};

// Loads a translation file holding the text and checks the messages and every look-up.
void CheckTrans(const TransCase& x_case)
{
    SCOPED_TRACE(x_case.s_text);
    TempDir x_dir;
    WriteTextFile(x_dir.File("trans.xml"), x_case.s_text);
    VarLevTrans x_trans(x_dir.File("trans.xml"));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(x_trans.LoadAttributes());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), x_case.s_stderr);
    for (const Lookup& x_lookup : x_case.x_lookups) {
        const AttributeList& x_list = x_trans.GetVariableAttributes(x_lookup.i_code, x_lookup.i_model);
        const bool b_found = !x_lookup.x_atts.empty();
        EXPECT_EQ(x_list.GetName(), b_found ? std::to_string(x_lookup.i_code) : "NULL") << x_lookup.i_code;
        EXPECT_EQ(x_list.GetModel(), b_found ? x_lookup.i_model : 0) << x_lookup.i_code;
        EXPECT_EQ(Flatten(x_list), x_lookup.x_atts) << x_lookup.i_code;
    }
}

// A file with one submodel whose body is given.
std::string Stash(const std::string& s_model, const std::string& s_body)
{
    return "<r><stash><submodel " + s_model + ">" + s_body + "</submodel></stash></r>";
}

} // namespace

// ---- Translation file ----

TEST(VarLevTrans, EntriesByCodeAndModel)
{
    const std::vector<TransCase> x_cases = {
        // Attributes keep document order after the two the converter adds; a wrong model is "NULL".
        {"<?xml version=\"1.0\"?>\n" +
             Stash("id=\"1\"", "<section id=\"3\"><item id=\"236\" out_name=\"temp\" units=\"K\" "
                               "standard_name=\"air_temperature\"/></section>"),
         "",
         {{3236, 1,
           {{"stash_item", "236"}, {"stash_section", "3"}, {"out_name", "temp"}, {"units", "K"},
            {"standard_name", "air_temperature"}}},
          {3236, 2, {}},
          {3237, 1, {}}}},
        // Section 0 item 24 is named "24", without leading zeros; text and children add nothing.
        {Stash("id=\"1\"", "<section id=\"0\"><item id=\"24\">text<child a=\"1\"/></item></section>"),
         "",
         {{24, 1, {{"stash_item", "24"}, {"stash_section", "0"}}}}},
        // The first of two entries for one code and model wins.
        {Stash("id=\"1\"", "<section id=\"2\"><item id=\"1\" out_name=\"first\"/>"
                           "<item id=\"1\" out_name=\"second\"/></section>"),
         "",
         {{2001, 1, {{"stash_item", "1"}, {"stash_section", "2"}, {"out_name", "first"}}}}},
        // Only "stash" children of the root are read.
        {"<root><submodel id=\"1\"><section id=\"1\"><item id=\"1\"/></section></submodel><!-- c -->"
         "<other><stash><submodel id=\"1\"><section id=\"1\"><item id=\"2\"/></section></submodel></stash>"
         "</other><stash><submodel id=\"1\"><section id=\"1\"><item id=\"3\" a=\"1\"/></section></submodel>"
         "</stash><stash><submodel id=\"2\"><section id=\"1\"><item id=\"3\"/></section></submodel></stash>"
         "</root>",
         "",
         {{1001, 1, {}},
          {1002, 1, {}},
          {1003, 1, {{"stash_item", "3"}, {"stash_section", "1"}, {"a", "1"}}},
          {1003, 2, {{"stash_item", "3"}, {"stash_section", "1"}}}}},
        // A bad submodel id skips the submodel; note the different wording of this message.
        {"<r><stash><submodel id=\"one\"><section id=\"1\"><item id=\"1\"/></section></submodel>"
         "<submodel><section id=\"1\"><item id=\"2\"/></section></submodel>"
         "<submodel id=\"1\"><section id=\"1\"><item id=\"3\"/></section></submodel></stash></r>",
         "Error in XML in file: submodel\nError in XML in file: submodel\n",
         {{1001, 0, {}}, {1002, 0, {}}, {1003, 1, {{"stash_item", "3"}, {"stash_section", "1"}}}}},
        // A bad section or item id is reported and read as 0.
        {Stash("id=\"1\"", "<section id=\"x3\"><item id=\"236\"/></section>"),
         "Error in XML file: section\n",
         {{236, 1, {{"stash_item", "236"}, {"stash_section", "0"}}}}},
        {Stash("id=\"1\"", "<section id=\"3\"><item id=\"abc\" out_name=\"t\"/><item out_name=\"u\"/></section>"),
         "Error in XML file: item\nError in XML file: item\n",
         {{3000, 1, {{"stash_item", "0"}, {"stash_section", "3"}, {"out_name", "t"}}}}},
    };
    for (const TransCase& x_case : x_cases)
        CheckTrans(x_case);
}

TEST(VarLevTrans, FilesThatDoNotLoad)
{
    // A document without an element is reported; unreadable and unparsable files fail silently.
    TempDir x_dir;
    const std::vector<std::pair<std::string, std::string>> x_texts = {
        {"decl.xml", "<?xml version=\"1.0\"?>\n"}, {"comment.xml", "<!-- only a comment -->\n"},
        {"broken.xml", "<r><stash><submodel id=\"1\"></stash></r>"}, {"empty.xml", ""}, {"blank.xml", " \n\t\n"}};
    for (const auto& x_text : x_texts)
        WriteTextFile(x_dir.File(x_text.first), x_text.second);
    const std::vector<std::pair<std::string, std::string>> x_cases = {
        {x_dir.File("decl.xml"), "Malformed XML in file.\n"}, {x_dir.File("comment.xml"), "Malformed XML in file.\n"},
        {x_dir.File("missing.xml"), ""}, {x_dir.Path(), ""}, {x_dir.File("broken.xml"), ""},
        {x_dir.File("empty.xml"), ""}, {x_dir.File("blank.xml"), ""}};
    for (const auto& x_case : x_cases) {
        VarLevTrans x_trans(x_case.first);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(x_trans.LoadAttributes()) << x_case.first;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), x_case.second) << x_case.first;
    }
}

TEST(VarLevTrans, DeepNestingIsRefusedAndTagLikeTextIsNotCounted)
{
    // The parser calls itself for each level: 100,000 levels used to overflow the stack.
    TempDir x_dir;
    std::string s_deep;
    for (int i = 0; i < 100000; ++i)
        s_deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        s_deep += "</a>";
    WriteTextFile(x_dir.File("deep.xml"), s_deep);
    VarLevTrans x_deep(x_dir.File("deep.xml"));
    EXPECT_FALSE(x_deep.LoadAttributes());
    // End tags written first do not make room for more.
    WriteTextFile(x_dir.File("closed_first.xml"), s_deep.substr(300000) + s_deep);
    VarLevTrans x_closed_first(x_dir.File("closed_first.xml"));
    EXPECT_FALSE(x_closed_first.LoadAttributes());
    // Tags inside comments, character data and quoted values open nothing.
    std::string s_tags;
    for (int i = 0; i < 300; ++i)
        s_tags += "<x>";
    WriteTextFile(x_dir.File("tags.xml"),
                  "<!-- " + s_tags + " -->" + Stash("id=\"1\"", "<![CDATA[" + s_tags + "]]><section id=\"3\">"
                                                                 "<item id=\"236\" long_name=\"a > b\"/></section>"));
    VarLevTrans x_tags(x_dir.File("tags.xml"));
    ASSERT_TRUE(x_tags.LoadAttributes());
    EXPECT_TRUE(x_tags.GetVariableAttributes(3236, 1).HasAttribute("long_name"));
}

TEST(VarLevTrans, LargeFileLoadsQuickly)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("big.xml");
    std::string s_text = "<?xml version=\"1.0\"?>\n<r><stash><submodel id=\"1\">\n";
    for (int i_section = 0; i_section < 40; ++i_section) {
        s_text += "<section id=\"" + std::to_string(i_section) + "\">\n";
        for (int i_item = 0; i_item < 500; ++i_item)
            s_text += "<item id=\"" + std::to_string(i_item) + "\" out_name=\"v" + std::to_string(i_section) +
                      "_" + std::to_string(i_item) +
                      "\" standard_name=\"a_rather_long_standard_name_to_make_the_file_bigger\""
                      " long_name=\"a long name that takes up some more room in the file\" units=\"1\"/>\n";
        s_text += "</section>\n";
    }
    WriteTextFile(s_file, s_text + "</submodel></stash></r>\n");
    ASSERT_GT(s_text.size(), 3000000u);

    const auto x_start = std::chrono::steady_clock::now();
    VarLevTrans x_trans(s_file);
    ASSERT_TRUE(x_trans.LoadAttributes());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - x_start).count(), 5.0);
    EXPECT_EQ(x_trans.GetVariableAttributes(0, 1).GetAttribute("out_name").GetValue(), "v0_0");
    EXPECT_EQ(x_trans.GetVariableAttributes(17250, 1).GetAttribute("out_name").GetValue(), "v17_250");
    EXPECT_EQ(x_trans.GetVariableAttributes(39499, 1).GetAttribute("out_name").GetValue(), "v39_499");
    EXPECT_EQ(x_trans.GetVariableAttributes(39500, 1).GetName(), "NULL");
}

// ---- Level table ----

TEST(LevelTable, RepresentativeRowsAndUnsupportedTypes)
{
    // Height names its output first; type 129 is the surface for one level and pseudo levels otherwise.
    const std::vector<std::pair<std::pair<int, int>, NameValues>> x_rows = {
        {{1, 3}, {{"out_name", "height"}, {"standard_name", "height"}, {"units", "m"}, {"direction", "up"}}},
        {{8, 3},
         {{"standard_name", "air_pressure"}, {"units", "hPa"}, {"direction", "down"}, {"out_name", "pressure"}}},
        {{129, 1}, {{"standard_name", "height"}, {"units", "m"}, {"direction", "up"}, {"out_name", "surface"}}},
        {{129, 2}, {{"standard_name", "height"}, {"units", "m"}, {"direction", "up"}, {"out_name", "pseudo"}}},
        {{129, 0}, {{"standard_name", "height"}, {"units", "m"}, {"direction", "up"}, {"out_name", "pseudo"}}},
        // Unsupported types give the "NULL" list and a message on standard output.
        {{2, 1}, {}},
        {{134, 1}, {}},
    };
    const VarLevTrans x_trans("/nonexistent/none.xml");
    for (const auto& x_row : x_rows) {
        const int i_type = x_row.first.first;
        testing::internal::CaptureStdout();
        const AttributeList x_list = x_trans.GetLevelAttributes(i_type, x_row.first.second);
        const std::string s_stdout = testing::internal::GetCapturedStdout();
        const bool b_found = !x_row.second.empty();
        EXPECT_EQ(x_list.GetName(), b_found ? "Level" : "NULL") << i_type;
        EXPECT_EQ(Flatten(x_list), x_row.second) << i_type;
        EXPECT_EQ(s_stdout, b_found ? "" : "Error: " + std::to_string(i_type) + " not supported\n");
    }
}

// ---- Global attributes file ----

namespace
{

struct Record
{
    std::string s_name;
    std::string s_type;
    std::vector<std::string> x_values;
    bool operator==(const Record& rhs) const
    {
        return s_name == rhs.s_name && s_type == rhs.s_type && x_values == rhs.x_values;
    }
};

std::ostream& operator<<(std::ostream& x_out, const Record& x_rec)
{
    x_out << x_rec.s_name << " " << x_rec.s_type << " " << x_rec.x_values.size();
    for (const std::string& s_value : x_rec.x_values)
        x_out << " " << s_value;
    return x_out;
}

std::vector<Record> Records(const GlobalAtts& x_atts)
{
    std::vector<Record> x_out;
    for (const Attribute& x_att : x_atts.GetAttributes().Get())
        x_out.push_back(Record{x_att.GetName(), x_att.GetType(),
                               std::vector<std::string>(x_att.GetValues().begin(), x_att.GetValues().end())});
    return x_out;
}

// Loads a file holding the text; returns whether it loaded and fails the test on any printed output.
bool LoadGlobals(GlobalAtts& x_atts, const std::string& s_text)
{
    TempDir x_dir;
    WriteTextFile(x_dir.File("gatts.txt"), s_text);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool b_loaded = x_atts.LoadAttributes(x_dir.File("gatts.txt"));
    EXPECT_EQ(testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout(), "");
    return b_loaded;
}

} // namespace

TEST(GlobalAtts, RecordsAndSizes)
{
    struct Case
    {
        std::string s_text;
        std::vector<Record> x_records;
        int i_max_size;
    };
    const std::vector<Record> x_example = {{"history", "string", {"first", "second"}},
                                           {"version", "integer", {"3"}}};
    const std::vector<Case> x_cases = {
        // Largest count 2 times the longest string value (6 bytes) plus 2.
        {"history string 2 first second\nversion integer 1 3\n", x_example, 16},
        // Line structure carries no meaning.
        {"history\n\tstring\n2 first\n\n  second\r\nversion integer\n1\n3\n\n\n", x_example, 16},
        {"", {}, 0},
        {" \n\t \n", {}, 0},
        // 5 values times a 10-byte string plus 2.
        {"years integer 5 1 2 3 4 5\ntitle string 1 0123456789\n",
         {{"years", "integer", {"1", "2", "3", "4", "5"}}, {"title", "string", {"0123456789"}}}, 60},
        // Without string records long numeric tokens do not count; the size is the largest count.
        {"a float 3 1.5 2.5 3.5\nb double 1 12345678901234567890\n",
         {{"a", "float", {"1.5", "2.5", "3.5"}}, {"b", "double", {"12345678901234567890"}}}, 3},
        // Unknown types, zero and negative counts are kept.
        {"big long 2 1 2\nnothing string 0\nminus integer -3\nlast byte 1 7\n",
         {{"big", "long", {"1", "2"}}, {"nothing", "string", {}}, {"minus", "integer", {}}, {"last", "byte", {"7"}}},
         2},
        {"a integer +2 4 5\n", {{"a", "integer", {"4", "5"}}}, 2},
        {"source string 1 one\nsource integer 1 2\nsource string 1 three\n",
         {{"source", "string", {"one"}}, {"source", "integer", {"2"}}, {"source", "string", {"three"}}}, 7},
    };
    for (const Case& x_case : x_cases) {
        GlobalAtts x_atts;
        ASSERT_TRUE(LoadGlobals(x_atts, x_case.s_text)) << x_case.s_text;
        EXPECT_TRUE(x_atts.Valid());
        EXPECT_EQ(x_atts.GetAttributes().GetName(), "global");
        EXPECT_EQ(Records(x_atts), x_case.x_records) << x_case.s_text;
        EXPECT_EQ(x_atts.GetMaxSize(), x_case.i_max_size) << x_case.s_text;
    }
}

TEST(GlobalAtts, DuplicatedNamesFirstFoundAndMissingNameThrows)
{
    GlobalAtts x_atts;
    ASSERT_TRUE(LoadGlobals(x_atts, "source string 1 one\nsource integer 1 2\n"));
    EXPECT_EQ(x_atts.GetAttributes().GetAttribute("source").GetValue(), "one");
    EXPECT_FALSE(x_atts.GetAttributes().HasAttribute("Source"));
    try {
        x_atts.GetAttributes().GetAttribute("rain");
        ADD_FAILURE() << "no exception";
    } catch (const std::string& s_text) {
        EXPECT_EQ(s_text, "Attribute with name: rain not found.  Use HasAttribute to check presence "
                          "before calling GetAttribute");
    }
}

TEST(GlobalAtts, FilesThatDoNotLoad)
{
    // Incomplete final records, non-integer and huge counts; nothing is kept from a failed file.
    const std::vector<std::string> x_texts = {
        "ok string 1 fine\ncut string 3 a b\n", "ok string 1 fine\nnotype", "ok string 1 fine\nnocount string\n",
        "ok string 1 fine\nhuge string 2000000000 a b c\n", "a string two v w x\n", "a string 2x v w x\n",
        "a string 1.5 v w x\n", "a string - v w x\n", "a string 99999999999 v w x\n"};
    for (const std::string& s_text : x_texts) {
        GlobalAtts x_atts;
        EXPECT_FALSE(LoadGlobals(x_atts, s_text)) << s_text;
        EXPECT_FALSE(x_atts.Valid()) << s_text;
        EXPECT_TRUE(x_atts.GetAttributes().Get().empty()) << s_text;
        EXPECT_EQ(x_atts.GetMaxSize(), 0) << s_text;
    }
    TempDir x_dir;
    for (const std::string& s_path : {x_dir.File("missing.txt"), x_dir.Path()}) {
        GlobalAtts x_atts;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(x_atts.LoadAttributes(s_path)) << s_path;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(x_atts.Valid());
    }
}
