// The three configuration files of a conversion, loaded and checked together, each failure
// reported with the file's own message and, where the file says more, a line on where.
#ifndef TESSOLD_CONFIGURATION_H
#define TESSOLD_CONFIGURATION_H

#include <string>

#include "GlobalAtts.h"
#include "Packing.h"
#include "VarLevTrans.h"

struct Configuration
{
    Configuration(const std::string& s_translation, const std::string& s_packing, const std::string& s_attributes);

    // Loads the files in the order translation, packing, global attributes; stops at the first
    // failure, reported. An empty name loads nothing and succeeds.
    bool Load();

    VarLevTrans x_translation;
    Packing x_packing;
    GlobalAtts x_attributes;
    std::string s_translation;
    std::string s_packing;
    std::string s_attributes;
};

#endif
