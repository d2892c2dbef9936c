// Recognition and reading of a conversion's input, with the one line each failure gets. Files of
// the 32-bit little-endian layout go through ReadUMFile, whose mapped data section is the fastest
// path; the others (and 32-bit little-endian files with packed fields) through the reader of
// every layout, which unpacks them into memory.
#include "ReadInput.h"

#include <sys/stat.h>

#include <fstream>

#include "ConvertFile.h"
#include "Messages.h"
#include "ToString.h"

namespace {

// Something that exists but is no regular file (a folder, a named pipe, a device) cannot be a
// UM file, and opening a named pipe that nobody writes to would wait for ever.
bool ExistsButIsNoRegularFile(const std::string& s_path)
{
    struct stat x_status;
    return stat(s_path.c_str(), &x_status) == 0 && !S_ISREG(x_status.st_mode);
}

// Reports a fault of the reader: packing it cannot read, or a corrupt file.
void ReportFault(const std::string& s_path, const std::string& s_fault)
{
    if (s_fault.find(" is packed (LBPACK=") != std::string::npos)
        error("Error: Input file: " + s_path + ": " + s_fault);
    else
        error("Error: Input file: " + s_path + " is corrupt: " + s_fault);
}

enum class NativeRead { Read, Failed, Packed };

// Reads a file of the native layout; Packed (nothing reported) when a field's data are packed.
NativeRead ReadNative(std::istream& x_infile, const std::string& s_path, bool b_headers_only, UMArrays& x_hdrs)
{
    std::string s_fault;
    if (!ReadHdrs(x_infile, x_hdrs, s_fault)) {
        ReportFault(s_path, s_fault);
        return NativeRead::Failed;
    }
    if (b_headers_only)
        return NativeRead::Read;
    // Packed data would be taken for plain values, so such a file stops before its data are read.
    int i_lbpack = 0;
    if (FindPackedField(x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, i_lbpack) >= 0)
        return NativeRead::Packed;
    x_hdrs.px_data = MapData(s_path, x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, s_fault);
    if (!s_fault.empty()) {
        ReportFault(s_path, s_fault);
        return NativeRead::Failed;
    }
    return NativeRead::Read;
}

// Reads a file of any layout; false after reporting a fault.
bool ReadNormalisedInput(const std::string& s_path, const FileLayout& x_layout, bool b_headers_only,
                         InputFile& x_input)
{
    std::string s_fault;
    x_input.b_normalised = true;
    x_input.x_normalised.b_headers_only = b_headers_only;
    x_input.s_layout = x_layout.Describe();
    if (ReadNormalised(s_path, x_layout, x_input.x_normalised, s_fault))
        return true;
    ReportFault(s_path, s_fault);
    return false;
}

// Reports the native reader's first packed field, for callers that read only the native layout.
void ReportPackedField(const std::string& s_path, UMArrays& x_hdrs)
{
    int i_lbpack = 0;
    const int i_packed = FindPackedField(x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, i_lbpack);
    error("Error: Input file: " + s_path + ": field " + ToString(i_packed, 0, ' ') + " is packed (LBPACK=" +
          ToString(i_lbpack, 0, ' ') + "), which this program cannot read");
}

}  // namespace

GridConstants InputFile::Grids()
{
    UMArrays& x_arrays = Arrays();
    GridConstants x_grid = GridConstantsOf(x_arrays.px_fixhdr, x_arrays.px_rowc, x_arrays.px_colc);
    if (b_normalised) {
        x_grid.px_field_lats = &x_normalised.x_field_lats;
        x_grid.px_field_lons = &x_normalised.x_field_lons;
    }
    return x_grid;
}

InputRead ReadInputFile(const std::string& s_path, bool b_any_layout, bool b_headers_only, InputFile& x_input)
{
    if (ExistsButIsNoRegularFile(s_path)) {
        error("Error: Input file: " + s_path + " is not a UM file.");
        return InputRead::Refused;
    }
    std::ifstream x_infile(s_path, std::ios::in | std::ios::binary);
    if (!x_infile) {
        error("Error: Input file: " + s_path + " could not be opened.");
        return InputRead::Refused;
    }
    FileLayout x_layout;
    const bool b_native = IsUMFile(x_infile);
    if (!b_native && !(b_any_layout && DetectLayout(s_path, x_layout))) {
        error("Error: Input file: " + s_path + " is not a UM file.");
        return InputRead::Refused;
    }
    bool b_read = false;
    if (!b_native) {
        b_read = ReadNormalisedInput(s_path, x_layout, b_headers_only, x_input);
    } else {
        const NativeRead x_read = ReadNative(x_infile, s_path, b_headers_only, x_input.x_native);
        if (x_read != NativeRead::Packed)
            b_read = x_read == NativeRead::Read;
        else if (b_any_layout && DetectLayout(s_path, x_layout))
            b_read = ReadNormalisedInput(s_path, x_layout, b_headers_only, x_input);
        else
            ReportPackedField(s_path, x_input.x_native);
    }
    return b_read ? InputRead::Read : InputRead::Faulty;
}
