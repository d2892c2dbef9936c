// Loading of the three configuration files, each failure reported with its file's message; an
// XML file that does not parse, and a global attributes record that cannot be read, add a line
// saying where.
#include "Configuration.h"

#include "Messages.h"

namespace {

// Reports an XML file that failed to load, with what the parser found where it found it.
void ReportXmlFailure(const std::string& s_file_name, const std::string& s_fault)
{
    error("Error: XML file: " + s_file_name + " error in XML or file could not be opened.");
    if (!s_fault.empty())
        error("Error: " + s_file_name + ": " + s_fault);
}

}  // namespace

Configuration::Configuration(const std::string& s_trans, const std::string& s_pack, const std::string& s_atts)
    : x_translation(s_trans), x_packing(s_pack), s_translation(s_trans), s_packing(s_pack), s_attributes(s_atts)
{
}

bool Configuration::Load()
{
    if (!s_translation.empty() && !x_translation.LoadAttributes()) {
        ReportXmlFailure(s_translation, x_translation.GetFault());
        return false;
    }
    if (!x_packing.LoadAttributes()) {
        ReportXmlFailure(s_packing, x_packing.GetFault());
        return false;
    }
    if (!s_attributes.empty() && !x_attributes.LoadAttributes(s_attributes)) {
        error("Error: Failed to load global attributes file: " + s_attributes);
        if (!x_attributes.GetFault().empty())
            error("Error: " + x_attributes.GetFault());
        return false;
    }
    return true;
}
