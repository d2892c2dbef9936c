// Reads a PP file into the normalised arrays. A PP file is a run of sequential unformatted
// records, each framed by a record-length marker (4 or 8 bytes, the record's length in bytes)
// before and after it; every field is a header record of 64 words (words 1-45 integers, 46-64
// reals, as a fields file's lookup entry) followed by its data record. The data record holds the
// field's data (LBLREC words, stored as LBPACK says) and, where LBEXT (20) is above 0, LBEXT
// words of extra data after them: vectors, each an integer word IA*1000+IB (IA the vector's
// words, IB its kind: 1 x coordinates, one per column; 2 y coordinates, one per row; others are
// skipped) followed by IA reals. Some writers count the extra data in LBLREC; a record too short
// for LBLREC + LBEXT words but not for LBLREC is read that way. There is no fixed header: one is
// made from the fields (sub-model, calendar and the earliest validity time as reference time).
#include <algorithm>
#include <cstring>

#include "NormaliseFields.h"
#include "ToString.h"

namespace {

const int ci_x_vector = 1;
const int ci_y_vector = 2;

// Where a record's contents lie in the file.
struct Record
{
    long long i_offset;
    long long i_bytes;
};

// Reads the markers of the record at byte i_pos and finds its contents; returns the fault
// ("field 2 data record ...") or empty.
std::string FindRecord(const LayoutFile& x_file, const FileLayout& x_layout, long long i_pos,
                       const std::string& s_what, Record& x_record)
{
    const int i_ms = x_layout.i_marker_bytes;
    FileLayout x_marker_layout = x_layout;
    x_marker_layout.i_word_bytes = i_ms;
    std::vector<unsigned char> x_marker;
    if (!x_file.Read(i_pos, i_ms, x_marker))
        return s_what + " starts with a length marker cut short by the end of the file";
    const long long i_length = WordInt(x_marker.data(), x_marker_layout);
    if (i_length < 0 || !x_file.Holds(i_pos + i_ms, i_length) ||
        !x_file.Read(i_pos + i_ms + i_length, i_ms, x_marker))
        return s_what + " of " + ToString(i_length, 0, ' ') + " bytes runs past the end of the file";
    const long long i_trailing = WordInt(x_marker.data(), x_marker_layout);
    if (i_trailing != i_length)
        return s_what + " has length markers " + ToString(i_length, 0, ' ') + " and " + ToString(i_trailing, 0, ' ') +
               ", which disagree";
    x_record = {i_pos + i_ms, i_length};
    return std::string();
}

// Reads and converts the header record into a new 64-word entry at the end of x_lookup.
std::string ReadHeader(const LayoutFile& x_file, const FileLayout& x_layout, const Record& x_record, int i_field,
                       std::vector<int>& x_lookup)
{
    const int i_wb = x_layout.i_word_bytes;
    const std::string s_field = "field " + ToString(i_field, 0, ' ');
    if (x_record.i_bytes != static_cast<long long>(ci_lookup_words) * i_wb)
        return s_field + " header record holds " + ToString(x_record.i_bytes, 0, ' ') + " bytes, not " +
               ToString(ci_lookup_words * i_wb, 0, ' ');
    std::vector<unsigned char> x_words;
    if (!x_file.Read(x_record.i_offset, x_record.i_bytes, x_words))
        return s_field + " header could not be read";
    return AppendEntry(x_words.data(), x_layout, s_field + " header", x_lookup);
}

// Reads the extra data's x and y vectors (i_words words from byte i_offset) into x_lons and x_lats.
std::string ReadExtraData(const LayoutFile& x_file, const FileLayout& x_layout, long long i_offset,
                          long long i_words, const int* px_entry, int i_field, std::vector<float>& x_lats,
                          std::vector<float>& x_lons)
{
    const int i_wb = x_layout.i_word_bytes;
    const std::string s_extra = "field " + ToString(i_field, 0, ' ') + " extra data";
    std::vector<unsigned char> x_words;
    if (!x_file.Read(i_offset, i_words * i_wb, x_words))
        return s_extra + " could not be read";
    for (long long i_word = 0; i_word < i_words;) {
        const long long i_code = WordInt(&x_words[static_cast<size_t>(i_word * i_wb)], x_layout);
        const long long i_length = i_code / 1000;
        if (i_code < 0 || i_length > i_words - i_word - 1)
            return s_extra + " vector at word " + ToString(i_word + 1, 0, ' ') + " (code " +
                   ToString(i_code, 0, ' ') + ") runs past the extra data";
        const int i_kind = static_cast<int>(i_code % 1000);
        const int i_points = px_entry[(i_kind == ci_x_vector ? LBNPT : LBROW) - 1];
        if ((i_kind == ci_x_vector || i_kind == ci_y_vector) && i_length != i_points)
            return s_extra + " give " + ToString(i_length, 0, ' ') + (i_kind == ci_x_vector ? " x" : " y") +
                   " coordinates for " + ToString(i_points, 0, ' ') + (i_kind == ci_x_vector ? " columns" : " rows");
        std::vector<float>* px_target = i_kind == ci_x_vector ? &x_lons : i_kind == ci_y_vector ? &x_lats : nullptr;
        if (px_target != nullptr) {
            px_target->resize(static_cast<size_t>(i_length));
            std::vector<int> x_bits(static_cast<size_t>(i_length));
            ConvertWords(&x_words[static_cast<size_t>((i_word + 1) * i_wb)], i_length, true, x_layout, x_bits.data(),
                         s_extra);
            std::memcpy(px_target->data(), x_bits.data(), x_bits.size() * sizeof(float));
        }
        i_word += 1 + i_length;
    }
    return std::string();
}

// Checks the data record of the field whose entry ends x_lookup, and finds its values and extra data.
std::string ReadDataRecord(const LayoutFile& x_file, const Record& x_record, int i_field, NormalisedFile& x_out,
                           const std::vector<int>& x_lookup, std::vector<FieldSpan>& x_spans)
{
    const FileLayout& x_layout = x_out.x_layout;
    const int* px_entry = &x_lookup[static_cast<size_t>(i_field) * ci_lookup_words];
    std::string s_fault = CheckFieldPacking(px_entry, i_field, x_out.b_headers_only);
    if (!s_fault.empty())
        return s_fault;
    const std::string s_field = "field " + ToString(i_field, 0, ' ');
    const long long i_wb = x_layout.i_word_bytes;
    const long long i_record_words = x_record.i_bytes / i_wb;
    long long i_data_words = px_entry[LBLREC - 1];
    const long long i_extra_words = px_entry[LBEXT - 1];
    if (i_extra_words < 0)
        return s_field + " has a negative extra data length";
    if (i_extra_words > 0 && i_data_words + i_extra_words > i_record_words && i_extra_words <= i_data_words)
        i_data_words -= i_extra_words;
    const long long i_stored = StoredBytes(px_entry, i_data_words, x_layout);
    if (i_data_words > i_record_words || i_stored > i_data_words * i_wb)
        return s_field + " data run past its record";
    if (i_extra_words > i_record_words - i_data_words)
        return s_field + " extra data (LBEXT=" + ToString(i_extra_words, 0, ' ') + ") run past its record";
    x_spans.push_back({x_record.i_offset, i_stored});
    x_out.x_field_lats.emplace_back();
    x_out.x_field_lons.emplace_back();
    return ReadExtraData(x_file, x_layout, x_record.i_offset + i_data_words * i_wb, i_extra_words, px_entry, i_field,
                         x_out.x_field_lats.back(), x_out.x_field_lons.back());
}

// Makes the fixed header a PP file lacks: sub-model (word 2) from the first field's LBUSER7 when
// it is 1 to 4, else 1; calendar (8) the last digit of its LBTIM; reference time (21-26) the
// earliest validity time (words 1-6) of all fields, compared year first.
int* SynthesiseFixedHeader(const std::vector<int>& x_lookup)
{
    int* px_fixhdr = new int[ci_fixhdr_words]();
    px_fixhdr[FH_SUB_MODEL - 1] = 1;
    if (x_lookup.empty())
        return px_fixhdr;
    const int i_sub_model = x_lookup[LBUSER7 - 1];
    if (i_sub_model >= 1 && i_sub_model <= 4)
        px_fixhdr[FH_SUB_MODEL - 1] = i_sub_model;
    px_fixhdr[FH_CALENDAR - 1] = x_lookup[LBTIM - 1] % 10;
    const int* px_earliest = x_lookup.data();
    for (size_t i_at = 0; i_at < x_lookup.size(); i_at += ci_lookup_words)
        if (std::lexicographical_compare(&x_lookup[i_at], &x_lookup[i_at] + 6, px_earliest, px_earliest + 6))
            px_earliest = &x_lookup[i_at];
    std::copy(px_earliest, px_earliest + 6, px_fixhdr + FH_DATA_TIME - 1);
    return px_fixhdr;
}

}  // namespace

bool ReadPPFile(const LayoutFile& x_file, NormalisedFile& x_out, std::string& s_fault)
{
    const FileLayout& x_layout = x_out.x_layout;
    std::vector<int> x_lookup;
    std::vector<FieldSpan> x_spans;
    long long i_pos = 0;
    for (int i_field = 0; i_pos < x_file.Bytes(); ++i_field) {
        const std::string s_field = "field " + ToString(i_field, 0, ' ');
        Record x_header, x_data;
        s_fault = FindRecord(x_file, x_layout, i_pos, s_field + " header record", x_header);
        if (s_fault.empty())
            s_fault = ReadHeader(x_file, x_layout, x_header, i_field, x_lookup);
        if (s_fault.empty())
            s_fault = FindRecord(x_file, x_layout, x_header.i_offset + x_header.i_bytes + x_layout.i_marker_bytes,
                                 s_field + " data record", x_data);
        if (s_fault.empty())
            s_fault = ReadDataRecord(x_file, x_data, i_field, x_out, x_lookup, x_spans);
        if (!s_fault.empty())
            return false;
        i_pos = x_data.i_offset + x_data.i_bytes + x_layout.i_marker_bytes;
    }
    x_out.x_arrays.px_fixhdr = SynthesiseFixedHeader(x_lookup);
    return AssembleFields(x_file, x_lookup, x_spans, x_out, s_fault);
}
