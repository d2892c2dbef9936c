// A named, ordered list of attributes with a model number; "NULL" marks a missing entry.
#ifndef TESSOLD_ATTRIBUTELIST_H
#define TESSOLD_ATTRIBUTELIST_H

#include <list>
#include <string>

#include "Attribute.h"

class AttributeList
{
public:
    AttributeList(std::string s_list_name, int i_model);

    void Add(Attribute& x_att);
    const std::list<Attribute>& Get() const { return x_atts; }
    const std::string& GetName() const { return s_name; }
    int GetModel() const { return i_model_id; }
    bool operator==(const AttributeList& rhs) const;
    bool HasAttribute(std::string s_att_name) const;
    // Throws a std::string when no attribute has that name; test HasAttribute first.
    const Attribute& GetAttribute(std::string s_att_name) const;

private:
    std::list<Attribute> x_atts;
    std::string s_name;
    int i_model_id;
};

#endif
