// Fuzzes the packing file loader, then applies the loaded rules to a small variable.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <list>
#include <vector>

#include "FuzzSupport.h"
#include "Packing.h"
#include "RawConvert.h"

namespace {

// A 7 x 9 field of STASH code 3236 whose values the rules may reduce in place.
Variable MakeVariable(std::vector<int>& x_buffer)
{
    for (size_t i_point = 0; i_point < x_buffer.size(); ++i_point)
        x_buffer[i_point] = static_cast<int>(FLOAT_TO_RAW(static_cast<float>(i_point) * 0.5f));
    x_buffer[3] = static_cast<int>(FLOAT_TO_RAW(-1073741824.0f));
    VarField x_field(1, 16, 3236, 1);
    x_field.SetBMDI_MKS(-1073741824.0f, 1.0f);
    x_field.SetData(x_buffer.data());
    int px_date[6] = {2000, 1, 1, 0, 0, 0};
    Level x_level;
    x_level.Set(1, 1.5f);
    x_field.SetDims(Region(1, -90.0f, 0.0f, 2.5f, 3.75f, 7, 9), x_level, TimeField(2, px_date, px_date));
    return Variable(x_field);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* px_data, size_t i_size)
{
    // The loaders report faults on std::cerr; millions of such lines would drown the log.
    static std::streambuf* px_silenced = std::cerr.rdbuf(nullptr);
    (void)px_silenced;
    std::string s_path = WriteFuzzFile(px_data, i_size, ".pack.xml");
    Packing x_packing(s_path);
    if (x_packing.LoadAttributes()) {
        std::vector<int> x_buffer(7 * 9);
        std::list<Variable> x_vars;
        x_vars.push_back(MakeVariable(x_buffer));
        x_packing.PackVariables(x_vars);
    }
    std::remove(s_path.c_str());
    return 0;
}
