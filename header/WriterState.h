// What the writer keeps while it writes one file, passed from stage to stage: the open file,
// the coordinate values that wait until every object is defined, and where each search for a
// free variable name stopped. The plain order (for the tests that compare it with this one)
// puts coordinates at once and searches every name from its first candidate.
#ifndef TESSOLD_WRITERSTATE_H
#define TESSOLD_WRITERSTATE_H

#include <list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <netcdfcpp.h>

// Thrown when a netCDF call fails while the library's error mode is non-fatal (a full disk, a
// name the library refuses); in the fatal mode the library ends the process instead.
class OutputFailed : public std::runtime_error
{
public:
    explicit OutputFailed(const std::string& s_what) : std::runtime_error(s_what) {}
};

// The netCDF library's text for its most recent error.
std::string LastNetCDFError();

// The result of a netCDF call that returns an object, or OutputFailed when it returned none.
template <typename T>
T* Checked(T* px_result)
{
    if (px_result == nullptr)
        throw OutputFailed(LastNetCDFError());
    return px_result;
}

// Throws OutputFailed when a netCDF call that returns success or failure failed.
inline void Checked(NcBool b_ok)
{
    if (!b_ok)
        throw OutputFailed(LastNetCDFError());
}

// Throws OutputFailed when a call of the netCDF C interface returned an error status.
void CheckedStatus(int i_status);

// Adds an attribute to a variable; OutputFailed when the library refuses it.
template <typename... Values>
void AddAtt(NcVar* px_var, const char* s_name, Values... x_values)
{
    Checked(px_var->add_att(s_name, x_values...));
}

// Name prefixes of the horizontal objects, followed by the region number.
extern const std::string cs_latitude;
extern const std::string cs_longitude;
extern const std::string cs_global_latitude;
extern const std::string cs_global_longitude;
extern const std::string cs_rotated_pole;

// Coordinate values wait here while the file is still being defined, so that the library
// leaves define mode once, not once per coordinate variable (each time it would rewrite the
// header and move the data written so far). The values land where they would have anyway.
class DeferredPuts
{
public:
    struct Put
    {
        NcVar* px_var;
        std::vector<float> x_values;
        long i_rows;
        long i_cols;  // 0 for a one-dimensional put
    };

    void Start() { b_active = true; }
    bool Active() const { return b_active; }
    void Add(Put x_put) { x_puts.push_back(std::move(x_put)); }
    // Writes everything held for fixed-size variables, in the order it was added; the values
    // of record variables stay until their records are written (PutRecords).
    void FlushFixed();
    // Writes the values of records i_first up to i_end of the held record variables.
    void PutRecords(long i_first, long i_end);
    // The largest number of records a held record variable has.
    long RecordCount() const;

private:
    std::vector<Put> x_puts;
    bool b_active = false;
};

struct WriterState
{
    WriterState(NcFile& x_file, bool b_plain_order);

    NcFile& x_nc_file;
    const bool b_plain;
    DeferredPuts x_deferred;
    // For each base name, the suffix at which the last search for a free name stopped. Names
    // are only ever added to a file, so a name found taken stays taken; without this, each of
    // many variables without a translated name (all "field<code>") probed every name before its own.
    std::map<std::string, int> x_free_name_starts;
};

// Writes a whole coordinate vector in one put from the variable's origin.
void PutCoordinates(WriterState& x_state, NcVar* px_var, const std::list<float>& x_values);

// Writes a rows x columns block of geographic coordinates from the variable's origin.
void PutCoordinateBlock(WriterState& x_state, NcVar* px_var, const float* pf_values, long i_rows, long i_cols);

// The first name base_0, base_1, ... that no variable of the file has yet; the caller silences probes.
std::string FirstFreeName(WriterState& x_state, const std::string& s_base);

#endif
