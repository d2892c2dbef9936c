// The global attributes file: white-space separated records of name, type, count and values.
#include "GlobalAtts.h"

#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <fstream>
#include <list>

namespace
{

// Streams open directories and devices without complaint, so only regular files are accepted.
bool IsRegularFile(const std::string& s_file_name)
{
    struct stat x_stat;
    return stat(s_file_name.c_str(), &x_stat) == 0 && S_ISREG(x_stat.st_mode);
}

// Accepts a whole token of optional sign and decimal digits that fits an int, as stream extraction would.
bool ParseCount(const std::string& s_token, int& i_count)
{
    std::size_t i_pos = 0;
    bool b_negative = false;
    if (i_pos < s_token.size() && (s_token[i_pos] == '+' || s_token[i_pos] == '-')) {
        b_negative = s_token[i_pos] == '-';
        ++i_pos;
    }
    if (i_pos == s_token.size()) {
        return false;
    }
    long long i_value = 0;
    for (; i_pos < s_token.size(); ++i_pos) {
        const char c_digit = s_token[i_pos];
        if (c_digit < '0' || c_digit > '9') {
            return false;
        }
        i_value = i_value * 10 + (c_digit - '0');
        // Stops before the accumulator could overflow; anything this large is out of range anyway.
        if (i_value > static_cast<long long>(INT_MAX) + 1) {
            return false;
        }
    }
    if (b_negative) {
        i_value = -i_value;
    }
    if (i_value > INT_MAX || i_value < INT_MIN) {
        return false;
    }
    i_count = static_cast<int>(i_value);
    return true;
}

// The attributes gathered so far; committed to the object only when the whole file reads.
struct LoadState
{
    std::list<Attribute> x_atts;
};

// Reads one record whose name is already taken; false when the file ends inside it or the count is bad.
bool ReadRecord(std::istream& x_in, const std::string& s_name, LoadState& x_state)
{
    std::string s_type;
    std::string s_count;
    int i_count = 0;
    if (!(x_in >> s_type) || !(x_in >> s_count) || !ParseCount(s_count, i_count)) {
        return false;
    }
    // Values are appended one by one so a huge count never allocates ahead of the data.
    std::list<std::string> x_values;
    std::string s_value;
    for (int i_index = 0; i_index < i_count; ++i_index) {
        if (!(x_in >> s_value)) {
            return false;
        }
        x_values.push_back(s_value);
    }
    x_state.x_atts.emplace_back(s_name, std::move(x_values), s_type);
    return true;
}

} // namespace

GlobalAtts::GlobalAtts()
    : b_loaded(false), x_global_atts_list("global", 0)
{
}

bool GlobalAtts::LoadAttributes(std::string s_file_name)
{
    if (!IsRegularFile(s_file_name)) {
        return false;
    }
    std::ifstream x_in(s_file_name.c_str());
    if (!x_in) {
        return false;
    }
    LoadState x_state;
    std::string s_name;
    while (x_in >> s_name) {
        if (!ReadRecord(x_in, s_name, x_state)) {
            return false;
        }
    }
    // A read error, unlike the end of the file, means the contents were not all seen.
    if (x_in.bad()) {
        return false;
    }
    for (Attribute& x_att : x_state.x_atts) {
        x_global_atts_list.Add(x_att);
    }
    b_loaded = true;
    return true;
}
