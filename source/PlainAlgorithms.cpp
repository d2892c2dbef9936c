// The switch between the indexed and the plain algorithms; off unless a test turns it on.
#include "PlainAlgorithms.h"

namespace {

bool gb_plain_algorithms = false;

}  // namespace

void SetPlainAlgorithms(bool b_plain)
{
    gb_plain_algorithms = b_plain;
}

bool UsePlainAlgorithms()
{
    return gb_plain_algorithms;
}
