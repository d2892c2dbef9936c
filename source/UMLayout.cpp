// Tells the layouts of UM files apart and reads their words whatever the layout. Bytes are put
// together explicitly in the file's order, so the host's own byte order never matters; a 64-bit
// integer is narrowed only when it fits 32 bits, and a 64-bit real is rounded to the nearest float.
#include "UMLayout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "MappedInput.h"
#include "ToString.h"
#include "UMWords.h"

namespace {

// The fields-file layouts in the order they are tried, real model output (64-bit big-endian) first.
const FileLayout cx_fields_layouts[] = {
    {FileLayout::FieldsFile, 8, true, 8},
    {FileLayout::FieldsFile, 4, false, 4},
    {FileLayout::FieldsFile, 4, true, 4},
    {FileLayout::FieldsFile, 8, false, 8},
};
// Values of fixed-header word 1 (the data set's format version) that real files carry.
const long long cx_format_words[] = {20, 15, -32768};

// Returns the i_bytes-byte unsigned integer at px_bytes, in the given byte order.
uint64_t Unsigned(const unsigned char* px_bytes, int i_bytes, bool b_big_endian)
{
    uint64_t i_value = 0;
    for (int i = 0; i < i_bytes; ++i)
        i_value = i_value << 8 | px_bytes[b_big_endian ? i : i_bytes - 1 - i];
    return i_value;
}

// Returns the integer at byte i_offset of x_head as a word of the layout's size; false when the
// bytes read at the start of the file do not reach that far.
bool HeadWord(const std::vector<unsigned char>& x_head, long long i_offset, const FileLayout& x_layout,
              int i_bytes, long long& i_value)
{
    if (i_offset < 0 || i_offset + i_bytes > static_cast<long long>(x_head.size()))
        return false;
    FileLayout x_sized = x_layout;
    x_sized.i_word_bytes = i_bytes;
    i_value = WordInt(x_head.data() + i_offset, x_sized);
    return true;
}

// True when the file's start holds a fields file of this layout: its format version and
// sub-model words are ones the UM writes, and its lookup table has entries of 64 words or more
// and starts inside the file.
bool FitsFieldsFile(const std::vector<unsigned char>& x_head, long long i_file_bytes, const FileLayout& x_layout)
{
    const int i_wb = x_layout.i_word_bytes;
    long long i_format = 0, i_sub_model = 0, i_lookup_start = 0, i_entry_words = 0;
    if (!HeadWord(x_head, 0, x_layout, i_wb, i_format) || !HeadWord(x_head, i_wb, x_layout, i_wb, i_sub_model) ||
        !HeadWord(x_head, (FH_LOOKUP_START - 1LL) * i_wb, x_layout, i_wb, i_lookup_start) ||
        !HeadWord(x_head, (FH_LOOKUP_ENTRY_WORDS - 1LL) * i_wb, x_layout, i_wb, i_entry_words))
        return false;
    const bool b_known_words = std::count(std::begin(cx_format_words), std::end(cx_format_words), i_format) > 0 &&
                               i_sub_model >= 1 && i_sub_model <= 4;
    const bool b_lookup_inside = i_entry_words >= ci_lookup_words && i_lookup_start >= 1 &&
                                 i_lookup_start - 1 < i_file_bytes / i_wb;
    return b_known_words && b_lookup_inside;
}

// True when the file starts with a PP header record of this layout: the record's leading and
// trailing length markers both give 64 words, and the header's record length (LBLREC) is a
// positive number of words the file could hold.
bool FitsPPFile(const std::vector<unsigned char>& x_head, long long i_file_bytes, const FileLayout& x_layout)
{
    const int i_ms = x_layout.i_marker_bytes;
    const long long i_header_bytes = ci_lookup_words * x_layout.i_word_bytes;
    long long i_lead = 0, i_trail = 0, i_lblrec = 0;
    if (!HeadWord(x_head, 0, x_layout, i_ms, i_lead) ||
        !HeadWord(x_head, i_ms + i_header_bytes, x_layout, i_ms, i_trail) ||
        !HeadWord(x_head, i_ms + (LBLREC - 1) * x_layout.i_word_bytes, x_layout, x_layout.i_word_bytes, i_lblrec))
        return false;
    const bool b_markers = i_lead == i_header_bytes && i_trail == i_header_bytes;
    const bool b_record_length = i_lblrec >= 1 && i_lblrec <= i_file_bytes / x_layout.i_word_bytes;
    return b_markers && b_record_length;
}

}  // namespace

std::string FileLayout::Describe() const
{
    std::string s_text = std::string(x_kind == PPFile ? "PP file, " : "fields file, ") +
                         ToString(8 * i_word_bytes, 0, ' ') + "-bit " + (b_big_endian ? "big" : "little") + "-endian";
    if (x_kind == PPFile && i_marker_bytes != i_word_bytes)
        s_text += ", " + ToString(i_marker_bytes, 0, ' ') + "-byte record markers";
    return s_text;
}

bool DetectLayout(const std::string& s_path, FileLayout& x_layout)
{
    LayoutFile x_file(s_path);
    std::vector<unsigned char> x_head;
    if (!x_file.IsOpen() || !x_file.Read(0, std::min(x_file.Bytes(), 8LL * ci_fixhdr_words), x_head))
        return false;
    for (const FileLayout& x_try : cx_fields_layouts) {
        if (FitsFieldsFile(x_head, x_file.Bytes(), x_try)) {
            x_layout = x_try;
            return true;
        }
    }
    for (int i_marker : {4, 8})
        for (int i_word : {4, 8})
            for (bool b_big : {true, false}) {
                const FileLayout x_try{FileLayout::PPFile, i_word, b_big, i_marker};
                if (FitsPPFile(x_head, x_file.Bytes(), x_try)) {
                    x_layout = x_try;
                    return true;
                }
            }
    return false;
}

LayoutFile::LayoutFile(const std::string& s_path) : i_fd(open(s_path.c_str(), O_RDONLY | O_CLOEXEC))
{
    struct stat x_status;
    if (i_fd >= 0 && fstat(i_fd, &x_status) == 0 && S_ISREG(x_status.st_mode)) {
        i_bytes = x_status.st_size;
    } else if (i_fd >= 0) {
        close(i_fd);
        i_fd = -1;
    }
}

LayoutFile::~LayoutFile()
{
    if (i_fd >= 0)
        close(i_fd);
}

bool LayoutFile::Holds(long long i_offset, long long i_count) const
{
    return i_offset >= 0 && i_count >= 0 && i_offset <= i_bytes && i_count <= i_bytes - i_offset;
}

bool LayoutFile::Read(long long i_offset, long long i_count, std::vector<unsigned char>& x_bytes) const
{
    if (!IsOpen() || !Holds(i_offset, i_count))
        return false;
    x_bytes.resize(static_cast<size_t>(i_count));
    return i_count == 0 || ReadAt(i_fd, x_bytes.data(), static_cast<size_t>(i_count), i_offset);
}

long long WordInt(const unsigned char* px_word, const FileLayout& x_layout)
{
    const uint64_t i_raw = Unsigned(px_word, x_layout.i_word_bytes, x_layout.b_big_endian);
    if (x_layout.i_word_bytes == 4)
        return static_cast<int32_t>(static_cast<uint32_t>(i_raw));
    return static_cast<int64_t>(i_raw);
}

std::string ConvertWords(const unsigned char* px_words, long long i_count, bool b_reals, const FileLayout& x_layout,
                         int* px_out, const std::string& s_place)
{
    const int i_wb = x_layout.i_word_bytes;
    for (long long i = 0; i < i_count; ++i) {
        const unsigned char* px_word = px_words + i * i_wb;
        const uint64_t i_raw = Unsigned(px_word, i_wb, x_layout.b_big_endian);
        uint32_t i_bits = static_cast<uint32_t>(i_raw);
        if (i_wb == 8 && b_reals) {
            double d_value;
            std::memcpy(&d_value, &i_raw, sizeof d_value);
            // A finite double beyond the float range becomes an infinity of its sign, as the
            // hardware gives, without the undefined conversion.
            const float f_value = std::isfinite(d_value) && std::fabs(d_value) > FLT_MAX
                                      ? (d_value > 0 ? HUGE_VALF : -HUGE_VALF)
                                      : static_cast<float>(d_value);
            std::memcpy(&i_bits, &f_value, sizeof i_bits);
        } else if (i_wb == 8) {
            const long long i_value = static_cast<int64_t>(i_raw);
            if (i_value < INT_MIN || i_value > INT_MAX)
                return s_place + " holds " + ToString(i_value, 0, ' ') + " in word " + ToString(i + 1, 0, ' ') +
                       ", which does not fit 32 bits";
        }
        std::memcpy(px_out + i, &i_bits, sizeof i_bits);
    }
    return std::string();
}
