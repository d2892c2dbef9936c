// The global attributes file: white-space separated records of name, type, count and values.
#ifndef TESSOLD_GLOBALATTS_H
#define TESSOLD_GLOBALATTS_H

#include <string>

#include "AttributeList.h"

class GlobalAtts
{
public:
    GlobalAtts();

    // Loads the records; false, with the place of the fault in GetFault when the file says more
    // than that it could not be read, when a record is cut short or holds a value its type
    // cannot hold.
    bool LoadAttributes(std::string s_file_name);
    const std::string& GetFault() const { return s_fault; }
    bool Valid() const { return b_loaded; }
    const AttributeList& GetAttributes() const { return x_global_atts_list; }

private:
    bool b_loaded;
    AttributeList x_global_atts_list;
    std::string s_fault;
};

#endif
