// Fuzzes a whole conversion, writer included: the input is a UM file, converted through the
// entry point with fixed configuration files that name, pack, crop, thin and average some
// of its fields. A conversion may fail with a message; it must not crash or leave output
// behind when it does.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "tessold.h"

namespace {

const char cs_translation[] =
    "<translation><stash><submodel id=\"1\">"
    "<section id=\"3\"><item id=\"236\" out_name=\"tas\" units=\"K\"/></section>"
    "<section id=\"16\"><item id=\"203\" out_name=\"temp\" units=\"K\" long_name=\"T\"/></section>"
    "<section id=\"0\"><item id=\"24\" out_name=\"ts\"/></section>"
    "</submodel></stash></translation>";
const char cs_packing[] =
    "<packing><r section=\"16\" id=\"203\" pack=\"1\" crop=\"1\"/>"
    "<r section=\"3\" id=\"236\" pack=\"2\" skip=\"2\"/><r section=\"16\" id=\"203\" avg=\"2\"/>"
    "<r section=\"0\" id=\"24\" skip=\"3\" avg=\"3\"/></packing>";
const char cs_global_atts[] = "title string 2 fuzz run\nrealization integer 1 1\n";

struct ConfigFiles {
    std::string s_translation, s_packing, s_global_atts;
};

// Writes the configuration files once per process; they are removed when it ends.
const ConfigFiles& Configs()
{
    static ConfigFiles* px_files = nullptr;
    if (px_files == nullptr) {
        px_files = new ConfigFiles{
            WriteFuzzFile(reinterpret_cast<const uint8_t*>(cs_translation), sizeof cs_translation - 1,
                          ".translation.xml"),
            WriteFuzzFile(reinterpret_cast<const uint8_t*>(cs_packing), sizeof cs_packing - 1, ".packing.xml"),
            WriteFuzzFile(reinterpret_cast<const uint8_t*>(cs_global_atts), sizeof cs_global_atts - 1,
                          ".global_atts.txt")};
        std::atexit([] {
            std::remove(px_files->s_translation.c_str());
            std::remove(px_files->s_packing.c_str());
            std::remove(px_files->s_global_atts.c_str());
        });
    }
    return *px_files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* px_data, size_t i_size)
{
    const ConfigFiles& x_configs = Configs();
    std::string s_input = WriteFuzzFile(px_data, i_size, ".um");
    std::string s_output = s_input + ".nc";
    std::remove(s_output.c_str());
    const int i_result = tessold(&s_input[0], const_cast<char*>(x_configs.s_translation.c_str()),
                                 const_cast<char*>(x_configs.s_packing.c_str()),
                                 const_cast<char*>(x_configs.s_global_atts.c_str()));
    const bool b_output_left = access(s_output.c_str(), F_OK) == 0;
    if (i_result != 0 && b_output_left)
        std::abort();  // a failed conversion must not leave an output that looks like a result
    std::remove(s_output.c_str());
    std::remove(s_input.c_str());
    return 0;
}
