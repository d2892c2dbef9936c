// Loading of the XML configuration files (the translation and the packing file).
#ifndef TESSOLD_XMLFILE_H
#define TESSOLD_XMLFILE_H

#include <string>

class TiXmlDocument;

// Parses an XML file into x_doc as TinyXML's LoadFile does, but only from a regular file and
// from a buffer with room behind the text; false (with the document's error set) on failure.
bool LoadXmlFile(TiXmlDocument& x_doc, const std::string& s_file_name);

#endif
