// Fuzzes the metadata translation file loader and its lookups.
#include <cstdint>
#include <cstdio>
#include <iostream>

#include "FuzzSupport.h"
#include "VarLevTrans.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* px_data, size_t i_size)
{
    // The loaders report faults on std::cerr; millions of such lines would drown the log.
    static std::streambuf* px_silenced = std::cerr.rdbuf(nullptr);
    (void)px_silenced;
    std::string s_path = WriteFuzzFile(px_data, i_size, ".xml");
    {
        VarLevTrans x_trans(s_path);
        if (x_trans.LoadAttributes()) {
            x_trans.GetVariableAttributes(16203, 1);
            x_trans.GetVariableAttributes(24, 1);
        }
    }
    std::remove(s_path.c_str());
    return 0;
}
