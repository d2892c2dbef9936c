// The metadata translation file (variable attributes by STASH code and model) and the level table.
#ifndef TESSOLD_VARLEVTRANS_H
#define TESSOLD_VARLEVTRANS_H

#include <list>
#include <string>

#include "AttributeList.h"

class TiXmlElement;

class VarLevTrans
{
public:
    explicit VarLevTrans(std::string s_xml_file_name);

    bool LoadAttributes();
    void ProcessVariableAttributes(TiXmlElement* px_root_ele, int i_model_id);
    const AttributeList& GetVariableAttributes(int i_stash_code, int i_model_code) const;
    AttributeList GetLevelAttributes(int i_level_type, int i_size) const;

private:
    std::list<AttributeList> x_var_att_list;
    AttributeList x_null_list;
    std::string s_file_name;
};

#endif
