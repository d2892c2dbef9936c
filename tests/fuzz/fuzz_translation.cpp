// Fuzzes the metadata translation file loader and its lookups.
#include <cstdint>
#include <cstdio>

#include "FuzzSupport.h"
#include "VarLevTrans.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* px_data, size_t i_size)
{
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
