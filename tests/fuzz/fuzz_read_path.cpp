// Fuzzes the whole read path on an in-memory file: acceptance test, reader, extraction,
// packing with a fixed rule set and dimension consolidation.
#include <cstdint>
#include <cstdio>
#include <list>
#include <sstream>
#include <string>

#include "ConvertFile.h"
#include "ExtractVariables.h"
#include "FuzzSupport.h"
#include "MinimiseDimensions.h"
#include "Packing.h"
#include "ReadUMFile.h"

namespace {

const char cs_rules[] =
    "<packing><r section=\"16\" id=\"203\" pack=\"1\" crop=\"1\"/>"
    "<r section=\"3\" id=\"236\" pack=\"2\" skip=\"2\"/><r section=\"16\" id=\"203\" avg=\"2\"/>"
    "<r section=\"0\" id=\"24\" skip=\"3\" avg=\"3\"/></packing>";

// Loads the fixed rule set once per process.
Packing& Rules()
{
    static Packing* px_packing = nullptr;
    if (px_packing == nullptr) {
        std::string s_path = WriteFuzzFile(reinterpret_cast<const uint8_t*>(cs_rules),
                                           sizeof cs_rules - 1, ".rules.xml");
        px_packing = new Packing(s_path);
        px_packing->LoadAttributes();
        std::remove(s_path.c_str());
    }
    return *px_packing;
}

void RunReadPath(std::istream& x_in)
{
    UMArrays x_arrays;
    std::string s_fault;
    if (ReadHdrs(x_in, x_arrays, s_fault))
        x_arrays.px_data = ReadData(x_in, x_arrays.px_fixhdr, x_arrays.px_pphdrs, s_fault);
    if (x_arrays.px_data != nullptr) {
        std::list<Variable> x_vars;
        std::string s_fault;
        const GridConstants x_grid = GridConstantsOf(x_arrays.px_fixhdr, x_arrays.px_rowc, x_arrays.px_colc);
        ExtractVarFields(x_arrays.px_fixhdr, x_arrays.px_pphdrs, x_arrays.px_data, x_vars, x_grid, s_fault);
        Rules().PackVariables(x_vars);
        MinimiseTimes(x_vars);
        std::list<Region> x_regions = MinimiseRegions(x_vars);
        MinimiseLevels(x_vars);
        for (Region& x_region : x_regions) {
            x_region.GetLatitudes();
            x_region.GetLongitudes();
            float* pf_lat = nullptr;
            float* pf_lon = nullptr;
            if (x_region.GetGridType() > 99)
                x_region.GetGlobalCoordsForRotatedGrid(pf_lat, pf_lon);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* px_data, size_t i_size)
{
    std::istringstream x_in(std::string(reinterpret_cast<const char*>(px_data), i_size));
    if (IsUMFile(x_in))
        RunReadPath(x_in);
    return 0;
}
