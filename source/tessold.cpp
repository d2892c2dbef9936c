// The exported entry point: forms the output name, checks that the four files exist and
// runs the conversion. No exception crosses this boundary.
#include "tessold.h"

#include <netcdf.h>
#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <string>

#include "ConvertFile.h"

bool FileExists(const char* s_path)
{
    struct stat x_status;
    return s_path != nullptr && stat(s_path, &x_status) == 0;
}

namespace {

// Reports the first of the named files that does not exist; true when all exist.
bool AllFilesExist(const char* const* ps_paths, int i_count)
{
    for (int i_file = 0; i_file < i_count; ++i_file) {
        if (!FileExists(ps_paths[i_file])) {
            std::fprintf(stderr, "file : %s does not exist\n",
                         ps_paths[i_file] != nullptr ? ps_paths[i_file] : "(null)");
            std::fflush(stderr);
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
        std::fprintf(stderr, "Error: Conversion stopped: %s\n", x_error.what());
    } catch (const std::string& s_error) {
        std::fprintf(stderr, "Error: Conversion stopped: %s\n", s_error.c_str());
    } catch (...) {
        std::fprintf(stderr, "Error: Conversion stopped by an unexpected failure.\n");
    }
    std::fflush(stderr);
    return 1;
}
