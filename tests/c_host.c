/* A host written in C: converts its first argument to its second through tessold_convert and
 * prints the result, the messages and the report. Its build shows that tessold.h compiles as C. */
#include <stdio.h>

#include "tessold.h"

int main(int argc, char** argv)
{
    struct tessold_request request = {0};
    char message[4096];
    char report[4096];
    int result;
    if (argc != 3)
        return 2;
    request.input = argv[1];
    request.output = argv[2];
    request.report = report;
    request.report_size = sizeof report;
    request.flags = TESSOLD_ANY_LAYOUT;
    result = tessold_convert(&request, message, sizeof message);
    printf("result %d\n%s%s", result, message, report);
    return result;
}
