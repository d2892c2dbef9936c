// Runs every stage of one conversion in a fixed order and reports each failure with one
// line on standard error: reading, extraction, metadata, packing, global attributes, writing.
#include "ConvertFile.h"

#include <sys/stat.h>

#include <fstream>
#include <list>

#include "ExtractVariables.h"
#include "GlobalAtts.h"
#include "MappedInput.h"
#include "Messages.h"
#include "MTime.h"
#include "Packing.h"
#include "ReadUMFile.h"
#include "ToString.h"
#include "UMWords.h"
#include "VarLevTrans.h"
#include "Variable.h"
#include "WriteNetCDFFile.h"

namespace {

const int ci_hdrchk_words = 6;

// Something that exists but is no regular file (a folder, a named pipe, a device) cannot be a
// UM file, and opening a named pipe that nobody writes to would wait for ever.
bool ExistsButIsNoRegularFile(const std::string& s_path)
{
    struct stat x_status;
    return stat(s_path.c_str(), &x_status) == 0 && !S_ISREG(x_status.st_mode);
}

// Reads headers and data; returns false after reporting a corrupt or empty file.
bool ReadInput(std::istream& x_infile, const std::string& s_input_file_name, UMArrays& x_hdrs)
{
    std::string s_fault;
    if (!ReadHdrs(x_infile, x_hdrs, s_fault)) {
        error("Error: Input file: " + s_input_file_name + " is corrupt: " + s_fault);
        return false;
    }
    // Packed data would be taken for plain values, so such a file stops before its data are read.
    int i_lbpack = 0;
    const int i_packed = FindPackedField(x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, i_lbpack);
    if (i_packed >= 0) {
        error("Error: Input file: " + s_input_file_name + ": field " + ToString(i_packed, 0, ' ') +
               " is packed (LBPACK=" + ToString(i_lbpack, 0, ' ') + "), which this program cannot read");
        return false;
    }
    x_hdrs.px_data = MapData(s_input_file_name, x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, s_fault);
    if (!s_fault.empty()) {
        error("Error: Input file: " + s_input_file_name + " is corrupt: " + s_fault);
        return false;
    }
    if (x_hdrs.px_data == nullptr) {
        error("Error: Input file: " + s_input_file_name + " contains no data.");
        return false;
    }
    return true;
}

// Builds the file's reference time from fixed-header words 21 to 26 and the calendar word 8.
MTime ReferenceTime(const int* px_fixhdr)
{
    if (px_fixhdr == nullptr)
        return MTime();
    return MTime(px_fixhdr + FH_DATA_TIME - 1, FixedWord(px_fixhdr, FH_CALENDAR));
}

// Groups the fields into variables; false after reporting a field whose grid cannot be placed.
bool Extract(const UMArrays& x_hdrs, std::list<Variable>& x_var_list, const std::string& s_input_file_name)
{
    std::string s_fault;
    const GridConstants x_grid = GridConstantsOf(x_hdrs.px_fixhdr, x_hdrs.px_rowc, x_hdrs.px_colc);
    if (ExtractVarFields(x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, x_hdrs.px_data, x_var_list, x_grid, s_fault))
        return true;
    error("Error: Input file: " + s_input_file_name + " is corrupt: " + s_fault);
    return false;
}

// Reports an input file that another process cut short during the conversion.
void ReportChangedInput(const std::string& s_input_file_name)
{
    error("Error: Input file: " + s_input_file_name + " changed while it was being converted.");
}

// Applies the packing rules; false after reporting an input cut short meanwhile.
bool Pack(Packing& x_packing, std::list<Variable>& x_var_list, const std::string& s_input_file_name)
{
    try {
        x_packing.PackVariables(x_var_list);
        return true;
    } catch (const InputChanged&) {
        ReportChangedInput(s_input_file_name);
    }
    return false;
}

// Writes the output file; an input cut short during the writing is reported.
int WriteOutput(const std::string& s_input_file_name, const std::string& s_output_file_name,
                std::list<Variable>& x_var_list, const MTime& x_ref_time, const VarLevTrans& x_var_lev_trans,
                const GlobalAtts& x_gatts)
{
    try {
        return WriteNetCDFFile(s_output_file_name, x_var_list, x_ref_time, x_var_lev_trans, x_gatts);
    } catch (const InputChanged&) {
        ReportChangedInput(s_input_file_name);
    }
    return 1;
}

}  // namespace

bool IsUMFile(std::istream& x_infile)
{
    int px_words[ci_hdrchk_words];
    x_infile.clear();
    x_infile.seekg(0, std::ios::beg);
    x_infile.read(reinterpret_cast<char*>(px_words), sizeof px_words);
    if (x_infile.gcount() != static_cast<std::streamsize>(sizeof px_words))
        return false;
    return px_words[FH_DATA_SET_FORMAT - 1] == -32768 && px_words[1] >= 1 && px_words[1] <= 4 &&
           px_words[2] >= 1 && px_words[2] <= 6 && px_words[3] >= 0 && px_words[3] <= 105 &&
           px_words[4] >= 1 && px_words[4] <= 10;
}

int ConvertFile(std::string s_input_file_name, std::string s_output_file_name,
                std::string s_xml_file_name, std::string s_pack_file_name,
                std::string s_gatts_file_name)
{
    if (ExistsButIsNoRegularFile(s_input_file_name)) {
        error("Error: Input file: " + s_input_file_name + " is not a UM file.");
        return 1;
    }
    std::ifstream x_infile(s_input_file_name, std::ios::in | std::ios::binary);
    if (!x_infile) {
        error("Error: Input file: " + s_input_file_name + " could not be opened.");
        return 1;
    }
    if (!IsUMFile(x_infile)) {
        error("Error: Input file: " + s_input_file_name + " is not a UM file.");
        return 1;
    }

    int i_ret = 1;
    bool b_failed = false;
    // Released on every path once reading has begun.
    UMArrays x_hdrs;
    std::list<Variable> x_var_list;
    if (!ReadInput(x_infile, s_input_file_name, x_hdrs))
        b_failed = true;
    MTime x_ref_time = ReferenceTime(x_hdrs.px_fixhdr);
    if (!b_failed && !Extract(x_hdrs, x_var_list, s_input_file_name))
        b_failed = true;

    VarLevTrans x_var_lev_trans(s_xml_file_name);
    if (!b_failed && !x_var_lev_trans.LoadAttributes()) {
        error("Error: XML file: " + s_xml_file_name + " error in XML or file could not be opened.");
        b_failed = true;
    }
    Packing x_packing(s_pack_file_name);
    if (!b_failed && !x_packing.LoadAttributes()) {
        error("Error: XML file: " + s_pack_file_name + " error in XML or file could not be opened.");
        b_failed = true;
    }
    if (!b_failed && !Pack(x_packing, x_var_list, s_input_file_name))
        b_failed = true;

    GlobalAtts x_gatts;
    if (!b_failed && !s_gatts_file_name.empty() && !x_gatts.LoadAttributes(s_gatts_file_name)) {
        error("Error: Failed to load global attributes file: " + s_gatts_file_name);
        b_failed = true;
    }
    if (!b_failed)
        i_ret = WriteOutput(s_input_file_name, s_output_file_name, x_var_list, x_ref_time, x_var_lev_trans, x_gatts);
    if (b_failed || i_ret == 1) {
        error("Error: Output file could not be written.");
        i_ret = 1;
    }

    // The fields point into the data buffer, so the variables go before the buffer does.
    x_var_list.clear();
    x_infile.close();
    if (i_ret != 1)
        inform("Converted file: " + s_input_file_name + " to: " + s_output_file_name);
    return i_ret;
}
