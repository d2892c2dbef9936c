// Formats a number as text with an optional minimum width and fill character.
#ifndef TESSOLD_TOSTRING_H
#define TESSOLD_TOSTRING_H

#include <sstream>
#include <string>

// Writes t with the stream's default formatting; a width above 0 pads on the left with c_fill_char.
template <typename T>
std::string ToString(T t, int i_field_width, char c_fill_char)
{
    std::ostringstream x_out;
    if (i_field_width > 0) {
        x_out.width(i_field_width);
        x_out.fill(c_fill_char);
    }
    x_out << t;
    return x_out.str();
}

#endif
