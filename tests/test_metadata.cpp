// Tests of attributes, the translation file, the level table and the global attributes file.
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

// Flattens a list of one-valued attributes into name/value pairs so whole lists compare at once.
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

std::vector<std::string> Values(const Attribute& x_att)
{
    return std::vector<std::string>(x_att.GetValues().begin(), x_att.GetValues().end());
}

const char* const cs_decl = "<?xml version=\"1.0\"?>\n";

// Loads a translation file written from the given text, capturing what was printed to standard error.
struct LoadedTrans
{
    bool b_loaded;
    std::string s_stderr;
};

LoadedTrans LoadTrans(VarLevTrans& x_trans)
{
    testing::internal::CaptureStderr();
    const bool b_loaded = x_trans.LoadAttributes();
    return LoadedTrans{b_loaded, testing::internal::GetCapturedStderr()};
}

} // namespace

// ---- Attribute and AttributeList ----

TEST(Attribute, OneValueConstructorKeepsNameValueAndType)
{
    Attribute x_att("units", "K", "string");
    EXPECT_EQ(x_att.GetName(), "units");
    EXPECT_EQ(x_att.GetValue(), "K");
    EXPECT_EQ(x_att.GetType(), "string");
    EXPECT_EQ(x_att.GetNumber(), 1);
    EXPECT_EQ(Values(x_att), std::vector<std::string>({"K"}));
}

TEST(Attribute, ListConstructorKeepsOrderAndAllowsEmpty)
{
    Attribute x_att("levels", std::list<std::string>{"3", "1", "2"}, "integer");
    EXPECT_EQ(x_att.GetNumber(), 3);
    EXPECT_EQ(x_att.GetValue(), "3");
    EXPECT_EQ(x_att.GetType(), "integer");
    EXPECT_EQ(Values(x_att), std::vector<std::string>({"3", "1", "2"}));

    Attribute x_empty("none", std::list<std::string>(), "float");
    EXPECT_EQ(x_empty.GetNumber(), 0);
    EXPECT_TRUE(x_empty.GetValues().empty());
}

TEST(AttributeList, DuplicatedNamesFirstWinsAndBothKept)
{
    AttributeList x_list("3236", 1);
    Attribute x_first("units", "K", "string");
    Attribute x_second("units", "degC", "string");
    x_list.Add(x_first);
    x_list.Add(x_second);
    EXPECT_TRUE(x_list.HasAttribute("units"));
    EXPECT_EQ(x_list.GetAttribute("units").GetValue(), "K");
    ASSERT_EQ(x_list.Get().size(), 2u);
    EXPECT_EQ(x_list.Get().back().GetValue(), "degC");
    EXPECT_EQ(x_list.GetName(), "3236");
    EXPECT_EQ(x_list.GetModel(), 1);
}

TEST(AttributeList, NamesCompareExactly)
{
    AttributeList x_list("x", 0);
    Attribute x_att("units", "K", "string");
    x_list.Add(x_att);
    EXPECT_FALSE(x_list.HasAttribute("Units"));
    EXPECT_FALSE(x_list.HasAttribute("unit"));
    EXPECT_FALSE(x_list.HasAttribute("units "));
    EXPECT_TRUE(x_list.HasAttribute("units"));
}

TEST(AttributeList, GetAttributeThrowsPlainString)
{
    AttributeList x_list("x", 0);
    Attribute x_att("units", "K", "string");
    x_list.Add(x_att);
    bool b_caught = false;
    try {
        x_list.GetAttribute("rain");
    } catch (const std::string& s_text) {
        b_caught = true;
        EXPECT_EQ(s_text, "Attribute with name: rain not found.  Use HasAttribute to check presence "
                          "before calling GetAttribute");
    }
    EXPECT_TRUE(b_caught);
}

TEST(AttributeList, EqualityComparesNamesOnly)
{
    AttributeList x_a("16203", 1);
    AttributeList x_b("16203", 2);
    Attribute x_att("units", "K", "string");
    x_b.Add(x_att);
    EXPECT_TRUE(x_a == x_b);
    AttributeList x_c("16204", 1);
    EXPECT_FALSE(x_a == x_c);
    AttributeList x_d("1620", 1);
    EXPECT_FALSE(x_a == x_d);
}

TEST(AttributeList, AddCopiesTheAttribute)
{
    AttributeList x_list("x", 0);
    Attribute x_att("units", "K", "string");
    x_list.Add(x_att);
    x_att = Attribute("changed", "Pa", "float");
    ASSERT_EQ(x_list.Get().size(), 1u);
    EXPECT_EQ(x_list.Get().front().GetName(), "units");
    EXPECT_EQ(x_list.Get().front().GetValue(), "K");
}

// ---- Translation file ----

TEST(VarLevTrans, ItemBecomesListInDocumentOrder)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file, std::string(cs_decl) +
                              "<anything><stash><submodel id=\"1\"><section id=\"3\">"
                              "<item id=\"236\" out_name=\"temp\" units=\"K\" standard_name=\"air_temperature\"/>"
                              "</section></submodel></stash></anything>\n");
    VarLevTrans x_trans(s_file);
    const LoadedTrans x_res = LoadTrans(x_trans);
    EXPECT_TRUE(x_res.b_loaded);
    EXPECT_EQ(x_res.s_stderr, "");
    const AttributeList& x_list = x_trans.GetVariableAttributes(3236, 1);
    EXPECT_EQ(x_list.GetName(), "3236");
    EXPECT_EQ(x_list.GetModel(), 1);
    EXPECT_EQ(Flatten(x_list), NameValues({{"stash_item", "236"},
                                           {"stash_section", "3"},
                                           {"out_name", "temp"},
                                           {"units", "K"},
                                           {"standard_name", "air_temperature"}}));
}

TEST(VarLevTrans, SectionZeroItemFoundWithoutLeadingZeros)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file, "<root><stash><submodel id=\"1\"><section id=\"0\">"
                          "<item id=\"24\" out_name=\"ts\"/></section></submodel></stash></root>");
    VarLevTrans x_trans(s_file);
    ASSERT_TRUE(LoadTrans(x_trans).b_loaded);
    const AttributeList& x_list = x_trans.GetVariableAttributes(24, 1);
    EXPECT_EQ(x_list.GetName(), "24");
    EXPECT_EQ(Flatten(x_list), NameValues({{"stash_item", "24"}, {"stash_section", "0"}, {"out_name", "ts"}}));
}

TEST(VarLevTrans, ModelMismatchAndUnknownCodeGiveNull)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file, "<root><stash><submodel id=\"1\"><section id=\"16\">"
                          "<item id=\"203\" out_name=\"temp\"/></section></submodel></stash></root>");
    VarLevTrans x_trans(s_file);
    ASSERT_TRUE(LoadTrans(x_trans).b_loaded);
    EXPECT_EQ(x_trans.GetVariableAttributes(16203, 1).GetName(), "16203");
    testing::internal::CaptureStderr();
    const AttributeList& x_other_model = x_trans.GetVariableAttributes(16203, 2);
    const AttributeList& x_unknown = x_trans.GetVariableAttributes(16204, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(x_other_model.GetName(), "NULL");
    EXPECT_TRUE(x_other_model.Get().empty());
    EXPECT_EQ(x_other_model.GetModel(), 0);
    EXPECT_EQ(x_unknown.GetName(), "NULL");
}

TEST(VarLevTrans, OnlyStashChildrenOfRootAreRead)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file,
                  "<root>"
                  "<submodel id=\"1\"><section id=\"1\"><item id=\"1\" out_name=\"loose\"/></section></submodel>"
                  "<!-- a comment --><other><stash><submodel id=\"1\"><section id=\"1\"><item id=\"2\"/>"
                  "</section></submodel></stash></other>"
                  "<stash><submodel id=\"1\"><section id=\"1\"><item id=\"3\" out_name=\"a\"/></section>"
                  "</submodel></stash>"
                  "<stash><submodel id=\"2\"><section id=\"1\"><item id=\"3\" out_name=\"b\"/></section>"
                  "</submodel></stash>"
                  "</root>");
    VarLevTrans x_trans(s_file);
    const LoadedTrans x_res = LoadTrans(x_trans);
    ASSERT_TRUE(x_res.b_loaded);
    EXPECT_EQ(x_res.s_stderr, "");
    EXPECT_EQ(x_trans.GetVariableAttributes(1001, 1).GetName(), "NULL");
    EXPECT_EQ(x_trans.GetVariableAttributes(1002, 1).GetName(), "NULL");
    EXPECT_EQ(x_trans.GetVariableAttributes(1003, 1).GetAttribute("out_name").GetValue(), "a");
    EXPECT_EQ(x_trans.GetVariableAttributes(1003, 2).GetAttribute("out_name").GetValue(), "b");
}

TEST(VarLevTrans, ItemWithOnlyIdHasTwoAttributes)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file, "<r><stash><submodel id=\"7\"><section id=\"5\"><item id=\"216\">text<child a=\"1\"/>"
                          "</item></section></submodel></stash></r>");
    VarLevTrans x_trans(s_file);
    ASSERT_TRUE(LoadTrans(x_trans).b_loaded);
    EXPECT_EQ(Flatten(x_trans.GetVariableAttributes(5216, 7)),
              NameValues({{"stash_item", "216"}, {"stash_section", "5"}}));
}

TEST(VarLevTrans, DuplicateCodeAndModelReturnsFirst)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file, "<r><stash><submodel id=\"1\"><section id=\"2\"><item id=\"1\" out_name=\"first\"/>"
                          "<item id=\"1\" out_name=\"second\"/></section></submodel></stash></r>");
    VarLevTrans x_trans(s_file);
    ASSERT_TRUE(LoadTrans(x_trans).b_loaded);
    EXPECT_EQ(x_trans.GetVariableAttributes(2001, 1).GetAttribute("out_name").GetValue(), "first");
}

TEST(VarLevTrans, BadSubmodelIdIsReportedAndSkipped)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file, "<r><stash>"
                          "<submodel id=\"one\"><section id=\"1\"><item id=\"1\" out_name=\"x\"/></section></submodel>"
                          "<submodel><section id=\"1\"><item id=\"2\" out_name=\"y\"/></section></submodel>"
                          "<submodel id=\"1\"><section id=\"1\"><item id=\"3\" out_name=\"z\"/></section></submodel>"
                          "</stash></r>");
    VarLevTrans x_trans(s_file);
    const LoadedTrans x_res = LoadTrans(x_trans);
    EXPECT_TRUE(x_res.b_loaded);
    EXPECT_EQ(x_res.s_stderr, "Error in XML in file: submodel\nError in XML in file: submodel\n");
    EXPECT_EQ(x_trans.GetVariableAttributes(1001, 0).GetName(), "NULL");
    EXPECT_EQ(x_trans.GetVariableAttributes(1002, 0).GetName(), "NULL");
    EXPECT_EQ(x_trans.GetVariableAttributes(1003, 1).GetName(), "1003");
}

TEST(VarLevTrans, BadSectionIdReadsItemsWithSectionZero)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file, "<r><stash><submodel id=\"1\"><section id=\"x3\"><item id=\"236\" out_name=\"t\"/>"
                          "</section></submodel></stash></r>");
    VarLevTrans x_trans(s_file);
    const LoadedTrans x_res = LoadTrans(x_trans);
    EXPECT_TRUE(x_res.b_loaded);
    EXPECT_EQ(x_res.s_stderr, "Error in XML file: section\n");
    EXPECT_EQ(Flatten(x_trans.GetVariableAttributes(236, 1)),
              NameValues({{"stash_item", "236"}, {"stash_section", "0"}, {"out_name", "t"}}));
}

TEST(VarLevTrans, BadItemIdStoresItemZero)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("trans.xml");
    WriteTextFile(s_file, "<r><stash><submodel id=\"1\"><section id=\"3\"><item id=\"abc\" out_name=\"t\"/>"
                          "<item out_name=\"u\"/></section></submodel></stash></r>");
    VarLevTrans x_trans(s_file);
    const LoadedTrans x_res = LoadTrans(x_trans);
    EXPECT_TRUE(x_res.b_loaded);
    EXPECT_EQ(x_res.s_stderr, "Error in XML file: item\nError in XML file: item\n");
    EXPECT_EQ(Flatten(x_trans.GetVariableAttributes(3000, 1)),
              NameValues({{"stash_item", "0"}, {"stash_section", "3"}, {"out_name", "t"}}));
}

TEST(VarLevTrans, DocumentWithoutElementIsMalformed)
{
    TempDir x_dir;
    const std::vector<std::string> x_texts = {std::string(cs_decl), "<!-- only a comment -->\n",
                                              std::string(cs_decl) + "<!-- and a comment -->\n"};
    for (const std::string& s_text : x_texts) {
        const std::string s_file = x_dir.File("trans.xml");
        WriteTextFile(s_file, s_text);
        VarLevTrans x_trans(s_file);
        const LoadedTrans x_res = LoadTrans(x_trans);
        EXPECT_FALSE(x_res.b_loaded) << s_text;
        EXPECT_EQ(x_res.s_stderr, "Malformed XML in file.\n") << s_text;
    }
}

TEST(VarLevTrans, UnopenableOrBrokenFilesFailSilently)
{
    TempDir x_dir;
    const std::string s_broken = x_dir.File("broken.xml");
    WriteTextFile(s_broken, "<r><stash><submodel id=\"1\"></stash></r>");
    const std::string s_empty = x_dir.File("empty.xml");
    WriteTextFile(s_empty, "");
    const std::string s_blank = x_dir.File("blank.xml");
    WriteTextFile(s_blank, "  \n\t\n");
    const std::vector<std::string> x_paths = {x_dir.File("missing.xml"), x_dir.Path(), s_broken, s_empty,
                                              s_blank};
    for (const std::string& s_path : x_paths) {
        VarLevTrans x_trans(s_path);
        const LoadedTrans x_res = LoadTrans(x_trans);
        EXPECT_FALSE(x_res.b_loaded) << s_path;
        EXPECT_EQ(x_res.s_stderr, "") << s_path;
        EXPECT_EQ(x_trans.GetVariableAttributes(0, 0).GetName(), "NULL");
    }
}

TEST(VarLevTrans, LargeFileLoadsQuickly)
{
    TempDir x_dir;
    const std::string s_file = x_dir.File("big.xml");
    const int ci_items = 20000;
    std::string s_text = std::string(cs_decl) + "<r><stash><submodel id=\"1\">\n";
    for (int i_section = 0; i_section < ci_items / 500; ++i_section) {
        s_text += "<section id=\"" + std::to_string(i_section) + "\">\n";
        for (int i_item = 0; i_item < 500; ++i_item) {
            s_text += "<item id=\"" + std::to_string(i_item) + "\" out_name=\"v" + std::to_string(i_section) +
                      "_" + std::to_string(i_item) +
                      "\" standard_name=\"a_rather_long_standard_name_to_make_the_file_bigger\""
                      " long_name=\"a long name that takes up some more room in the file\" units=\"1\"/>\n";
        }
        s_text += "</section>\n";
    }
    s_text += "</submodel></stash></r>\n";
    WriteTextFile(s_file, s_text);
    ASSERT_GT(s_text.size(), 3000000u);

    const auto x_start = std::chrono::steady_clock::now();
    VarLevTrans x_trans(s_file);
    const bool b_loaded = x_trans.LoadAttributes();
    const double f_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - x_start).count();
    ASSERT_TRUE(b_loaded);
    EXPECT_LT(f_seconds, 5.0);
    EXPECT_EQ(x_trans.GetVariableAttributes(0, 1).GetAttribute("out_name").GetValue(), "v0_0");
    EXPECT_EQ(x_trans.GetVariableAttributes(39499, 1).GetAttribute("out_name").GetValue(), "v39_499");
    EXPECT_EQ(x_trans.GetVariableAttributes(17250, 1).GetAttribute("out_name").GetValue(), "v17_250");
    EXPECT_EQ(x_trans.GetVariableAttributes(39500, 1).GetName(), "NULL");
}

// ---- Level table ----

namespace
{

AttributeList LevelAtts(int i_type, int i_size, std::string& s_stdout)
{
    VarLevTrans x_trans("/nonexistent/none.xml");
    testing::internal::CaptureStdout();
    AttributeList x_list = x_trans.GetLevelAttributes(i_type, i_size);
    s_stdout = testing::internal::GetCapturedStdout();
    return x_list;
}

} // namespace

TEST(LevelTable, EveryRowInOrder)
{
    const std::vector<std::pair<int, NameValues>> x_rows = {
        {0, {{"standard_name", "unspecified"}, {"out_name", "unspecified"}}},
        {1, {{"out_name", "height"}, {"standard_name", "height"}, {"units", "m"}, {"direction", "up"}}},
        {5, {{"standard_name", "boundary_layer_height"}, {"out_name", "boundary_layer"}}},
        {6, {{"standard_name", "non_dimensional_soil_level"}, {"out_name", "soil_level"}}},
        {8, {{"standard_name", "air_pressure"}, {"units", "hPa"}, {"direction", "down"}, {"out_name", "pressure"}}},
        {9,
         {{"standard_name", "atmosphere_hybrid_sigma_pressure_coordinate"},
          {"direction", "down"},
          {"out_name", "hybrid_pressure_x1000"}}},
        {10, {{"standard_name", "atmosphere_sigma_coordinate"}, {"direction", "down"}, {"out_name", "sigma"}}},
        {65,
         {{"standard_name", "atmosphere_hybrid_height_coordinate"},
          {"direction", "down"},
          {"out_name", "hybrid_height"}}},
        {128,
         {{"standard_name", "height"}, {"units", "m"}, {"direction", "up"}, {"out_name", "mean_sea_level"}}},
        {130,
         {{"standard_name", "tropopause_altitude"}, {"units", "m"}, {"direction", "up"}, {"out_name", "tropopause"}}},
        {131, {{"standard_name", "maximum_wind_level"}, {"out_name", "max_wind"}}},
        {132, {{"standard_name", "freezing_level"}, {"out_name", "freezing_level"}}},
        {133, {{"standard_name", "top_of_atmosphere"}, {"out_name", "toa"}}},
        {142, {{"standard_name", "upper_hybrid_level"}, {"out_name", "upper_hybrid_level"}}},
        {143, {{"standard_name", "lower_hybrid_level"}, {"out_name", "lower_hybrid_level"}}},
        {176, {{"standard_name", "latitude"}, {"direction", "north"}, {"out_name", "latitude"}}},
        {177, {{"standard_name", "longitude"}, {"direction", "east"}, {"out_name", "longitude"}}},
        {275, {{"standard_name", "canopy_height"}, {"out_name", "canopy_height"}}},
    };
    for (const auto& x_row : x_rows) {
        std::string s_stdout;
        const AttributeList x_list = LevelAtts(x_row.first, 3, s_stdout);
        EXPECT_EQ(x_list.GetName(), "Level") << x_row.first;
        EXPECT_EQ(x_list.GetModel(), 0) << x_row.first;
        EXPECT_EQ(Flatten(x_list), x_row.second) << x_row.first;
        EXPECT_EQ(s_stdout, "") << x_row.first;
    }
}

TEST(LevelTable, SurfaceOrPseudoBySize)
{
    std::string s_stdout;
    const NameValues x_common = {{"standard_name", "height"}, {"units", "m"}, {"direction", "up"}};
    const std::vector<std::pair<int, std::string>> x_cases = {{1, "surface"}, {2, "pseudo"}, {0, "pseudo"},
                                                              {-1, "pseudo"}};
    for (const auto& x_case : x_cases) {
        NameValues x_expected = x_common;
        x_expected.emplace_back("out_name", x_case.second);
        EXPECT_EQ(Flatten(LevelAtts(129, x_case.first, s_stdout)), x_expected) << x_case.first;
        EXPECT_EQ(s_stdout, "");
    }
}

TEST(LevelTable, UnsupportedTypesGiveNullAndMessage)
{
    for (int i_type : {2, 7, 64, 134, 276, -1}) {
        std::string s_stdout;
        testing::internal::CaptureStderr();
        const AttributeList x_list = LevelAtts(i_type, 1, s_stdout);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(x_list.GetName(), "NULL");
        EXPECT_EQ(x_list.GetModel(), 0);
        EXPECT_TRUE(x_list.Get().empty());
        EXPECT_EQ(s_stdout, "Error: " + std::to_string(i_type) + " not supported\n");
    }
}

TEST(LevelTable, CallsReturnIndependentLists)
{
    VarLevTrans x_trans("/nonexistent/none.xml");
    AttributeList x_first = x_trans.GetLevelAttributes(8, 1);
    Attribute x_extra("extra", "1", "string");
    x_first.Add(x_extra);
    const AttributeList x_second = x_trans.GetLevelAttributes(8, 1);
    EXPECT_EQ(x_first.Get().size(), 5u);
    EXPECT_EQ(x_second.Get().size(), 4u);
    EXPECT_FALSE(x_second.HasAttribute("extra"));
}

// ---- Global attributes file ----

namespace
{

struct LoadedGlobals
{
    bool b_loaded;
    std::string s_output;
};

LoadedGlobals LoadGlobals(GlobalAtts& x_atts, const TempDir& x_dir, const std::string& s_text)
{
    const std::string s_file = x_dir.File("gatts.txt");
    WriteTextFile(s_file, s_text);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool b_loaded = x_atts.LoadAttributes(s_file);
    std::string s_output = testing::internal::GetCapturedStderr();
    s_output += testing::internal::GetCapturedStdout();
    return LoadedGlobals{b_loaded, s_output};
}

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
    for (const std::string& s_value : x_rec.x_values) {
        x_out << " " << s_value;
    }
    return x_out;
}

std::vector<Record> Records(const GlobalAtts& x_atts)
{
    std::vector<Record> x_out;
    for (const Attribute& x_att : x_atts.GetAttributes().Get()) {
        x_out.push_back(Record{x_att.GetName(), x_att.GetType(), Values(x_att)});
    }
    return x_out;
}

} // namespace

TEST(GlobalAtts, InitialState)
{
    GlobalAtts x_atts;
    EXPECT_FALSE(x_atts.Valid());
    EXPECT_EQ(x_atts.GetAttributes().GetName(), "global");
    EXPECT_EQ(x_atts.GetAttributes().GetModel(), 0);
    EXPECT_TRUE(x_atts.GetAttributes().Get().empty());
    EXPECT_EQ(x_atts.GetMaxSize(), 0);
}

TEST(GlobalAtts, TwoRecordExample)
{
    TempDir x_dir;
    GlobalAtts x_atts;
    const LoadedGlobals x_res = LoadGlobals(x_atts, x_dir, "history string 2 first second\nversion integer 1 3\n");
    ASSERT_TRUE(x_res.b_loaded);
    EXPECT_EQ(x_res.s_output, "");
    EXPECT_TRUE(x_atts.Valid());
    EXPECT_EQ(Records(x_atts), std::vector<Record>({{"history", "string", {"first", "second"}},
                                                    {"version", "integer", {"3"}}}));
    // Largest count 2 times the longest string value (6 bytes) plus 2.
    EXPECT_EQ(x_atts.GetMaxSize(), 16);
}

TEST(GlobalAtts, LineStructureCarriesNoMeaning)
{
    TempDir x_dir;
    GlobalAtts x_one_line;
    ASSERT_TRUE(LoadGlobals(x_one_line, x_dir, "history string 2 first second version integer 1 3").b_loaded);
    GlobalAtts x_spread;
    ASSERT_TRUE(LoadGlobals(x_spread, x_dir, "history\n\tstring\n2 first\n\n  second\r\nversion integer\n1\n3\n\n\n")
                    .b_loaded);
    EXPECT_EQ(Records(x_one_line), Records(x_spread));
    EXPECT_EQ(x_one_line.GetAttributes().Get().size(), 2u);
    EXPECT_EQ(x_one_line.GetMaxSize(), x_spread.GetMaxSize());
}

TEST(GlobalAtts, EmptyAndWhitespaceOnlyFilesLoad)
{
    TempDir x_dir;
    for (const std::string& s_text : {std::string(""), std::string(" \n\t \n")}) {
        GlobalAtts x_atts;
        const LoadedGlobals x_res = LoadGlobals(x_atts, x_dir, s_text);
        EXPECT_TRUE(x_res.b_loaded);
        EXPECT_TRUE(x_atts.Valid());
        EXPECT_TRUE(x_atts.GetAttributes().Get().empty());
        EXPECT_EQ(x_atts.GetMaxSize(), 0);
    }
}

TEST(GlobalAtts, SizesOfIntegerAndStringRecords)
{
    TempDir x_dir;
    GlobalAtts x_atts;
    ASSERT_TRUE(LoadGlobals(x_atts, x_dir, "years integer 5 1 2 3 4 5\ntitle string 1 0123456789\n").b_loaded);
    EXPECT_EQ(x_atts.GetMaxSize(), 60);

    GlobalAtts x_numbers;
    ASSERT_TRUE(LoadGlobals(x_numbers, x_dir, "a float 3 1.5 2.5 3.5\nb double 1 12345678901234567890\n").b_loaded);
    // Without string records the long numeric token does not count; the size is the largest count.
    EXPECT_EQ(x_numbers.GetMaxSize(), 3);
}

TEST(GlobalAtts, UnknownTypesZeroAndNegativeCountsAreKept)
{
    TempDir x_dir;
    GlobalAtts x_atts;
    ASSERT_TRUE(LoadGlobals(x_atts, x_dir, "big long 2 1 2\nnothing string 0\nminus integer -3\nlast byte 1 7\n")
                    .b_loaded);
    EXPECT_EQ(Records(x_atts), std::vector<Record>({{"big", "long", {"1", "2"}},
                                                    {"nothing", "string", {}},
                                                    {"minus", "integer", {}},
                                                    {"last", "byte", {"7"}}}));
    EXPECT_EQ(x_atts.GetMaxSize(), 2);
}

TEST(GlobalAtts, DuplicatedNamesKeptInFileOrder)
{
    TempDir x_dir;
    GlobalAtts x_atts;
    ASSERT_TRUE(LoadGlobals(x_atts, x_dir, "source string 1 one\nsource integer 1 2\nsource string 1 three\n")
                    .b_loaded);
    EXPECT_EQ(Records(x_atts), std::vector<Record>({{"source", "string", {"one"}},
                                                    {"source", "integer", {"2"}},
                                                    {"source", "string", {"three"}}}));
    EXPECT_EQ(x_atts.GetAttributes().GetAttribute("source").GetValue(), "one");
}

TEST(GlobalAtts, IncompleteFinalRecordFails)
{
    TempDir x_dir;
    const std::vector<std::string> x_texts = {
        "ok string 1 fine\ncut string 3 a b\n", "ok string 1 fine\nnotype", "ok string 1 fine\nnocount string\n",
        "ok string 1 fine\nhuge string 2000000000 a b c\n"};
    for (const std::string& s_text : x_texts) {
        GlobalAtts x_atts;
        const LoadedGlobals x_res = LoadGlobals(x_atts, x_dir, s_text);
        EXPECT_FALSE(x_res.b_loaded) << s_text;
        EXPECT_FALSE(x_atts.Valid()) << s_text;
        EXPECT_EQ(x_res.s_output, "") << s_text;
    }
}

TEST(GlobalAtts, NonIntegerCountFails)
{
    TempDir x_dir;
    for (const char* s_count : {"two", "2x", "1.5", "-", "99999999999"}) {
        GlobalAtts x_atts;
        const LoadedGlobals x_res = LoadGlobals(x_atts, x_dir, std::string("a string ") + s_count + " v w x\n");
        EXPECT_FALSE(x_res.b_loaded) << s_count;
        EXPECT_FALSE(x_atts.Valid()) << s_count;
    }
    GlobalAtts x_plus;
    ASSERT_TRUE(LoadGlobals(x_plus, x_dir, "a integer +2 4 5\n").b_loaded);
    EXPECT_EQ(Records(x_plus), std::vector<Record>({{"a", "integer", {"4", "5"}}}));
}

TEST(GlobalAtts, MissingFileOrDirectoryFails)
{
    TempDir x_dir;
    for (const std::string& s_path : {x_dir.File("missing.txt"), x_dir.Path()}) {
        GlobalAtts x_atts;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(x_atts.LoadAttributes(s_path)) << s_path;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(x_atts.Valid());
        EXPECT_TRUE(x_atts.GetAttributes().Get().empty());
    }
}
