// Every line the library writes goes through here: failures to standard error, the success line
// and the level table's notices to standard output, each a whole line, flushed at once.
#ifndef TESSOLD_MESSAGES_H
#define TESSOLD_MESSAGES_H

#include <string>

// Writes text and a line end to standard error and flushes.
void error(std::string s_text);

// Writes text and a line end to standard output and flushes.
void inform(std::string s_text);

#endif
