// Reads the sections of a UM fields file into raw 32-bit word arrays.
// Section start words in the fixed header are 1-based word addresses; LBEGIN alone is
// 0-based. Every address and length is checked against the real file size before a read
// or an allocation, so a hostile header can neither reach outside the file nor make the
// reader allocate more than the file holds. Words are never byte-swapped or converted.
#include "ReadUMFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "MappedInput.h"
#include "ToString.h"
#include "UMWords.h"

const ConstantsSection cx_constants_sections[6] = {
    {FH_INT_CONSTS - 1, false, "integer constants"},
    {FH_REAL_CONSTS - 1, false, "real constants"},
    {FH_LEVEL_CONSTS - 1, true, "level-dependent constants"},
    {FH_ROW_CONSTS - 1, true, "row-dependent constants"},
    {FH_COL_CONSTS - 1, true, "column-dependent constants"},
    {FH_FIELD_CONSTS - 1, true, "fields of constants"},
};

namespace {

// Positions in the fixed-header array of the lookup table's start word and the data start word.
const int ci_lookup_pos = FH_LOOKUP_START - 1;
const int ci_data_start_pos = FH_DATA_START - 1;

// Returns the length of the file in bytes, leaving the stream usable.
long long FileBytes(std::istream& x_file)
{
    x_file.clear();
    x_file.seekg(0, std::ios::end);
    long long i_bytes = static_cast<long long>(x_file.tellg());
    x_file.clear();
    return i_bytes < 0 ? 0 : i_bytes;
}

// True when i_words words of i_word_bytes from byte i_byte_start lie inside a file of i_file_bytes bytes.
bool BytesFit(long long i_byte_start, long long i_words, long long i_file_bytes, int i_word_bytes = 4)
{
    return i_byte_start >= 0 && i_words >= 0 && i_byte_start <= i_file_bytes &&
           i_words <= (i_file_bytes - i_byte_start) / i_word_bytes;
}

// True when i_words words from 1-based word i_start lie inside the file.
bool SectionFits(long long i_start, long long i_words, long long i_file_bytes, int i_word_bytes = 4)
{
    return i_start >= 1 && BytesFit(i_word_bytes * (i_start - 1), i_words, i_file_bytes, i_word_bytes);
}

// Reads i_words words from byte i_byte_start into a new array; null when the read falls short.
int* ReadWords(std::istream& x_file, long long i_byte_start, long long i_words)
{
    int* px_words = new int[i_words > 0 ? i_words : 0];
    x_file.clear();
    x_file.seekg(i_byte_start, std::ios::beg);
    x_file.read(reinterpret_cast<char*>(px_words), 4 * i_words);
    if (x_file.gcount() != 4 * i_words) {
        delete[] px_words;
        return nullptr;
    }
    return px_words;
}

// Word w (1-based) of lookup entry i_entry in the in-memory table.
long long LookupWord(int* px_fixhdr, int* px_pphdr, int i_entry, int i_word)
{
    return ReadValueFrom2D(px_fixhdr, px_pphdr, ci_lookup_pos, i_word - 1, i_entry);
}

// Checks one constants section of the fixed header; returns the fault, or empty when sound.
std::string CheckConstants(const int* px_fixhdr, const ConstantsSection& x_section, long long i_file_bytes,
                           int i_word_bytes)
{
    long long i_start = px_fixhdr[x_section.i_pos];
    if (i_start <= 0)
        return std::string();
    long long i_first = px_fixhdr[x_section.i_pos + 1];
    long long i_second = x_section.b_two_dim ? px_fixhdr[x_section.i_pos + 2] : 1;
    if (i_first < 0 || i_second < 0)
        return std::string(x_section.s_name) + " have a negative length";
    if (i_second == 0)
        return std::string();
    if (!SectionFits(i_start, i_first * i_second, i_file_bytes, i_word_bytes))
        return std::string(x_section.s_name) + " lie outside the file";
    return std::string();
}

// Checks the lookup table's entry length and declared count before counting the fields.
std::string CheckLookupShape(const int* px_fixhdr, long long i_file_bytes, int i_word_bytes)
{
    long long i_start = px_fixhdr[ci_lookup_pos];
    if (i_start <= 0)
        return std::string();
    if (px_fixhdr[ci_lookup_pos + 1] < ci_lookup_words)
        return "lookup entry length " + ToString(px_fixhdr[ci_lookup_pos + 1], 0, ' ') +
               " is below 64 words";
    if (px_fixhdr[ci_lookup_pos + 2] < 0)
        return "lookup table has a negative number of entries";
    if (!SectionFits(i_start, 0, i_file_bytes, i_word_bytes))
        return "lookup table lies outside the file";
    return std::string();
}

// Checks one valid field's rows, columns and record against the data section [begin, end) in words.
std::string CheckField(int* px_fixhdr, int* px_pphdr, int i_field, long long i_section_begin,
                       long long i_section_end)
{
    std::string s_fault =
        CheckFieldShape(px_pphdr + static_cast<long long>(i_field) * px_fixhdr[ci_lookup_pos + 1], i_field);
    if (!s_fault.empty())
        return s_fault;
    long long i_begin = LookupWord(px_fixhdr, px_pphdr, i_field, LBEGIN);
    long long i_record = LookupWord(px_fixhdr, px_pphdr, i_field, LBLREC);
    long long i_values =
        LookupWord(px_fixhdr, px_pphdr, i_field, LBROW) * LookupWord(px_fixhdr, px_pphdr, i_field, LBNPT);
    if (i_begin < i_section_begin || i_begin > i_section_end ||
        i_values > i_section_end - i_begin || i_record > i_section_end - i_begin)
        return "field " + ToString(i_field, 0, ' ') + " data lie outside the data section";
    return std::string();
}

}  // namespace

std::string CheckFieldShape(const int* px_entry, int i_field)
{
    const std::string s_field = "field " + ToString(i_field, 0, ' ');
    long long i_rows = px_entry[LBROW - 1];
    long long i_cols = px_entry[LBNPT - 1];
    if (i_rows <= 0 || i_cols <= 0)
        return s_field + " has " + ToString(i_rows, 0, ' ') + " rows and " + ToString(i_cols, 0, ' ') + " columns";
    if (px_entry[LBLREC - 1] < 0)
        return s_field + " has a negative record length";
    return std::string();
}

std::string CheckFixedHeader(const int* px_fixhdr, long long i_file_bytes, int i_word_bytes)
{
    for (const ConstantsSection& x_section : cx_constants_sections) {
        std::string s_fault = CheckConstants(px_fixhdr, x_section, i_file_bytes, i_word_bytes);
        if (!s_fault.empty())
            return s_fault;
    }
    return CheckLookupShape(px_fixhdr, i_file_bytes, i_word_bytes);
}

int* ReadFixHdr(std::istream& x_file)
{
    if (FileBytes(x_file) < 4LL * ci_fixhdr_words)
        return nullptr;
    return ReadWords(x_file, 0, ci_fixhdr_words);
}

int ReadNumberOfFields(std::istream& x_file, int* px_fixhdr)
{
    long long i_start = px_fixhdr[ci_lookup_pos];
    long long i_entry_words = px_fixhdr[ci_lookup_pos + 1];
    long long i_declared = px_fixhdr[ci_lookup_pos + 2];
    if (i_start <= 0 || i_entry_words < LBFC || i_declared <= 0)
        return 0;
    long long i_file_bytes = FileBytes(x_file);
    long long i_table_byte = 4 * (i_start - 1);
    if (i_table_byte >= i_file_bytes)
        return 0;
    // Only entries whose field-code word lies inside the file can be counted.
    long long i_entry_bytes = 4 * i_entry_words;
    long long i_reachable = (i_file_bytes - i_table_byte - 4 * LBFC) / i_entry_bytes + 1;
    if (i_file_bytes - i_table_byte < 4 * LBFC)
        i_reachable = 0;
    long long i_limit = std::min(i_declared, i_reachable);

    // Reads the table in chunks: one seek per entry would re-fill the stream buffer each time.
    const long long ci_chunk_entries = std::max(1LL, (1LL << 20) / i_entry_bytes);
    std::vector<char> x_chunk;
    long long i_count = 0;
    while (i_count < i_limit) {
        long long i_batch = std::min(ci_chunk_entries, i_limit - i_count);
        long long i_batch_byte = i_table_byte + i_count * i_entry_bytes;
        long long i_batch_bytes = std::min(i_batch * i_entry_bytes, i_file_bytes - i_batch_byte);
        x_chunk.resize(static_cast<size_t>(i_batch_bytes));
        x_file.clear();
        x_file.seekg(i_batch_byte, std::ios::beg);
        x_file.read(x_chunk.data(), i_batch_bytes);
        if (x_file.gcount() != i_batch_bytes)
            break;
        for (long long i_entry = 0; i_entry < i_batch; ++i_entry) {
            int i_code;
            std::copy_n(&x_chunk[static_cast<size_t>(i_entry * i_entry_bytes + 4 * (LBFC - 1))], 4,
                        reinterpret_cast<char*>(&i_code));
            if (i_code < 1)
                return static_cast<int>(i_count);
            ++i_count;
        }
    }
    return static_cast<int>(i_count);
}

int* Read1DConstants(std::istream& x_file, int* px_fixhdr, int i_idx)
{
    long long i_start = px_fixhdr[i_idx];
    long long i_length = px_fixhdr[i_idx + 1];
    if (!SectionFits(i_start, i_length, FileBytes(x_file)))
        return nullptr;
    return ReadWords(x_file, 4 * (i_start - 1), i_length);
}

int* Read2DConstants(std::istream& x_file, int* px_fixhdr, int i_idx)
{
    long long i_start = px_fixhdr[i_idx];
    long long i_first = px_fixhdr[i_idx + 1];
    long long i_second = px_fixhdr[i_idx + 2];
    if (i_second == 0 || i_first < 0 || i_second < 0)
        return nullptr;
    if (!SectionFits(i_start, i_first * i_second, FileBytes(x_file)))
        return nullptr;
    return ReadWords(x_file, 4 * (i_start - 1), i_first * i_second);
}

bool ReadHdrs(std::istream& x_file, int*& px_fixhdr, int*& px_pphdrs, int*& px_intc,
              int*& px_realc, int*& px_levc, int*& px_rowc, int*& px_colc,
              int*& px_fieldc, std::string& s_fault)
{
    px_fixhdr = px_pphdrs = px_intc = px_realc = nullptr;
    px_levc = px_rowc = px_colc = px_fieldc = nullptr;
    s_fault.clear();

    px_fixhdr = ReadFixHdr(x_file);
    if (px_fixhdr == nullptr) {
        s_fault = "fixed header is shorter than 1024 bytes";
        return false;
    }
    long long i_file_bytes = FileBytes(x_file);
    s_fault = CheckFixedHeader(px_fixhdr, i_file_bytes, 4);
    if (!s_fault.empty())
        return false;

    int i_count = ReadNumberOfFields(x_file, px_fixhdr);
    px_fixhdr[ci_lookup_pos + 2] = i_count;

    // A start word of 0 or below (the UM writes -32768) marks an absent section.
    int** ppx_targets[] = {&px_intc, &px_realc, &px_levc, &px_rowc, &px_colc, &px_fieldc};
    for (int i_sec = 0; i_sec < 6; ++i_sec) {
        const ConstantsSection& x_section = cx_constants_sections[i_sec];
        if (px_fixhdr[x_section.i_pos] <= 0)
            continue;
        *ppx_targets[i_sec] = x_section.b_two_dim
                                  ? Read2DConstants(x_file, px_fixhdr, x_section.i_pos)
                                  : Read1DConstants(x_file, px_fixhdr, x_section.i_pos);
    }
    if (px_fixhdr[ci_lookup_pos] > 0 && i_count > 0) {
        long long i_entry_words = px_fixhdr[ci_lookup_pos + 1];
        if (!SectionFits(px_fixhdr[ci_lookup_pos], i_entry_words * i_count, i_file_bytes)) {
            s_fault = "lookup entry " + ToString(i_count - 1, 0, ' ') + " lies outside the file";
            return false;
        }
        px_pphdrs = Read2DConstants(x_file, px_fixhdr, ci_lookup_pos);
        if (px_pphdrs == nullptr) {
            s_fault = "lookup table could not be read";
            return false;
        }
    }
    return true;
}

namespace {

// Finds the data section in words [begin, begin + length) from the data start to the end of the
// last valid field's record, after checking it and every valid field against the file size.
// Returns false with s_fault empty when there are no valid fields, and with it set on a fault.
bool LocateDataSection(int* px_fixhdr, int* px_pphdr, long long i_file_bytes, long long& i_begin,
                       long long& i_length, std::string& s_fault)
{
    s_fault.clear();
    int i_count = px_fixhdr[ci_lookup_pos + 2];
    if (i_count <= 0 || px_pphdr == nullptr)
        return false;
    long long i_data_start = px_fixhdr[ci_data_start_pos];
    if (i_data_start <= 0 || !SectionFits(i_data_start, 0, i_file_bytes)) {
        s_fault = "data section start " + ToString(i_data_start, 0, ' ') + " lies outside the file";
        return false;
    }
    long long i_last_begin = LookupWord(px_fixhdr, px_pphdr, i_count - 1, LBEGIN);
    long long i_last_record = LookupWord(px_fixhdr, px_pphdr, i_count - 1, LBLREC);
    i_begin = i_data_start - 1;
    long long i_end = i_last_begin + i_last_record;
    i_length = i_end - i_begin;
    if (i_length <= 0 || !BytesFit(4 * i_begin, i_length, i_file_bytes)) {
        s_fault = "data section lies outside the file";
        return false;
    }
    for (int i_field = 0; i_field < i_count; ++i_field) {
        s_fault = CheckField(px_fixhdr, px_pphdr, i_field, i_begin, i_end);
        if (!s_fault.empty())
            return false;
    }
    return true;
}

}  // namespace

int* ReadData(std::istream& x_file, int* px_fixhdr, int* px_pphdr, std::string& s_fault)
{
    long long i_begin = 0;
    long long i_length = 0;
    if (!LocateDataSection(px_fixhdr, px_pphdr, FileBytes(x_file), i_begin, i_length, s_fault))
        return nullptr;
    int* px_data = ReadWords(x_file, 4 * i_begin, i_length);
    if (px_data == nullptr)
        s_fault = "data section could not be read";
    return px_data;
}

int* MapData(const std::string& s_path, int* px_fixhdr, int* px_pphdr, std::string& s_fault)
{
    s_fault.clear();
    int i_fd = open(s_path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat x_status;
    if (i_fd < 0 || fstat(i_fd, &x_status) != 0) {
        if (i_fd >= 0)
            close(i_fd);
        s_fault = "data section could not be read";
        return nullptr;
    }
    long long i_begin = 0;
    long long i_length = 0;
    void* px_map = MAP_FAILED;
    size_t i_map_bytes = 0;
    long long i_page_offset = 0;
    if (LocateDataSection(px_fixhdr, px_pphdr, x_status.st_size, i_begin, i_length, s_fault)) {
        // Mappings start on a page boundary; the buffer starts inside the first page.
        const long long i_page = sysconf(_SC_PAGESIZE);
        i_page_offset = (4 * i_begin) % i_page;
        i_map_bytes = static_cast<size_t>(i_page_offset + 4 * i_length);
        px_map = mmap(nullptr, i_map_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, i_fd,
                      4 * i_begin - i_page_offset);
    }
    if (!s_fault.empty() || i_length <= 0 || px_map == MAP_FAILED)
        close(i_fd);
    if (!s_fault.empty() || i_length <= 0)
        return nullptr;
    if (px_map == MAP_FAILED) {
        // Some file systems cannot map files; those are read as any stream is.
        std::ifstream x_file(s_path, std::ios::in | std::ios::binary);
        int* px_data = ReadWords(x_file, 4 * i_begin, i_length);
        if (px_data == nullptr)
            s_fault = "data section could not be read";
        return px_data;
    }
    int* px_data = reinterpret_cast<int*>(static_cast<char*>(px_map) + i_page_offset);
    RegisterMapping(px_data, px_map, i_map_bytes, i_fd, 4 * i_begin, i_length);
    return px_data;
}

int ReadValueFrom2D(int* px_fixhdr, int* px_pphdr, int i_idx, int i_wnum, int i_fnum)
{
    long long i_ppw = px_fixhdr[i_idx + 1];
    return px_pphdr[static_cast<long long>(i_fnum) * i_ppw + i_wnum];
}

void CleanHdrs(int*& px_fixhdr, int*& px_pphdrs, int*& px_intc, int*& px_realc,
               int*& px_levc, int*& px_rowc, int*& px_colc, int*& px_fieldc)
{
    for (int** ppx_array : {&px_fixhdr, &px_pphdrs, &px_intc, &px_realc, &px_levc, &px_rowc,
                            &px_colc, &px_fieldc}) {
        delete[] *ppx_array;
        *ppx_array = nullptr;
    }
}

UMArrays::~UMArrays()
{
    CleanHdrs(px_fixhdr, px_pphdrs, px_intc, px_realc, px_levc, px_rowc, px_colc, px_fieldc);
    CleanData(px_data);
}

bool ReadHdrs(std::istream& x_file, UMArrays& x_arrays, std::string& s_fault)
{
    return ReadHdrs(x_file, x_arrays.px_fixhdr, x_arrays.px_pphdrs, x_arrays.px_intc, x_arrays.px_realc,
                    x_arrays.px_levc, x_arrays.px_rowc, x_arrays.px_colc, x_arrays.px_fieldc, s_fault);
}

void CleanData(int*& px_data)
{
    if (!ReleaseMapping(px_data))
        delete[] px_data;
    px_data = nullptr;
}
