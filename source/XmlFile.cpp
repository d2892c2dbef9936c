// Reads an XML file into a TinyXML document the way TinyXML's own LoadFile would, but safely:
// only regular files, nesting limited before parsing (the parser recurses per element), and
// zero bytes behind the text for the parser's look-ahead.
#include "XmlFile.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include <tinyxml.h>

namespace
{

// Zero bytes after the text: TinyXML can step a few bytes past the end of the text on a
// malformed multi-byte character, and must find the end there rather than outside the buffer.
const size_t ci_parse_padding = 64;

// Reads a whole regular file; directories and devices have no meaningful length.
bool ReadRegularFile(const std::string& s_file_name, std::string& s_text)
{
    struct stat x_stat;
    if (stat(s_file_name.c_str(), &x_stat) != 0 || !S_ISREG(x_stat.st_mode))
        return false;
    std::ifstream x_in(s_file_name, std::ios::binary);
    if (!x_in)
        return false;
    std::ostringstream x_text;
    x_text << x_in.rdbuf();
    s_text = x_text.str();
    return !x_in.bad();
}

// The text up to its first NUL byte with CR LF and lone CR turned into LF, as TinyXML reads files.
std::string NormaliseLineEnds(const std::string& s_text)
{
    std::string s_normal;
    s_normal.reserve(s_text.size() + ci_parse_padding);
    for (size_t i_pos = 0; i_pos < s_text.size() && s_text[i_pos] != '\0'; ++i_pos) {
        if (s_text[i_pos] != '\r') {
            s_normal += s_text[i_pos];
            continue;
        }
        s_normal += '\n';
        if (i_pos + 1 < s_text.size() && s_text[i_pos + 1] == '\n')
            ++i_pos;
    }
    return s_normal;
}

// TinyXML reads an element inside another by calling itself, so a file of some ten thousand
// nested elements overflows the stack. Translation and packing files nest five deep at most.
const int ci_most_nested_elements = 256;

// The position after the first s_end at or after i_pos, or the text's end.
size_t After(const std::string& s_text, size_t i_pos, const char* s_end)
{
    const size_t i_found = s_text.find(s_end, i_pos);
    return i_found == std::string::npos ? s_text.size() : i_found + std::strlen(s_end);
}

// The position after the '>' that closes the tag at i_pos; quoted attribute values may hold '>'.
size_t AfterTag(const std::string& s_text, size_t i_pos, bool& b_self_closing)
{
    char c_quote = '\0';
    for (; i_pos < s_text.size(); ++i_pos) {
        const char c = s_text[i_pos];
        if (c_quote != '\0') {
            if (c == c_quote)
                c_quote = '\0';
        } else if (c == '"' || c == '\'') {
            c_quote = c;
        } else if (c == '>') {
            b_self_closing = s_text[i_pos - 1] == '/';
            return i_pos + 1;
        }
    }
    return i_pos;
}

// Whether elements lie more than i_most deep anywhere in the text. Comments, character data,
// declarations and end tags open nothing.
bool NestedDeeperThan(const std::string& s_text, int i_most)
{
    int i_depth = 0;
    size_t i_pos = s_text.find('<');
    while (i_pos != std::string::npos) {
        if (s_text.compare(i_pos, 4, "<!--") == 0) {
            i_pos = After(s_text, i_pos, "-->");
        } else if (s_text.compare(i_pos, 9, "<![CDATA[") == 0) {
            i_pos = After(s_text, i_pos, "]]>");
        } else if (s_text.compare(i_pos, 2, "<?") == 0 || s_text.compare(i_pos, 2, "<!") == 0) {
            i_pos = After(s_text, i_pos, ">");
        } else if (s_text.compare(i_pos, 2, "</") == 0) {
            // An end tag outside every element closes nothing (the parser skips it there), so
            // end tags written first cannot make room for more nesting.
            if (i_depth > 0)
                --i_depth;
            i_pos = After(s_text, i_pos, ">");
        } else {
            bool b_self_closing = false;
            i_pos = AfterTag(s_text, i_pos + 1, b_self_closing);
            if (!b_self_closing && ++i_depth > i_most)
                return true;
        }
        i_pos = s_text.find('<', i_pos);
    }
    return false;
}

} // namespace

bool LoadXmlFile(TiXmlDocument& x_doc, const std::string& s_file_name)
{
    std::string s_text;
    if (!ReadRegularFile(s_file_name, s_text)) {
        x_doc.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    if (s_text.empty()) {
        x_doc.SetError(TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    std::string s_document = NormaliseLineEnds(s_text);
    if (NestedDeeperThan(s_document, ci_most_nested_elements)) {
        x_doc.SetError(TiXmlBase::TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    s_document.append(ci_parse_padding, '\0');
    x_doc.Parse(s_document.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    return !x_doc.Error();
}

