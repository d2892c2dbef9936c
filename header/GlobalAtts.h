// The global attributes file: white-space separated records of name, type, count and values.
#ifndef TESSOLD_GLOBALATTS_H
#define TESSOLD_GLOBALATTS_H

#include <string>

#include "AttributeList.h"

class GlobalAtts
{
public:
    GlobalAtts();

    bool LoadAttributes(std::string s_file_name);
    bool Valid() const { return b_loaded; }
    const AttributeList& GetAttributes() const { return x_global_atts_list; }

private:
    bool b_loaded;
    AttributeList x_global_atts_list;
};

#endif
