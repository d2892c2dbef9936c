// Helpers shared by the tests: temporary folders, small files and generated UM files.
#ifndef TESSOLD_TESTS_TESTFILES_H
#define TESSOLD_TESTS_TESTFILES_H

#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return s_path; }
    // Returns the path of a file of this name inside the folder.
    std::string File(const std::string& s_name) const { return s_path + "/" + s_name; }

private:
    std::string s_path;
};

void WriteTextFile(const std::string& s_path, const std::string& s_text);
std::string ReadFileBytes(const std::string& s_path);
bool PathExists(const std::string& s_path);

// Runs a shell command; returns its standard output and stores its exit status.
std::string RunCommand(const std::string& s_command, int& i_status);

// Writes a UM fields file from a JSON description with tools/umgen.py (format in tools/README.md).
// Returns the generator's layout report (JSON text), or an empty string on failure.
std::string GenerateUM(const std::string& s_json_desc, const std::string& s_out_path);

// Configuration files that load cleanly: a translation file with one entry (16203 -> "temp"),
// an empty packing rule set and a global attributes file with one record.
struct ConfigFiles
{
    std::string s_trans;
    std::string s_pack;
    std::string s_gatts;
};
ConfigFiles WriteDefaultConfigs(const TempDir& x_dir);

// What one call of the entry point gave: its result and both output streams.
struct Outcome
{
    int i_result;
    std::string s_stdout;
    std::string s_stderr;
};

// Converts s_in with the configuration files through the exported entry point.
Outcome ConvertThroughEntryPoint(const std::string& s_in, const ConfigFiles& x_cfg);

#endif
