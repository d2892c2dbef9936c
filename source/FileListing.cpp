// What a UM file holds, before it is converted: one line per lookup entry (index, STASH code,
// field code, times, time type, level, grid, packing, missing value) and one line with the
// variables a conversion would make, as text or as one JSON object per line. Only the headers
// are read, so packed fields are listed too.
#include "FileListing.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <list>
#include <map>

#include "Configuration.h"
#include "ExtractVariables.h"
#include "Messages.h"
#include "ReadInput.h"
#include "ReadUMFile.h"
#include "ToString.h"
#include "UMWords.h"
#include "WriteNetCDFFile.h"

namespace {

// A STASH code as the model writes it: m01s16i203.
std::string StashText(int i_model, int i_stash)
{
    char s_text[64];
    std::snprintf(s_text, sizeof s_text, "m%02ds%02di%03d", i_model, i_stash / 1000, i_stash % 1000);
    return s_text;
}

// A real as JSON: the shortest text that reads back as the same float; null for what JSON lacks.
std::string JsonNumber(float f_value)
{
    if (!std::isfinite(f_value))
        return "null";
    char s_text[32];
    std::snprintf(s_text, sizeof s_text, "%.9g", static_cast<double>(f_value));
    return s_text;
}

// A text as a JSON string.
std::string JsonString(const std::string& s_text)
{
    std::string s_quoted = "\"";
    for (const char c : s_text) {
        if (c == '"' || c == '\\')
            s_quoted += std::string("\\") + c;
        else if (static_cast<unsigned char>(c) < 0x20)
            s_quoted += "\\u00" + std::string(1, "0123456789abcdef"[(c >> 4) & 15]) + "0123456789abcdef"[c & 15];
        else
            s_quoted += c;
    }
    return s_quoted + "\"";
}

// The grid of a field: regular, or rotated with its pole.
std::string GridText(const Region& x_region, bool b_json)
{
    if (x_region.GetGridType() <= 99)
        return b_json ? "\"regular\"" : "regular";
    if (b_json)
        return "\"rotated\", \"pole\": [" + JsonNumber(x_region.GetPoleLatitude()) + ", " +
               JsonNumber(x_region.GetPoleLongitude()) + "]";
    return "rotated pole " + ToString(x_region.GetPoleLatitude(), 0, ' ') + " " +
           ToString(x_region.GetPoleLongitude(), 0, ' ');
}

// One lookup entry as a line; i_lbpack is the packing the field has in the file.
std::string FieldLine(int* px_fixhdr, int* px_pphdrs, int idx, int i_lbpack, bool b_json)
{
    const VarField x_field = ExtractVarField(px_fixhdr, px_pphdrs, nullptr, idx);
    const TimeField x_time = ExtractTime(px_fixhdr, px_pphdrs, idx);
    const Level x_level = ExtractLevel(px_fixhdr, px_pphdrs, idx);
    const Region x_region = ExtractRegion(px_fixhdr, px_pphdrs, idx);
    const std::string s_stash = StashText(x_field.GetModelCode(), x_field.GetStashCode());
    const std::string s_valid = x_time.GetValDate().GetFormatted();
    const std::string s_data = x_time.GetDatDate().GetFormatted();
    if (b_json)
        return "{\"field\": " + ToString(idx, 0, ' ') + ", \"stash\": \"" + s_stash + "\", \"lbfc\": " +
               ToString(x_field.GetFieldCode(), 0, ' ') + ", \"validity\": \"" + s_valid + "\", \"data\": \"" +
               s_data + "\", \"lbtim\": " + ToString(x_time.GetType(), 0, ' ') + ", \"lbvc\": " +
               ToString(x_level.GetType(), 0, ' ') + ", \"level\": " + JsonNumber(x_level.GetValue()) +
               ", \"rows\": " + ToString(x_region.GetNRows(), 0, ' ') + ", \"cols\": " +
               ToString(x_region.GetNCols(), 0, ' ') + ", \"grid\": " + GridText(x_region, true) +
               ", \"lbpack\": " + ToString(i_lbpack, 0, ' ') + ", \"bmdi\": " +
               JsonNumber(x_field.GetMissingValue()) + "}";
    return ToString(idx, 0, ' ') + "  " + s_stash + "  LBFC " + ToString(x_field.GetFieldCode(), 0, ' ') +
           "  valid " + s_valid + "  data " + s_data + "  LBTIM " + ToString(x_time.GetType(), 0, ' ') +
           "  level " + ToString(x_level.GetType(), 0, ' ') + " " + ToString(x_level.GetValue(), 0, ' ') + "  " +
           ToString(x_region.GetNRows(), 0, ' ') + " x " + ToString(x_region.GetNCols(), 0, ' ') + "  " +
           GridText(x_region, false) + "  LBPACK " + ToString(i_lbpack, 0, ' ') + "  BMDI " +
           ToString(x_field.GetMissingValue(), 0, ' ');
}

// The variables a conversion would make: names numbered per base name in the variables' order.
std::string VariablesLine(const std::list<Variable>& x_vars, const VarLevTrans& x_translation, bool b_json)
{
    std::map<std::string, int> x_next_suffix;
    std::string s_line = b_json ? "{\"variables\": [" : "variables:";
    for (const Variable& x_var : x_vars) {
        const std::string s_base = VariableBaseName(x_var, x_translation);
        const std::string s_name = s_base + "_" + ToString(x_next_suffix[s_base]++, 0, ' ');
        const std::string s_stash = StashText(x_var.GetModelCode(), x_var.GetStashCode());
        const std::string s_fields = ToString(static_cast<int>(x_var.GetVarFields().size()), 0, ' ');
        if (b_json)
            s_line += std::string(&x_var == &x_vars.front() ? "" : ", ") + "{\"name\": " + JsonString(s_name) +
                      ", \"stash\": \"" + s_stash + "\", \"fields\": " + s_fields + "}";
        else
            s_line += " " + s_name + " (" + s_stash + ", " + s_fields + " fields)";
    }
    return s_line + (b_json ? "]}" : "");
}

}  // namespace

bool ListFile(const ConversionJob& x_job, bool b_json)
{
    InputFile x_input;
    if (ReadInputFile(x_job.s_input, x_job.b_any_layout, true, x_input) != InputRead::Read)
        return false;
    Configuration x_config(x_job.s_translation, "", "");
    if (!x_config.Load())
        return false;
    inform(b_json ? "{\"layout\": \"" + x_input.s_layout + "\"}" : "layout: " + x_input.s_layout);
    UMArrays& x_hdrs = x_input.Arrays();
    const int i_count = x_hdrs.px_fixhdr != nullptr ? FixedWord(x_hdrs.px_fixhdr, FH_LOOKUP_ENTRIES) : 0;
    for (int idx = 0; idx < i_count; ++idx) {
        const int i_lbpack = x_input.b_normalised ? x_input.x_normalised.x_lbpack[static_cast<size_t>(idx)]
                                                  : ExtractVarField(x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, nullptr, idx).GetPackCode();
        inform(FieldLine(x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, idx, i_lbpack, b_json));
    }
    std::list<Variable> x_vars;
    std::string s_fault;
    if (i_count > 0 && !ExtractVarFields(x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, nullptr, x_vars, x_input.Grids(), s_fault)) {
        error("Error: Input file: " + x_job.s_input + " is corrupt: " + s_fault);
        return false;
    }
    inform(VariablesLine(x_vars, x_config.x_translation, b_json));
    return true;
}
