// A listing of what a UM file holds and what a conversion would make of it.
#ifndef TESSOLD_FILELISTING_H
#define TESSOLD_FILELISTING_H

#include "ConvertFile.h"

// Lists the job's input as report lines (inform), one per field and one of the variables, as
// text or JSON; the job's translation file, if any, names the variables. False after reporting
// an input that cannot be listed.
bool ListFile(const ConversionJob& x_job, bool b_json);

#endif
