// The layouts a UM file comes in, how to tell them apart, and the reading of its words in any of
// them: swapped to the host's byte order, 64-bit integers narrowed to 32 bits with a check, 64-bit
// reals narrowed to single precision. Word numbers are 1-based as in the UM documentation.
#ifndef TESSOLD_UMLAYOUT_H
#define TESSOLD_UMLAYOUT_H

#include <string>
#include <vector>

// One layout: a fields file (fixed header, constants, lookup table, data section) or a PP file
// (sequential records, a 64-word header record before each field's data record), of 4- or 8-byte
// words in either byte order. PP records are framed by length markers of i_marker_bytes.
struct FileLayout
{
    enum Kind { FieldsFile, PPFile } x_kind = FieldsFile;
    int i_word_bytes = 4;
    bool b_big_endian = false;
    int i_marker_bytes = 4;

    // Names the layout, e.g. "fields file, 64-bit big-endian".
    std::string Describe() const;
};

// Finds the layout of the named file: each layout is accepted only when two independent checks
// of its words pass. False when no layout fits (or the file cannot be read).
bool DetectLayout(const std::string& s_path, FileLayout& x_layout);

// An input file opened for reads at byte offsets; its size is known before anything is read.
class LayoutFile
{
public:
    explicit LayoutFile(const std::string& s_path);
    ~LayoutFile();
    LayoutFile(const LayoutFile&) = delete;
    LayoutFile& operator=(const LayoutFile&) = delete;

    bool IsOpen() const { return i_fd >= 0; }
    long long Bytes() const { return i_bytes; }
    // True when i_count bytes from byte i_offset lie wholly inside the file (no overflow possible).
    bool Holds(long long i_offset, long long i_count) const;
    // Reads i_count bytes from byte i_offset into x_bytes (resized to fit); false when they do
    // not lie inside the file or the read falls short.
    bool Read(long long i_offset, long long i_count, std::vector<unsigned char>& x_bytes) const;

private:
    int i_fd = -1;
    long long i_bytes = 0;
};

// Returns the integer word at px_word in the layout's word size and byte order.
long long WordInt(const unsigned char* px_word, const FileLayout& x_layout);

// Converts i_count words from px_words into 32-bit words in px_out: integers (b_reals false)
// narrowed, reals to the bits of a float (a 32-bit real keeps its bits exactly). Returns empty,
// or for the first integer that does not fit the fault "<s_place> holds <value> in word <w>,
// which does not fit 32 bits" (w counted from 1).
std::string ConvertWords(const unsigned char* px_words, long long i_count, bool b_reals, const FileLayout& x_layout,
                         int* px_out, const std::string& s_place);

#endif
