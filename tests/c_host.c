/* A host written in C: converts its first argument to its second through tessold_convert and
 * prints the result, the messages and the report. Its build shows that tessold.h compiles as C.
 *
 *     c_host INPUT OUTPUT [translation=PATH] [packing=PATH] [attributes=PATH]
 *            [cf] [netcdf4] [deflate=N] [history=TEXT]
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tessold.h"

/* The text after "name=" when the argument starts with it, else NULL. */
static const char* option_value(const char* argument, const char* name)
{
    size_t length = strlen(name);
    if (strncmp(argument, name, length) == 0 && argument[length] == '=')
        return argument + length + 1;
    return NULL;
}

/* Reads one optional argument into the request; 0 when it is not one. */
static int read_option(const char* argument, struct tessold_request* request)
{
    const char* value;
    if (strcmp(argument, "cf") == 0)
        request->flags |= TESSOLD_CF;
    else if (strcmp(argument, "netcdf4") == 0)
        request->flags |= TESSOLD_NETCDF4;
    else if ((value = option_value(argument, "deflate")) != NULL)
        request->deflate_level = atoi(value);
    else if ((value = option_value(argument, "translation")) != NULL)
        request->translation = value;
    else if ((value = option_value(argument, "packing")) != NULL)
        request->packing = value;
    else if ((value = option_value(argument, "attributes")) != NULL)
        request->attributes = value;
    else if ((value = option_value(argument, "history")) != NULL)
        request->history = value;
    else
        return 0;
    return 1;
}

int main(int argc, char** argv)
{
    struct tessold_request request = {0};
    char message[4096];
    char report[4096];
    int result;
    int i;
    if (argc < 3)
        return 2;
    request.input = argv[1];
    request.output = argv[2];
    request.report = report;
    request.report_size = sizeof report;
    request.flags = TESSOLD_ANY_LAYOUT;
    for (i = 3; i < argc; ++i)
        if (!read_option(argv[i], &request))
            return 2;
    result = tessold_convert(&request, message, sizeof message);
    printf("result %d\n%s%s", result, message, report);
    return result;
}
