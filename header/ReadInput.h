// The input of a conversion read into the 32-bit model: a file of the native layout (32-bit
// little-endian words, -32768 in fixed-header word 1, unpacked data) by ReadUMFile with its
// data section mapped; with b_any_layout, a file of any other layout, or one holding packed
// fields, by the reader of every layout.
#ifndef TESSOLD_READINPUT_H
#define TESSOLD_READINPUT_H

#include <string>

#include "ExtractVariables.h"
#include "NormalisedFile.h"
#include "ReadUMFile.h"

struct InputFile
{
    UMArrays x_native;
    NormalisedFile x_normalised;
    bool b_normalised = false;
    std::string s_layout = "fields file, 32-bit little-endian";

    UMArrays& Arrays() { return b_normalised ? x_normalised.x_arrays : x_native; }
    // The constants and per-field coordinates of grids of variable resolution.
    GridConstants Grids();
};

// How reading went: the file was read, it was refused before reading began (no UM file, cannot be
// opened), or reading found a fault.
enum class InputRead { Read, Refused, Faulty };

// Recognises and reads s_path, reporting a file that is no UM file, is corrupt or holds packing
// that cannot be read. With b_headers_only a native-layout file's data section is left unread (and
// its packed fields are let through).
InputRead ReadInputFile(const std::string& s_path, bool b_any_layout, bool b_headers_only, InputFile& x_input);

#endif
