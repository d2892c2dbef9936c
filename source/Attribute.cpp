// A named, typed metadata attribute whose values are held as text.
#include "Attribute.h"

#include <utility>

Attribute::Attribute(std::string s_att_name, std::string s_att_value, std::string s_att_type)
    : s_type(std::move(s_att_type)), s_name(std::move(s_att_name)), s_value(1, std::move(s_att_value))
{
}

Attribute::Attribute(std::string s_att_name, std::list<std::string> x_att_values, std::string s_att_type)
    : s_type(std::move(s_att_type)), s_name(std::move(s_att_name)), s_value(std::move(x_att_values))
{
}
