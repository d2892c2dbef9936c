// Reads a UM fields file of any of the four layouts (4- or 8-byte words, little- or big-endian)
// into the normalised arrays. The file: a 256-word fixed header of integers; the constants
// sections at the 1-based word addresses it gives (integer constants of integers, the others of
// reals); the lookup table (word 150) of word 152 entries of word 151 words each, words 1-45
// integers and 46-64 reals; the data section from word 160. Every address and length counts
// words of the file's size. LBEGIN (29) is the 0-based word address of a field's record and
// LBLREC (15) the words its data take. The real 64-bit file in tests/data/realdata shows how they
// count for a WGDOS field: its LBLREC is the number of 8-byte words its packed stream fills (the
// stream's 32-bit words, which its first word counts, rounded up to an even number and halved:
// 1787 words give 894), LBNREC (30) the 8-byte words the record takes on disk, rounded up to a
// whole 2048 there, and LBEGIN counts 8-byte words from the start of the file (2048, 4096, ...
// with the data section at word 2049). LBNREC is not needed to read a field and is not checked.
// Spare entries (first word or LBEGIN -99) are left out; field code 0 is a field like any other.
// The 32-bit little-endian layout keeps the rule of the reader it replaces: the table ends at the
// first entry whose field code (23) is below 1, and only entries that reach into the file count.
#include <algorithm>

#include "NormaliseFields.h"
#include "ToString.h"

namespace {

const int ci_lookup_pos = FH_LOOKUP_START - 1;
const int ci_data_start_pos = FH_DATA_START - 1;
const int ci_spare_word = -99;

// Reads and narrows the fixed header into x_arrays and checks the sections it places.
std::string ReadFixedHeader(const LayoutFile& x_file, const FileLayout& x_layout, UMArrays& x_arrays)
{
    const long long i_bytes = static_cast<long long>(ci_fixhdr_words) * x_layout.i_word_bytes;
    std::vector<unsigned char> x_words;
    if (!x_file.Read(0, i_bytes, x_words))
        return "fixed header is shorter than " + ToString(i_bytes, 0, ' ') + " bytes";
    x_arrays.px_fixhdr = new int[ci_fixhdr_words];
    const std::string s_fault =
        ConvertWords(x_words.data(), ci_fixhdr_words, false, x_layout, x_arrays.px_fixhdr, "fixed header");
    return s_fault.empty() ? CheckFixedHeader(x_arrays.px_fixhdr, x_file.Bytes(), x_layout.i_word_bytes) : s_fault;
}

// Reads the constants sections the fixed header places: the integer constants narrowed, the
// others as reals. A 1-D section of length 0 is an empty array, a 2-D one absent.
std::string ReadConstants(const LayoutFile& x_file, const FileLayout& x_layout, UMArrays& x_arrays)
{
    int** ppx_targets[] = {&x_arrays.px_intc, &x_arrays.px_realc, &x_arrays.px_levc,
                           &x_arrays.px_rowc, &x_arrays.px_colc, &x_arrays.px_fieldc};
    const int* px_fixhdr = x_arrays.px_fixhdr;
    std::vector<unsigned char> x_words;
    for (int i_sec = 0; i_sec < 6; ++i_sec) {
        const ConstantsSection& x_section = cx_constants_sections[i_sec];
        const long long i_start = px_fixhdr[x_section.i_pos];
        const long long i_second = x_section.b_two_dim ? px_fixhdr[x_section.i_pos + 2] : 1;
        if (i_start <= 0 || i_second == 0)
            continue;
        // CheckFixedHeader found the section inside the file.
        const long long i_count = px_fixhdr[x_section.i_pos + 1] * i_second;
        if (!x_file.Read((i_start - 1) * x_layout.i_word_bytes, i_count * x_layout.i_word_bytes, x_words))
            return std::string(x_section.s_name) + " could not be read";
        *ppx_targets[i_sec] = new int[static_cast<size_t>(i_count)];
        const std::string s_fault = ConvertWords(x_words.data(), i_count, i_sec != 0, x_layout, *ppx_targets[i_sec],
                                                 std::string(x_section.s_name) + " section");
        if (!s_fault.empty())
            return s_fault;
    }
    return std::string();
}

// Reads the lookup table's valid entries, converted, into x_lookup (64 words each).
std::string ReadLookup(const LayoutFile& x_file, const FileLayout& x_layout, const int* px_fixhdr,
                       std::vector<int>& x_lookup)
{
    const long long i_start = px_fixhdr[ci_lookup_pos];
    const long long i_declared = px_fixhdr[ci_lookup_pos + 2];
    if (i_start <= 0 || i_declared <= 0)
        return std::string();
    const int i_wb = x_layout.i_word_bytes;
    const long long i_entry_bytes = static_cast<long long>(px_fixhdr[ci_lookup_pos + 1]) * i_wb;
    const long long i_table_byte = (i_start - 1) * i_wb;
    const long long i_room = x_file.Bytes() - i_table_byte;
    const long long i_inside = i_room / i_entry_bytes;  // entries wholly inside the file
    const bool b_old_rule = i_wb == 4 && !x_layout.b_big_endian;
    long long i_count = i_declared;
    std::vector<unsigned char> x_table;
    if (!x_file.Read(i_table_byte, std::min(i_room, std::min(i_declared, i_inside + 1) * i_entry_bytes), x_table))
        return "lookup table could not be read";
    if (b_old_rule) {
        const auto x_code = [&](long long i_entry) {
            return WordInt(&x_table[static_cast<size_t>(i_entry * i_entry_bytes + (LBFC - 1) * i_wb)], x_layout);
        };
        const long long i_reachable = i_room < LBFC * i_wb ? 0 : (i_room - LBFC * i_wb) / i_entry_bytes + 1;
        i_count = 0;
        while (i_count < std::min(i_declared, i_reachable) && x_code(i_count) >= 1)
            ++i_count;
    }
    if (i_count > i_inside)
        return "lookup entry " + ToString(i_count - 1, 0, ' ') + " lies outside the file";
    for (long long i_entry = 0; i_entry < i_count; ++i_entry) {
        const unsigned char* px_entry = &x_table[static_cast<size_t>(i_entry * i_entry_bytes)];
        if (!b_old_rule && (WordInt(px_entry, x_layout) == ci_spare_word ||
                            WordInt(px_entry + (LBEGIN - 1) * i_wb, x_layout) == ci_spare_word))
            continue;
        const std::string s_place = "lookup entry " + ToString(i_entry, 0, ' ');
        const std::string s_fault = AppendEntry(px_entry, x_layout, s_place, x_lookup);
        if (!s_fault.empty())
            return s_fault;
    }
    return std::string();
}

// Finds where each valid field's stored values lie, checking them against the data section.
std::string LocateFields(const LayoutFile& x_file, const NormalisedFile& x_out, const int* px_fixhdr,
                         const std::vector<int>& x_lookup, std::vector<FieldSpan>& x_spans)
{
    const int i_count = static_cast<int>(x_lookup.size() / ci_lookup_words);
    const FileLayout& x_layout = x_out.x_layout;
    const long long i_data_start = px_fixhdr[ci_data_start_pos];
    const int i_wb = x_layout.i_word_bytes;
    if (i_count > 0 && (i_data_start <= 0 || !x_file.Holds((i_data_start - 1) * i_wb, 0)))
        return "data section start " + ToString(i_data_start, 0, ' ') + " lies outside the file";
    for (int i_field = 0; i_field < i_count; ++i_field) {
        const int* px_entry = &x_lookup[static_cast<size_t>(i_field) * ci_lookup_words];
        std::string s_fault = CheckFieldPacking(px_entry, i_field, x_out.b_headers_only);
        if (!s_fault.empty())
            return s_fault;
        const long long i_begin = px_entry[LBEGIN - 1];
        const long long i_record = px_entry[LBLREC - 1];
        const long long i_stored = StoredBytes(px_entry, i_record, x_layout);
        if (i_begin < i_data_start - 1)
            return "field " + ToString(i_field, 0, ' ') + " data lie outside the data section";
        if (!x_file.Holds(i_begin * i_wb, std::max(i_stored, i_record * i_wb)))
            return "field " + ToString(i_field, 0, ' ') + " data lie outside the file";
        x_spans.push_back({i_begin * i_wb, i_stored});
    }
    return std::string();
}

}  // namespace

bool ReadFieldsFileAny(const LayoutFile& x_file, NormalisedFile& x_out, std::string& s_fault)
{
    const FileLayout& x_layout = x_out.x_layout;
    std::vector<int> x_lookup;
    std::vector<FieldSpan> x_spans;
    s_fault = ReadFixedHeader(x_file, x_layout, x_out.x_arrays);
    if (s_fault.empty())
        s_fault = ReadConstants(x_file, x_layout, x_out.x_arrays);
    if (s_fault.empty())
        s_fault = ReadLookup(x_file, x_layout, x_out.x_arrays.px_fixhdr, x_lookup);
    if (s_fault.empty())
        s_fault = LocateFields(x_file, x_out, x_out.x_arrays.px_fixhdr, x_lookup, x_spans);
    return s_fault.empty() && AssembleFields(x_file, x_lookup, x_spans, x_out, s_fault);
}
