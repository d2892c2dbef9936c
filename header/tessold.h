// The library's one exported entry point: converts a UM fields file to netCDF.
#ifndef TESSOLD_TESSOLD_H
#define TESSOLD_TESSOLD_H

extern "C" {
// Converts strInFile to strInFile + ".nc"; returns 0 on success and 1 on failure.
int tessold(char* strInFile, char* strMetadataTrans, char* strPackData, char* strGlobalAtts);
}

#endif
