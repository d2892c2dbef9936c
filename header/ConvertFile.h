// Runs every stage of one conversion and reports each failure with one line of text.
#ifndef TESSOLD_CONVERTFILE_H
#define TESSOLD_CONVERTFILE_H

#include <istream>
#include <string>

// What one conversion is asked to do. An empty configuration file name means none.
struct ConversionJob
{
    std::string s_input;
    std::string s_output;
    std::string s_translation;
    std::string s_packing;
    std::string s_attributes;
    bool b_replace = false;  // an existing output is replaced, atomically, instead of kept
    bool b_any_layout = false;  // inputs of every layout are read, not only the native layout
    bool b_cf = false;          // the CF profile's layout instead of the default one
    bool b_netcdf4 = false;     // with b_cf: a netCDF-4 file of the classic model, compressed
    int i_deflate = 4;          // the compression level of a netCDF-4 file, 1 to 9
    std::string s_history;      // the command the host ran, for the CF profile's history
};

// Results of a conversion.
const int ci_converted = 0;
const int ci_failed = 1;
const int ci_write_failed = 3;  // the netCDF library failed while writing (its non-fatal mode)

// Converts the job's input; returns ci_converted, ci_failed or ci_write_failed.
int ConvertFile(const ConversionJob& x_job);

// True when the stream starts with the first five words of a UM fixed header.
bool IsUMFile(std::istream& x_infile);

#endif
