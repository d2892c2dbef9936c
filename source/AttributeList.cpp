// A named, ordered list of attributes with a model number; "NULL" marks a missing entry.
#include "AttributeList.h"

#include <utility>

AttributeList::AttributeList(std::string s_list_name, int i_model)
    : s_name(std::move(s_list_name)), i_model_id(i_model)
{
}

// Copies the attribute so later changes to the caller's object leave the list untouched.
void AttributeList::Add(Attribute& x_att)
{
    x_atts.push_back(x_att);
}

// Lists are identified by name alone; model numbers and contents do not take part.
bool AttributeList::operator==(const AttributeList& rhs) const
{
    return s_name == rhs.s_name;
}

bool AttributeList::HasAttribute(std::string s_att_name) const
{
    for (const Attribute& x_att : x_atts) {
        if (x_att.GetName() == s_att_name) {
            return true;
        }
    }
    return false;
}

// Scans from the front so that, with duplicated names, the attribute added first wins.
const Attribute& AttributeList::GetAttribute(std::string s_att_name) const
{
    for (const Attribute& x_att : x_atts) {
        if (x_att.GetName() == s_att_name) {
            return x_att;
        }
    }
    throw "Attribute with name: " + s_att_name +
        " not found.  Use HasAttribute to check presence before calling GetAttribute";
}
