// The library's one way out for messages: a line at a time, flushed, so that lines of a
// conversion never interleave with a host's own output in the middle.
#include "Messages.h"

#include <iostream>

void error(std::string s_text)
{
    std::cerr << s_text << std::endl;
}

void inform(std::string s_text)
{
    std::cout << s_text << std::endl;
}
