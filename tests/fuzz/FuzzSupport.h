// Writes a fuzz input to a file of this process's own, for the loaders that read from a path.
#ifndef TESSOLD_FUZZ_FUZZSUPPORT_H
#define TESSOLD_FUZZ_FUZZSUPPORT_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

inline std::string WriteFuzzFile(const uint8_t* px_data, size_t i_size, const char* s_suffix)
{
    std::string s_path = "/tmp/tessold_fuzz_" + std::to_string(getpid()) + s_suffix;
    FILE* px_file = std::fopen(s_path.c_str(), "wb");
    if (px_file != nullptr) {
        if (i_size > 0)
            std::fwrite(px_data, 1, i_size, px_file);
        std::fclose(px_file);
    }
    return s_path;
}

#endif
