// Reads the sections of a UM fields file into raw 32-bit word arrays.
// Word numbers are 1-based as in the UM documentation; positions (i_idx) are 0-based.
#ifndef TESSOLD_READUMFILE_H
#define TESSOLD_READUMFILE_H

#include <istream>
#include <string>

// A constants section: the position of its start word in the fixed header (its dimensions follow
// it), whether it has two dimensions, and its name in messages.
struct ConstantsSection
{
    int i_pos;
    bool b_two_dim;
    const char* s_name;
};

// The six constants sections in file order: integer, real, level-, row-, column-dependent, fields.
extern const ConstantsSection cx_constants_sections[6];

// Checks the constants sections and the lookup table's shape in a fixed header whose addresses
// count words of i_word_bytes; returns the fault ("real constants lie outside the file"), or empty.
std::string CheckFixedHeader(const int* px_fixhdr, long long i_file_bytes, int i_word_bytes);

// Checks a lookup entry's rows and columns (positive) and record length (not negative); returns
// the fault ("field 2 has 0 rows and 4 columns"), or empty. px_entry[w - 1] is word w.
std::string CheckFieldShape(const int* px_entry, int i_field);

// Reads the fixed header, the constants sections and the valid lookup entries.
// Every address and length is checked against the real file size first; on a fault
// the reason is stored in s_fault and false is returned (arrays read so far stay set).
bool ReadHdrs(std::istream& x_file, int*& px_fixhdr, int*& px_pphdrs, int*& px_intc,
              int*& px_realc, int*& px_levc, int*& px_rowc, int*& px_colc,
              int*& px_fieldc, std::string& s_fault);

// Reads the 256-word fixed header; null when the file is shorter than 1024 bytes.
int* ReadFixHdr(std::istream& x_file);

// Counts the consecutive lookup entries, from the first, whose field code is at least 1.
int ReadNumberOfFields(std::istream& x_file, int* px_fixhdr);

// Reads the 1-D section whose start word is at position i_idx of the fixed header.
int* Read1DConstants(std::istream& x_file, int* px_fixhdr, int i_idx);

// Reads the 2-D section whose start word is at position i_idx; null when absent.
int* Read2DConstants(std::istream& x_file, int* px_fixhdr, int i_idx);

// Reads the data section up to the end of the last valid field's record.
// Returns null with s_fault empty when there are no valid fields, and null with
// s_fault set when a field's data lies outside the file or the data section.
int* ReadData(std::istream& x_file, int* px_fixhdr, int* px_pphdr, std::string& s_fault);

// Does what ReadData does for the named file, but maps the data section copy-on-write instead
// of copying it: no page is copied until something writes to it, and the file never changes.
int* MapData(const std::string& s_path, int* px_fixhdr, int* px_pphdr, std::string& s_fault);

// Returns word i_wnum of entry i_fnum of the 2-D array whose start sits at position i_idx.
int ReadValueFrom2D(int* px_fixhdr, int* px_pphdr, int i_idx, int i_wnum, int i_fnum);

// The arrays read from one file, released when the holder goes out of scope.
struct UMArrays
{
    int* px_fixhdr = nullptr;
    int* px_pphdrs = nullptr;
    int* px_intc = nullptr;
    int* px_realc = nullptr;
    int* px_levc = nullptr;
    int* px_rowc = nullptr;
    int* px_colc = nullptr;
    int* px_fieldc = nullptr;
    int* px_data = nullptr;

    UMArrays() = default;
    UMArrays(const UMArrays&) = delete;
    UMArrays& operator=(const UMArrays&) = delete;
    ~UMArrays();
};

// ReadHdrs into the holder's header arrays.
bool ReadHdrs(std::istream& x_file, UMArrays& x_arrays, std::string& s_fault);

// Releases each header array that is not null and sets it to null.
void CleanHdrs(int*& px_fixhdr, int*& px_pphdrs, int*& px_intc, int*& px_realc,
               int*& px_levc, int*& px_rowc, int*& px_colc, int*& px_fieldc);

// Releases the data buffer (read or mapped) if it is not null and sets it to null.
void CleanData(int*& px_data);

#endif
