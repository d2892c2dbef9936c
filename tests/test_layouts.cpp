// Readers of every layout: cut or damaged files are refused with a reason, and each layout is
// recognised by two checks. That every layout reads as today's does is shown by whole
// conversions (tests/e2e/test_layouts_convert.py).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "NormalisedFile.h"
#include "RawConvert.h"
#include "TestFiles.h"

namespace {

// Fields the model reads in every way: grids regular and rotated, pressure and hybrid levels,
// an integer field, missing values, WGDOS (%PACK%) and 32-bit packing (%IEEE%); %EXTRA% gives
// the rotated field PP extra data. Field 3 holds the earliest validity time, the reference time.
const char cs_fields[] = R"("calendar": 2, "ref_time": [1989, 12, 30, 18, 0, 0],
    "field_defaults": {"vt": [1990, 1, 1, 12, 0, 0]}, "fields": [
    {"vt": [1990, 1, 1, 6, 0, 0], "blev": 850, "pattern": "smooth", "base": 240, "amplitude": 50,
     "rows": 7, "cols": 9},
    {"vt": [1990, 1, 1, 6, 0, 0], "blev": 500, "rows": 7, "cols": 9, "lbproc": 128},
    {"vt": [1990, 1, 2, 0, 0, 0], "lbcode": 101, "bplat": 37.5, "bplon": 177.5, "bzy": -5.0, "bdy": 0.11,
     "bzx": 326.0, "bdx": 0.11, "rows": 6, "cols": 5, "stash": 3236, "lbvc": 129, "lbtim": 11 %EXTRA%},
    {"vt": [1989, 12, 30, 18, 0, 0], "lbvc": 9, "blev": 0.9, "bhlev": 1200.0, "stash": 4, "pseudo": 0},
    {"lbuser1": 2, "stash": 30, "ints": [1, -2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -32768]},
    {"data": [1.5, null, 3.25, 4, 5, null, 7, 8, 9, 10, 11, 12], "stash": 16222, "pseudo": 3},
    {"lbpack": %PACK%, "accuracy": -6, "wgdos_zero": true, "rows": 4, "cols": 5, "stash": 24,
     "data": [271.25, 0, null, 280.5, 281, 0, 0, 250.125, null, 260, 261, 262, 263, 264, 265, 0, 1, 2, 3, 4]},
    {"lbpack": %IEEE%, "data": [0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1e30]}]})";
// Fields-file parts no PP file has: constants and spare entries.
const char cs_fields_file_parts[] = R"("spare": 3, "int_consts": [7, 8, 9, -1, 2147483647],
    "real_consts": [1.5, -2.25], "level_consts": [3, 2], "level_consts_values": [1, 2, 3, 4, 5, 6.5],
    "row_consts": [7, 1], "row_consts_values": [-60, -40, -20, 0, 20, 40, 60], "col_consts": [9, 1],
    "col_consts_values": [0, 40, 80, 120, 160, 200, 240, 280, 320], )";
const std::string cs_extra = R"(, "extra_x": [326.11, 326.22, 326.33, 326.44, 326.55],
    "extra_y": [-4.89, -4.78, -4.67, -4.56, -4.45, -4.34])";
const FileLayout cx_ff64{FileLayout::FieldsFile, 8, true, 8};
const FileLayout cx_ff32{FileLayout::FieldsFile, 4, false, 4};
const FileLayout cx_pp32{FileLayout::PPFile, 4, true, 4};
const FileLayout cx_pp64{FileLayout::PPFile, 8, true, 8};
// Replaces every %KEY% in s_text.
std::string Fill(std::string s_text, const std::string& s_key, const std::string& s_value)
{
    for (size_t i_at; (i_at = s_text.find("%" + s_key + "%")) != std::string::npos;)
        s_text.replace(i_at, s_key.size() + 2, s_value);
    return s_text;
}

// Bytes to write over a generated file at an offset.
struct Patch
{
    long long i_offset;
    std::string s_bytes;
};

// Writes a file from the JSON description of each job with tools/umgen.py, all in one run of
// the generator (starting it costs more than writing a small file), then applies the patches.
struct MakeJob
{
    std::string s_json;
    std::string s_path;
    std::vector<Patch> x_patches;
};

void MakeAll(const std::vector<MakeJob>& x_jobs, const std::string& s_list_path)
{
    std::string s_list = "[";
    for (const MakeJob& x_job : x_jobs)
        s_list += (s_list.size() > 1 ? ", [\"" : "[\"") + x_job.s_path + "\", " + x_job.s_json + "]";
    WriteTextFile(s_list_path, s_list + "]");
    int i_status = 0;
    const std::string s_script = "import json, sys; sys.path.insert(0, \"" TESSOLD_SOURCE_DIR "/tools\"); "
                                 "import umgen; [umgen.write(p, d) for p, d in json.load(open(sys.argv[1]))]";
    const std::string s_output =
        RunCommand(std::string(TESSOLD_PYTHON) + " -c '" + s_script + "' '" + s_list_path + "'", i_status);
    ASSERT_EQ(i_status, 0) << s_output << s_list;
    for (const MakeJob& x_job : x_jobs) {
        std::fstream x_file(x_job.s_path, std::ios::in | std::ios::out | std::ios::binary);
        for (const Patch& x_patch : x_job.x_patches) {
            x_file.seekp(x_patch.i_offset);
            x_file.write(x_patch.s_bytes.data(), static_cast<std::streamsize>(x_patch.s_bytes.size()));
        }
    }
}

// Returns word i_word (1-based) of lookup entry i_field.
int Word(const UMArrays& x_arrays, int i_field, int i_word)
{
    return x_arrays.px_pphdrs[static_cast<long long>(i_field) * x_arrays.px_fixhdr[150] + i_word - 1];
}

// Returns the values of field i_field, wherever the arrays' data section starts.
const int* Values(const UMArrays& x_arrays, int i_field)
{
    return x_arrays.px_data + Word(x_arrays, i_field, 29) - (x_arrays.px_fixhdr[159] - 1);
}

// Expects the same number of words in two arrays that may be absent.
void ExpectSameWords(const int* px_want, const int* px_got, long long i_count, const std::string& s_what)
{
    ASSERT_EQ(px_want == nullptr, px_got == nullptr) << s_what;
    for (long long i = 0; px_want != nullptr && i < i_count; ++i)
        ASSERT_EQ(px_want[i], px_got[i]) << s_what << " word " << i;
}

// The start of a description of a file in the layout, up to its own keys.
std::string LayoutKeys(const FileLayout& x_layout)
{
    return std::string("{\"format\": \"") + (x_layout.x_kind == FileLayout::PPFile ? "pp" : "fieldsfile") +
           "\", \"word_size\": " + std::to_string(x_layout.i_word_bytes) + ", \"marker_size\": " +
           std::to_string(x_layout.i_marker_bytes) + ", \"byte_order\": \"" +
           (x_layout.b_big_endian ? "big" : "little") + "\", ";
}

// The fields above in the layout, packed (WGDOS, and 32-bit in 64-bit words) or not.
std::string Description(const FileLayout& x_layout, bool b_packs)
{
    const bool b_pp = x_layout.x_kind == FileLayout::PPFile;
    const std::string s_fields = Fill(Fill(Fill(cs_fields, "PACK", b_packs ? "1" : "0"), "IEEE", b_packs ? "2" : "0"),
                                      "EXTRA", b_pp ? cs_extra : "");
    return LayoutKeys(x_layout) + (b_pp ? "" : cs_fields_file_parts) + s_fields;
}

}  // namespace

namespace {

// The four bytes of i_value, big-endian.
std::string BigEndian32(unsigned int i_value)
{
    return {static_cast<char>(i_value >> 24), static_cast<char>(i_value >> 16), static_cast<char>(i_value >> 8),
            static_cast<char>(i_value)};
}

// A file to read in a given layout, and what reading it must give: the fault, or (s_fault
// empty) the number of fields.
struct ReadCase
{
    FileLayout x_layout;
    const char* s_json;
    const char* s_fault;
    int i_fields = 0;
    std::vector<Patch> x_patches = {};
};

}  // namespace

TEST(Layouts, DamagedHeadersAreRefusedWithTheirReason)
{
    const ReadCase cx_cases[] = {
        {cx_ff64, R"("fields": [{}], "truncate": 100)", "fixed header is shorter than 2048 bytes"},
        {cx_ff64, R"("fields": [{}], "fixhdr": {"5": 1099511627776})",
         "fixed header holds 1099511627776 in word 5, which does not fit 32 bits"},
        {cx_ff64, R"("fields": [{}], "fixhdr": {"152": -1})", "lookup table has a negative number of entries"},
        {cx_ff64, R"("fields": [{}], "fixhdr": {"152": 2000000000})",
         "lookup entry 1999999999 lies outside the file"},
        {cx_ff64, R"("fields": [{}], "fixhdr": {"150": 2000000000})", "lookup table lies outside the file"},
        {cx_ff64, R"("fields": [{}], "fixhdr": {"151": 40})", "lookup entry length 40 is below 64 words"},
        {cx_ff64, R"("fields": [{}], "fixhdr": {"101": 1000000})", "integer constants lie outside the file"},
        {cx_ff64, R"("row_consts": [3, 2], "fields": [{}], "fixhdr": {"117": -2})",
         "row-dependent constants have a negative length"},
        {cx_ff64, R"("int_consts": [1, 4294967296], "fields": [{}])",
         "integer constants section holds 4294967296 in word 2, which does not fit 32 bits"},
        {cx_ff64, R"("fields": [{}], "fixhdr": {"160": 2000000000})",
         "data section start 2000000000 lies outside the file"},
        {cx_ff64, R"("fields": [{"lookup": {"1": -99}}, {"lookup": {"18": 4294967296}}])",
         "lookup entry 1 holds 4294967296 in word 18, which does not fit 32 bits"},
        {cx_ff64, R"("fields": [{"lookup": {"29": 2000000000}}])", "field 0 data lie outside the file"},
        {cx_ff64, R"("fields": [{"lookup": {"29": 5}}])", "field 0 data lie outside the data section"},
        {cx_ff64, R"("fields": [{}, {"rows": 0}])", "field 1 has 0 rows and 4 columns"},
        {cx_ff64, R"("fields": [{"lookup": {"15": -1}}])", "field 0 has a negative record length"},
        {cx_ff64, R"("fields": [{"lbuser1": 2, "ints": [4294967296, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]}])",
         "field 0 holds 4294967296 in word 1, which does not fit 32 bits"},
        {cx_ff64, R"("fields": [{"lbpack": 4}])", "field 0 is packed (LBPACK=4), which this program cannot read"},
        {cx_ff64, R"("fields": [{"lbpack": 120}])", "field 0 is packed (LBPACK=120), which this program"},
        {cx_ff64, R"("fields": [{"lbpack": 1100}])", "field 0 is packed (LBPACK=1100), which this program"},
        {cx_ff64, R"("fields": [{"lbpack": 1, "lbuser1": 2}])", "field 0 is packed (LBPACK=1), which this"},
        {cx_ff64, R"("fields": [{"lbpack": 1, "lookup": {"19": 5}}])",
         "field 0: WGDOS header gives 4 x 3 points for a field of 3 rows and 5 columns"},
        {cx_ff64, R"("fields": [{"lbpack": 1, "lookup": {"18": 60000}}])",
         "field 0 has 60000 rows and 4 columns, more than its WGDOS record of"},
        {cx_ff64, R"("fields": [{"lbpack": 1, "pad": 70000, "lookup": {"18": 32769, "19": 65535}}])",
         "fields 0 to 0 hold more than 2147483647 values"},
        {cx_ff64, R"("fields": [{}, {"lbfc": 0}, {}], "spare": 2)", "", 3},
        {cx_ff64, R"("fields": [{"lookup": {"1": -99}}, {}, {"lookup": {"29": -99}}])", "", 1},
        {cx_ff32, R"("fields": [{}, {"lbfc": 0}, {}])", "", 1},
        {cx_pp32, R"("fields": [{}])",
         "field 0 header record has length markers 256 and 255, which disagree", 0, {{260, BigEndian32(255)}}},
        {cx_pp32, R"("fields": [{}])", "field 0 data record of 2147483647 bytes runs past the end of the file", 0,
         {{264, BigEndian32(0x7FFFFFFF)}}},
        {cx_pp32, R"("fields": [{}])",
         "field 0 header record holds 252 bytes, not 256", 0, {{0, BigEndian32(252)}, {256, BigEndian32(252)}}},
        {cx_pp32, R"("fields": [{}], "truncate": 2)",
         "field 0 header record starts with a length marker cut short by the end of the file"},
        {cx_pp32, R"("fields": [{}], "append": 3)",
         "field 1 header record starts with a length marker cut short by the end of the file"},
        {cx_pp32, R"("fields": [{"lookup": {"20": 1000}}])", "field 0 extra data (LBEXT=1000) run past its record"},
        {cx_pp32, R"("fields": [{"lookup": {"20": -3}}])", "field 0 has a negative extra data length"},
        {cx_pp32, R"("fields": [{"lookup": {"15": 100}}])", "field 0 data run past its record"},
        {cx_pp32, R"("fields": [{"extra_x": [1, 2, 3]}])", "field 0 extra data give 3 x coordinates for 4 columns"},
        {cx_pp32, R"("fields": [{"extra_y": [1, 2, 3], "lookup": {"20": 3}}])",
         "field 0 extra data vector at word 1 (code 3002) runs past the extra data"},
        {cx_pp32, R"("fields": [{"lbpack": 1, "lookup": {"18": 2}}])",
         "field 0: WGDOS header gives 4 x 3 points for a field of 2 rows and 4 columns"},
        {cx_pp32, R"("fields": [{}, {"lbpack": 4}])", "field 1 is packed (LBPACK=4), which this program cannot read"},
        {cx_pp32, R"("fields": [{"extra_x": [1, 2, 3, 4], "lookup": {"15": 17}}])", "", 1},
        {cx_pp64, R"("fields": [{"lookup": {"18": 4294967296}}])",
         "field 0 header holds 4294967296 in word 18, which does not fit 32 bits"},
    };
    TempDir x_dir;
    std::vector<MakeJob> x_jobs;
    for (const ReadCase& x_case : cx_cases)
        x_jobs.push_back({LayoutKeys(x_case.x_layout) + x_case.s_json + "}",
                          x_dir.File("case" + std::to_string(x_jobs.size()) + ".um"), x_case.x_patches});
    MakeAll(x_jobs, x_dir.File("cases.json"));
    for (size_t i_case = 0; i_case < x_jobs.size(); ++i_case) {
        const ReadCase& x_case = cx_cases[i_case];
        const std::string& s_path = x_jobs[i_case].s_path;
        NormalisedFile x_read;
        std::string s_fault;
        const bool b_read = ReadNormalised(s_path, x_case.x_layout, x_read, s_fault);
        EXPECT_EQ(b_read, *x_case.s_fault == '\0') << x_case.s_json << " gave: " << s_fault;
        EXPECT_EQ(s_fault.find(x_case.s_fault), 0u) << x_case.s_json << " gave: " << s_fault;
        if (b_read) {
            EXPECT_EQ(x_read.x_arrays.px_fixhdr[151], x_case.i_fields) << x_case.s_json;
        }
    }
}

namespace {

// Expects a file cut short to be refused with a reason, or read whole: the fields it gives are
// the first fields of the uncut file, all of them for a fields file. True when it was read.
bool ExpectRefusedOrWhole(const std::string& s_path, const FileLayout& x_layout, const NormalisedFile& x_full,
                          long long i_cut)
{
    NormalisedFile x_read;
    std::string s_fault;
    if (!ReadNormalised(s_path, x_layout, x_read, s_fault)) {
        EXPECT_FALSE(s_fault.empty()) << "cut at " << i_cut;
        return false;
    }
    const UMArrays& x_got = x_read.x_arrays;
    const int i_fields = x_got.px_fixhdr[151];
    if (x_layout.x_kind == FileLayout::FieldsFile) {
        EXPECT_EQ(i_fields, x_full.x_arrays.px_fixhdr[151]) << "cut at " << i_cut;
    }
    for (int i_field = 0; i_field < i_fields; ++i_field)
        ExpectSameWords(Values(x_full.x_arrays, i_field), Values(x_got, i_field),
                        static_cast<long long>(Word(x_got, i_field, 18)) * Word(x_got, i_field, 19),
                        "cut at " + std::to_string(i_cut));
    return true;
}

}  // namespace

TEST(Layouts, FilesCutShortAreRefusedOrReadWhole)
{
    TempDir x_dir;
    const std::pair<std::string, FileLayout> cx_files[] = {{x_dir.File("full.ff"), cx_ff64},
                                                           {x_dir.File("full.pp"), cx_pp32}};
    MakeAll({{Description(cx_ff64, true), cx_files[0].first, {}},
             {Description(cx_pp32, true), cx_files[1].first, {}}}, x_dir.File("list.json"));
    for (const auto& x_file : cx_files) {
        NormalisedFile x_full;
        std::string s_fault;
        ASSERT_TRUE(ReadNormalised(x_file.first, x_file.second, x_full, s_fault)) << s_fault;
        const std::string s_bytes = ReadFileBytes(x_file.first);
        const long long i_size = static_cast<long long>(s_bytes.size());
        // Every word through the headers (a PP file has them throughout), coarser in the data.
        const bool b_pp = x_file.second.x_kind == FileLayout::PPFile;
        const long long i_dense = b_pp ? i_size : 2048 + 8 * (5 + 2 + 6 + 7 + 9 + 11 * 64);
        const std::string s_cut = x_dir.File("cut");
        int i_read = 0;
        const long long i_word = x_file.second.i_word_bytes;
        for (long long i_cut = 0; i_cut < i_size; i_cut += i_cut < i_dense ? i_word : 1 + i_size / 61) {
            WriteTextFile(s_cut, s_bytes.substr(0, static_cast<size_t>(i_cut)));
            i_read += ExpectRefusedOrWhole(s_cut, x_file.second, x_full, i_cut);
        }
        // A PP file cut between two fields is a whole file of fewer fields (none at 0 bytes).
        EXPECT_EQ(i_read, b_pp ? x_full.x_arrays.px_fixhdr[151] : 0);
    }
}

TEST(Layouts, DetectLayoutNeedsBothChecksOfALayout)
{
    const std::string s_pp = LayoutKeys(cx_pp32) + R"("fields": [{}])";
    const std::string s_ff = LayoutKeys(cx_ff64) + R"("fields": [{}], )";
    TempDir x_dir;
    // Each file passes one of the two checks of the layout it nearly has, but not the other.
    const std::vector<MakeJob> x_jobs = {
        {s_ff + R"("fixhdr": {"151": 40}})", x_dir.File("entry_length.um"), {}},
        {s_ff + R"("fixhdr": {"150": 99999999}})", x_dir.File("lookup_start.um"), {}},
        {s_ff + R"("fixhdr": {"1": 7}})", x_dir.File("format_word.um"), {}},
        {s_ff + R"("fixhdr": {"2": 9}})", x_dir.File("sub_model.um"), {}},
        {R"({"fields": [{}], "fixhdr": {"2": 0}})", x_dir.File("sub_model_32.um"), {}},
        {s_pp + "}", x_dir.File("trailing_marker.pp"), {{260, BigEndian32(255)}}},
        {s_pp + "}", x_dir.File("header_length.pp"), {{0, BigEndian32(252)}, {256, BigEndian32(252)}}},
        {s_pp + "}", x_dir.File("record_length.pp"), {{4 + 14 * 4, BigEndian32(2000000)}}},
        {s_pp + ", \"truncate\": 258}", x_dir.File("cut_marker.pp"), {}},
    };
    MakeAll(x_jobs, x_dir.File("list.json"));
    std::vector<std::string> x_paths;
    for (const MakeJob& x_job : x_jobs)
        x_paths.push_back(x_job.s_path);
    WriteTextFile(x_dir.File("empty"), "");
    WriteTextFile(x_dir.File("text"), std::string(3000, 'a'));
    WriteTextFile(x_dir.File("zeros"), std::string(5000, '\0'));
    std::string s_noise;
    for (unsigned int i_state = 12345; s_noise.size() < 5000;)
        s_noise += static_cast<char>((i_state = i_state * 1103515245u + 12345u) >> 24);
    WriteTextFile(x_dir.File("noise"), s_noise);
    for (const char* s_name : {"empty", "text", "zeros", "noise"})
        x_paths.push_back(x_dir.File(s_name));
    x_paths.push_back(x_dir.File("absent"));
    for (const std::string& s_path : x_paths) {
        FileLayout x_layout;
        EXPECT_FALSE(DetectLayout(s_path, x_layout)) << s_path << " taken for a " << x_layout.Describe();
    }
}
