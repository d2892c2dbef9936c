// Replays every file of the given folders (or single files) through a fuzz target, so the
// corpus of seeds and past crashes runs as a regression test without libFuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* px_data, size_t i_size);

namespace {

bool IsFolder(const std::string& s_path)
{
    struct stat x_status;
    return stat(s_path.c_str(), &x_status) == 0 && S_ISDIR(x_status.st_mode);
}

void CollectFiles(const std::string& s_path, std::vector<std::string>& x_files)
{
    if (!IsFolder(s_path)) {
        x_files.push_back(s_path);
        return;
    }
    DIR* px_dir = opendir(s_path.c_str());
    if (px_dir == nullptr)
        return;
    while (dirent* px_entry = readdir(px_dir)) {
        std::string s_name = px_entry->d_name;
        if (s_name != "." && s_name != "..")
            CollectFiles(s_path + "/" + s_name, x_files);
    }
    closedir(px_dir);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> x_files;
    for (int i_arg = 1; i_arg < argc; ++i_arg)
        CollectFiles(argv[i_arg], x_files);
    for (const std::string& s_file : x_files) {
        std::ifstream x_in(s_file, std::ios::binary);
        std::vector<char> x_bytes((std::istreambuf_iterator<char>(x_in)),
                                  std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(x_bytes.data()), x_bytes.size());
    }
    std::printf("replayed %zu inputs\n", x_files.size());
    return x_files.empty() ? 1 : 0;
}
