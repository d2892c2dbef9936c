// Helpers shared by the tests: temporary folders, small files and generated UM files.
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tessold.h"

TempDir::TempDir()
{
    char s_template[] = "/tmp/tessold_test_XXXXXX";
    const char* s_made = mkdtemp(s_template);
    if (s_made == nullptr)
        throw std::runtime_error("mkdtemp failed");
    s_path = s_made;
}

TempDir::~TempDir()
{
    std::string s_command = "rm -rf '" + s_path + "'";
    if (std::system(s_command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", s_path.c_str());
}

void WriteTextFile(const std::string& s_path, const std::string& s_text)
{
    std::ofstream x_out(s_path, std::ios::binary | std::ios::trunc);
    x_out << s_text;
}

std::string ReadFileBytes(const std::string& s_path)
{
    std::ifstream x_in(s_path, std::ios::binary);
    std::ostringstream x_bytes;
    x_bytes << x_in.rdbuf();
    return x_bytes.str();
}

bool PathExists(const std::string& s_path)
{
    struct stat x_status;
    return stat(s_path.c_str(), &x_status) == 0;
}

std::string RunCommand(const std::string& s_command, int& i_status)
{
    std::string s_output;
    FILE* px_pipe = popen(s_command.c_str(), "r");
    if (px_pipe == nullptr) {
        i_status = -1;
        return s_output;
    }
    char s_chunk[4096];
    size_t i_read;
    while ((i_read = std::fread(s_chunk, 1, sizeof s_chunk, px_pipe)) > 0)
        s_output.append(s_chunk, i_read);
    int i_raw = pclose(px_pipe);
    i_status = WIFEXITED(i_raw) ? WEXITSTATUS(i_raw) : -1;
    return s_output;
}

std::string GenerateUM(const std::string& s_json_desc, const std::string& s_out_path)
{
    std::string s_desc_path = s_out_path + ".json";
    WriteTextFile(s_desc_path, s_json_desc);
    int i_status = 0;
    std::string s_layout = RunCommand(std::string(TESSOLD_PYTHON) + " " TESSOLD_SOURCE_DIR
                                      "/tools/umgen.py --layout '" + s_desc_path + "' '" +
                                      s_out_path + "'", i_status);
    std::remove(s_desc_path.c_str());
    return i_status == 0 ? s_layout : std::string();
}

ConfigFiles WriteDefaultConfigs(const TempDir& x_dir)
{
    ConfigFiles x_files;
    x_files.s_trans = x_dir.File("trans.xml");
    x_files.s_pack = x_dir.File("pack.xml");
    x_files.s_gatts = x_dir.File("gatts.txt");
    WriteTextFile(x_files.s_trans,
                  "<?xml version=\"1.0\"?>\n<translation><stash><submodel id=\"1\">"
                  "<section id=\"16\"><item id=\"203\" out_name=\"temp\" units=\"K\"/>"
                  "</section></submodel></stash></translation>\n");
    WriteTextFile(x_files.s_pack, "<?xml version=\"1.0\"?>\n<packing></packing>\n");
    WriteTextFile(x_files.s_gatts, "source string 1 tests\n");
    return x_files;
}

Outcome ConvertThroughEntryPoint(const std::string& s_in, const ConfigFiles& x_cfg)
{
    // Copies, because the entry point takes mutable C strings.
    std::string x_args[4] = {s_in, x_cfg.s_trans, x_cfg.s_pack, x_cfg.s_gatts};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Outcome x_outcome;
    x_outcome.i_result = tessold(&x_args[0][0], &x_args[1][0], &x_args[2][0], &x_args[3][0]);
    x_outcome.s_stderr = testing::internal::GetCapturedStderr();
    x_outcome.s_stdout = testing::internal::GetCapturedStdout();
    return x_outcome;
}
