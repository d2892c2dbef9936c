// Fuzzes the global attributes file loader.
#include <cstdint>
#include <cstdio>

#include "FuzzSupport.h"
#include "GlobalAtts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* px_data, size_t i_size)
{
    std::string s_path = WriteFuzzFile(px_data, i_size, ".gatts.txt");
    {
        GlobalAtts x_gatts;
        if (x_gatts.LoadAttributes(s_path)) {
            for (const Attribute& x_att : x_gatts.GetAttributes().Get())
                x_att.GetNumber();
        }
    }
    std::remove(s_path.c_str());
    return 0;
}
