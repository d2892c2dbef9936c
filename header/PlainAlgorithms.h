// Switches grouping and writing to their plain algorithms: linear scans, a full sort after
// every added field, coordinate values written as soon as each is defined and variables
// prefilled by the netCDF library. The output is the same either way; the tests convert
// with both and compare, so that no speed-up can change a file.
#ifndef TESSOLD_PLAINALGORITHMS_H
#define TESSOLD_PLAINALGORITHMS_H

void SetPlainAlgorithms(bool b_plain);
bool UsePlainAlgorithms();

#endif
