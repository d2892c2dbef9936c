// A named, typed metadata attribute whose values are held as text.
#ifndef TESSOLD_ATTRIBUTE_H
#define TESSOLD_ATTRIBUTE_H

#include <list>
#include <string>

class Attribute
{
public:
    Attribute(std::string s_att_name, std::string s_att_value, std::string s_att_type);
    Attribute(std::string s_att_name, std::list<std::string> x_att_values, std::string s_att_type);

    const std::string& GetName() const { return s_name; }
    const std::string& GetType() const { return s_type; }
    const std::string& GetValue() const { return s_value.front(); }
    const std::list<std::string>& GetValues() const { return s_value; }
    int GetNumber() const { return static_cast<int>(s_value.size()); }

private:
    std::string s_type;
    std::string s_name;
    std::list<std::string> s_value;
};

// The first value of an attribute, or an empty text when it has none (GetValue needs one).
inline std::string FirstValue(const Attribute& x_att)
{
    return x_att.GetNumber() > 0 ? x_att.GetValue() : std::string();
}

#endif
