/* The library's two exported entry points: each converts a UM file to netCDF. Calls from several
 * threads of one host are safe; the library runs them one at a time. Compiles as C and as C++. */
#ifndef TESSOLD_TESSOLD_H
#define TESSOLD_TESSOLD_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Converts strInFile to strInFile + ".nc"; returns 0 on success and 1 on failure. Messages go to
 * standard error and the success line to standard output; a failing netCDF call while writing
 * ends the process with status 3. */
int tessold(char* strInFile, char* strMetadataTrans, char* strPackData, char* strGlobalAtts);

/* Flags of a request. */
#define TESSOLD_REPLACE 1u         /* an existing output is replaced (atomically) instead of kept */
#define TESSOLD_LIST 2u            /* lists what the input holds in the report instead of converting */
#define TESSOLD_LIST_JSON 4u       /* with TESSOLD_LIST: one JSON object per line */
#define TESSOLD_CHECK_CONFIG 8u    /* loads and checks the configuration files only */
#define TESSOLD_SIGNAL_CLEANUP 16u /* SIGINT, SIGTERM or SIGHUP during the call remove the unfinished
                                      output and end the process by that signal (for programs that
                                      have no handlers of their own) */
#define TESSOLD_ANY_LAYOUT 32u     /* reads fields files of 32- or 64-bit words in either byte order,
                                      PP files, and WGDOS-packed or 32-bit packed fields; without it
                                      only 32-bit little-endian fields files of unpacked data */
#define TESSOLD_CF 64u             /* the CF profile (README "The CF profile"): one variable per
                                      diagnostic, CF time, vertical and grid coordinates, CF-1.11;
                                      without it the established layout, unchanged */
#define TESSOLD_NETCDF4 128u       /* with TESSOLD_CF: a netCDF-4 file of the classic model, each
                                      data variable compressed (shuffle and zlib at deflate_level)
                                      one field per chunk; refused without TESSOLD_CF */

/* Results of tessold_convert. */
#define TESSOLD_OK 0
#define TESSOLD_FAILED 1         /* a missing or faulty input or configuration file, or an existing output */
#define TESSOLD_WRITE_FAILED 3   /* the netCDF library failed while writing (a full disk, a refused name) */

struct tessold_request {
    const char* input;       /* the UM file */
    const char* output;      /* NULL or "": the input's name with ".nc" appended, beside it */
    const char* translation; /* the metadata translation XML file; NULL or "": none */
    const char* packing;     /* the packing XML file; NULL or "": none */
    const char* attributes;  /* the global attributes text file; NULL or "": none */
    unsigned int flags;      /* TESSOLD_ flags, or 0 */
    char* report;            /* where the lines a command line prints on standard output go (the
                                success line, notices, a listing); NULL: nowhere */
    size_t report_size;      /* bytes at report, the terminating NUL included */
    size_t report_length;    /* set by the call: the length of all report lines, even when fewer fit */
    size_t message_length;   /* set by the call: the same for the messages */
    int deflate_level;       /* with TESSOLD_NETCDF4: the zlib level, 1 (fastest) to 9 (smallest);
                                0, as in a zeroed request, means the default 4; a value below 0 or
                                above 9 is refused */
    const char* history;     /* with TESSOLD_CF: the command line the host ran, written after the
                                time of the conversion in the "history" attribute; NULL: "tessold" */
};

/* Converts request->input as the request says, never ending the process and never writing to
 * standard output or standard error: failure messages go to message (message_size bytes, always
 * NUL-terminated, cut short when they do not fit), one line each. Returns TESSOLD_OK,
 * TESSOLD_FAILED or TESSOLD_WRITE_FAILED. */
int tessold_convert(struct tessold_request* request, char* message, size_t message_size);

#ifdef __cplusplus
}
#endif

#endif
