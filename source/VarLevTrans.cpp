// The metadata translation file (variable attributes by STASH code and model) and the level table.
#include "VarLevTrans.h"

#include <utility>

#include <tinyxml.h>

#include "Messages.h"
#include "ToString.h"
#include "XmlFile.h"

namespace
{

// Every attribute of the translation file and of the level table is a one-valued text.
void AddString(AttributeList& x_list, const std::string& s_name, const std::string& s_value)
{
    Attribute x_att(s_name, s_value, "string");
    x_list.Add(x_att);
}

// Reads the integer attribute "id"; the number stays 0 when it is missing or not an integer.
bool QueryId(TiXmlElement* px_ele, int& i_id)
{
    i_id = 0;
    return px_ele->QueryIntAttribute(std::string("id"), &i_id) == TIXML_SUCCESS;
}

// Copies every attribute of an "item" except its "id", in document order.
void AddItemAttributes(TiXmlElement* px_item, AttributeList& x_list)
{
    for (const TiXmlAttribute* px_att = px_item->FirstAttribute(); px_att != nullptr;
         px_att = px_att->Next()) {
        const std::string s_name = px_att->Name();
        if (s_name != "id") {
            AddString(x_list, s_name, px_att->Value());
        }
    }
}

// Rows whose attributes share the shape standard_name, units, direction, out_name.
void AddVerticalRow(AttributeList& x_list, const char* s_standard, const char* s_units,
                    const char* s_direction, const char* s_out)
{
    AddString(x_list, "standard_name", s_standard);
    if (s_units != nullptr) {
        AddString(x_list, "units", s_units);
    }
    if (s_direction != nullptr) {
        AddString(x_list, "direction", s_direction);
    }
    AddString(x_list, "out_name", s_out);
}

// Fills the row of one level type; false when the type has no row.
bool FillLevelRow(int i_level_type, int i_size, AttributeList& x_list)
{
    switch (i_level_type) {
    case 0: AddVerticalRow(x_list, "unspecified", nullptr, nullptr, "unspecified"); return true;
    case 1:
        // Height is the one row that names its output first.
        AddString(x_list, "out_name", "height");
        AddString(x_list, "standard_name", "height");
        AddString(x_list, "units", "m");
        AddString(x_list, "direction", "up");
        return true;
    case 5: AddVerticalRow(x_list, "boundary_layer_height", nullptr, nullptr, "boundary_layer"); return true;
    case 6: AddVerticalRow(x_list, "non_dimensional_soil_level", nullptr, nullptr, "soil_level"); return true;
    case 8: AddVerticalRow(x_list, "air_pressure", "hPa", "down", "pressure"); return true;
    case 9:
        AddVerticalRow(x_list, "atmosphere_hybrid_sigma_pressure_coordinate", nullptr, "down",
                       "hybrid_pressure_x1000");
        return true;
    case 10: AddVerticalRow(x_list, "atmosphere_sigma_coordinate", nullptr, "down", "sigma"); return true;
    case 65:
        AddVerticalRow(x_list, "atmosphere_hybrid_height_coordinate", nullptr, "down", "hybrid_height");
        return true;
    case 128: AddVerticalRow(x_list, "height", "m", "up", "mean_sea_level"); return true;
    case 129:
        // A single-level axis of this type is the surface; several levels are pseudo levels.
        AddVerticalRow(x_list, "height", "m", "up", i_size == 1 ? "surface" : "pseudo");
        return true;
    case 130: AddVerticalRow(x_list, "tropopause_altitude", "m", "up", "tropopause"); return true;
    case 131: AddVerticalRow(x_list, "maximum_wind_level", nullptr, nullptr, "max_wind"); return true;
    case 132: AddVerticalRow(x_list, "freezing_level", nullptr, nullptr, "freezing_level"); return true;
    case 133: AddVerticalRow(x_list, "top_of_atmosphere", nullptr, nullptr, "toa"); return true;
    case 142: AddVerticalRow(x_list, "upper_hybrid_level", nullptr, nullptr, "upper_hybrid_level"); return true;
    case 143: AddVerticalRow(x_list, "lower_hybrid_level", nullptr, nullptr, "lower_hybrid_level"); return true;
    case 176: AddVerticalRow(x_list, "latitude", nullptr, "north", "latitude"); return true;
    case 177: AddVerticalRow(x_list, "longitude", nullptr, "east", "longitude"); return true;
    case 275: AddVerticalRow(x_list, "canopy_height", nullptr, nullptr, "canopy_height"); return true;
    default: return false;
    }
}

} // namespace

VarLevTrans::VarLevTrans(std::string s_xml_file_name)
    : x_null_list("NULL", 0), s_file_name(std::move(s_xml_file_name))
{
}

// The document lives only while its entries are read; the lists keep copies of their texts.
bool VarLevTrans::LoadAttributes()
{
    TiXmlDocument x_doc;
    if (!LoadXmlFile(x_doc, s_file_name)) {
        return false;
    }
    TiXmlElement* px_root = x_doc.FirstChildElement();
    if (px_root == nullptr) {
        error("Malformed XML in file.");
        return false;
    }
    for (TiXmlElement* px_stash = px_root->FirstChildElement("stash"); px_stash != nullptr;
         px_stash = px_stash->NextSiblingElement("stash")) {
        for (TiXmlElement* px_sub = px_stash->FirstChildElement("submodel"); px_sub != nullptr;
             px_sub = px_sub->NextSiblingElement("submodel")) {
            int i_model_id = 0;
            if (!QueryId(px_sub, i_model_id)) {
                error("Error in XML in file: " + std::string(px_sub->Value()));
                continue;
            }
            ProcessVariableAttributes(px_sub, i_model_id);
        }
    }
    return true;
}

void VarLevTrans::ProcessVariableAttributes(TiXmlElement* px_root_ele, int i_model_id)
{
    for (TiXmlElement* px_section = px_root_ele->FirstChildElement("section"); px_section != nullptr;
         px_section = px_section->NextSiblingElement("section")) {
        int i_section = 0;
        if (!QueryId(px_section, i_section)) {
            error("Error in XML file: " + std::string(px_section->Value()));
        }
        for (TiXmlElement* px_item = px_section->FirstChildElement("item"); px_item != nullptr;
             px_item = px_item->NextSiblingElement("item")) {
            int i_item = 0;
            if (!QueryId(px_item, i_item)) {
                error("Error in XML file: " + std::string(px_item->Value()));
            }
            // Computed in 64 bits so that absurd ids cannot overflow; such codes are never looked up.
            const long long i_code = static_cast<long long>(i_section) * 1000 + i_item;
            // Built in place at the end of the list, which keeps loading linear in the file size.
            x_var_att_list.emplace_back(ToString<long long>(i_code, 0, ' '), i_model_id);
            AttributeList& x_list = x_var_att_list.back();
            AddString(x_list, "stash_item", ToString<int>(i_item, 0, ' '));
            AddString(x_list, "stash_section", ToString<int>(i_section, 0, ' '));
            AddItemAttributes(px_item, x_list);
        }
    }
}

// The first entry in document order wins when a code and model appear twice.
const AttributeList& VarLevTrans::GetVariableAttributes(int i_stash_code, int i_model_code) const
{
    const std::string s_key = ToString<int>(i_stash_code, 0, ' ');
    for (const AttributeList& x_list : x_var_att_list) {
        if (x_list.GetModel() == i_model_code && x_list.GetName() == s_key) {
            return x_list;
        }
    }
    return x_null_list;
}

AttributeList VarLevTrans::GetLevelAttributes(int i_level_type, int i_size) const
{
    AttributeList x_list("Level", 0);
    if (FillLevelRow(i_level_type, i_size, x_list)) {
        return x_list;
    }
    // Unsupported types are reported but not fatal; the writer falls back to a plain axis.
    inform("Error: " + ToString(i_level_type, 0, ' ') + " not supported");
    return x_null_list;
}
