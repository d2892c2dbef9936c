// The exported entry point: forms the output name, checks that the four files exist and
// runs the conversion. No exception crosses this boundary.
#include "tessold.h"

#include <netcdf.h>
#include <sys/stat.h>

#include <exception>
#include <string>

#include "ConvertFile.h"
#include "Messages.h"

namespace {

// True when the file system can report the path's status (a folder counts too).
bool FileExists(const char* s_path)
{
    struct stat x_status;
    return s_path != nullptr && stat(s_path, &x_status) == 0;
}

// Reports the first of the named files that does not exist; true when all exist.
bool AllFilesExist(const char* const* ps_paths, int i_count)
{
    for (int i_file = 0; i_file < i_count; ++i_file) {
        if (!FileExists(ps_paths[i_file])) {
            error(std::string("file : ") + (ps_paths[i_file] != nullptr ? ps_paths[i_file] : "(null)") +
                  " does not exist");
            return false;
        }
    }
    return true;
}

int Convert(char* strInFile, char* strMetadataTrans, char* strPackData, char* strGlobalAtts)
{
    // The global attributes file is checked before the packing file.
    const char* ps_checked[] = {strInFile, strMetadataTrans, strGlobalAtts, strPackData};
    if (!AllFilesExist(ps_checked, 4))
        return 1;
    std::string s_out_file = std::string(strInFile) + ".nc";
    return ConvertFile(strInFile, s_out_file, strMetadataTrans, strPackData, strGlobalAtts);
}

// netCDF sets itself up (its format tables, HDF5 and the remote-access libraries) on first
// use, and that costs more than converting a small file. Doing it when this library loads lets
// the children of a batch, forked afterwards, inherit it instead of each repeating it.
__attribute__((constructor)) void PrepareNetCDF()
{
    nc_initialize();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int tessold(char* strInFile,
                                                              char* strMetadataTrans,
                                                              char* strPackData,
                                                              char* strGlobalAtts)
{
    try {
        return Convert(strInFile, strMetadataTrans, strPackData, strGlobalAtts);
    } catch (const std::exception& x_error) {
        error(std::string("Error: Conversion stopped: ") + x_error.what());
    } catch (const std::string& s_error) {
        error("Error: Conversion stopped: " + s_error);
    } catch (...) {
        error("Error: Conversion stopped by an unexpected failure.");
    }
    return 1;
}
