// The global attributes file: white-space separated records of name, type, count and values.
// Line ends carry no meaning; a record may spread over lines. A numeric value must start with a
// number of its type's range, read as the writer reads it (stream extraction, so 12abc is 12).
#include "GlobalAtts.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <fstream>
#include <list>
#include <sstream>
#include <vector>

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
    if (i_pos == s_token.size())
        return false;
    long long i_value = 0;
    for (; i_pos < s_token.size(); ++i_pos) {
        const char c_digit = s_token[i_pos];
        if (c_digit < '0' || c_digit > '9')
            return false;
        i_value = i_value * 10 + (c_digit - '0');
        // Stops before the accumulator could overflow; anything this large is out of range anyway.
        if (i_value > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    i_value = b_negative ? -i_value : i_value;
    if (i_value > INT_MAX || i_value < INT_MIN)
        return false;
    i_count = static_cast<int>(i_value);
    return true;
}

// One white-space separated word of the file and the line it stands on.
struct Token
{
    std::string s_text;
    int i_line;
};

// The words of the text with their line numbers.
std::vector<Token> Tokens(const std::string& s_text)
{
    std::vector<Token> x_tokens;
    int i_line = 1;
    size_t i_pos = 0;
    while (i_pos < s_text.size()) {
        if (std::isspace(static_cast<unsigned char>(s_text[i_pos]))) {
            i_line += s_text[i_pos++] == '\n' ? 1 : 0;
            continue;
        }
        const size_t i_start = i_pos;
        while (i_pos < s_text.size() && !std::isspace(static_cast<unsigned char>(s_text[i_pos])))
            ++i_pos;
        x_tokens.push_back({s_text.substr(i_start, i_pos - i_start), i_line});
    }
    return x_tokens;
}

// True when stream extraction reads a T from the start of the value, in T's range.
template <typename T>
bool ReadsAs(const std::string& s_value)
{
    std::istringstream x_in(s_value);
    T t_value;
    return static_cast<bool>(x_in >> t_value);
}

// True when a value of this type text holds what the writer can store.
bool ValueFits(const std::string& s_type, const std::string& s_value)
{
    if (s_type == "integer")
        return ReadsAs<int>(s_value);
    if (s_type == "short")
        return ReadsAs<short>(s_value);
    if (s_type == "float")
        return ReadsAs<float>(s_value);
    if (s_type == "double")
        return ReadsAs<double>(s_value);
    return true;
}

// The words of a record from its first, joined as in the file.
std::string RecordText(const std::vector<Token>& x_tokens, size_t i_first, size_t i_end)
{
    std::string s_text;
    for (size_t i = i_first; i < i_end && i < x_tokens.size(); ++i)
        s_text += (i > i_first ? " " : "") + x_tokens[i].s_text;
    return s_text;
}

} // namespace

GlobalAtts::GlobalAtts() : b_loaded(false), x_global_atts_list("global", 0) {}

bool GlobalAtts::LoadAttributes(std::string s_file_name)
{
    s_fault.clear();
    std::ifstream x_in(s_file_name.c_str(), std::ios::binary);
    if (!IsRegularFile(s_file_name) || !x_in)
        return false;
    std::ostringstream x_text;
    x_text << x_in.rdbuf();
    // A read error, unlike the end of the file, means the contents were not all seen.
    if (x_in.bad())
        return false;
    const std::vector<Token> x_tokens = Tokens(x_text.str());
    // The attributes are committed to the object only when the whole file reads.
    std::list<Attribute> x_atts;
    size_t i_pos = 0;
    while (i_pos < x_tokens.size()) {
        const size_t i_first = i_pos;
        const auto s_record = [&](size_t i_end) {
            return "line " + std::to_string(x_tokens[i_first].i_line) + ": " + RecordText(x_tokens, i_first, i_end);
        };
        int i_count = 0;
        if (i_pos + 2 >= x_tokens.size() || !ParseCount(x_tokens[i_pos + 2].s_text, i_count)) {
            s_fault = s_record(i_pos + 3) + (i_pos + 2 >= x_tokens.size() ? " (the file ends inside it)" : "");
            return false;
        }
        const std::string s_type = x_tokens[i_pos + 1].s_text;
        i_pos += 3;
        // Values are appended one by one so a huge count never allocates ahead of the data.
        std::list<std::string> x_values;
        for (int i_index = 0; i_index < i_count; ++i_index, ++i_pos) {
            if (i_pos >= x_tokens.size()) {
                s_fault = s_record(i_pos) + " (the file ends inside it)";
                return false;
            }
            if (!ValueFits(s_type, x_tokens[i_pos].s_text)) {
                s_fault = s_record(i_first + 3 + static_cast<size_t>(i_count));
                return false;
            }
            x_values.push_back(x_tokens[i_pos].s_text);
        }
        x_atts.emplace_back(x_tokens[i_first].s_text, std::move(x_values), s_type);
    }
    for (Attribute& x_att : x_atts)
        x_global_atts_list.Add(x_att);
    b_loaded = true;
    return true;
}
