// Runs every stage of one conversion and reports each failure with one line of text.
#ifndef TESSOLD_CONVERTFILE_H
#define TESSOLD_CONVERTFILE_H

#include <istream>
#include <string>

// Returns 0 on success and 1 on failure.
int ConvertFile(std::string s_input_file_name, std::string s_output_file_name,
                std::string s_xml_file_name, std::string s_pack_file_name,
                std::string s_gatts_file_name);

// True when the stream starts with the first five words of a UM fixed header.
bool IsUMFile(std::istream& x_infile);

#endif
